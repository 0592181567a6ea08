// A console TWAIN application, with no GUI toolkit of its own, using the
// built source: the source runs a Qt application of its own on a thread
// of its own and leaves nothing running once unloaded. This binary must
// not link Qt.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Catches: a source that needs the host's Qt application, cannot start its
// own again after unloading (Qt Widgets unloaded with it left a dangling
// pointer in Qt GUI: a crash by the third load), or leaves a thread running
// after MSG_CLOSEDS or after it is unloaded.
TEST(ConsoleHost, ScansOnEveryLoadAndLeavesNoThread) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  const std::string folder = test::MakeTempDirectory();
  setenv("RD420_DEVICE_DIR", camera.Directory().c_str(), 1);
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  setenv("TMPDIR", folder.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const int threads = OwnThreadCount();
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NO_FATAL_FAILURE(ScanWithLoadedSource(
        [&] { EXPECT_EQ(SettledThreadCount(threads), threads) << "after MSG_CLOSEDS"; }));
    EXPECT_EQ(SettledThreadCount(threads), threads) << "after unloading";
  }
  test::RemoveDirectory(folder);
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
  // No camera, and a display no one answers on: the window's message goes
  // to standard error.
  char pattern[] = "/tmp/twain-load-XXXXXX";
  const std::string noCameras = mkdtemp(pattern);
  setenv("RD420_DEVICE_DIR", noCameras.c_str(), 1);
  setenv("XDG_CONFIG_HOME", noCameras.c_str(), 1);  // the window's settings file
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
      // Without a camera the window also asks to be closed, later.
      auto records = manager->Take();
      std::erase_if(records, [](const StandInRecord& r) { return r.msg == MSG_CLOSEDSREQ; });
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
  unsetenv("RD420_DEVICE_DIR");
  rmdir(noCameras.c_str());
}

}  // namespace
}  // namespace rd420::twain
