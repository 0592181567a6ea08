#include "driver/simulated_camera.h"

#include <gtest/gtest.h>

#include <thread>

#include "wire/command_words.h"

namespace rd420::sim {
namespace {

using namespace std::chrono_literals;

class SimulatedCameraTest : public ::testing::Test {
 protected:
  SimulatedCameraTest() : camera_(Options()) {}
  static CameraOptions Options() {
    CameraOptions options;
    options.fps = 0;  // frames as fast as asked
    return options;
  }

  std::optional<uint32_t> Read(std::vector<uint8_t>& frame) {
    return camera_.BulkRead(client_, kFramePipeIndex, frame);
  }
  uint32_t Send(uint32_t word) {
    const std::optional<uint32_t> reply = camera_.Vendor(client_, word);
    EXPECT_TRUE(reply);
    return reply.value_or(0);
  }

  SimulatedCamera camera_;
  ClientContext client_{1, {}};
};

// Catches: frames of the wrong size for the resolution command, or an
// overflowing buffer filled anyway.
TEST_F(SimulatedCameraTest, FrameSizeFollowsResolutionAndBufferSize) {
  std::vector<uint8_t> frame(1280 * 960 * 2);
  EXPECT_EQ(Read(frame), 1280u * 960 * 2);
  Send(kCmdHalfResolution);
  EXPECT_EQ(Read(frame), 640u * 480 * 2);
  Send(kCmdFullResolution);
  std::vector<uint8_t> small(640 * 480 * 2);
  EXPECT_FALSE(Read(small));
}

// Catches: a frozen camera whose picture still moves, a live one that
// repeats itself, or a frozen frame of the size it was frozen at served to
// a read at another size.
TEST_F(SimulatedCameraTest, FreezeHoldsThePicture) {
  Send(kCmdHalfResolution);
  std::vector<uint8_t> a(640 * 480 * 2), b(a.size());
  Read(a);
  Read(b);
  EXPECT_NE(a, b);
  Send(kCmdFreezeOn);
  Read(a);
  Read(b);
  EXPECT_EQ(a, b);
  Send(kCmdFullResolution);
  std::vector<uint8_t> fullA(1280 * 960 * 2), fullB(fullA.size());
  EXPECT_EQ(Read(fullA), fullA.size());
  Read(fullB);
  EXPECT_EQ(fullA, fullB);
  Send(kCmdHalfResolution);
  Read(b);
  EXPECT_EQ(a, b);
  Send(kCmdFreezeOff);
  Read(b);
  EXPECT_NE(a, b);
}

// Catches: consecutive frames without consecutive sequence stamps.
TEST_F(SimulatedCameraTest, FramesCarryConsecutiveSequenceStamps) {
  Send(kCmdHalfResolution);
  std::vector<uint8_t> frame(640 * 480 * 2);
  Read(frame);
  const uint32_t first = ReadSequenceStamp(frame);
  for (uint32_t i = 1; i <= 5; ++i) {
    Read(frame);
    EXPECT_EQ(ReadSequenceStamp(frame), first + i);
  }
}

// Catches: a stall that ends on its own, or an abort that misses it.
TEST_F(SimulatedCameraTest, StalledReadEndsOnlyWithAbort) {
  camera_.StallNextRead();
  std::vector<uint8_t> frame(1280 * 960 * 2);
  std::atomic<bool> finished{false};
  std::optional<uint32_t> result = 1;
  std::thread reader([&] {
    result = Read(frame);
    finished = true;
  });
  std::this_thread::sleep_for(250ms);
  EXPECT_FALSE(finished);
  EXPECT_TRUE(camera_.AbortPipe(client_, kFramePipeIndex));
  reader.join();
  EXPECT_FALSE(result);
  EXPECT_TRUE(Read(frame));
}

// Catches: the frame pace ignored (default rates are per frame size).
TEST(SimulatedCamera, DefaultPaceIsTheCamerasRate) {
  SimulatedCamera camera{CameraOptions{}};
  const ClientContext client{1, {}};
  std::vector<uint8_t> frame(1280 * 960 * 2);
  const auto start = Clock::now();
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(camera.BulkRead(client, kFramePipeIndex, frame));
  }
  // Four frames at 15 per second span three frame periods, 200 ms.
  EXPECT_GE(Clock::now() - start, 199ms);
}

// Catches: readers on several handles each getting the camera's whole rate.
TEST(SimulatedCamera, ReadersOnSeveralHandlesShareTheRate) {
  CameraOptions options;
  options.fps = 20;
  SimulatedCamera camera(options);
  camera.Vendor({1, {}}, kCmdHalfResolution);
  const auto start = Clock::now();
  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r) {
    readers.emplace_back([&camera] {
      std::vector<uint8_t> frame(640 * 480 * 2);
      for (int i = 0; i < 5; ++i) {
        camera.BulkRead({1, {}}, kFramePipeIndex, frame);
      }
    });
  }
  for (std::thread& reader : readers) {
    reader.join();
  }
  // Ten frames at 20 per second span nine frame periods.
  EXPECT_GE(Clock::now() - start, 449ms);
}

// Catches: vendor failures that do not count down, or fail the wrong number.
TEST_F(SimulatedCameraTest, FailVendorFailsTheGivenNumberOfRequests) {
  camera_.FailVendorRequests(2);
  EXPECT_FALSE(camera_.Vendor(client_, kPollStatus));
  EXPECT_FALSE(camera_.Vendor(client_, kPollStatus));
  EXPECT_TRUE(camera_.Vendor(client_, kPollStatus));
}

// Catches: handles from before an unplug, or made while the node was going
// away, working again after the replug.
TEST_F(SimulatedCameraTest, UnplugKillsOldHandles) {
  camera_.Unplug();
  const ClientContext lateComer{camera_.Generation(), {}};
  camera_.Plug();
  EXPECT_FALSE(camera_.Vendor(lateComer, kPollStatus));
  EXPECT_FALSE(camera_.Vendor(client_, kPollStatus));
  const ClientContext fresh{camera_.Generation(), {}};
  EXPECT_TRUE(camera_.Vendor(fresh, kPollStatus));
}

}  // namespace
}  // namespace rd420::sim
