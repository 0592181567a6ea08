// The viewer's start-up, windows, buttons and status handling, headless,
// against rd420d --simulate.
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "platform/instance_lock.h"
#include "viewer/link_messages.h"
#include "viewer/viewer_fixture.h"

namespace rd420::viewer::test {
namespace {

bool Visible(QWidget& window, int id) {
  QWidget* control = window.findChild<QWidget*>(ControlName(id));
  return control != nullptr && !control->isHidden();
}
bool Enabled(QWidget& window, int id) {
  QWidget* control = window.findChild<QWidget*>(ControlName(id));
  return control != nullptr && control->isEnabled();
}

// Counts pixels of `picture` within `area` that are close to `colour`.
int PixelsNear(const QImage& picture, QRect area, QColor colour) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom() && y < picture.height(); ++y) {
    for (int x = area.left(); x <= area.right() && x < picture.width(); ++x) {
      const QColor pixel = picture.pixelColor(x, y);
      count += std::abs(pixel.red() - colour.red()) < 40 &&
               std::abs(pixel.green() - colour.green()) < 40 &&
               std::abs(pixel.blue() - colour.blue()) < 40;
    }
  }
  return count;
}

// Catches: a start-up that leaves out a window, a button or the live
// picture, or asks the camera for the wrong frame size.
TEST_F(ViewerTest, StartUpShowsTheLivePictureInTheHalfLayout) {
  ASSERT_TRUE(StartViewer());
  EXPECT_EQ(Main().windowTitle(), "TORVELA View Panel");
  EXPECT_TRUE(Main().isVisible());
  EXPECT_EQ(Main().size(), QSize(660, 482));
  for (const int id : {2, 2064, 2065, 2066, 2067, 2068, 2070, 2071, 2072, 2073, 2150}) {
    QWidget* button = Main().findChild<QWidget*>(ControlName(id));
    ASSERT_NE(button, nullptr) << id;
    EXPECT_EQ(button->size(), QSize(17, 17)) << id;
    EXPECT_EQ(button->x(), 642) << id;
  }
  EXPECT_EQ(Main().findChild<QWidget*>(ControlName(2068))->toolTip(), "줌 인");
  EXPECT_FALSE(Panel().isVisible());
  EXPECT_EQ(Panel().windowTitle(), "Control Panel");
  EXPECT_EQ(Panel().size(), QSize(642, 130));

  ASSERT_TRUE(WaitForPictures(3));
  const QImage picture = Main().View()->Picture();
  EXPECT_EQ(picture.size(), QSize(640, 480));
  // The simulated page is light grey in the middle of the picture.
  EXPECT_GT(qGray(picture.pixel(320, 150)), 150);
  EXPECT_NE(History().find("0x00310001"), std::string::npos) << History();
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: each frame posted to the GUI thread on its own, so a GUI that
// lags works through a backlog of old pictures instead of the newest.
TEST_F(ViewerTest, AGuiThatLagsShowsOnlyTheNewestFrame) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  const uint64_t readBefore = viewer_->Pipeline().FramesRead();
  const int shown = PicturesShown();
  QThread::msleep(600);  // the GUI thread busy while frames arrive
  ASSERT_GE(viewer_->Pipeline().FramesRead() - readBefore, 5u);
  QCoreApplication::processEvents();
  // One repaint for all of them; a frame read during it may ask once more.
  EXPECT_GE(PicturesShown(), shown + 1);
  EXPECT_LE(PicturesShown(), shown + 2);
}

// Catches: the panel's place, its close button not hiding it, or "Ctrl"
// not bringing it back.
TEST_F(ViewerTest, ControlPanelOpensUnderTheMainWindowAndCloses) {
  ASSERT_TRUE(StartViewer());
  Click(Main().Button(kIdOpenPanel));
  ASSERT_TRUE(WaitFor([&] { return Panel().isVisible(); }));
  EXPECT_EQ(Panel().pos(), Main().pos() + QPoint(0, 482));
  EXPECT_FALSE(Enabled(Main(), kIdOpenPanel));
  Click(Panel().Button(kIdPanelClose));
  EXPECT_FALSE(Panel().isVisible());
  EXPECT_TRUE(Enabled(Main(), kIdOpenPanel));
  EXPECT_FALSE(viewer_->Ended()) << "the panel's close (2) is not the main window's exit (2)";
  EXPECT_TRUE(Main().isVisible());
}

struct StatusCase {
  const char* name;
  uint32_t status;
  bool variant;
  bool freezeLit, lampLit, apertureLit, internal, captureEnabled, functionsEnabled;
};

class StatusTest : public ViewerTest, public ::testing::WithParamInterface<StatusCase> {};

// Catches: an indicator showing the wrong half of its pair, or the freeze
// lock applied to the model that does not need it.
TEST_P(StatusTest, ButtonsFollowTheStatusWord) {
  const StatusCase& c = GetParam();
  ASSERT_TRUE(StartViewer({"--variant", c.variant ? "1" : "0"}));
  // On the 1024 x 768 monitor: no room for the 1:1 window.
  Main().move(QGuiApplication::screens().at(3)->geometry().topLeft());
  ASSERT_TRUE(WaitForPictures(2));
  char command[64];
  std::snprintf(command, sizeof command, "force-status 0x%08X", c.status);
  ASSERT_EQ(simulator_->Control(command).substr(0, 2), "ok");
  ASSERT_TRUE(WaitFor([&] { return viewer_->Status().g_Prev_Status == c.status; }));
  ASSERT_TRUE(WaitForPictures(4));

  EXPECT_EQ(Visible(Panel(), kIdFreezeLit), c.freezeLit);
  EXPECT_EQ(Visible(Panel(), kIdFreezeDim), !c.freezeLit);
  EXPECT_EQ(Visible(Panel(), kIdLampLit), c.lampLit);
  EXPECT_EQ(Visible(Panel(), kIdLampDim), !c.lampLit);
  EXPECT_EQ(Visible(Panel(), kIdApertureLit), c.apertureLit);
  EXPECT_EQ(Visible(Panel(), kIdApertureDim), !c.apertureLit);
  EXPECT_EQ(Visible(Panel(), kIdInternal), c.internal);
  EXPECT_EQ(Visible(Panel(), kIdExternal), !c.internal);
  EXPECT_EQ(Enabled(Panel(), kIdCapture), c.captureEnabled);
  for (const int id : {kIdZoomIn, kIdLamp, 2042}) {
    EXPECT_EQ(Enabled(Panel(), id), c.functionsEnabled) << id;
  }
  EXPECT_EQ(Enabled(Main(), kIdMainZoomIn), c.functionsEnabled);
  EXPECT_TRUE(Enabled(Panel(), kIdFreeze));
  EXPECT_FALSE(Enabled(Main(), kIdOneToOne));
  EXPECT_TRUE(messages_.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Words, StatusTest,
    ::testing::Values(
        StatusCase{"AtRest", 0x61802000, false, false, false, true, true, true, true},
        StatusCase{"FreezeAndLamp", 0x61802804, false, true, true, true, true, true, false},
        StatusCase{"FreezeOnVariant", 0x61803804, true, true, true, true, true, true, true},
        StatusCase{"TextModeExternal", 0x61802410, false, false, false, false, false, true, true}),
    [](const ::testing::TestParamInfo<StatusCase>& word) { return std::string(word.param.name); });

// Catches: a format change that goes unnoticed, is reported twice, or is
// reported as a link failure (the camera's frames of the other size).
TEST_F(ViewerTest, FormatChangeEndsTheViewerWithAwn00008) {
  for (const auto& [aspect, change] :
       {std::pair{"4:3", "force-status 0x61C02000"}, std::pair{"16:9", "force-status 0x00000000"},
        std::pair{"4:3", "aspect 16:9"}}) {
    ASSERT_TRUE(StartViewer({"--aspect", aspect}));
    ASSERT_TRUE(WaitForPictures(2));
    // The 16:9 window is 120 pixels lower, its lower buttons with it.
    const bool wide = std::string(aspect) == "16:9";
    EXPECT_EQ(Main().size(), QSize(660, wide ? 362 : 482));
    EXPECT_EQ(Main().Button(kIdMainZoomIn)->y(), wide ? 270 : 390);
    EXPECT_EQ(Main().View()->Picture().size(), QSize(640, wide ? 360 : 480));
    simulator_->Control(change);
    ASSERT_TRUE(WaitFor([&] { return viewer_->Ended(); })) << aspect;
    ASSERT_EQ(messages_.Captions(), std::vector<std::string>{"Error (AWN00008)"}) << aspect;
    EXPECT_EQ(messages_.Messages()[0].text,
              "해상도가 변경되어서 프로그램이 종료되었습니다. 프로그램을 다시 실행해 주십시오.");
    EXPECT_TRUE(WaitFor([&] { return finished_ == 1; }));
    viewer_.reset();
    finished_ = 0;
    messages_.Clear();
  }
}

// Catches: a button sending the wrong word, a toggle that ignores the
// status bit, or hold buttons without their stop word.
TEST_F(ViewerTest, ButtonsSendTheirCommandWords) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(4));
  const struct {
    int id;
    const char* word;
  } clicks[] = {
      {kIdAutoFocus, "0x00020005"}, {kIdAutoColour, "0x00010005"}, {2043, "0x00170002"},
      {2049, "0x00180004"},         {kIdTextImage, "0x0009000A"},  {kIdOutput, "0x0004000A"},
      {kIdLamp, "0x00030005"},
  };
  for (const auto& click : clicks) {
    Click(Panel().Button(click.id));
    EXPECT_TRUE(WaitForHistory(click.word)) << click.id << " " << History();
  }
  // Lamp on now shows in the status word; the same button switches it off.
  ASSERT_TRUE(WaitFor([&] { return (viewer_->Status().g_Normal_Status & 0x4) != 0; }));
  Click(Panel().Button(kIdLamp));
  EXPECT_TRUE(WaitForHistory("0x0003000A"));

  QTest::mousePress(Panel().Button(kIdRedPlus), Qt::LeftButton);
  EXPECT_TRUE(WaitForHistory("0x00230005"));
  QTest::mouseRelease(Panel().Button(kIdRedPlus), Qt::LeftButton);
  EXPECT_TRUE(WaitFor([&] {
    const std::string history = History();
    return history.rfind("0x002F0005") > history.rfind("0x00230005");
  })) << History();
  // Last: the camera's freeze locks the other buttons.
  Click(Panel().Button(kIdFreeze));
  EXPECT_TRUE(WaitForHistory("0x00120005"));
}

// Catches: a queued word that is sent even though a later one replaced it
// before the next reader cycle.
TEST_F(ViewerTest, TwoPressesWithinOneFrameSendOnlyTheSecond) {
  ASSERT_TRUE(StartViewer({"--fps", "2"}));
  ASSERT_TRUE(WaitForPictures(1));
  Click(Panel().Button(kIdAutoFocus));
  Click(Panel().Button(kIdAutoColour));
  ASSERT_TRUE(WaitForHistory("0x00010005"));
  EXPECT_EQ(History().find("0x00020005"), std::string::npos) << History();
}

// Catches: the zoom value missing from the picture while the button is
// held, or left on it after the 2000 ms time-out.
TEST_F(ViewerTest, ZoomValueShowsWhileHeldAndGoesAfterTwoSeconds) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  const QRect textArea(9, 480 - 20, 300, 18);
  const QColor yellow(255, 255, 0);
  EXPECT_EQ(PixelsNear(Main().View()->Picture(), textArea, yellow), 0);

  QTest::mousePress(Main().Button(kIdMainZoomIn), Qt::LeftButton);
  ASSERT_TRUE(WaitForHistory("0x00260005"));
  EXPECT_TRUE(WaitFor([&] { return PixelsNear(Main().View()->Picture(), textArea, yellow) > 20; }));
  EXPECT_GT(PixelsNear(Main().View()->Picture(), textArea.translated(1, 1), Qt::black), 0);
  QElapsedTimer sinceRelease;
  sinceRelease.start();
  QTest::mouseRelease(Main().Button(kIdMainZoomIn), Qt::LeftButton);
  ASSERT_TRUE(WaitForHistory("0x002F0005"));
  EXPECT_TRUE(viewer_->Controls().g_Zoom_Osd != 0);
  ASSERT_TRUE(WaitFor([&] { return viewer_->Controls().g_Zoom_Osd == 0; }, 5000));
  EXPECT_GE(sinceRelease.elapsed(), 1990);
  ASSERT_TRUE(WaitForPictures(3));
  EXPECT_EQ(PixelsNear(Main().View()->Picture(), textArea, yellow), 0);
}

// Catches: a start-up failure that is silent, shown twice, or that leaves
// the viewer running.
TEST_F(ViewerTest, StartUpFailuresEachShowOneMessage) {
  const std::string empty = rd420::test::MakeTempDirectory();
  EXPECT_FALSE(StartViewerOn(empty));
  EXPECT_EQ(messages_.Captions(), std::vector<std::string>{"Error (AHL00001)"});
  EXPECT_TRUE(WaitFor([&] { return finished_ == 1; }));
  viewer_.reset();
  finished_ = 0;
  messages_.Clear();
  rd420::test::RemoveDirectory(empty);

  const struct {
    std::vector<std::string> options;
    const char* caption;
  } cases[] = {
      {{"--busy-polls", "100000"}, "Error (AWN00003)"},
      {{"--full-speed"}, "Error (AHL00008)"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(StartViewer(c.options)) << c.caption;
    EXPECT_EQ(messages_.Captions(), std::vector<std::string>{c.caption});
    EXPECT_TRUE(viewer_->Ended());
    EXPECT_TRUE(WaitFor([&] { return finished_ == 1; }));
    viewer_.reset();
    finished_ = 0;
    messages_.Clear();
  }
}

// Catches: a second viewer that opens a window or disturbs the first.
TEST(ViewerProgram, SecondStartShowsAwn00001AndEndsWithoutAWindow) {
  const std::string runtime = rd420::test::MakeTempDirectory();
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime));
  std::optional<InstanceLock> first = InstanceLock::Acquire();
  ASSERT_TRUE(first.has_value());
  MessageRecorder messages;
  Viewer::Options options;
  options.deviceDirectory = runtime;
  EXPECT_EQ(RunViewerProgram(options), 0);
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].caption, "Error (AWN00001)");
  EXPECT_EQ(messages.Messages()[0].icon, MessageIcon::kError);
  EXPECT_EQ(messages.Messages()[0].text.rfind("프로그램이 이미 실행중이거나 종료중입니다. \n", 0),
            0u);
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
              std::none_of(QApplication::topLevelWidgets().begin(),
                           QApplication::topLevelWidgets().end(),
                           [](QWidget* w) { return w->isVisible(); }));
  first.reset();
  rd420::test::RemoveDirectory(runtime);
}

// Catches: an about box without its build time or that cannot be closed.
TEST_F(ViewerTest, AboutBoxShowsTheBuildTime) {
  ASSERT_TRUE(StartViewer());
  Click(Main().Button(kIdAbout));
  AboutBox& about = *viewer_->About();
  EXPECT_TRUE(about.isVisible());
  EXPECT_EQ(about.pos(), Main().pos() + QPoint(130, 100));
  const auto* buildTime = about.findChild<QLabel*>(QStringLiteral("buildTime"));
  ASSERT_NE(buildTime, nullptr);
  EXPECT_TRUE(buildTime->text().startsWith("Build Time: " __DATE__));
  Click(about.findChild<QPushButton*>(ControlName(1)));
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace rd420::viewer::test
