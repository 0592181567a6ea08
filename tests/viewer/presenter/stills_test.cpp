// Saved, quick-saved and printed stills follow the shown picture (turned,
// mirrored, with the drawing or without), and the tools' settings last
// from one start of the viewer to the next. Headless, against rd420d
// --simulate; the dialogs answered by the test.
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QSettings>

#include "viewer/viewer_fixture.h"

namespace rd420::viewer::test {
namespace {

using enum PresenterAction;

// A drawing that fills a known rectangle of the page with red.
class BoxDrawing : public PictureLayer {
 public:
  static constexpr QRectF kBox{0.25, 0.25, 0.25, 0.125};  // x 160..320, y 160..240 at 640

  void Paint(QPainter& painter, const QTransform& toView, const QRectF&) const override {
    painter.fillRect(toView.mapRect(kBox), Qt::red);
  }
};

QImage Read(const QString& path) {
  return QImage(path).convertToFormat(QImage::Format_RGB32);
}

bool Reddish(QRgb pixel) {
  return qRed(pixel) > 200 && qGreen(pixel) < 80 && qBlue(pixel) < 80;
}

class PresenterStillsTest : public ViewerTest {
 protected:
  void SetUp() override {
    withPresenter_ = true;
    recordStills_ = false;
    dialogs_.pdfPath = files_.filePath(QStringLiteral("printed.pdf"));
  }
  Presenter& Tools() { return *dynamic_cast<Presenter*>(viewer_->Tools()); }
  void Hold() {
    Click(Panel().Button(kIdCapture));
    ASSERT_TRUE(WaitFor([&] { return Panel().Button(kIdSave)->isEnabled(); }));
  }
  // Saves the held still through the save button, the check box answered
  // `withDrawing`, and reads the file back.
  QImage SaveAs(const QString& name, bool withDrawing) {
    dialogs_.savePath = files_.filePath(name);
    dialogs_.withDrawing = withDrawing;
    Click(Panel().Button(kIdSave));
    EXPECT_TRUE(WaitFor([&] { return viewer_->Stills().g_Save_Request == 0; }));
    return Read(dialogs_.savePath);
  }
  // Quick-saves a new still with F2 and reads the new file back.
  QImage QuickSave() {
    const QDir folder(files_.filePath(QStringLiteral("QuickCap")));
    const QStringList before = folder.entryList({"*.jpg"});
    QTest::keyClick(&Main(), Qt::Key_F2);
    EXPECT_TRUE(WaitFor([&] { return folder.entryList({"*.jpg"}).size() > before.size(); }));
    EXPECT_TRUE(WaitFor([&] { return viewer_->Stills().g_QuickSave_Busy == 0; }));
    for (const QString& name : folder.entryList({"*.jpg"})) {
      if (!before.contains(name)) {
        return Read(folder.filePath(name));
      }
    }
    return {};
  }
  QString Stored(const char* name) {
    return QSettings(SettingsFile(), QSettings::IniFormat).value(name).toString();
  }

  BoxDrawing drawing_;
  QTemporaryDir files_;
};

// Catches: the drawing missing from the file, burnt in at another place or
// over more than it covers, burnt in when unchecked, or the check box
// offered without a drawing.
TEST_F(PresenterStillsTest, SavedStillTakesTheDrawingOnlyWhenChecked) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  Hold();
  const QImage plain = SaveAs(QStringLiteral("plain.bmp"), true);
  EXPECT_FALSE(dialogs_.drawingOffered);
  Tools().SetDrawingLayer(&drawing_);
  const QImage without = SaveAs(QStringLiteral("without.bmp"), false);
  EXPECT_TRUE(dialogs_.drawingOffered);
  const QImage with = SaveAs(QStringLiteral("with.bmp"), true);

  ASSERT_EQ(plain.size(), QSize(640, 480));
  EXPECT_EQ(without, plain);
  EXPECT_FALSE(Reddish(without.pixel(240, 200))) << "the page itself is not red there";
  ASSERT_EQ(with.size(), plain.size());
  int wrong = 0;
  for (int y = 0; y < with.height(); ++y) {
    for (int x = 0; x < with.width(); ++x) {
      const bool inBox = x >= 160 && x < 320 && y >= 160 && y < 240;
      wrong += with.pixel(x, y) != (inBox ? qRgb(255, 0, 0) : plain.pixel(x, y));
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: a saved or printed still upright while the picture is shown
// turned, turned the other way, mirrored the wrong way round, or its
// drawing left where the unturned page had it.
TEST_F(PresenterStillsTest, SavedAndPrintedStillsAreTurnedAndMirroredAsShown) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  Tools().SetDrawingLayer(&drawing_);
  Hold();
  const QImage upright = SaveAs(QStringLiteral("upright.bmp"), true);
  Tools().Actions()[kRotate]->trigger();
  Tools().Actions()[kMirror]->trigger();
  const QImage turned = SaveAs(QStringLiteral("turned.bmp"), true);
  ASSERT_EQ(turned.size(), QSize(480, 640));
  EXPECT_EQ(turned, Oriented(upright, {1, true}));
  // Turned clockwise, then mirrored: the box at x 160..320, y 160..240 of
  // the page spans x 160..240, y 160..320.
  EXPECT_EQ(turned.pixel(160, 160), qRgb(255, 0, 0));
  EXPECT_EQ(turned.pixel(239, 319), qRgb(255, 0, 0));
  EXPECT_NE(turned.pixel(240, 200), qRgb(255, 0, 0));
  EXPECT_NE(turned.pixel(200, 320), qRgb(255, 0, 0));

  Click(Panel().Button(kIdPrint));
  ASSERT_TRUE(WaitFor([&] { return dialogs_.printerDialogs == 1; }));
  ASSERT_TRUE(WaitFor([&] { return viewer_->Stills().g_Print_Request == 0; }));
  EXPECT_TRUE(dialogs_.drawingOffered);
  EXPECT_EQ(dialogs_.picture.convertToFormat(QImage::Format_RGB32), turned);
  EXPECT_TRUE(QFile::exists(dialogs_.pdfPath));
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: quick save ignoring the option, the option's check box not
// ticked at first, or its choice not stored.
TEST_F(PresenterStillsTest, QuickSaveBurnsTheDrawingInAsTheOptionSays) {
  programDirectory_ = files_.path();
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  Tools().SetDrawingLayer(&drawing_);
  EXPECT_TRUE(Reddish(QuickSave().pixel(240, 200)));

  Click(Main().Button(kIdOptions));
  auto* option = viewer_->OptionsDialog()->findChild<QCheckBox*>("presenter.quick_save_drawing");
  ASSERT_NE(option, nullptr);
  EXPECT_TRUE(option->isVisible());
  EXPECT_TRUE(option->isChecked());
  option->setChecked(false);
  Click(viewer_->OptionsDialog()->findChild<QPushButton*>(ControlName(1)));
  EXPECT_EQ(Stored("QuickSaveDrawing"), "0");
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_FALSE(Reddish(QuickSave().pixel(240, 200)));
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: the orientation forgotten at the next start, or stored as
// something the next start cannot read.
TEST_F(PresenterStillsTest, TheOrientationIsRememberedAcrossARestart) {
  ASSERT_TRUE(StartViewer());
  for (const PresenterAction action : {kRotate, kRotate, kMirror}) {
    Tools().Actions()[action]->trigger();
  }
  viewer_.reset();
  ASSERT_TRUE(StartViewerOn(simulator_->Directory()));
  EXPECT_EQ(Tools().Stage().GetOrientation(), (Orientation{2, true}));
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: a settings file that cannot be written stopping the turn or
// showing a message.
TEST_F(PresenterStillsTest, AnUnwritableFileKeepsTheToolsWorking) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(QFile::remove(SettingsFile()));
  ASSERT_TRUE(QDir().mkpath(SettingsFile()));
  Tools().Actions()[kRotate]->trigger();
  EXPECT_EQ(Tools().Stage().GetOrientation(), (Orientation{1, false}));
  EXPECT_TRUE(messages_.Messages().empty());
}

}  // namespace
}  // namespace rd420::viewer::test
