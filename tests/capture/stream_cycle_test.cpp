// The capture program's stream cycle without its dialog, against rd420d
// --simulate; these run under the thread sanitizer too.
#include "capture/stream_cycle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devlink/socket_transport.h"
#include "platform/message.h"
#include "support/link_texts.h"
#include "support/simulator_process.h"

namespace rd420::capture {
namespace {

class CountingHost : public CaptureHost {
 public:
  void StreamStarting() override { ++starts; }
  void ShowPreview(const PreviewPicture& picture) override {
    previews += picture.Rows().size() == picture.Geometry().BgrBytes() ? 1 : 0;
  }
  void PostClose() override { ++closes; }
  const void* MessageOwner() const override { return nullptr; }
  void ShowNoCompression() override {}

  std::atomic<int> starts{0};
  std::atomic<int> previews{0};
  std::atomic<int> closes{0};
};

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class StreamCycleTest : public ::testing::Test {
 protected:
  StreamCycleTest()
      : transport_(simulator_.Directory()), link_(transport_, test::TestLinkMessages()) {}
  void SetUp() override {
    ASSERT_TRUE(simulator_.Ready());
    ASSERT_TRUE(link_.DiscoverDevice());
  }
  std::unique_ptr<StreamCycle> StartPreview() {
    flags_.g_Record_Mode = 0;
    flags_.g_Stream_On = 1;
    auto cycle = std::make_unique<StreamCycle>(link_, flags_, host_, nullptr, RecordingSettings{});
    cycle->Start();
    return cycle;
  }
  void StopCycle(StreamCycle& cycle) {
    flags_.g_Stream_On = 0;
    flags_.g_Consumer_Run = 0;
    cycle.Stop();
  }

  MessageRecorder messages_;
  test::SimulatorProcess simulator_;
  SocketTransport transport_;
  DeviceLink link_;
  CaptureFlags flags_;
  CountingHost host_;
};

class StreamCycleStopTest : public StreamCycleTest, public ::testing::WithParamInterface<int> {};

// Catches: a cycle that does not end when asked, whatever it is doing, or
// whose consumer still paints after Stop returned.
TEST_P(StreamCycleStopTest, EndsAtEveryPointOfTheRun) {
  for (int cycleNumber = 0; cycleNumber < 3; ++cycleNumber) {
    auto cycle = StartPreview();
    const int before = host_.previews;
    ASSERT_TRUE(WaitUntil([&] { return host_.previews >= before + GetParam(); }));
    StopCycle(*cycle);
    const int after = host_.previews;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(host_.previews, after);
  }
  EXPECT_EQ(host_.closes, 0);
  EXPECT_TRUE(messages_.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Frames, StreamCycleStopTest, ::testing::Values(0, 1, 4));

// Catches: a lost camera that hangs the cycle, is not reported once, or
// does not ask the dialog to close.
TEST_F(StreamCycleTest, UnpluggedCameraEndsTheCycleAndAsksToClose) {
  auto cycle = StartPreview();
  ASSERT_TRUE(WaitUntil([&] { return host_.previews >= 2; }));
  simulator_.Control("unplug");
  ASSERT_TRUE(WaitUntil([&] { return host_.closes == 1; }));
  EXPECT_EQ(flags_.g_Stream_On, 0u);
  EXPECT_EQ(flags_.g_Closing, 1u);
  cycle->Stop();
  // The read fails; should a status poll meet the unplug first, the link
  // speaks instead, and the read's message is left out.
  ASSERT_EQ(messages_.Messages().size(), 1u);
  const std::string caption = messages_.Messages()[0].caption;
  EXPECT_TRUE(caption == "BulkRead" || caption == "SendOpen" || caption == "SendRequest")
      << caption;
}

}  // namespace
}  // namespace rd420::capture
