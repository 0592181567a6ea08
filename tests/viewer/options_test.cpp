// The option dialog: what it shows, Cancel, OK and when each setting takes
// effect.
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QWindow>

#include "viewer/viewer_fixture.h"

namespace rd420::viewer::test {
namespace {

class OptionsTest : public ViewerTest {
 protected:
  OptionDialog& Dialog() { return *viewer_->OptionsDialog(); }
  template <typename Control>
  Control* Find(int id) {
    return Dialog().findChild<Control*>(ControlName(id));
  }
  QString Stored(const char* name) {
    return QSettings(SettingsFile(), QSettings::IniFormat).value(name).toString();
  }
  bool TopMost() { return (Main().windowHandle()->flags() & Qt::WindowStaysOnTopHint) != 0; }
};

// Catches: a dialog that shows in-memory or cancelled values instead of the
// stored ones, an OK that stores or applies the wrong thing, AlwaysFull
// taking effect before the next start, or top-most waiting for it.
TEST_F(OptionsTest, OkStoresAndAppliesCancelForgets) {
  programDirectory_ = QDir::tempPath();
  ASSERT_TRUE(StartViewer());
  Click(Main().Button(kIdOptions));
  ASSERT_TRUE(Dialog().isVisible());
  EXPECT_EQ(Dialog().windowTitle(), "Option Dialog");
  EXPECT_EQ(Dialog().pos(), Main().pos() + QPoint(100, 20));
  EXPECT_EQ(Find<QLabel>(2154)->text(), QDir::tempPath() + "/QuickCap");
  EXPECT_EQ(Find<QLabel>(2158)->text(), "5");
  EXPECT_TRUE(Find<QRadioButton>(2174)->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(2175)->isChecked());
  for (const int box : {2156, 2164, 2167}) {
    EXPECT_FALSE(Find<QCheckBox>(box)->isChecked()) << box;
  }

  Find<QSlider>(2157)->setValue(12);
  EXPECT_EQ(Find<QLabel>(2158)->text(), "12");
  Click(Find<QPushButton>(2));
  EXPECT_FALSE(Dialog().isVisible());
  Click(Main().Button(kIdOptions));
  EXPECT_EQ(Find<QLabel>(2158)->text(), "5") << "Cancel forgets";

  const QRect place = Main().geometry();
  Find<QSlider>(2157)->setValue(0);
  Click(Find<QRadioButton>(2175));
  Find<QCheckBox>(2156)->setChecked(true);
  Find<QCheckBox>(2167)->setChecked(true);
  Click(Find<QPushButton>(1));
  EXPECT_FALSE(Dialog().isVisible());
  EXPECT_EQ(Stored("DelayTime"), "0");
  EXPECT_EQ(Stored("FullScreenMode3"), "0");
  EXPECT_EQ(Stored("FullScreenMode4"), "1");
  EXPECT_EQ(Stored("AlwaysFull"), "1");
  EXPECT_EQ(viewer_->Settings().DelayTime, 0u);
  EXPECT_TRUE(TopMost());
  EXPECT_EQ(Main().geometry(), place) << "top-most neither moves nor sizes";
  EXPECT_FALSE(viewer_->Still().alwaysFull) << "AlwaysFull waits for the next start";
  EXPECT_TRUE(messages_.Messages().empty());

  viewer_.reset();
  ASSERT_TRUE(StartViewerOn(simulator_->Directory()));
  EXPECT_TRUE(viewer_->Still().alwaysFull);
  EXPECT_TRUE(WaitFor([&] { return TopMost(); })) << "top-most as streaming starts";
}

// Catches: an OK that cannot store reported as done, closing the dialog or
// changing the settings in memory.
TEST_F(OptionsTest, OkThatCannotStoreKeepsTheDialogOpen) {
  ASSERT_TRUE(StartViewer());
  Click(Main().Button(kIdOptions));
  ASSERT_TRUE(QFile::remove(SettingsFile()));
  ASSERT_TRUE(QDir().mkpath(SettingsFile()));
  Find<QSlider>(2157)->setValue(9);
  Click(Find<QPushButton>(1));
  ASSERT_EQ(messages_.Captions(), std::vector<std::string>{"(AWN000020)"});
  EXPECT_EQ(messages_.Messages()[0].text, "Registry Open Error! ");
  EXPECT_TRUE(Dialog().isVisible());
  EXPECT_EQ(viewer_->Settings().DelayTime, 5000u);
}

}  // namespace
}  // namespace rd420::viewer::test
