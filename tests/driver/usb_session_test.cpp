#include "driver/usb_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "driver/fake_usb_api.h"
#include "driver/recording_usb_api.h"
#include "driver/replay_usb_api.h"
#include "driver/simulated_usb_api.h"
#include "driver/usb_camera.h"
#include "driver/usb_cameras.h"
#include "support/check_output.h"
#include "support/simulator_process.h"
#include "wire/command_words.h"
#include "wire/device_records.h"

namespace rd420 {
namespace {

using fake::SimulatedUsbApi;
using test::MakeTempDirectory;
using test::ProgramResult;
using test::RemoveDirectory;
using test::RunProgram;

// The USB back-end on `api`, served in `directory` as rd420d --usb serves
// it, for as long as the object lives.
class UsbDaemon {
 public:
  UsbDaemon(UsbApi& api, const std::string& directory)
      : server_(directory, {}),
        cameras_(api, server_, {SimulatedUsbApi::kVendorId, SimulatedUsbApi::kProductId},
                 [](const std::string&) {}) {
    cameras_.Scan();
    started_ = server_.Start() && cameras_.Start();
    thread_ = std::thread([this] { server_.Run(); });
  }
  ~UsbDaemon() {
    server_.Stop();
    thread_.join();
    server_.Shutdown();
    cameras_.Stop();
  }
  bool Started() const { return started_; }

 private:
  DeviceServer server_;
  UsbCameras cameras_;
  bool started_ = false;
  std::thread thread_;
};

// rd420d --replay FILE in `directory`; stopped with SIGTERM when it goes.
class ReplayDaemon {
 public:
  // Its standard error goes to `log`.
  ReplayDaemon(const std::string& file, const std::string& directory, const std::string& log) {
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (!std::freopen(log.c_str(), "w", stderr)) {
        _exit(126);
      }
      execl(RD420D_PATH, RD420D_PATH, "--replay", file.c_str(), "--dir", directory.c_str(),
            nullptr);
      _exit(127);
    }
    for (int i = 0; i < 500 && !std::filesystem::exists(directory + "/RD-420-0"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // The daemon's exit code.
  int Stop() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
};

ProgramResult QuickCheck(const std::string& directory) {
  return RunProgram({RD420CTL_PATH, "check", "--quick", "--dir", directory});
}

// Catches: a recording that leaves out or misorders a transfer, or a
// replay that answers out of turn, so that the check which passed on the
// camera fails on its recording.
TEST(UsbSession, ACheckRecordedOverUsbPassesAgainOnTheReplay) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
  // The abort and time-out items take their turns by the clock; in a build
  // this slow the replay's turns need not be the recording's (seen under
  // both sanitizers: a clear-halt recorded before a read came after it).
  GTEST_SKIP() << "turns taken by the clock differ between runs of a sanitizer build";
#endif
  const std::string directory = MakeTempDirectory();
  const std::string file = directory + "/session.rd420usb";
  {
    SimulatedUsbApi bus;
    UsbSessionWriter writer(std::fopen(file.c_str(), "w"), false);
    RecordingUsbApi recorder(bus, writer);
    UsbDaemon daemon(recorder, directory + "/live");
    ASSERT_TRUE(daemon.Started());
    const ProgramResult live = QuickCheck(directory + "/live");
    ASSERT_EQ(test::FailedCheckLines(live.out), std::vector<std::string>{});
    ASSERT_EQ(live.err, "");
    ASSERT_NE(live.out.find("15 items, "), std::string::npos) << live.out;
  }
  ReplayDaemon replay(file, directory + "/replay", directory + "/replay.log");
  const ProgramResult replayed = QuickCheck(directory + "/replay");
  EXPECT_EQ(test::FailedCheckLines(replayed.out), std::vector<std::string>{});
  EXPECT_EQ(replayed.err, "");
  EXPECT_NE(replayed.out.find("15 items, "), std::string::npos) << replayed.out;
  EXPECT_EQ(replay.Stop(), 0);
  std::ifstream log(directory + "/replay.log");
  const std::string said((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_EQ(said.find("replay:"), std::string::npos) << said;
  RemoveDirectory(directory);
}

// A replay of a session of one camera, read from a file with these
// transfer lines; what it reports goes to `said`.
class ReplayOfLines {
 public:
  explicit ReplayOfLines(const std::string& transfers) : directory_(MakeTempDirectory()) {
    const std::string file = directory_ + "/session";
    std::ofstream(file) << "rd420-usb-session 1\n"
                           "device 0 id 1d6b:0420 bus 1 ports 2 address 4\n"
                           "interface 0 number 0 alternate 0 class 0xff subclass 0x00 "
                           "protocol 0x00\n"
                           "endpoint 0 address 0x82 attributes 0x02 packet 512 interval 0\n"
                        << transfers;
    std::string problem;
    std::optional<UsbSession> session = ReadUsbSession(file, problem);
    EXPECT_TRUE(session) << problem;
    api_ =
        std::make_unique<ReplayUsbApi>(std::move(session.value()), "session",
                                       [this](const std::string& line) { said.push_back(line); });
    int error = 0;
    device = api_->List(SimulatedUsbApi::kVendorId, SimulatedUsbApi::kProductId).at(0)->Open(error);
  }
  ~ReplayOfLines() { RemoveDirectory(directory_); }
  ReplayUsbApi& Api() { return *api_; }
  // The reply word of a vendor request, or the failure's negative code.
  int64_t Vendor(uint16_t value, uint16_t index) {
    uint8_t reply[4];
    const int result = device->ControlIn(0xC0, 0xB0, value, index, reply, 1000);
    return result == 4 ? int64_t{ReplyWordFromBytes(reply)} : int64_t{result};
  }

  std::vector<std::string> said;
  std::unique_ptr<UsbDevice> device;

 private:
  std::string directory_;
  std::unique_ptr<ReplayUsbApi> api_;
};

// Catches: a replay that answers a request the recording does not hold, or
// fails it without saying where the session left the recording.
TEST(UsbSession, ReplayNamesTheFirstDifferenceAndFailsFromThere) {
  ReplayOfLines replay(
      "control 0 dev 0 at 0 took 0 type 0xc0 request 0xb0 value 0x0061 index 0x0000 length 4 "
      "result 4 data 61802000\n"
      "control 1 dev 0 at 9 took 0 type 0xc0 request 0xb0 value 0x0061 index 0x0000 length 4 "
      "result 4 data 61802004\n");
  EXPECT_EQ(replay.Vendor(0x0061, 0), 0x61802000);
  EXPECT_EQ(replay.Vendor(0x0003, 0x0005), LIBUSB_ERROR_IO);
  EXPECT_EQ(replay.Vendor(0x0061, 0), LIBUSB_ERROR_IO);
  EXPECT_EQ(replay.said, std::vector<std::string>{
                             "replay: request 1 differs from session line 6: expected control type "
                             "0xC0 request 0xB0 value 0x0061 index 0x0000 length 4, got control "
                             "type 0xC0 request 0xB0 value 0x0003 index 0x0005 length 4"});
}

// Catches: a replay that fails requests of two of the daemon's threads
// (a size word sent while a read waits) because they came in the other
// order than when recorded, or that answers one with the other's reply.
TEST(UsbSession, RequestsOfTwoThreadsAreAnsweredInEitherOrder) {
  ReplayOfLines replay(
      "control 0 dev 0 at 0 took 0 type 0xc0 request 0xb0 value 0x0061 index 0x0000 length 4 "
      "result 4 data 61802000\n"
      "bulk 1 dev 0 at 5 took 0 endpoint 0x82 length 16 status 0 actual 16\n"
      "control 2 dev 0 at 9 took 0 type 0xc0 request 0xb0 value 0x0031 index 0x0001 length 4 "
      "result 4 data 00310001\n");
  EXPECT_EQ(replay.Vendor(0x0031, 0x0001), 0x00310001);
  uint32_t arrived = 0;
  std::vector<uint8_t> buffer(16);
  int error = 0;
  const auto transfer = replay.device->SubmitBulkIn(
      0x82, buffer, [&](int, uint32_t bytes) { arrived = bytes; }, error);
  EXPECT_EQ(replay.Vendor(0x0061, 0), 0x61802000);
  replay.Api().HandleEvents(1000);
  EXPECT_EQ(arrived, 16u);
  EXPECT_TRUE(replay.Api().Finished());
  EXPECT_EQ(replay.said, std::vector<std::string>{});
}

// Catches: frame bytes that do not come back as they were recorded (the
// packing or its reading).
TEST(UsbSession, RecordedFrameBytesReplayAsTheyCame) {
  const std::string directory = MakeTempDirectory();
  const std::string file = directory + "/session";
  std::vector<uint8_t> frame(100'003);
  for (size_t i = 0; i < frame.size(); ++i) {
    frame[i] = static_cast<uint8_t>(i * 7 + i / 251);
  }
  fake::FakeUsbApi bus(false);
  fake::Camera camera;
  camera.vendorId = SimulatedUsbApi::kVendorId;
  camera.productId = SimulatedUsbApi::kProductId;
  bus.Add(camera);
  int error = 0;
  uint32_t arrived = 0;
  const auto done = [&](int status, uint32_t bytes) {
    arrived = status == LIBUSB_TRANSFER_COMPLETED ? bytes : 0;
  };
  {
    UsbSessionWriter writer(std::fopen(file.c_str(), "w"), true);
    RecordingUsbApi recorder(bus, writer);
    const std::unique_ptr<UsbDevice> device =
        recorder.List(camera.vendorId, camera.productId).at(0)->Open(error);
    std::vector<uint8_t> buffer(200'000);
    const auto transfer = device->SubmitBulkIn(0x82, buffer, done, error);
    ASSERT_TRUE(bus.Complete(0, LIBUSB_TRANSFER_COMPLETED, frame));
    bus.HandleEvents(1000);
    ASSERT_EQ(arrived, frame.size());
  }
  std::string problem;
  std::optional<UsbSession> session = ReadUsbSession(file, problem);
  ASSERT_TRUE(session) << problem;
  ReplayUsbApi replay(std::move(*session), "session", [](const std::string&) {});
  const std::unique_ptr<UsbDevice> device =
      replay.List(camera.vendorId, camera.productId).at(0)->Open(error);
  std::vector<uint8_t> buffer(200'000);
  arrived = 0;
  const auto transfer = device->SubmitBulkIn(0x82, buffer, done, error);
  replay.HandleEvents(1000);
  ASSERT_EQ(arrived, frame.size());
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), buffer.begin()));
  RemoveDirectory(directory);
}

}  // namespace
}  // namespace rd420
