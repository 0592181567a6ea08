// A daemon that stops answering (SIGSTOP), or a read that never completes,
// must never hold a client's wait beyond its time-out or its stop; a read
// short of a frame is no frame.
#include <chrono>
#include <future>

#include "devlink/frame_reader.h"
#include "link_fixture.h"
#include "wire/frame_format.h"

namespace rd420::test {
namespace {

using namespace std::chrono_literals;

// A frame reader on an open handle to a fresh simulated camera.
class FrameReaderTest : public LinkTest {
 protected:
  void SetUp() override {
    StartSimulator();
    ASSERT_TRUE(link_->DiscoverDevice());
    device_ = link_->OpenDevice();
    ASSERT_NE(device_, nullptr);
    reader_ = std::make_unique<FrameReader>(*link_, *device_);
  }
  void TearDown() override {
    reader_.reset();
    device_.reset();
    LinkTest::TearDown();
  }

  std::vector<uint8_t> frame_ =
      std::vector<uint8_t>(FrameGeometryFor(true, Resolution::kFull).FrameBytes());
  std::unique_ptr<DeviceHandle> device_;
  std::unique_ptr<FrameReader> reader_;
};

// Catches: a read whose time-out aborts the pipe and then joins a transfer
// thread that waits for ever on the stopped daemon.
TEST_F(FrameReaderTest, ReadOnAStoppedDaemonEndsAfterItsTimeOut) {
  ASSERT_TRUE(reader_->Read(frame_, 5000));
  simulator_->Pause();
  std::future<bool> read =
      std::async(std::launch::async, [&] { return reader_->Read(frame_, 300); });
  const bool ended = read.wait_for(20s) == std::future_status::ready;
  simulator_->Resume();  // lets a hung read finish, so the test can end
  EXPECT_TRUE(ended) << "the read still waited 20 s after its 300 ms time-out";
  EXPECT_FALSE(read.get());
}

// Catches: rd420ctl waiting out a time-out per request on a stopped
// daemon (10 s), then blaming the camera.
TEST_F(LinkTest, Rd420ctlSnapshotOnAStoppedDaemonSaysSoAfterOneTimeOut) {
  StartSimulator();
  const std::string directory = MakeTempDirectory();
  simulator_->Pause();
  const auto started = std::chrono::steady_clock::now();
  const ProgramResult snapshot = RunProgram(
      {RD420CTL_PATH, "--dir", simulator_->Directory(), "snapshot", directory + "/still.bmp"});
  const auto took = std::chrono::steady_clock::now() - started;
  simulator_->Resume();
  RemoveDirectory(directory);
  EXPECT_EQ(snapshot.exitCode, 1);
  EXPECT_EQ(snapshot.err,
            "rd420ctl: rd420d does not answer (no reply within 5 s): is the daemon stopped?\n");
  EXPECT_LT(took, 10s) << "more than one 5 s time-out";
}

// Catches: a still thread's stop that waits out the read's time-out (live
// view resumed only after it) instead of ending the stalled read at once.
TEST_F(FrameReaderTest, StopRequestEndsAStalledReadAtOnce) {
  ASSERT_EQ(simulator_->Control("stall"), "ok next bulk read stalls");
  std::stop_source stop;
  std::future<bool> read = std::async(
      std::launch::async, [&] { return reader_->Read(frame_, 60000, {}, stop.get_token()); });
  ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
  stop.request_stop();
  ASSERT_EQ(read.wait_for(20s), std::future_status::ready)
      << "the stopped read waited for its 60 s time-out";
  EXPECT_FALSE(read.get());
  EXPECT_EQ(simulator_->State()["abort"], "1");
}

// Catches: a read that brings fewer bytes than the frame asked for (the
// camera turned 16:9 under a 4:3 read) taken as a whole frame, its missing
// rows left as they were.
TEST_F(FrameReaderTest, AShortReadIsAFailedRead) {
  ASSERT_EQ(simulator_->Control("aspect 16:9").substr(0, 2), "ok");
  EXPECT_FALSE(reader_->Read(frame_, 5000));
  EXPECT_EQ(simulator_->State()["abort"], "1");
}

}  // namespace
}  // namespace rd420::test
