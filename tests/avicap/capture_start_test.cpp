// The capture program's start-up, dialog and live preview, headless,
// against rd420d --simulate.
#include <QRadioButton>

#include "avicap/about_box.h"
#include "avicap/capture_fixture.h"
#include "platform/instance_lock.h"

namespace rd420::avicap::test {
namespace {

constexpr char kNoDriverText[] =
    "Fail to find USB device driver.\nCheck the USB plug or the power of the USB set. ";

bool Checked(QWidget* control) {
  return qobject_cast<QAbstractButton*>(control)->isChecked();
}

// Catches: a control missing, in the wrong state or overlapping the
// preview, the title, or a start-up that shows no live picture at half
// size at the top of the dialog.
TEST_F(CaptureTest, StartUpShowsTheDialogAndTheLivePreview) {
  ASSERT_TRUE(StartCapture());
  Dialog().show();
  EXPECT_EQ(Dialog().windowTitle(), "TORVELA VAV Eduruzu");
  struct Expected {
    int id;
    const char* text;
    bool enabled;
    bool visible;
  };
  const Expected controls[] = {
      {kIdCapture, "&Capture", true, true},
      {kIdStop, "&Stop", false, true},
      {kIdExit, "E&xit", true, true},
      {kIdVadizivid, "&VADIZIVID", true, true},
      {kIdTimeLimit, "Capture Time Limits", true, true},
      {kIdMinutes, "60", false, true},
      {kIdEstimate, " Approx. : 445.31 Mbyte", true, true},
      {kIdVideoNone, "No Compression", true, true},
      {kIdVideoXvid, "MPEG-4 (Xvid)", true, true},
      {kIdVideoLowQuality, "MPEG-4 (Low Quality)", true, false},
      {kIdAudioPcm, "No Compression", true, true},
      {kIdAudioAdpcm, "MS ADPCM", true, true},
      {kIdRotate, "Rotate Image 180 dgrees", true, true},
      {kIdLocalTime, "Display Local Time in AVI File", true, true},
      {kIdShowCaption, "Display User Caption in AVI File", true, true},
      {kIdCaption, "", false, true},
      {kIdElapsed, "00:00:00", true, true},
      {kIdFrameRate, "21", true, false},
  };
  const QRect client = Dialog().rect();
  for (const Expected& expected : controls) {
    QWidget* control = Control(expected.id);
    ASSERT_NE(control, nullptr) << expected.id;
    EXPECT_EQ(Text(expected.id), QString::fromUtf8(expected.text)) << expected.id;
    EXPECT_EQ(control->isEnabled(), expected.enabled) << expected.id;
    EXPECT_EQ(control->isVisible(), expected.visible) << expected.id;
    if (expected.visible) {
      EXPECT_TRUE(client.contains(control->geometry())) << expected.id;
      EXPECT_GE(control->y(), 480) << expected.id << " overlaps the preview";
    }
  }
  EXPECT_TRUE(Checked(Control(kIdVideoXvid)));
  EXPECT_TRUE(Checked(Control(kIdAudioAdpcm)));
  EXPECT_TRUE(Control(kIdIdleIndicator)->isVisible());
  EXPECT_FALSE(Control(kIdRecordIndicator)->isVisible());
  EXPECT_EQ(Control(kIdIdleIndicator)->geometry(), Control(kIdRecordIndicator)->geometry());
  EXPECT_EQ(Control(kIdPreview)->geometry(), QRect(0, 0, 640, 480));

  ASSERT_TRUE(WaitForPictures(3));
  EXPECT_EQ(Dialog().Preview()->Picture().size(), QSize(640, 480));
  EXPECT_EQ(Dialog().Preview()->Origin(), QPoint(0, 0));
  // The simulated page is light grey in the middle of the picture.
  EXPECT_GT(qGray(Dialog().Preview()->Picture().pixel(320, 150)), 150);
  EXPECT_NE(simulator_->Control("history").find("0x00310001"), std::string::npos);
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: a 16:9 picture drawn at the top of the preview instead of 55
// pixels down, or at the 4:3 size.
TEST_F(CaptureTest, WidePictureIsPaintedFiftyFivePixelsDown) {
  ASSERT_TRUE(StartCapture({"--aspect", "16:9"}));
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_EQ(Dialog().Preview()->Picture().size(), QSize(640, 360));
  EXPECT_EQ(Dialog().Preview()->Origin(), QPoint(0, 55));
  EXPECT_TRUE(messages_.Messages().empty());
}

struct StartFailure {
  const char* name;
  std::vector<std::string> simulatorOptions;  // empty: no camera at all
  const char* caption;
  const char* text;
};

class CaptureStartFailureTest : public CaptureTest,
                                public ::testing::WithParamInterface<StartFailure> {};

// Catches: a start-up failure that shows no message, the wrong caption or
// text, more than one message, or that leaves the dialog open or
// unminimised.
TEST_P(CaptureStartFailureTest, ShowsOneMessageMinimisesAndCloses) {
  const StartFailure& failure = GetParam();
  std::string emptyDirectory;
  if (failure.simulatorOptions.empty()) {
    emptyDirectory = rd420::test::MakeTempDirectory();
    EXPECT_FALSE(StartCaptureOn(emptyDirectory));
  } else {
    EXPECT_FALSE(StartCapture(failure.simulatorOptions));
  }
  EXPECT_TRUE(WaitForEnd());
  const std::vector<Message> shown = messages_.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, failure.caption);
  EXPECT_EQ(shown[0].text, failure.text);
  EXPECT_EQ(shown[0].icon, MessageIcon::kWarning);
  EXPECT_TRUE(Dialog().windowState() & Qt::WindowMinimized);
  EXPECT_EQ(PicturesShown(), 0);
  if (!emptyDirectory.empty()) {
    rd420::test::RemoveDirectory(emptyDirectory);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CaptureStartFailureTest,
    ::testing::Values(
        StartFailure{"NoCamera", {}, "Error (AHL00001)", kNoDriverText},
        StartFailure{"NeverReady", {"--busy-polls", "100000"}, "Error (AWN00003)", kNoDriverText},
        StartFailure{"FullSpeedLink",
                     {"--full-speed"},
                     "Error (USB00001)",
                     "VAV Eduruzu Program requires USB2.0 running Windows 2000/XP/2003/Vista  "}),
    [](const auto& param) { return std::string(param.param.name); });

// Catches: a second program (the viewer or another capture program)
// starting on a camera the first one holds, or touching the camera first.
TEST_F(CaptureTest, SecondInstanceIsRefusedBeforeTheCameraIsTouched) {
  simulator_ = std::make_unique<SimulatorProcess>();
  ASSERT_TRUE(simulator_->Ready());
  const std::string expected =
      "The Same Program Already Exists or In the Process of Termination.\nOr the Pelucid is "
      "being used in other ZQT program series.\nIn case of Abnormal Off, please disconnect the "
      "plug of USB and reconnect it.   ";
  {
    // The viewer holds the same lock while it runs.
    std::optional<InstanceLock> viewer = InstanceLock::Acquire(kCameraLockName);
    ASSERT_TRUE(viewer.has_value());
    EXPECT_FALSE(StartCaptureOn(simulator_->Directory()));
    EXPECT_TRUE(WaitForEnd());
    EXPECT_EQ(simulator_->State()["vendor"], "0");
  }
  ASSERT_TRUE(StartCaptureOn(simulator_->Directory()));
  CaptureDlg second(MakeOptions(simulator_->Directory()));
  EXPECT_FALSE(second.Initialise());
  EXPECT_TRUE(WaitFor([&] { return second.Ended(); }));
  EXPECT_FALSE(Dialog().Ended());
  EXPECT_TRUE(WaitForPictures(2)) << "the first program keeps its preview";

  const std::vector<Message> shown = messages_.Messages();
  ASSERT_EQ(shown.size(), 2u);
  for (const Message& message : shown) {
    EXPECT_EQ(message.caption, "Error (AWN00001)");
    EXPECT_EQ(message.text, expected);
    EXPECT_EQ(message.icon, MessageIcon::kError);
  }
}

// Catches: the about item out of reach on Linux (F1 and the dialog's
// context menu stand for the system menu).
TEST_F(CaptureTest, F1OpensTheAboutBox) {
  dialog_ = std::make_unique<CaptureDlg>(MakeOptions(runtimeDirectory_));
  Dialog().show();
  QTest::keyClick(&Dialog(), Qt::Key_F1);
  EXPECT_TRUE(Dialog().About()->isVisible());
  EXPECT_EQ(Dialog().About()->windowTitle(), "About Pelucid VAV Eduruzu");
}

// The estimate after each step, as the dialog shows it; every step is a
// click or an entry of the user.
struct EstimateStep {
  int click;            // a radio button, or 0
  const char* minutes;  // typed into 1003, or null
  const char* minutesShown;
  const char* estimate;
};

// Catches: a wrong rate, format, unit or rounding of the estimate, the
// minutes not following the video choice, or an entry beyond the 32-bit
// count accepted.
TEST_F(CaptureTest, EstimateFollowsEveryChange) {
  dialog_ = std::make_unique<CaptureDlg>(MakeOptions(runtimeDirectory_));
  const EstimateStep steps[] = {
      {0, nullptr, "60", " Approx. : 445.31 Mbyte"},
      {kIdVideoNone, nullptr, "3", "Approx. : 1.98 Gbyte"},
      {kIdAudioPcm, nullptr, "3", "Approx. : 2.01 Gbyte"},
      {kIdVideoLowQuality, nullptr, "60", " Approx. : 99.61 Mbyte"},
      {kIdAudioAdpcm, nullptr, "60", " Approx. : 99.61 Mbyte"},
      {kIdVideoXvid, "", "", " Approx. : 0.00 Mbyte"},
      {kIdVideoNone, "9999", "6126", "Approx. : 4045.73 Gbyte"},
      {kIdAudioPcm, nullptr, "6126", "Approx. : 4095.39 Gbyte"},
  };
  for (const EstimateStep& step : steps) {
    if (step.click != 0) {
      qobject_cast<QAbstractButton*>(Control(step.click))->click();
    }
    if (step.minutes != nullptr) {
      qobject_cast<QLineEdit*>(Control(kIdMinutes))->setText(QString::fromUtf8(step.minutes));
    }
    EXPECT_EQ(Text(kIdMinutes), step.minutesShown) << step.click;
    EXPECT_EQ(Text(kIdEstimate), step.estimate) << step.click;
  }
}

}  // namespace
}  // namespace rd420::avicap::test
