#include "driver/camera_model.h"

#include <gtest/gtest.h>

#include "wire/command_words.h"
#include "wire/status_word.h"

namespace rd420::sim {
namespace {

using namespace std::chrono_literals;

class CameraModelTest : public ::testing::Test {
 protected:
  uint32_t Send(uint32_t word) { return model_.Command(word, now_); }
  uint32_t Status() { return Send(kPollStatus); }

  CameraModel model_{CameraOptions{}};
  Clock::time_point now_ = Clock::now();
};

// Catches: a resting camera whose status word is not the documented idle
// word.
TEST_F(CameraModelTest, IdleStatusIs0x61802000) {
  EXPECT_EQ(Status(), 0x61802000u);
}

// Catches: a toggle command that sets the wrong bit or the wrong sense.
TEST_F(CameraModelTest, ToggleCommandsMoveTheirStatusBits) {
  struct Case {
    uint32_t on;
    uint32_t off;
    uint32_t bit;
    bool setWhenOn;
  };
  const Case cases[] = {
      {kCmdLampOn, kCmdLampOff, kStatusLamp, true},
      {kCmdExternal, kCmdInternal, kStatusExternal, true},
      {kCmdFreezeOn, kCmdFreezeOff, kStatusFreeze, true},
      {kCmdApertureOn, kCmdApertureOff, kStatusApertureOff, false},
  };
  for (const Case& c : cases) {
    Send(c.on);
    EXPECT_EQ((Status() & c.bit) != 0, c.setWhenOn) << std::hex << c.on;
    Send(c.off);
    EXPECT_EQ((Status() & c.bit) != 0, !c.setWhenOn) << std::hex << c.off;
  }
}

// Catches: a zoom that jumps, never stops, or stops short of digital zoom.
TEST_F(CameraModelTest, ZoomMovesWhileRunningAndStopsAtTheStopWord) {
  const uint32_t start = Send(kPollZoom);
  EXPECT_EQ(start >> 16, 0x69u);
  EXPECT_EQ(PolledValue(start), 0);
  Send(kCmdZoomTele);
  now_ += 1s;
  const uint16_t moving = PolledValue(Send(kPollZoom));
  EXPECT_GT(moving, 0);
  now_ += 3s;
  Send(kCmdStopAdjustment);
  const uint16_t stopped = PolledValue(Send(kPollZoom));
  EXPECT_GT(stopped, kOpticalZoomLimit);
  now_ += 2s;
  EXPECT_EQ(PolledValue(Send(kPollZoom)), stopped);
  Send(kCmdZoomWide);
  now_ += 60s;
  EXPECT_EQ(PolledValue(Send(kPollZoom)), 0) << "wide stops at the end of the range";
}

// Catches: brightness polls not carrying the function code and level.
TEST_F(CameraModelTest, BrightnessPollCarriesTheLevel) {
  EXPECT_EQ(Send(kPollBrightness), 0x00650080u);
  Send(kCmdBrightnessDown);
  now_ += 500ms;
  Send(kCmdStopAdjustment);
  EXPECT_EQ(Send(kPollBrightness), 0x00650080u - 30);
}

// Catches: presets that forget a value or recall an empty slot.
TEST_F(CameraModelTest, PresetsStoreAndRecallZoomFocusBrightness) {
  Send(kCmdZoomTele);
  now_ += 1s;
  Send(kCmdStopAdjustment);
  const int zoom = model_.Zoom(now_);
  Send(kCmdStorePreset | 2);
  Send(kCmdZoomWide);
  now_ += 10s;
  Send(kCmdStopAdjustment);
  ASSERT_EQ(model_.Zoom(now_), 0);
  Send(kCmdRecallPreset | 3);  // empty: nothing changes
  EXPECT_EQ(model_.Zoom(now_), 0);
  Send(kCmdRecallPreset | 2);
  EXPECT_EQ(model_.Zoom(now_), zoom);
  EXPECT_EQ(model_.Focus(now_), 500);
  EXPECT_EQ(model_.Brightness(now_), 128);
}

// Catches: bit 13 not following "Active", or commands obeyed without it.
TEST(CameraModel, InactiveFunctionsIgnoreCommandsUntilActivated) {
  CameraOptions options;
  options.functionsInactive = true;
  CameraModel model(options);
  const auto now = Clock::now();
  EXPECT_EQ(model.Command(kPollStatus, now) & kStatusFunctions, 0u);
  model.Command(kCmdLampOn, now);
  EXPECT_FALSE(model.Lamp());
  model.Command(kCmdActivateFunctions, now);
  EXPECT_NE(model.Command(kPollStatus, now) & kStatusFunctions, 0u);
  model.Command(kCmdLampOn, now);
  EXPECT_TRUE(model.Lamp());
}

// Catches: busy polls that never end, or count other requests.
TEST(CameraModel, BusyBitClearsAfterTheGivenPolls) {
  CameraOptions options;
  options.busyPolls = 2;
  options.aspect169 = true;
  options.variant = true;
  CameraModel model(options);
  const auto now = Clock::now();
  model.Command(kPollZoom, now);
  EXPECT_EQ(model.Command(kPollStatus, now), 0x61E03000u);
  EXPECT_EQ(model.Command(kPollStatus, now), 0x61E03000u);
  EXPECT_EQ(model.Command(kPollStatus, now), 0x61C03000u);
}

// Catches: resolution commands not choosing the frame size.
TEST(CameraModel, ResolutionCommandSelectsFrameSize) {
  CameraModel model(CameraOptions{});
  const auto now = Clock::now();
  EXPECT_EQ(model.Scene(now).width, 1280);
  EXPECT_EQ(model.Scene(now).height, 960);
  model.Command(kCmdHalfResolution, now);
  EXPECT_EQ(model.Scene(now).width, 640);
  EXPECT_EQ(model.Scene(now).height, 480);
  model.SetAspect169(true);
  EXPECT_EQ(model.Scene(now).height, 360);
  model.Command(kCmdFullResolution, now);
  EXPECT_EQ(model.Scene(now).height, 720);
}

}  // namespace
}  // namespace rd420::sim
