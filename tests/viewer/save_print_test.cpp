// Saving and printing the held still through the viewer's buttons and F2,
// headless, against rd420d --simulate; the dialogs answered by the test.
#include <QImageReader>
#include <QSettings>

#include "viewer/viewer_fixture.h"

namespace rd420::viewer::test {
namespace {

class SavePrintTest : public ViewerTest {
 protected:
  void SetUp() override {
    recordStills_ = false;
    dialogs_.pdfPath = files_.filePath(QStringLiteral("printed.pdf"));
  }
  void SetQuickCap(const QString& folder) {
    QSettings settings(SettingsFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("QuickCap"), folder);
  }
  void Hold() {
    Click(Panel().Button(kIdCapture));
    ASSERT_TRUE(WaitFor([&] { return Panel().Button(kIdSave)->isEnabled(); }));
  }
  QTemporaryDir files_;
};

// Catches: Save not reaching the dialog, a file of the wrong format or
// size, or the held picture lost after a save.
TEST_F(SavePrintTest, SaveWritesTheChosenFileAndKeepsThePictureHeld) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  Hold();
  dialogs_.savePath = files_.filePath(QStringLiteral("held.JPG"));
  Click(Panel().Button(kIdSave));
  ASSERT_TRUE(WaitFor([&] { return viewer_->Stills().g_Save_Request == 0; }));
  QImageReader reader(dialogs_.savePath);
  EXPECT_EQ(reader.format(), QByteArray("jpeg"));
  EXPECT_EQ(reader.size(), QSize(640, 480));
  EXPECT_EQ(viewer_->Flags().g_Capture_Mode, 1u);
}

// Catches: the quick-save folder read once at start instead of at each
// save, F2 not writing its time-stamped JPEG there, or an emptied folder
// value saving into the root.
TEST_F(SavePrintTest, F2WritesIntoTheFolderTheSettingsNameAtThatTime) {
  const QString first = files_.filePath(QStringLiteral("first"));
  const QString second = files_.filePath(QStringLiteral("second"));
  SetQuickCap(first);
  programDirectory_ = files_.path();
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  const auto quickSave = [&](const QString& folder) {
    QTest::keyClick(&Main(), Qt::Key_F2);
    EXPECT_TRUE(WaitFor([&] { return !QDir(folder).entryList({"*.jpg"}).isEmpty(); }));
    EXPECT_TRUE(WaitFor([&] { return viewer_->Stills().g_QuickSave_Busy == 0; }));
    EXPECT_TRUE(WaitForPictures(2));
  };
  quickSave(first);
  SetQuickCap(second);
  quickSave(second);
  const QStringList saved = QDir(second).entryList({"*.jpg"});
  ASSERT_EQ(saved.size(), 1);
  EXPECT_TRUE(
      QRegularExpression(QStringLiteral("^\\d{8}_\\d{6}\\.jpg$")).match(saved[0]).hasMatch())
      << saved[0].toStdString();
  EXPECT_EQ(QImageReader(second + "/" + saved[0]).size(), QSize(640, 480));

  // An emptied value means the first-start folder beside the program, not
  // the file system's root.
  SetQuickCap(QString());
  quickSave(files_.filePath(QStringLiteral("QuickCap")));
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: Print not reaching the dialogs, or a page printed after a
// cancel.
TEST_F(SavePrintTest, PrintGoesThroughBothDialogsAndACancelPrintsNothing) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  Hold();
  dialogs_.acceptPrinter = false;
  Click(Panel().Button(kIdPrint));
  ASSERT_TRUE(WaitFor([&] { return dialogs_.printerDialogs == 1; }));
  ASSERT_TRUE(WaitFor([&] { return viewer_->Stills().g_Print_Request == 0; }));
  EXPECT_FALSE(QFile::exists(dialogs_.pdfPath));

  dialogs_.acceptPrinter = true;
  Click(Panel().Button(kIdPrint));
  ASSERT_TRUE(WaitFor([&] { return dialogs_.printerDialogs == 2; }));
  ASSERT_TRUE(WaitFor([&] { return viewer_->Stills().g_Print_Request == 0; }));
  EXPECT_TRUE(QFile::exists(dialogs_.pdfPath));
  EXPECT_EQ(dialogs_.picture.size(), QSize(640, 480));
  EXPECT_TRUE(messages_.Messages().empty());
}

}  // namespace
}  // namespace rd420::viewer::test
