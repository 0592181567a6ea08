// A console TWAIN application, with no GUI toolkit of its own, using the
// built source: the source runs a Qt application of its own on a thread
// of its own and leaves nothing running once unloaded. This binary must
// not link Qt.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/simulator_process.h"
#include "tests/twain/loaded_source.h"

namespace rd420::twain {
namespace {

// Threads that carry the process's own name: ours, the source's included
// (Qt names the threads it starts for itself, such as its pooled workers,
// which end on their own after an idle while).
int OwnThreadCount() {
  const auto nameOf = [](const std::filesystem::path& task) {
    std::ifstream comm(task / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
  };
  const std::string own = nameOf("/proc/self");
  int count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    count += nameOf(task.path()) == own ? 1 : 0;
  }
  return count;
}

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
  const int threads = OwnThreadCount();
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NO_FATAL_FAILURE(ScanWithLoadedSource(
        [&] { EXPECT_EQ(SettledThreadCount(threads), threads) << "after MSG_CLOSEDS"; }));
    EXPECT_EQ(SettledThreadCount(threads), threads) << "after unloading";
  }
  test::RemoveDirectory(folder);
}

}  // namespace
}  // namespace rd420::twain
