// The presenter's values in the viewer's settings file: each one missing
// or broken keeps its default on its own, and a store keeps the viewer's.
#include "viewer/presenter/presenter_settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace rd420::viewer {
namespace {

class PresenterSettingsTest : public ::testing::Test {
 protected:
  // A file of its own for each case, named for it.
  QString Path() const { return folder_.filePath(name_ + QStringLiteral(".ini")); }
  SettingsKey Key() const { return SettingsKey(QStringLiteral("Software\\QRN_VMX"), Path()); }
  void WriteFile(const QByteArray& bytes) {
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  QTemporaryDir folder_;
  QString name_ = QStringLiteral("QRN_VMX");
};

struct LoadCase {
  const char* name;
  const char* file;  // null: no file
  PresenterSettings expected;
};

// Catches: a broken value taken as it stands (a turn of 4, a mirror of 2),
// read as 0 instead of its default (QuickSaveDrawing), spoiling the values
// beside it, or a damaged file failing the load.
TEST_F(PresenterSettingsTest, MissingOrBrokenValuesFallBackOneByOne) {
  const LoadCase cases[] = {
      {"no file", nullptr, {{0, false}, true}},
      {"all read",
       "[General]\nPictureTurns=3\nPictureMirrored=1\nQuickSaveDrawing=0\n",
       {{3, true}, false}},
      {"missing", "[General]\nDelayTime=5000\n", {{0, false}, true}},
      {"not numbers",
       "[General]\nPictureTurns=two\nPictureMirrored=yes\nQuickSaveDrawing=\n",
       {{0, false}, true}},
      {"out of range",
       "[General]\nPictureTurns=4\nPictureMirrored=2\nQuickSaveDrawing=-1\n",
       {{0, false}, true}},
      {"one by one",
       "[General]\nPictureTurns=-1\nPictureMirrored=1\nQuickSaveDrawing=0\n",
       {{0, true}, false}},
      {"damaged file", "\x01\x02 PictureTurns=2\n\xff\xfe", {{0, false}, true}},
  };
  for (const LoadCase& c : cases) {
    name_ = QString::fromLatin1(c.name);
    if (c.file != nullptr) {
      WriteFile(c.file);
    }
    const PresenterSettings loaded = LoadPresenterSettings(Key());
    EXPECT_EQ(loaded.orientation.quarterTurns, c.expected.orientation.quarterTurns) << c.name;
    EXPECT_EQ(loaded.orientation.mirrored, c.expected.orientation.mirrored) << c.name;
    EXPECT_EQ(loaded.QuickSaveDrawing, c.expected.QuickSaveDrawing) << c.name;
  }
}

// Catches: a store that drops the viewer's own values or writes what a
// load does not read back.
TEST_F(PresenterSettingsTest, StoreReadsBackAndKeepsTheViewersValues) {
  WriteFile("[General]\nDelayTime=7000\nQuickCap=\"/home/user/QuickCap\"\n");
  const PresenterSettings chosen{{3, true}, false};
  ASSERT_TRUE(StorePresenterSettings(Key(), chosen));
  EXPECT_EQ(LoadPresenterSettings(Key()), chosen);
  QSettings file(Path(), QSettings::IniFormat);
  EXPECT_EQ(file.value("DelayTime").toString(), "7000");
  EXPECT_EQ(file.value("QuickCap").toString(), "/home/user/QuickCap");
  EXPECT_EQ(file.value("PictureTurns").toString(), "3");
}

}  // namespace
}  // namespace rd420::viewer
