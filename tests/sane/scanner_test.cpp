// The back-end's scan in-process against rd420d --simulate, for what
// scanimage cannot show: a cancel from another thread on a handle that goes
// on scanning, non-blocking reads, and a camera that never finishes
// starting up (with the ready-wait's polls 1 ms apart).

#include "sane/scanner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devlink/socket_transport.h"
#include "support/simulator_process.h"

namespace rd420::sane {
namespace {

using test::SimulatorProcess;

constexpr StillTiming kFastReadyWait{1, 5000};

class ScannerTest : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> options = {}, StillTiming timing = kFastReadyWait) {
    simulator_ = std::make_unique<SimulatorProcess>(std::move(options));
    ASSERT_TRUE(simulator_->Ready());
    transport_ = std::make_unique<SocketTransport>(simulator_->Directory());
    scanner_ = std::make_unique<Scanner>(*transport_, "RD-420-0", timing);
    ASSERT_EQ(scanner_->Open(), SANE_STATUS_GOOD);
  }
  void TearDown() override { scanner_.reset(); }

  // Reads in odd lengths until the end; the bytes handed out.
  size_t ReadAll() {
    std::vector<SANE_Byte> buffer(4099);
    size_t total = 0;
    for (;;) {
      SANE_Int length = 0;
      const SANE_Status status = scanner_->Read(buffer.data(), 4099, &length);
      total += static_cast<size_t>(length);
      if (status != SANE_STATUS_GOOD) {
        EXPECT_EQ(status, SANE_STATUS_EOF);
        return total;
      }
    }
  }

  std::unique_ptr<SimulatorProcess> simulator_;
  std::unique_ptr<SocketTransport> transport_;
  std::unique_ptr<Scanner> scanner_;
};

// Catches: a cancel that leaves the read waiting on a frame that never
// comes, or a handle that cannot scan again after it.
TEST_F(ScannerTest, CancelFromAnotherThreadEndsTheReadAndTheHandleScansAgain) {
  Start();
  ASSERT_EQ(simulator_->Control("stall").substr(0, 2), "ok");
  ASSERT_EQ(scanner_->Start(), SANE_STATUS_GOOD);
  std::thread canceller([this] {
    simulator_->WaitForState("bulk", "1");
    scanner_->Cancel();
  });
  SANE_Byte byte = 0;
  SANE_Int length = -1;
  EXPECT_EQ(scanner_->Read(&byte, 1, &length), SANE_STATUS_CANCELLED);
  EXPECT_EQ(length, 0);
  canceller.join();

  ASSERT_EQ(scanner_->Start(), SANE_STATUS_GOOD);
  EXPECT_EQ(ReadAll(), 1280u * 960 * 3);
}

// Catches: an option read during a scan replacing the link that has
// failed while the scan's worker still reads through it (a use after free
// when the read then ends, which the address sanitizer reports).
TEST_F(ScannerTest, FailedLinkIsReplacedOnlyAfterTheScan) {
  Start();
  ASSERT_EQ(simulator_->Control("stall").substr(0, 2), "ok");
  ASSERT_EQ(scanner_->Start(), SANE_STATUS_GOOD);
  ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
  ASSERT_EQ(simulator_->Control("fail-vendor all").substr(0, 2), "ok");
  SANE_Bool lamp = SANE_FALSE;
  for (int i = 0; i < 2; ++i) {
    scanner_->ControlOption(kOptLamp, SANE_ACTION_GET_VALUE, &lamp, nullptr);
  }
  scanner_->Cancel();
  SANE_Byte byte = 0;
  SANE_Int length = -1;
  EXPECT_EQ(scanner_->Read(&byte, 1, &length), SANE_STATUS_CANCELLED);
  ASSERT_EQ(simulator_->Control("fail-vendor off").substr(0, 2), "ok");
  ASSERT_EQ(scanner_->Start(), SANE_STATUS_GOOD);
  EXPECT_EQ(ReadAll(), 1280u * 960 * 3);
}

// Catches: a frame cut short (the camera turned 16:9 during the read)
// handed out as a whole one, its missing rows black.
TEST_F(ScannerTest, ShortFrameIsAnIoError) {
  Start({"--fps", "0.5"});
  // The first frame comes at once; the next one two seconds later, with
  // the aspect the camera has then.
  ASSERT_EQ(scanner_->Start(), SANE_STATUS_GOOD);
  ASSERT_EQ(ReadAll(), 1280u * 960 * 3);
  ASSERT_EQ(scanner_->Start(), SANE_STATUS_GOOD);
  ASSERT_TRUE(simulator_->WaitForState("bulk", "2"));
  ASSERT_EQ(simulator_->Control("aspect 16:9").substr(0, 2), "ok");
  SANE_Byte byte = 0;
  SANE_Int length = -1;
  EXPECT_EQ(scanner_->Read(&byte, 1, &length), SANE_STATUS_IO_ERROR);
}

// Catches: a non-blocking read that blocks until the frame arrives, or an
// unplug it never reports.
TEST_F(ScannerTest, NonBlockingReadReturnsAtOnceUntilTheFrameComes) {
  Start();
  ASSERT_EQ(simulator_->Control("stall").substr(0, 2), "ok");
  ASSERT_EQ(scanner_->Start(), SANE_STATUS_GOOD);
  ASSERT_EQ(scanner_->SetIoMode(true), SANE_STATUS_GOOD);
  ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
  SANE_Byte byte = 0;
  SANE_Int length = -1;
  EXPECT_EQ(scanner_->Read(&byte, 1, &length), SANE_STATUS_GOOD);
  EXPECT_EQ(length, 0);

  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  SANE_Status status = SANE_STATUS_GOOD;
  for (int i = 0; i < 1000 && status == SANE_STATUS_GOOD; ++i) {
    status = scanner_->Read(&byte, 1, &length);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(status, SANE_STATUS_IO_ERROR);
}

// Catches: a handle that keeps failing after its camera was unplugged and
// plugged back in.
TEST_F(ScannerTest, CameraPluggedBackInScansAgainOnTheSameHandle) {
  Start();
  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  EXPECT_EQ(scanner_->Start(), SANE_STATUS_IO_ERROR);
  ASSERT_EQ(simulator_->Control("plug").substr(0, 2), "ok");
  ASSERT_EQ(scanner_->Start(), SANE_STATUS_GOOD);
  EXPECT_EQ(ReadAll(), 1280u * 960 * 3);
}

// Catches: a camera still starting up after the ready-wait reported as gone
// (I/O error) or as ready.
TEST_F(ScannerTest, CameraStillStartingUpAfterTheWaitIsBusy) {
  Start({"--busy-polls", "100000"});
  EXPECT_EQ(scanner_->Start(), SANE_STATUS_DEVICE_BUSY);
}

// Catches: a cancel that waits out the ready-wait's 30 seconds.
TEST_F(ScannerTest, CancelDuringTheReadyWaitEndsItAtOnce) {
  Start({"--busy-polls", "100000"}, StillTiming{});
  std::thread canceller([this] {
    simulator_->WaitForState("status-polls", "3");  // the open's poll, then the wait's
    scanner_->Cancel();
  });
  EXPECT_EQ(scanner_->Start(), SANE_STATUS_CANCELLED);
  canceller.join();
  EXPECT_LT(std::stoi(simulator_->State().at("status-polls")), 10);
}

}  // namespace
}  // namespace rd420::sane
