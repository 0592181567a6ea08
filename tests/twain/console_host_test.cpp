// A console TWAIN application, with no GUI toolkit of its own, using the
// built source: the source runs a Qt application of its own on a thread
// of its own and leaves nothing running once unloaded. This binary must
// not link Qt.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "support/simulator_process.h"
#include "support/thread_count.h"
#include "tests/twain/loaded_source.h"
#include "tests/twain/twain_fixture.h"

namespace rd420::twain {
namespace {

using test::OwnThreadCount;

// The count once a thread that has just been joined or let go is gone.
int SettledThreadCount(int expected) {
  for (int i = 0; i < 200 && OwnThreadCount() != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return OwnThreadCount();
}

// What a console application around the source finds: the camera's
// folder, its own settings and temporary folders, no display. Put back
// when the test ends.
class ConsoleEnvironment {
 public:
  explicit ConsoleEnvironment(const std::string& devices) {
    setenv("RD420_DEVICE_DIR", devices.c_str(), 1);
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    setenv("TMPDIR", folder_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  ~ConsoleEnvironment() {
    for (const char* name : {"RD420_DEVICE_DIR", "XDG_CONFIG_HOME", "TMPDIR", "QT_QPA_PLATFORM"}) {
      unsetenv(name);
    }
    test::RemoveDirectory(folder_);
  }

 private:
  const std::string folder_ = test::MakeTempDirectory();
};

// Catches: a source that needs the host's Qt application, cannot start its
// own again after unloading (Qt Widgets unloaded with it left a dangling
// pointer in Qt GUI: a crash by the third load), or leaves a thread running
// after MSG_CLOSEDS or after it is unloaded.
TEST(ConsoleHost, ScansOnEveryLoadAndLeavesNoThread) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  ConsoleEnvironment environment(camera.Directory());
  const int threads = OwnThreadCount();
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NO_FATAL_FAILURE(ScanWithLoadedSource(
        [&] { EXPECT_EQ(SettledThreadCount(threads), threads) << "after MSG_CLOSEDS"; }));
    EXPECT_EQ(SettledThreadCount(threads), threads) << "after unloading";
  }
}

// How often the stand-in manager has been loaded in this process.
int ManagerLoads() {
  const char* loads = std::getenv(kStandInLoadsVariable);
  return loads != nullptr ? std::atoi(loads) : 0;
}

// Catches: MSG_XFERREADY not sent before MSG_ENABLEDS returns when the
// window is hidden, not reaching the manager the application loaded, the
// source failing (or crashing) when no manager is loaded, or loading one
// itself to send it, a display that cannot be reached ending the host. The
// round without a manager goes first: once loaded, the stand-in may stay
// resident after its last dlclose.
TEST(LoadedDataSource, NotifiesTheLoadedManagerAndOnlyIt) {
  TW_IDENTITY app{};
  app.Id = 7;
  app.ProtocolMajor = 2;
  app.ProtocolMinor = 4;
  // A display no one answers on.
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  ConsoleEnvironment environment(camera.Directory());
  unsetenv("QT_QPA_PLATFORM");
  unsetenv("WAYLAND_DISPLAY");
  setenv("DISPLAY", ":97", 1);
  for (bool withManager : {false, true}) {
    SCOPED_TRACE(withManager);
    std::unique_ptr<StandInManager> manager;
    if (withManager) {
      manager = std::make_unique<StandInManager>();
      ASSERT_TRUE(manager->Loaded());
      manager->Take();  // what reached a copy other tests left resident
    }
    const int loads = ManagerLoads();
    LoadedSource source;
    ASSERT_TRUE(source.Loaded());
    TW_IDENTITY identity{};
    identity.Id = 42;
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    TW_USERINTERFACE ui{kTwFalse, kTwFalse, nullptr};
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    EXPECT_EQ(source(&app, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);  // in 600
    if (withManager) {
      const std::vector<StandInRecord> records = manager->Take();
      ASSERT_EQ(records.size(), 1u);
      EXPECT_EQ(records[0].msg, MSG_XFERREADY);
      EXPECT_EQ(records[0].originId, 42u);
      EXPECT_EQ(records[0].destId, 7u);
      EXPECT_EQ(records[0].dg, DG_CONTROL);
      EXPECT_EQ(records[0].dat, DAT_NULL);
      EXPECT_TRUE(records[0].nullData);
    }
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(ManagerLoads(), loads);
  }
}

// Catches: an application that exits without closing the source crashing
// as it ends (our threads painting or the window ending while exit()
// destroys Qt): enabled with the window hidden or shown, or disabled but
// not closed; or one that exits from its callback, on the source's own
// close-request thread, which nothing can join.
TEST(ConsoleHost, ApplicationExitsWithoutClosing) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  ConsoleEnvironment environment(camera.Directory());
  for (const char* point : {"enabled", "shown", "disabled", "callback"}) {
    SCOPED_TRACE(point);
    const test::ProgramResult result = test::RunProgram({TWAIN_EXIT_HOST_PATH, point});
    EXPECT_EQ(result.exitCode, 0) << result.err;
  }
}

// Catches: a hidden MSG_ENABLEDS on a daemon that no longer answers
// (SIGSTOP) taking over 10 s and then promising a picture (MSG_XFERREADY).
TEST(ConsoleHost, HiddenEnableFailsOnAStoppedDaemon) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  ConsoleEnvironment environment(camera.Directory());
  StandInManager manager;
  ASSERT_TRUE(manager.Loaded());
  manager.Take();
  LoadedSource loaded;
  ASSERT_TRUE(loaded.Loaded());
  GuardedSource source(loaded);
  TW_IDENTITY app{};
  app.Id = 7;
  TW_IDENTITY identity{};
  identity.Id = 42;
  ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
  camera.Pause();
  TW_USERINTERFACE ui{kTwFalse, kTwFalse, nullptr};
  const TW_UINT16 rc = source(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  camera.Resume();
  EXPECT_EQ(rc, TWRC_FAILURE);
  TW_STATUS status{};
  source(&app, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  EXPECT_EQ(status.ConditionCode, TWCC_OPERATIONERROR);
  std::printf("hidden MSG_ENABLEDS on a stopped daemon: %lld ms\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(source.Longest()).count()));
  EXPECT_TRUE(manager.Take().empty());
  EXPECT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
}

// How many of `records` are `msg`.
int CountOf(const std::vector<StandInRecord>& records, TW_UINT16 msg) {
  return static_cast<int>(std::count_if(records.begin(), records.end(),
                                        [msg](const StandInRecord& r) { return r.msg == msg; }));
}

// Catches: the camera lost under a hidden session while the application
// disables at once, transfers first, or waits for the close request: the
// window destroyed under its own ending (a crash), a call that hangs, a
// close request missing or sent twice, MSG_ENABLEDS without a camera
// answered with MSG_XFERREADY, a source that cannot be enabled again.
TEST(ConsoleHost, SurvivesTheCameraLostAtAnyMoment) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  ConsoleEnvironment environment(camera.Directory());
  StandInManager manager;
  ASSERT_TRUE(manager.Loaded());
  manager.Take();
  LoadedSource loaded;
  ASSERT_TRUE(loaded.Loaded());
  GuardedSource source(loaded);
  TW_IDENTITY app{};
  app.Id = 7;
  app.ProtocolMajor = 2;
  app.ProtocolMinor = 4;
  std::vector<StandInRecord> records;
  const auto take = [&] {
    const std::vector<StandInRecord> now = manager.Take();
    records.insert(records.end(), now.begin(), now.end());
  };
  const auto waitFor = [&](TW_UINT16 msg) {
    for (int i = 0; i < 1000 && CountOf(records, msg) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      take();
    }
    return CountOf(records, msg) > 0;
  };
  const auto enable = [&] {
    TW_USERINTERFACE ui{kTwFalse, kTwFalse, nullptr};
    return source(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  };
  const auto disable = [&] {
    TW_USERINTERFACE ui{};
    return source(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  };
  const auto condition = [&] {
    TW_STATUS status{};
    source(&app, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
  };
  enum Reaction { kDisableAtOnce, kTransferThenDisable, kAwaitCloseRequest, kTransferThenAwait };
  std::mt19937 random(24);
  constexpr int kRounds = 60;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    const auto reaction = static_cast<Reaction>(round % 4);
    TW_IDENTITY identity{};
    identity.Id = 42;
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    ASSERT_EQ(enable(), TWRC_SUCCESS);
    take();
    ASSERT_EQ(CountOf(records, MSG_XFERREADY), 1);
    records.clear();
    ASSERT_EQ(camera.Control("unplug").rfind("ok", 0), 0u);
    if (reaction == kTransferThenDisable || reaction == kTransferThenAwait) {
      TW_HANDLE dib = nullptr;
      EXPECT_EQ(source(&app, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
      EXPECT_EQ(condition(), TWCC_OPERATIONERROR);
    }
    if (reaction == kAwaitCloseRequest || reaction == kTransferThenAwait) {
      EXPECT_TRUE(waitFor(MSG_CLOSEDSREQ));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 61));
    }
    EXPECT_EQ(disable(), TWRC_SUCCESS);
    take();
    // The close request belongs to the window just disabled: none after it.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    take();
    const int closeRequests = CountOf(records, MSG_CLOSEDSREQ);
    if (reaction == kAwaitCloseRequest || reaction == kTransferThenAwait) {
      EXPECT_EQ(closeRequests, 1);
    } else {
      EXPECT_LE(closeRequests, 1);
    }
    EXPECT_EQ(CountOf(records, MSG_XFERREADY), 0);
    records.clear();
    if (reaction == kDisableAtOnce) {
      // No camera to be reached: enabling fails, and nothing is promised.
      EXPECT_EQ(enable(), TWRC_FAILURE);
      EXPECT_EQ(condition(), TWCC_OPERATIONERROR);
      take();
      EXPECT_EQ(CountOf(records, MSG_XFERREADY), 0);
    }
    ASSERT_EQ(camera.Control("plug").rfind("ok", 0), 0u);
    if (reaction == kTransferThenDisable) {
      EXPECT_EQ(enable(), TWRC_SUCCESS);
      EXPECT_EQ(disable(), TWRC_SUCCESS);
    }
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
    records.clear();
    manager.Take();
  }
  std::printf("%d rounds; longest DS_Entry call %lld ms\n", kRounds,
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(source.Longest()).count()));
}

}  // namespace
}  // namespace rd420::twain
