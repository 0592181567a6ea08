// Save as and quick save of the held still: which names are taken, the
// quick save's name and folder, and the messages of a failed save.
#include "stills/save_still.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <functional>
#include <set>
#include <thread>

#include "platform/message.h"
#include "stills/still_dialogs.h"

namespace rd420::stills {
namespace {

ImagingBitmap GreyStill() {
  ImagingBitmap still;
  EXPECT_TRUE(still.Create(64, 48, 24));
  return still;
}

QByteArray Head(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.read(2) : QByteArray();
}

constexpr char kAig00003[] = "Error (AIG00003)";
constexpr char kAig00004[] = "Error (AIG00004)";

// Catches: an ending judged by the whole suffix or in one case only, or a
// refused name that still writes a file.
TEST(SaveStillAs, TheLastThreeLettersOfTheNameChooseTheFormat) {
  const struct {
    const char* name;
    const char* head;  // the file's first bytes; null: refused
  } cases[] = {
      {"still.bmp", "BM"},           {"still.JPG", "\xFF\xD8"}, {"still.Bmp", "BM"},
      {"still.jpg", "\xFF\xD8"},     {"still.jpeg", nullptr},   {"still.png", nullptr},
      {"notes.txt.jpg", "\xFF\xD8"}, {"stilljpg", "\xFF\xD8"},  {"bmp", "BM"},
  };
  QTemporaryDir folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MessageRecorder messages;
    const QString path = folder.filePath(QString::fromLatin1(c.name));
    EXPECT_EQ(SaveStillAs(GreyStill(), path), c.head != nullptr);
    if (c.head != nullptr) {
      EXPECT_EQ(Head(path), QByteArray(c.head));
      EXPECT_TRUE(messages.Messages().empty());
    } else {
      EXPECT_FALSE(QFile::exists(path));
      ASSERT_EQ(messages.Captions(), std::vector<std::string>{kAig00003});
      EXPECT_EQ(messages.Messages()[0].text,
                "이미지 저장에 실패하였습니다.\nBMP와 JPEG형식의 포맷만 지원합니다.  ");
      EXPECT_EQ(messages.Messages()[0].icon, MessageIcon::kError);
    }
  }
}

// The messages `work` shows in a child under a file-size limit of 100
// bytes, as a full disk refuses writes; caption and text, one a line each.
std::vector<std::string> MessagesUnderFileSizeLimit(const std::function<void()>& work) {
  int pipeEnds[2];
  EXPECT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG, as in the viewer
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    MessageRecorder messages;
    work();
    std::string lines;
    for (const Message& message : messages.Messages()) {
      lines += message.caption + "\n" + message.text + "\n";
    }
    _exit(write(pipeEnds[1], lines.data(), lines.size()) == ssize_t(lines.size()) ? 0 : 1);
  }
  close(pipeEnds[1]);
  std::string lines;
  char buffer[256];
  for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
    lines.append(buffer, static_cast<size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::vector<std::string> shown;
  for (const QString& line : QString::fromStdString(lines).split(QLatin1Char('\n'))) {
    shown.push_back(line.toStdString());
  }
  shown.pop_back();  // after the last line's end
  return shown;
}

// Catches: a full disk or a folder that cannot be written reported as
// success or with another message, or a file, final or temporary, left.
TEST(SaveStillAs, AWriteThatFailsGivesAig00004AndLeavesNoFile) {
  const std::string text = "이미지 저장에 실패하였습니다. ";
  const std::vector<std::string> twice = {kAig00004, text, kAig00004, text};
  QTemporaryDir folder;
  const QString quickCap = folder.filePath(QStringLiteral("QuickCap"));
  EXPECT_EQ(MessagesUnderFileSizeLimit([&] {
              SaveStillAs(GreyStill(), folder.filePath(QStringLiteral("still.bmp")));
              QuickSaveStill(GreyStill(), quickCap, QDateTime::currentDateTime());
            }),
            twice);
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
  EXPECT_EQ(QDir(quickCap).entryList(QDir::Files | QDir::Hidden), QStringList());

  // A folder that cannot be written; root ignores permission bits, so a
  // path under a regular file stands in for it.
  QFile plain(folder.filePath(QStringLiteral("plain")));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  MessageRecorder messages;
  EXPECT_FALSE(SaveStillAs(GreyStill(), folder.filePath(QStringLiteral("plain/still.jpg"))));
  ASSERT_EQ(messages.Captions(), std::vector<std::string>{kAig00004});
  EXPECT_EQ(messages.Messages()[0].text, text);
}

// Catches: a wrongly padded name, a missing last folder not created, or a
// missing parent created (a mistyped folder) instead of failing.
TEST(QuickSaveStill, NamesTheFileByTheSecondAndCreatesOnlyTheLastFolder) {
  const QDateTime taken(QDate(2008, 12, 19), QTime(16, 14, 15));
  EXPECT_EQ(QuickSaveFileName(taken), QStringLiteral("20081219_161415.jpg"));
  EXPECT_EQ(QuickSaveFileName(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))),
            QStringLiteral("20260102_030405.jpg"));

  QTemporaryDir root;
  const QString folder = root.filePath(QStringLiteral("QuickCap"));
  MessageRecorder messages;
  ASSERT_TRUE(QuickSaveStill(GreyStill(), folder, taken));
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("20081219_161415.jpg")});
  EXPECT_TRUE(messages.Messages().empty());

  const QString deep = root.filePath(QStringLiteral("missing/QuickCap"));
  EXPECT_FALSE(QuickSaveStill(GreyStill(), deep, taken));
  EXPECT_FALSE(QDir(root.filePath(QStringLiteral("missing"))).exists());
  EXPECT_EQ(messages.Captions(), std::vector<std::string>{kAig00004});
}

// Catches: saves within one second that replace each other, at once or
// racing, or one that replaces a file another program put under a name.
TEST(QuickSaveStill, SavesWithinOneSecondEachKeepTheirOwnFile) {
  const QDateTime taken(QDate(2008, 12, 19), QTime(16, 14, 15));
  QTemporaryDir folder;
  QFile foreign(folder.filePath(QStringLiteral("20081219_161415_2.jpg")));
  ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
  foreign.write("kept");
  foreign.close();

  // Saved at the same moment, each picture of its own size.
  constexpr int kSaves = 6;
  std::vector<std::thread> savers;
  std::atomic<int> saved{0};
  for (int i = 0; i < kSaves; ++i) {
    savers.emplace_back([&, i] {
      ImagingBitmap still;
      if (still.Create(16 * (i + 1), 16, 24) && QuickSaveStill(still, folder.path(), taken)) {
        ++saved;
      }
    });
  }
  for (std::thread& saver : savers) {
    saver.join();
  }
  EXPECT_EQ(saved, kSaves);
  QStringList expected = {QStringLiteral("20081219_161415.jpg")};
  for (int copy = 1; copy <= kSaves; ++copy) {
    expected.append(QStringLiteral("20081219_161415_%1.jpg").arg(copy));
  }
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name).join(' '),
            expected.join(' '));
  std::set<int> widths;
  for (const QString& name : expected) {
    const QImage picture(folder.filePath(name));
    widths.insert(picture.width());
  }
  // Six widths and the foreign file, which is no picture.
  EXPECT_EQ(widths, (std::set<int>{0, 16, 32, 48, 64, 80, 96}));
  ASSERT_TRUE(foreign.open(QIODevice::ReadOnly));
  EXPECT_EQ(foreign.readAll(), QByteArray("kept"));
}

// Catches: other filter texts, another default extension (a name typed
// without one must become a BMP), or no prompt before overwriting.
TEST(SaveDialog, OffersJpegThenBitmapWithBmpByDefault) {
  QFileDialog dialog;
  ConfigureSaveDialog(dialog);
  EXPECT_EQ(dialog.nameFilters(), QStringList({QStringLiteral("JPEG File(*.jpg)"),
                                               QStringLiteral("BITMAP File(*.bmp)")}));
  EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("bmp"));
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
}

// Catches: the drawing's check box missing from Qt's save dialog, hidden,
// or not ticked at first.
TEST(SaveDialog, OffersTheDrawingTickedBelowItsControls) {
  QFileDialog dialog;
  ConfigureSaveDialog(dialog);
  QCheckBox* box = AddDrawingCheckBox(dialog);
  dialog.show();
  EXPECT_TRUE(box->isVisible());
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(box->text(), QString::fromUtf8("그림 포함"));
  EXPECT_EQ(box->toolTip(), QStringLiteral("Save the still with the drawing burnt in"));
}

}  // namespace
}  // namespace rd420::stills
