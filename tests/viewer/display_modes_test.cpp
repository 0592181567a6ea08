// The display modes on monitors of four sizes, the full-screen control
// bar's auto-hide, and the keys that belong to the viewer's windows only.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QWindow>
#include <optional>
#include <set>
#include <thread>

#include "platform/message_box_sink.h"
#include "viewer/viewer_fixture.h"

namespace rd420::viewer::test {
namespace {

QRect Monitor(int index) {
  return QGuiApplication::screens().at(index)->geometry();
}

class DisplayModeTest : public ViewerTest {
 protected:
  // Starts on monitor `index` (the window moved there after start-up).
  void StartOn(int index, const char* aspect = "4:3") {
    ASSERT_TRUE(StartViewer({"--aspect", aspect}));
    Main().move(Monitor(index).topLeft() + QPoint(20, 20));
    ASSERT_TRUE(WaitForPictures(2));
  }
  // Waits until a run in `mode` has shown two pictures.
  bool WaitForMode(uint8_t mode) {
    return WaitFor([&] { return viewer_->Flags().g_Display_Mode == mode; }) &&
           WaitFor([&] { return viewer_->Flags().g_Stream_Run != 0; }) && WaitForPictures(2);
  }
  // The resolution words the camera received, in order.
  std::string ResolutionWords() {
    std::string words;
    const std::string history = History();
    for (size_t at = history.find("0x0031000"); at != std::string::npos;
         at = history.find("0x0031000", at + 1)) {
      words += history[at + 9];
    }
    return words;
  }
  void PressKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(&Main(), static_cast<Qt::Key>(key), modifiers);
  }
  void MoveMouseBy(QPoint step) {
    mouse_ += step;
    QTest::mouseMove(&Main(), mouse_);
  }
  QPoint mouse_{300, 300};
};

struct LayoutCase {
  const char* name;
  const char* aspect;
  int monitor;
  uint8_t mode;
  QRect window;  // y -1: centred on the monitor leaving the caption height
  QSize picture;
  QPoint oneToOneButton;  // 2065; (-1, -1) hidden
  QPoint zoomInButton;    // 2068
  std::optional<QPoint> panel;
  friend void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }
};

class LayoutTest : public DisplayModeTest, public ::testing::WithParamInterface<LayoutCase> {};

// Catches: a layout measured on the primary monitor instead of the one
// holding the window, a wrong size or place of the window, the picture
// control, the button column (the 6-pixel shift at exactly 1280) or the
// panel, and a mode change that does not read frames of the new size.
TEST_P(LayoutTest, ModeIsLaidOutOnTheWindowsOwnMonitor) {
  const LayoutCase& c = GetParam();
  StartOn(c.monitor, c.aspect);
  if (c.mode == kModeHalf) {
    viewer_->Modes().RequestFullScreen();  // half is where it starts: leave and come back
    ASSERT_TRUE(WaitForMode(kModeFullScreen));
    PressKey(Qt::Key_Escape);
  } else if (c.mode == kModeOneToOne) {
    Click(Main().Button(kIdOneToOne));
  } else {
    Click(Main().Button(kIdFullScreen));
  }
  ASSERT_TRUE(WaitForMode(c.mode)) << c.name;

  QRect window = c.window;
  if (window.y() == -1) {
    const int caption = qApp->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    window.moveTop((Monitor(c.monitor).height() - (window.height() - 2) - caption) / 2);
  }
  EXPECT_EQ(Main().geometry(), window) << c.name;
  QWidget* picture = Main().View();
  EXPECT_EQ(picture->geometry(), QRect(QPoint(0, 0), c.picture)) << c.name;
  EXPECT_EQ(picture->isVisible(), c.mode == kModeHalf) << c.name;
  SkinButton* oneToOne = Main().Button(kIdOneToOne);
  EXPECT_EQ(oneToOne->isVisible() ? oneToOne->pos() : QPoint(-1, -1), c.oneToOneButton) << c.name;
  if (c.mode != kModeFullScreen) {
    EXPECT_EQ(Main().Button(kIdMainZoomIn)->pos(), c.zoomInButton) << c.name;
  }
  if (c.panel) {
    // Half: under the window, hidden; full screen: the shown control bar.
    EXPECT_EQ(Panel().pos(), *c.panel) << c.name;
    EXPECT_EQ(Panel().isVisible(), c.mode == kModeFullScreen) << c.name;
    EXPECT_EQ(Panel().Button(kIdHalf)->isVisible(), c.mode == kModeFullScreen) << c.name;
  }
  // Full size frames for the large modes (0), half for the half window (1).
  const std::string words = ResolutionWords();
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words.back(), c.mode == kModeHalf ? '1' : '0') << c.name << " " << words;
  EXPECT_TRUE(messages_.Messages().empty()) << messages_.Messages().front().caption;
}

INSTANTIATE_TEST_SUITE_P(Monitors, LayoutTest,
                         ::testing::Values(LayoutCase{"HalfOn1920",
                                                      "4:3",
                                                      0,
                                                      kModeHalf,
                                                      {630, 233, 660, 482},
                                                      {642, 482},
                                                      {641, 39},
                                                      {642, 390},
                                                      QPoint(630, 715)},
                                           LayoutCase{"HalfOn1024",
                                                      "4:3",
                                                      3,
                                                      kModeHalf,
                                                      {4662, 77, 660, 482},
                                                      {642, 482},
                                                      {641, 39},
                                                      {642, 390},
                                                      QPoint(4662, 559)},
                                           LayoutCase{"Half169On1280x800",
                                                      "16:9",
                                                      2,
                                                      kModeHalf,
                                                      {3510, 153, 660, 362},
                                                      {642, 362},
                                                      {641, 39},
                                                      {642, 270},
                                                      QPoint(3510, 515)},
                                           LayoutCase{"OneToOneOn1920",
                                                      "4:3",
                                                      0,
                                                      kModeOneToOne,
                                                      {320, -1, 1298, 962},
                                                      {1282, 962},
                                                      {1281, 39},
                                                      {1281, 868},
                                                      std::nullopt},
                                           LayoutCase{"OneToOneOn1280x1024",
                                                      "4:3",
                                                      1,
                                                      kModeOneToOne,
                                                      {1920, -1, 1298, 962},
                                                      {1276, 962},
                                                      {1275, 39},
                                                      {1275, 868},
                                                      std::nullopt},
                                           LayoutCase{"OneToOne169On1280x800",
                                                      "16:9",
                                                      2,
                                                      kModeOneToOne,
                                                      {3200, -1, 1298, 722},
                                                      {1276, 722},
                                                      {1275, 39},
                                                      {1275, 628},
                                                      std::nullopt},
                                           LayoutCase{"FullScreenOn1920",
                                                      "4:3",
                                                      0,
                                                      kModeFullScreen,
                                                      {0, 0, 1920, 1080},
                                                      {1920, 1080},
                                                      {-1, -1},
                                                      {},
                                                      QPoint(1278, 950)},
                                           LayoutCase{"FullScreenOn1024",
                                                      "4:3",
                                                      3,
                                                      kModeFullScreen,
                                                      {4480, 0, 1024, 768},
                                                      {1024, 768},
                                                      {-1, -1},
                                                      {},
                                                      QPoint(4862, 638)},
                                           LayoutCase{"FullScreen169On1280x1024",
                                                      "16:9",
                                                      1,
                                                      kModeFullScreen,
                                                      {1920, 0, 1280, 1024},
                                                      {1280, 1024},
                                                      {-1, -1},
                                                      {},
                                                      QPoint(2558, 894)}),
                         [](const auto& param) { return std::string(param.param.name); });

// Catches: the toggle, the half button, Alt+Enter and Esc asking for the
// wrong mode, a request for the shown mode restarting the stream, and the
// 1:1 window offered on a monitor that cannot hold it.
TEST_F(DisplayModeTest, ModeRequestsRoundTrip) {
  StartOn(0);
  Click(Main().Button(kIdOneToOne));
  ASSERT_TRUE(WaitForMode(kModeOneToOne));
  EXPECT_EQ(Main().View()->Picture().width(), 1280);
  EXPECT_EQ(viewer_->Modes().HalfToggle(), 0);
  Click(Main().Button(kIdOneToOne));
  ASSERT_TRUE(WaitForMode(kModeHalf));
  EXPECT_EQ(viewer_->Modes().HalfToggle(), 1);
  PressKey(Qt::Key_Return, Qt::AltModifier);
  ASSERT_TRUE(WaitForMode(kModeFullScreen));
  PressKey(Qt::Key_Return, Qt::AltModifier);  // shown already: nothing
  Click(Panel().Button(kIdHalf));
  ASSERT_TRUE(WaitForMode(kModeHalf));
  PressKey(Qt::Key_Escape);  // half already: nothing
  ASSERT_TRUE(WaitForPictures(3));
  // Start, 1:1, half, full screen, half: one resolution word each.
  EXPECT_EQ(ResolutionWords(), "10101");

  // The panel travels with the half window.
  Main().move(Main().pos() + QPoint(40, 30));
  EXPECT_EQ(Panel().pos(), Main().pos() + QPoint(0, 482));

  // On the 1024-wide monitor the 1:1 window is refused, whatever the
  // button showed when it was last checked.
  Main().move(Monitor(3).topLeft());
  ASSERT_TRUE(WaitFor([&] { return !Main().Button(kIdOneToOne)->isEnabled(); }));
  viewer_->Modes().ToggleOneToOne();
  ASSERT_EQ(messages_.Captions(), std::vector<std::string>{"ERROR (AWN00007)"});
  EXPECT_EQ(viewer_->Flags().g_Display_Mode, kModeHalf);
}

// The ids of the panel's buttons that are visible now.
std::set<int> ShownButtons(const ControlPanel& panel) {
  std::set<int> ids;
  for (const SkinButton* button : panel.findChildren<SkinButton*>()) {
    if (button->isVisible()) {
      ids.insert(button->Spec().id);
    }
  }
  return ids;
}

// Catches: a full-screen control bar without the buttons the half-mode
// panel shows, a click on the bar that reaches no camera, and a trip
// through full screen that shows the variant model's hidden Activate again.
TEST_F(DisplayModeTest, ControlBarShowsThePanelsButtons) {
  for (const bool variant : {false, true}) {
    SCOPED_TRACE(variant ? "variant" : "standard");
    ASSERT_TRUE(StartViewer({"--variant", variant ? "1" : "0"}));
    ASSERT_TRUE(WaitForPictures(2));
    Click(Main().Button(kIdOpenPanel));
    ASSERT_TRUE(WaitFor([&] { return Panel().isVisible(); }));
    const std::set<int> half = ShownButtons(Panel());
    EXPECT_EQ(half.count(kIdActivate), variant ? 0u : 1u);

    Click(Main().Button(kIdFullScreen));
    ASSERT_TRUE(WaitForMode(kModeFullScreen));
    ASSERT_TRUE(Panel().isVisible());
    std::set<int> bar = half;
    bar.erase(kIdPanelClose);
    bar.insert(kIdHalf);
    EXPECT_EQ(ShownButtons(Panel()), bar);
    // Through the bar's window, which finds the button under the pointer.
    QTest::mouseClick(Panel().windowHandle(), Qt::LeftButton, {},
                      Panel().Button(kIdAutoFocus)->geometry().center());
    EXPECT_TRUE(WaitForHistory("0x00020005")) << History();

    Click(Panel().Button(kIdHalf));
    ASSERT_TRUE(WaitForMode(kModeHalf));
    Click(Main().Button(kIdOpenPanel));
    ASSERT_TRUE(WaitFor([&] { return Panel().isVisible(); }));
    EXPECT_EQ(ShownButtons(Panel()), half);
    viewer_.reset();
    simulator_.reset();
  }
}

struct NoticeCase {
  const char* name;
  int monitor;
  uint8_t mode;
  QPoint position;  // in the main window
};

class NoticeTest : public DisplayModeTest, public ::testing::WithParamInterface<NoticeCase> {};

// Catches: the quick-save notice drawn at the corner of the monitor or
// of the window instead of five pixels into the picture.
TEST_P(NoticeTest, QuickSaveNoticeSitsInThePicturesCorner) {
  const NoticeCase& c = GetParam();
  // The save waits until the notice has been looked at.
  std::atomic<bool> seen{false};
  actions_.duringSave = [&] {
    for (int i = 0; i < 1000 && !seen; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  StartOn(c.monitor);
  if (c.mode == kModeOneToOne) {
    Click(Main().Button(kIdOneToOne));
  } else if (c.mode == kModeFullScreen) {
    Click(Main().Button(kIdFullScreen));
  }
  ASSERT_TRUE(WaitForMode(c.mode));
  PressKey(Qt::Key_F2);
  const bool shown = WaitFor([&] { return !Main().View()->Notice().isEmpty(); });
  const QPoint position = Main().View()->NoticePosition();
  seen = true;
  ASSERT_TRUE(shown);
  EXPECT_EQ(Main().View()->Notice(), QStringLiteral("Quick Saving...!"));
  EXPECT_EQ(position, c.position);
  ASSERT_TRUE(WaitFor([&] { return viewer_->Stills().g_QuickSave_Busy == 0; }));
}

// A 4:3 picture at 1:1: centred on 1920 x 1080 from (320, 60), and from
// (0, 32) on 1280 x 1024.
INSTANTIATE_TEST_SUITE_P(
    Modes, NoticeTest,
    ::testing::Values(NoticeCase{"HalfOn1920", 0, kModeHalf, {6, 6}},
                      NoticeCase{"HalfOn1280x1024", 1, kModeHalf, {6, 6}},
                      NoticeCase{"OneToOneOn1920", 0, kModeOneToOne, {5, 5}},
                      NoticeCase{"OneToOneOn1280x1024", 1, kModeOneToOne, {5, 5}},
                      NoticeCase{"FullScreenOn1920", 0, kModeFullScreen, {325, 65}},
                      NoticeCase{"FullScreenOn1280x1024", 1, kModeFullScreen, {5, 37}}),
    [](const auto& param) { return std::string(param.param.name); });

// Catches: a control bar that does not show on a move of 2 pixels, shows
// on 1, hides before its delay, hides while the button is held, or hides
// at all with a delay of 0.
TEST_F(DisplayModeTest, ControlBarHidesAfterTheDelay) {
  StartOn(0);
  Click(Main().Button(kIdFullScreen));
  ASSERT_TRUE(WaitForMode(kModeFullScreen));
  QTimer& timer = viewer_->Modes().BarTimer();
  EXPECT_TRUE(Panel().isVisible());
  ASSERT_TRUE(timer.isActive());
  EXPECT_EQ(timer.interval(), 5000);
  MoveMouseBy({0, 0});  // where the mouse is
  timer.start(1);       // the delay's end, without waiting 5 s
  ASSERT_TRUE(WaitFor([&] { return !Panel().isVisible(); }));

  MoveMouseBy({1, 1});
  QCoreApplication::processEvents();
  EXPECT_FALSE(Panel().isVisible()) << "a move of 1 pixel is not a move";
  MoveMouseBy({2, 0});
  EXPECT_TRUE(Panel().isVisible());
  EXPECT_GT(timer.remainingTime(), 4000);

  QTest::mousePress(&Main(), Qt::LeftButton, {}, mouse_);
  EXPECT_FALSE(timer.isActive()) << "the bar stays while the button is held";
  QTest::mouseRelease(&Main(), Qt::LeftButton, {}, mouse_);
  ASSERT_TRUE(timer.isActive());
  timer.start(1);
  ASSERT_TRUE(WaitFor([&] { return !Panel().isVisible(); }));
}

// Catches: a delay of 0 hiding the bar, or the scaled full-screen setting
// not reaching the picture (1440 x 1080 on 1920 x 1080).
TEST_F(DisplayModeTest, ControlBarNeverHidesWithADelayOfZero) {
  {
    QSettings settings(SettingsFile(), QSettings::IniFormat);
    settings.setValue("DelayTime", 0);
    settings.setValue("FullScreenMode3", 0);
    settings.setValue("FullScreenMode4", 1);
  }
  StartOn(0);
  Click(Main().Button(kIdFullScreen));
  ASSERT_TRUE(WaitForMode(kModeFullScreen));
  EXPECT_EQ(Main().View()->Picture().size(), QSize(1440, 1080));
  MoveMouseBy({5, 5});
  EXPECT_TRUE(Panel().isVisible());
  EXPECT_FALSE(viewer_->Modes().BarTimer().isActive());
}

// Catches: the viewer's key filter taking Return from a message box, so a
// box shown by a worker thread stays until clicked.
TEST_F(DisplayModeTest, ReturnClosesAMessageBoxFromAWorker) {
  StartOn(0);
  const MessageSink recorder = SetMessageSink({});
  InstallMessageBoxSink();
  bool closedByKey = false;
  bool forced = false;
  QTimer press;
  QObject::connect(&press, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      if (!closedByKey) {
        closedByKey = true;
        QTest::keyClick(box, Qt::Key_Return);
      } else {
        forced = true;  // Return did not close it
        box->done(0);
      }
    }
  });
  press.start(200);
  std::atomic<bool> answered{false};
  std::thread worker([&] {
    ShowMessage(nullptr, "text", "Error (ABK00005)", MessageIcon::kWarning);
    answered = true;
  });
  const bool done = WaitFor([&] { return answered.load(); });
  worker.join();
  SetMessageSink(recorder);
  ASSERT_TRUE(done);
  EXPECT_TRUE(closedByKey);
  EXPECT_FALSE(forced);
}

}  // namespace
}  // namespace rd420::viewer::test
