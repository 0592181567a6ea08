// The still thread against rd420d --simulate: a freeze held and its
// requests served, live view resumed, a stalled read and an unplug.
#include "devlink/still_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "devlink/camera_ready.h"
#include "devlink/link_fixture.h"
#include "platform/message.h"
#include "support/recording_still_actions.h"

namespace rd420::test {
namespace {

bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class StillCaptureTest : public LinkTest {
 protected:
  void SetUp() override {
    StartSimulator();
    ASSERT_TRUE(link_->DiscoverDevice());
    ASSERT_TRUE(WaitCameraReady(*link_, status_, 1));
    StillHooks hooks;
    hooks.enableCapture = [] {};
    hooks.enableSaveAndPrint = [this] { ++held_; };
    hooks.showQuickSaveNotice = [] {};
    hooks.resumeLive = [this] { ++resumed_; };
    hooks.endProgram = [this] { ++ended_; };
    still_ = std::make_unique<StillCapture>(*link_, status_, flags_, stills_, &actions_,
                                            std::move(hooks));
  }
  void TearDown() override {
    still_.reset();
    LinkTest::TearDown();
  }
  // What the stopped run does for a freeze in half mode.
  void Freeze() {
    flags_.g_Capture_Mode = 1;
    ManualResetEvent ready;
    ASSERT_TRUE(still_->Start(ready));
    ASSERT_TRUE(ready.Wait(5000));
  }

  MessageRecorder messages_;
  CameraStatus status_;
  StreamFlags flags_;
  StillFlags stills_;
  RecordingStillActions actions_;
  std::atomic<int> held_{0};
  std::atomic<int> resumed_{0};
  std::atomic<int> ended_{0};
  std::unique_ptr<StillCapture> still_;
};

// Catches: a still read at the wrong size, a request not served or served
// twice, or a still thread that goes on once live view resumed.
TEST_F(StillCaptureTest, HeldStillServesSaveAndPrintUntilLiveViewResumes) {
  Freeze();
  ASSERT_TRUE(WaitUntil([&] { return held_ == 1; }));
  stills_.g_Save_Request = 1;
  ASSERT_TRUE(WaitUntil([&] { return stills_.g_Save_Request == 0; }));
  stills_.g_Print_Request = 1;
  ASSERT_TRUE(WaitUntil([&] { return stills_.g_Print_Request == 0; }));
  const std::vector<RecordingStillActions::Call> calls = actions_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const RecordingStillActions::Call& call : calls) {
    EXPECT_EQ(call.width, 640);
    EXPECT_EQ(call.height, 480);
    EXPECT_EQ(call.mode, kModeHalf);
    EXPECT_FALSE(call.quick);
  }
  EXPECT_FALSE(calls[0].print);
  EXPECT_TRUE(calls[1].print);
  EXPECT_NE(simulator_->Control("history").find("0x00310001"), std::string::npos);

  flags_.g_Capture_Mode = 0;
  ASSERT_TRUE(WaitUntil([&] { return !still_->Running(); }));
  EXPECT_EQ(actions_.Calls().size(), 2u);
  EXPECT_EQ(resumed_, 0);
  EXPECT_EQ(ended_, 0);
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: a Stop that waits for a read the camera never answers, reports
// it as a failure, or leaves the camera unusable for the next still.
TEST_F(StillCaptureTest, StopEndsAStalledReadQuietly) {
  ASSERT_EQ(simulator_->Control("stall"), "ok next bulk read stalls");
  Freeze();
  ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
  still_->Stop();
  EXPECT_FALSE(still_->Running());
  EXPECT_EQ(held_, 0);

  Freeze();
  EXPECT_TRUE(WaitUntil([&] { return held_ == 1; }));
  EXPECT_EQ(ended_, 0);
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: a camera unplugged during the still's read left unreported, or
// the program not asked to end.
TEST_F(StillCaptureTest, UnplugDuringTheReadIsReportedAndEndsTheProgram) {
  ASSERT_EQ(simulator_->Control("stall"), "ok next bulk read stalls");
  Freeze();
  ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  ASSERT_TRUE(WaitUntil([&] { return ended_ == 1; }));
  EXPECT_EQ(messages_.Captions(), std::vector<std::string>{"BulkRead"});
  EXPECT_TRUE(WaitUntil([&] { return !still_->Running(); }));
  EXPECT_EQ(held_, 0);
  EXPECT_TRUE(actions_.Calls().empty());
}

}  // namespace
}  // namespace rd420::test
