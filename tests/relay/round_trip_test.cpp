// The hand-over end to end, every program its own process: the viewer's
// "AVICapture" button, the relay, the capture program on the simulated
// camera, its VADIZIVID button, and the viewer back, with one program at a
// time on the camera.
#include <gtest/gtest.h>

#include <QProcess>
#include <atomic>
#include <mutex>
#include <thread>

#include "platform/instance_lock.h"
#include "platform/lock_holder.h"
#include "relay/relay_folder.h"
#include "relay/x11_windows.h"

namespace rd420::relay::test {
namespace {

using rd420::test::WaitFor;

constexpr char kViewerTitle[] = "TORVELA View Panel";
constexpr char kCaptureTitle[] = "TORVELA VAV Eduruzu";

// The process holding the camera lock, read from the kernel's lock table
// (taking the lock to look would stand in the programs' way); 0 for none.
pid_t LockHolder() {
  return FlockHolder(InstanceLockPath(kCameraLockName)).value_or(0);
}

std::string ProgramOf(pid_t pid) {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error)
      .filename()
      .string();
}

// Watches, on a thread of its own, the two main windows and the lock
// holder until it is destroyed.
class HandOverWatch {
 public:
  HandOverWatch() : thread_([this] { Watch(); }) {}
  ~HandOverWatch() {
    stop_ = true;
    thread_.join();
  }
  int BothWindowsSeen() const { return bothWindows_; }
  // The programs that held the lock, in turn.
  std::vector<std::string> Holders() {
    std::lock_guard lock(mutex_);
    return holders_;
  }

 private:
  void Watch() {
    const std::unique_ptr<X11Windows> windows = X11Windows::Connect();
    while (!stop_) {
      if (windows && windows->TopLevelExists(kViewerTitle) &&
          windows->TopLevelExists(kCaptureTitle)) {
        ++bothWindows_;
      }
      const pid_t holder = LockHolder();
      if (holder != 0 && holder != lastHolder_) {
        std::lock_guard lock(mutex_);
        holders_.push_back(ProgramOf(holder));
      }
      lastHolder_ = holder != 0 ? holder : lastHolder_;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  std::atomic<bool> stop_{false};
  std::atomic<int> bothWindows_{0};
  std::mutex mutex_;
  std::vector<std::string> holders_;
  pid_t lastHolder_ = 0;  // the watch thread's own
  std::thread thread_;
};

class RoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Install(VIEWER_PATH);
    folder_.Install(AVICAP_PATH);
    ASSERT_TRUE(simulator_.Ready());
    // What the relay starts finds the camera and keeps its settings here.
    setenv("RD420_DEVICE_DIR", simulator_.Directory().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_.Path() + "/config").c_str(), 1);
    windows_ = X11Windows::Connect();
    ASSERT_TRUE(windows_);
  }

  bool WindowAppears(const char* title) {
    return WaitFor([&] { return windows_->TopLevelExists(title); }, 20000);
  }
  uint64_t Frames() { return std::stoull(simulator_.State()["frames"]); }
  // The camera streams to whoever holds it now.
  bool Streaming() {
    const uint64_t before = Frames();
    return WaitFor([&] { return Frames() > before + 2; }, 10000);
  }

  RelayFolder folder_;
  rd420::test::SimulatorProcess simulator_;
  std::unique_ptr<X11Windows> windows_;
};

// Runs xdotool with `arguments`; true when it succeeded.
bool Xdotool(const QStringList& arguments) {
  return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Clicks at (x, y) in the shown window titled exactly `title`.
bool ClickIn(const char* title, int x, int y) {
  return Xdotool({QStringLiteral("search"), QStringLiteral("--sync"),
                  QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                  QStringLiteral("^%1$").arg(title), QStringLiteral("mousemove"),
                  QStringLiteral("--window"), QStringLiteral("%1"), QString::number(x),
                  QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
}

// Catches: a hand-over in either direction that starts the next program
// while the last still has its window or the camera, that never starts
// it, or that leaves it without the camera.
TEST_F(RoundTripTest, ViewerToCaptureProgramAndBack) {
  HandOverWatch watch;
  QProcess viewer;
  viewer.start(folder_.Program("TORVELA_VADIzivid"));
  ASSERT_TRUE(viewer.waitForStarted());
  ASSERT_TRUE(WindowAppears(kViewerTitle));
  ASSERT_TRUE(WaitFor([] { return ProgramOf(LockHolder()) == "TORVELA_VADIzivid"; }));
  EXPECT_TRUE(Streaming());

  // The centres of the main window's panel button (kIdOpenPanel, 642, 462,
  // 17 x 17 in the half window) and the panel's "AVICapture" button
  // (kIdCaptureProgram, 384, 74, 73 x 16).
  ASSERT_TRUE(ClickIn(kViewerTitle, 650, 470));
  ASSERT_TRUE(ClickIn("Control Panel", 420, 82));
  ASSERT_TRUE(WaitFor([&] { return viewer.state() == QProcess::NotRunning; }));
  EXPECT_EQ(viewer.exitCode(), 0);

  ASSERT_TRUE(WindowAppears(kCaptureTitle));
  ASSERT_TRUE(WaitFor([] { return ProgramOf(LockHolder()) == "TORVELA_AVICap"; }));
  EXPECT_TRUE(Streaming());

  // Alt+V is the mnemonic of its "&VADIZIVID" button.
  EXPECT_TRUE(Xdotool({QStringLiteral("search"), QStringLiteral("--name"),
                       QStringLiteral("^%1$").arg(kCaptureTitle), QStringLiteral("windowfocus"),
                       QStringLiteral("--sync"), QStringLiteral("key"), QStringLiteral("alt+v")}));
  ASSERT_TRUE(WindowAppears(kViewerTitle));
  ASSERT_TRUE(WaitFor([] { return ProgramOf(LockHolder()) == "TORVELA_VADIzivid"; }));
  EXPECT_FALSE(windows_->TopLevelExists(kCaptureTitle));
  EXPECT_TRUE(Streaming());

  EXPECT_EQ(watch.BothWindowsSeen(), 0);
  const std::vector<std::string> expected = {"TORVELA_VADIzivid", "TORVELA_AVICap",
                                             "TORVELA_VADIzivid"};
  EXPECT_EQ(watch.Holders(), expected);
}

}  // namespace
}  // namespace rd420::relay::test
