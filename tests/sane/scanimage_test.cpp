// Debian's scanimage against rd420d --simulate, finding the back-end
// through SANE_CONFIG_DIR (a dll.conf naming rd420) and LD_LIBRARY_PATH.

#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "devlink/convert_frame.h"
#include "devlink/socket_transport.h"
#include "driver/scene_renderer.h"
#include "support/simulator_process.h"
#include "wire/command_words.h"
#include "wire/device_directory.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"
#include "wire/socket_io.h"

namespace rd420::test {
namespace {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // top-down rows
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A binary PNM as scanimage writes it: its header, one newline, raw RGB.
Picture DecodePnm(const std::string& bytes) {
  Picture picture;
  int headerBytes = 0;
  if (std::sscanf(bytes.c_str(), "P6\n# SANE data follows\n%d %d\n255%n", &picture.width,
                  &picture.height, &headerBytes) == 2 &&
      headerBytes > 0) {
    picture.rgb.assign(bytes.begin() + headerBytes + 1, bytes.end());  // after one newline
  }
  return picture;
}

// Read back with libpng, the library front-ends write PNG with.
Picture DecodePng(const std::string& bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture picture;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    return picture;
  }
  image.format = PNG_FORMAT_RGB;
  picture.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
    return {};
  }
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  return picture;
}

// The simulator's frame `sequence` with the camera's current settings,
// converted by the reference conversion and turned upright (the frame's
// first row is the picture's bottom row), then cropped.
Picture SimulatorPicture(const std::map<std::string, std::string>& state, bool half,
                         uint32_t sequence, int x, int y, int width, int height) {
  sim::SceneSettings scene;
  scene.width = half ? 640 : 1280;
  scene.height = half ? 480 : 960;
  scene.zoom = std::stoi(state.at("zoom"));
  scene.brightness = std::stoi(state.at("brightness"));
  scene.redGain = std::stoi(state.at("red"));
  scene.blueGain = std::stoi(state.at("blue"));
  scene.focus = std::stoi(state.at("focus"));
  scene.lamp = state.at("lamp") == "1";
  std::vector<uint8_t> frame(static_cast<size_t>(scene.width) * scene.height * 2);
  sim::SceneRenderer().Render(scene, sequence, frame);
  Picture picture{width, height, {}};
  std::vector<uint8_t> bgr(static_cast<size_t>(scene.width) * 3);
  for (int row = y; row < y + height; ++row) {
    const size_t frameRow = static_cast<size_t>(scene.height - 1 - row);
    ConvertFrameReference(bgr.data(), frame.data() + frameRow * scene.width * 2,
                          static_cast<size_t>(scene.width) * 2);
    for (int col = x; col < x + width; ++col) {
      const uint8_t* pixel = bgr.data() + static_cast<size_t>(col) * 3;
      picture.rgb.insert(picture.rgb.end(), {pixel[2], pixel[1], pixel[0]});
    }
  }
  return picture;
}

// A program running beside the test, for the tests that act while it runs.
class BackgroundProgram {
 public:
  explicit BackgroundProgram(std::vector<std::string> args) : dir_(MakeTempDirectory()) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      if (!freopen((dir_ + "/out").c_str(), "w", stdout) ||
          !freopen((dir_ + "/err").c_str(), "w", stderr)) {
        _exit(126);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~BackgroundProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    RemoveDirectory(dir_);
  }
  void Signal(int signal) { kill(pid_, signal); }
  // The exit code, or nothing when it has not ended within 10 s (a hang).
  std::optional<int> Wait() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  }
  std::string Err() const { return ReadFile(dir_ + "/err"); }

 private:
  std::string dir_;
  pid_t pid_ = -1;
};

class ScanimageTest : public ::testing::Test {
 protected:
  void SetUp() override { StartSimulator(); }

  void StartSimulator(std::vector<std::string> options = {}, ProcessLimits limits = {}) {
    simulator_ = std::make_unique<SimulatorProcess>(std::move(options), limits);
    ASSERT_TRUE(simulator_->Ready());
    std::ofstream(config_ + "/dll.conf") << "rd420\n";
    setenv("SANE_CONFIG_DIR", config_.c_str(), 1);
    setenv("RD420_DEVICE_DIR", simulator_->Directory().c_str(), 1);
    setenv("LD_LIBRARY_PATH", SANE_BACKEND_DIR, 1);
    // An instrumented back-end in an uninstrumented scanimage needs the
    // sanitizer's run-time loaded first.
    if (std::string(SANITIZER_RUNTIME).size() > 0) {
      setenv("LD_PRELOAD", SANITIZER_RUNTIME, 1);
    }
  }
  void TearDown() override {
    unsetenv("LD_PRELOAD");
    RemoveDirectory(config_);
  }

  ProgramResult Scanimage(std::vector<std::string> args) {
    args.insert(args.begin(), SCANIMAGE_PATH);
    return RunProgram(args);
  }

  std::string config_ = MakeTempDirectory();
  std::unique_ptr<SimulatorProcess> simulator_;
};

// Catches: a camera missing from the list, a list of the wrong names, or an
// error instead of an empty list when no rd420d runs.
TEST_F(ScanimageTest, ListsTheCameraAndNothingWithoutTheDaemon) {
  const ProgramResult listed = Scanimage({"-L"});
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out,
            "device `rd420:RD-420-0' is a TORVELA BRIMLEX Co. Ltd RD-420 document camera\n");

  simulator_->Stop();
  const ProgramResult empty = Scanimage({"-L"});
  EXPECT_EQ(empty.exitCode, 0) << empty.err;
  EXPECT_EQ(empty.out.find("rd420:"), std::string::npos);
  EXPECT_NE(empty.out.find("No scanners were identified"), std::string::npos) << empty.out;
}

struct ScanCase {
  const char* name;
  std::vector<std::string> args;
  bool png;
  bool half;
  int x, y, width, height;  // the part of the frame expected
};

void PrintTo(const ScanCase& c, std::ostream* os) {
  *os << c.name;
}

class ScanimageScanTest : public ScanimageTest, public ::testing::WithParamInterface<ScanCase> {};

// Catches: pixels converted, turned, cropped or handed out wrongly (a line
// from the wrong row, red and blue swapped, a read length that loses bytes)
// at either source, in either format.
TEST_P(ScanimageScanTest, ImageIsTheSimulatorsFrameConverted) {
  const ScanCase& c = GetParam();
  std::vector<std::string> args = {c.png ? "--format=png" : "--format=pnm"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const ProgramResult scan = Scanimage(args);
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  const Picture picture = c.png ? DecodePng(scan.out) : DecodePnm(scan.out);
  ASSERT_EQ(picture.width, c.width);
  ASSERT_EQ(picture.height, c.height);
  ASSERT_EQ(picture.rgb.size(), static_cast<size_t>(c.width) * c.height * 3);

  // The frame the scan took is one of those the simulator has delivered.
  const auto state = simulator_->State();
  const uint32_t delivered = static_cast<uint32_t>(std::stoul(state.at("frames")));
  ASSERT_GE(delivered, 1u);
  bool matched = false;
  for (uint32_t sequence = 0; sequence < delivered && !matched; ++sequence) {
    matched =
        SimulatorPicture(state, c.half, sequence, c.x, c.y, c.width, c.height).rgb == picture.rgb;
  }
  EXPECT_TRUE(matched) << "no frame of the " << delivered << " delivered matches";
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ScanimageScanTest,
    ::testing::Values(ScanCase{"FullPnm", {"--source=Full"}, false, false, 0, 0, 1280, 960},
                      ScanCase{"HalfPnm", {"--source=Half"}, false, true, 0, 0, 640, 480},
                      ScanCase{"FullPng", {"--resolution=100"}, true, false, 0, 0, 1280, 960},
                      ScanCase{"HalfPng", {"--resolution=50"}, true, true, 0, 0, 640, 480},
                      // -l, -t, -x and -y are the scan area's corner and size in mm.
                      ScanCase{"AreaFullPnm",
                               {"-l", "10", "-t", "20", "-x", "100", "-y", "50"},
                               false,
                               false,
                               39,
                               79,
                               394,
                               197},
                      ScanCase{"AreaHalfPng",
                               {"--source=Half", "-l", "10", "-t", "20", "-x", "100", "-y", "50"},
                               true,
                               true,
                               20,
                               39,
                               197,
                               99}),
    [](const auto& test) { return std::string(test.param.name); });

// Catches: a camera control that never reaches the camera.
TEST_F(ScanimageTest, LampOptionReachesTheCameraAsItsCommandWord) {
  ASSERT_EQ(simulator_->Control("reset-counts").substr(0, 2), "ok");
  const ProgramResult scan = Scanimage({"--lamp=yes", "--source=Half"});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  EXPECT_NE(simulator_->Control("history").find("0x00030005"), std::string::npos);
  EXPECT_EQ(simulator_->State().at("lamp"), "1");
}

// Catches: an unplug during the read that hangs the front-end or passes for
// a good image, and a gone camera still listed.
TEST_F(ScanimageTest, UnplugDuringTheReadIsAnIoErrorWithoutHanging) {
  ASSERT_EQ(simulator_->Control("stall").substr(0, 2), "ok");
  BackgroundProgram scan({SCANIMAGE_PATH, "--format=pnm"});
  ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  const std::optional<int> exitCode = scan.Wait();
  ASSERT_TRUE(exitCode.has_value()) << "scanimage hangs after the unplug";
  EXPECT_NE(*exitCode, 0);
  EXPECT_NE(scan.Err().find("sane_read: Error during device I/O"), std::string::npos) << scan.Err();

  const ProgramResult listed = Scanimage({"-L"});
  EXPECT_EQ(listed.out.find("rd420:"), std::string::npos) << listed.out;
}

// Catches: a cancel (scanimage's on SIGINT) that does not end a read the
// camera never finishes, or that leaves the camera unable to scan again.
TEST_F(ScanimageTest, CancelDuringTheReadEndsItAndTheNextScanWorks) {
  ASSERT_EQ(simulator_->Control("stall").substr(0, 2), "ok");
  {
    BackgroundProgram scan({SCANIMAGE_PATH, "--format=pnm"});
    ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
    scan.Signal(SIGINT);
    const std::optional<int> exitCode = scan.Wait();
    ASSERT_TRUE(exitCode.has_value()) << "scanimage hangs after the cancel";
    EXPECT_NE(scan.Err().find("sane_read: Operation was canceled"), std::string::npos)
        << scan.Err();
  }
  const ProgramResult again = Scanimage({"--format=pnm", "--source=Half"});
  ASSERT_EQ(again.exitCode, 0) << again.err;
  const Picture picture = DecodePnm(again.out);
  EXPECT_EQ(picture.width, 640);
  EXPECT_EQ(picture.height, 480);
}

// Catches: a frame size refused because another program streams at the
// other size taken for a lost camera (it is busy), or ignored.
TEST_F(ScanimageTest, CameraStreamingAtTheOtherSizeForAnotherProgramIsBusy) {
  BackgroundProgram stream(
      {RD420CTL_PATH, "--dir", simulator_->Directory(), "stream", "--seconds", "2", "--half"});
  ASSERT_TRUE(simulator_->WaitForState("resolution", "half"));
  // Streaming, as the daemon sees it: frames have gone to the other program.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::stoi(simulator_->State().at("frames")) < 2) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "rd420ctl does not stream";
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const ProgramResult scan = Scanimage({"--source=Full"});
  EXPECT_NE(scan.exitCode, 0);
  EXPECT_NE(scan.err.find("sane_start: Device busy"), std::string::npos) << scan.err;
  EXPECT_EQ(stream.Wait(), 0);
}

// Catches: a scan that switches the frame size between another program's
// size word and its first read (two scans at once at different sizes), so
// the other program's read fails, instead of being refused as busy.
TEST_F(ScanimageTest, SizeJustAskedForByAnotherProgramIsBusy) {
  SocketTransport transport(simulator_->Directory());
  const std::unique_ptr<DeviceHandle> device = transport.Open("RD-420-0");
  ASSERT_NE(device, nullptr);
  uint8_t reply[kVendorReplyBytes];
  const auto askFull = [&] {
    return device->Ioctl(kIoctlVendorRequest, EncodeVendorRecord(kCmdFullResolution), reply).ok;
  };
  ASSERT_TRUE(askFull());
  // Asked again while scanimage starts, however slowly it comes up.
  std::atomic<bool> scanning{true};
  std::thread asker([&] {
    while (scanning) {
      askFull();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  const ProgramResult scan = Scanimage({"--source=Half"});
  scanning = false;
  asker.join();
  EXPECT_NE(scan.exitCode, 0);
  EXPECT_NE(scan.err.find("sane_start: Device busy"), std::string::npos) << scan.err;
  std::vector<uint8_t> frame(1280 * 960 * 2);
  const uint8_t pipe[4] = {1, 0, 0, 0};
  EXPECT_EQ(device->Ioctl(kIoctlBulkRead, pipe, frame).bytesReturned, frame.size());
}

// Catches: a daemon that no longer answers (stopped) holding the scan for
// a time-out per request (15 s), or reported without naming it.
TEST_F(ScanimageTest, StoppedDaemonIsAnIoErrorAfterOneTimeOut) {
  setenv("SANE_DEBUG_RD420", "1", 1);
  simulator_->Pause();
  const auto started = std::chrono::steady_clock::now();
  const ProgramResult scan = Scanimage({"--source=Half"});
  const auto took = std::chrono::steady_clock::now() - started;
  simulator_->Resume();
  unsetenv("SANE_DEBUG_RD420");
  EXPECT_NE(scan.exitCode, 0);
  EXPECT_NE(scan.err.find("[rd420] rd420d does not answer (no reply within 5 s): is the daemon "
                          "stopped?"),
            std::string::npos)
      << scan.err;
  EXPECT_NE(scan.err.find("Error during device I/O"), std::string::npos) << scan.err;
  EXPECT_LT(took, std::chrono::seconds(10)) << "more than one 5 s time-out";
}

// Catches: a scan rd420d turns away at its connection limit reported as an
// I/O error without a word, instead of a busy device and why.
TEST_F(ScanimageTest, ScanRefusedAtTheDaemonsConnectionLimitIsBusy) {
  StartSimulator({}, {.openFiles = 32});
  std::vector<UniqueFd> idle;
  for (int i = 0; i < 40; ++i) {
    idle.push_back(ConnectUnixSocket(DevicePath(simulator_->Directory(), "RD-420-0")));
  }
  setenv("SANE_DEBUG_RD420", "1", 1);
  const ProgramResult scan = Scanimage({"--source=Full"});
  unsetenv("SANE_DEBUG_RD420");
  EXPECT_NE(scan.exitCode, 0);
  EXPECT_NE(scan.err.find("rd420d refused the connection: it has too many connections open"),
            std::string::npos)
      << scan.err;
  // The open's status poll meets the refusal first.
  EXPECT_NE(scan.err.find("failed: Device busy"), std::string::npos) << scan.err;
}

// Catches: rd420.conf's device folder ignored when RD420_DEVICE_DIR is unset.
TEST_F(ScanimageTest, ConfigFileNamesTheDeviceFolder) {
  unsetenv("RD420_DEVICE_DIR");
  setenv("XDG_RUNTIME_DIR", config_.c_str(), 1);  // the default has no camera
  std::ofstream(config_ + "/rd420.conf")
      << "# a comment\ndevice-dir " << simulator_->Directory() << "\n";
  const ProgramResult listed = Scanimage({"-L"});
  EXPECT_NE(listed.out.find("`rd420:RD-420-0'"), std::string::npos) << listed.out;
}

}  // namespace
}  // namespace rd420::test
