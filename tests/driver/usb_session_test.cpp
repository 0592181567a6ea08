#include "driver/usb_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "devlink/command_words.h"
#include "devlink/device_records.h"
#include "driver/recording_usb_api.h"
#include "driver/replay_usb_api.h"
#include "driver/simulated_usb_api.h"
#include "driver/usb_camera.h"
#include "driver/usb_cameras.h"
#include "support/simulator_process.h"

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

// Catches: a recording that leaves out or misorders a transfer, a replay
// that answers out of turn or at another pace than the camera's, so that
// the check which passed on the camera fails on its recording.
TEST(UsbSession, ACheckRecordedOverUsbPassesAgainOnTheReplay) {
  const std::string directory = MakeTempDirectory();
  const std::string file = directory + "/session.rd420usb";
  {
    SimulatedUsbApi bus;
    UsbSessionWriter writer(std::fopen(file.c_str(), "w"), false);
    RecordingUsbApi recorder(bus, writer);
    UsbDaemon daemon(recorder, directory + "/live");
    ASSERT_TRUE(daemon.Started());
    const ProgramResult live = QuickCheck(directory + "/live");
    ASSERT_EQ(live.exitCode, 0) << live.out << live.err;
  }
  ReplayDaemon replay(file, directory + "/replay", directory + "/replay.log");
  const ProgramResult replayed = QuickCheck(directory + "/replay");
  EXPECT_EQ(replayed.exitCode, 0) << replayed.out << replayed.err;
  EXPECT_EQ(replay.Stop(), 0);
  std::ifstream log(directory + "/replay.log");
  const std::string said((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_EQ(said.find("replay:"), std::string::npos) << said;
  RemoveDirectory(directory);
}

}  // namespace
}  // namespace rd420
