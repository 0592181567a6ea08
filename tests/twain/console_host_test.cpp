// A console TWAIN application, with no GUI toolkit of its own, using the
// built source: the source runs a Qt application of its own on a thread
// of its own and leaves nothing running once unloaded. This binary must
// not link Qt.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/simulator_process.h"
#include "tests/twain/loaded_source.h"

namespace rd420::twain {
namespace {

int ThreadCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

// Catches: a source that needs the host's Qt application, cannot start its
// own a second time after unloading, or leaves a thread running after
// MSG_CLOSEDS or after it is unloaded.
TEST(ConsoleHost, ScansTwiceAndLeavesNoThread) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  const std::string folder = test::MakeTempDirectory();
  setenv("RD420_DEVICE_DIR", camera.Directory().c_str(), 1);
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  setenv("TMPDIR", folder.c_str(), 1);
  const int threads = ThreadCount();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NO_FATAL_FAILURE(
        ScanWithLoadedSource([&] { EXPECT_EQ(ThreadCount(), threads) << "after MSG_CLOSEDS"; }));
    EXPECT_EQ(ThreadCount(), threads) << "after unloading";
  }
  test::RemoveDirectory(folder);
}

}  // namespace
}  // namespace rd420::twain
