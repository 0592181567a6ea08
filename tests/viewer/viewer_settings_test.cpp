// The viewer's settings file: first start, reading back, and files that
// cannot be read or written.
#include "viewer/viewer_settings.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <csignal>

#include "platform/message.h"

namespace rd420::viewer {
namespace {

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ViewerSettingsTest : public ::testing::Test {
 protected:
  QString Path() const { return folder_.filePath(QStringLiteral("Software/QRN_VMX.ini")); }
  SettingsKey Key() const { return SettingsKey(QStringLiteral("Software\\QRN_VMX"), Path()); }
  void WriteFile(const QByteArray& bytes) {
    QDir().mkpath(folder_.filePath(QStringLiteral("Software")));
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  QTemporaryDir folder_;
  MessageRecorder messages_;
};

// Catches: a first start that leaves out a value or Version, values that
// do not read back, or a missing value not keeping its default.
TEST_F(ViewerSettingsTest, FirstStartWritesTheDefaultsThatTheNextStartReads) {
  ViewerSettings first = FirstStartSettings(folder_.path());
  EXPECT_EQ(first.QuickCap, folder_.path() + "/QuickCap");
  ASSERT_TRUE(LoadViewerSettings(Key(), first));
  QSettings file(Path(), QSettings::IniFormat);
  EXPECT_EQ(file.allKeys().size(), 8);
  EXPECT_EQ(file.value("DelayTime").toString(), "5000");
  EXPECT_EQ(file.value("FullScreenMode3").toString(), "1");
  EXPECT_FALSE(file.value("Version").toString().isEmpty());

  ViewerSettings changed = first;
  changed.DelayTime = 0;
  changed.TopMostMode = true;
  changed.QuickCap = "/home/user/사진,QuickCap";
  ASSERT_TRUE(StoreViewerSettings(Key(), changed));
  ViewerSettings next;
  ASSERT_TRUE(LoadViewerSettings(Key(), next));
  EXPECT_EQ(next, changed);
  EXPECT_TRUE(messages_.Messages().empty());

  // A value taken out keeps its default; the folder reads as empty.
  WriteFile("[General]\nSafeMode=1\n");
  ViewerSettings partial;
  partial.QuickCap = "default";
  ASSERT_TRUE(LoadViewerSettings(Key(), partial));
  EXPECT_TRUE(partial.SafeMode);
  EXPECT_EQ(partial.DelayTime, 5000u);
  EXPECT_TRUE(partial.QuickCap.isEmpty());
}

// Catches: an unusable program folder (an installed program's) chosen for
// quick saves.
TEST_F(ViewerSettingsTest, QuickSavesGoToThePicturesFolderWhenTheProgramsIsNotWritable) {
  const ViewerSettings settings = FirstStartSettings(folder_.filePath("missing"));
  EXPECT_TRUE(settings.QuickCap.endsWith("/QuickCap"));
  EXPECT_FALSE(settings.QuickCap.startsWith(folder_.path()));
}

struct DamagedCase {
  const char* name;
  QByteArray bytes;  // empty: a directory stands in the file's place
};

// Catches: a damaged or unreadable file read as a first start (defaults
// written over it without a word), or any message but the load's.
TEST_F(ViewerSettingsTest, DamagedFilesAreReportedAndKept) {
  static constexpr char kGarbage[] = "\x00\x01\xff\xfe[[[\nno value here\n";
  const DamagedCase cases[] = {
      {"directory", {}},
      {"garbage", QByteArray(kGarbage, sizeof(kGarbage) - 1)},
      {"not a number", "[General]\nDelayTime=soon\nSafeMode=1\n"},
  };
  for (const DamagedCase& c : cases) {
    QDir(folder_.filePath("Software")).removeRecursively();
    if (c.bytes.isEmpty()) {
      ASSERT_TRUE(QDir().mkpath(Path()));
    } else {
      WriteFile(c.bytes);
    }
    messages_.Clear();
    ViewerSettings settings;
    EXPECT_FALSE(LoadViewerSettings(Key(), settings)) << c.name;
    ASSERT_EQ(messages_.Messages().size(), 1u) << c.name;
    EXPECT_EQ(messages_.Messages()[0].caption, "(AWN000020)");
    EXPECT_EQ(messages_.Messages()[0].text, "Registry Open Error!  ");
    EXPECT_EQ(settings.DelayTime, 5000u) << c.name;
    EXPECT_EQ(Bytes(Path()), c.bytes) << c.name;
  }
}

// Catches: a write that fails half-way (a full disk) leaving a cut file
// where the settings were, or reported as done.
TEST_F(ViewerSettingsTest, AFailedWriteLeavesTheOldFileWhole) {
  ViewerSettings settings;
  ASSERT_TRUE(StoreViewerSettings(Key(), settings));
  const QByteArray before = Bytes(Path());
  settings.QuickCap = QString(8000, QChar('x'));
  // The file size limit stands in for a full disk, in a child so the test
  // process keeps its own limits.
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{2048, 2048};
    setrlimit(RLIMIT_FSIZE, &limit);
    MessageRecorder messages;
    const bool stored = StoreViewerSettings(Key(), settings);
    const bool told = messages.Captions() == std::vector<std::string>{"(AWN000020)"} &&
                      messages.Messages()[0].text == "Registry Open Error! ";
    _exit(!stored && told ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Bytes(Path()), before);
  EXPECT_EQ(QDir(folder_.filePath("Software")).entryList(QDir::Files | QDir::Hidden).size(), 1)
      << "no temporary file is left behind";
}

// Catches: a value lost when two writers (the viewer and its presenter
// tools) store into the file within the same millisecond: the read under
// the second write's merge came from Qt's cache of the file as it was.
TEST_F(ViewerSettingsTest, QuickWritesOfTwoWritersAllStay) {
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(Key().Write({{QStringLiteral("A"), i % 10}}));
    ASSERT_TRUE(Key().Write({{QStringLiteral("B"), i % 10}}));
    const std::optional<QVariantMap> values = Key().Read();
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->value(QStringLiteral("A")).toInt(), i % 10) << "after " << i << " rounds";
    ASSERT_EQ(values->value(QStringLiteral("B")).toInt(), i % 10) << "after " << i << " rounds";
  }
}

}  // namespace
}  // namespace rd420::viewer
