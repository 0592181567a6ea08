// A program starting rd420d itself: the built daemon, in private folders.
#include "devlink/daemon_start.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/lock_holder.h"
#include "support/simulator_process.h"
#include "wire/device_directory.h"

namespace rd420::test {
namespace {

const std::string kProgramDirectory = std::filesystem::path(RD420D_PATH).parent_path().string();

// The processes this one started and has not reaped, from /proc.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (!std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); })) {
      continue;
    }
    // "pid (comm) state ppid ...", where comm may hold blanks and brackets.
    std::ifstream file(entry.path() / "stat");
    const std::string stat(std::istreambuf_iterator<char>(file), {});
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) {
      continue;
    }
    std::istringstream fields(stat.substr(close + 1));
    char state = 0;
    pid_t parent = 0;
    if (fields >> state >> parent && parent == ::getpid()) {
      children.push_back(std::stoi(name));
    }
  }
  return children;
}

class DaemonStartTest : public ::testing::Test {
 protected:
  // A daemon a test started ends with the test, whatever failed: one left
  // running would hold the test runner's stderr open.
  void TearDown() override {
    for (const pid_t child : Children()) {
      ::kill(child, SIGTERM);
      ::waitpid(child, nullptr, 0);
    }
    RemoveDirectory(directory_);
  }

  void SetUp() override { ::setenv("XDG_STATE_HOME", (directory_ + "/state").c_str(), 1); }

  std::string directory_ = MakeTempDirectory();
  std::string noOptions_ = directory_ + "/none.conf";
};

// Catches: no daemon started, one started without the configured options
// or for another folder, or a return before the camera's node is there for
// the program to find.
TEST_F(DaemonStartTest, StartsTheConfiguredDaemonWhenNoneServes) {
  const std::string options = directory_ + "/rd420d.conf";
  std::ofstream(options) << "RD420D_OPTIONS=\"--instances 2 --dir " << directory_ << "/other\"\n";
  ASSERT_FALSE(DaemonServes(directory_));
  EXPECT_EQ(StartDaemonIfNoneServes(directory_, kProgramDirectory, options), std::nullopt);
  EXPECT_TRUE(DaemonServes(directory_));
  EXPECT_TRUE(std::filesystem::exists(DevicePath(directory_, DeviceName(2))));
  EXPECT_FALSE(std::filesystem::exists(directory_ + "/other"));
  // It keeps neither our standard error (a pipe a caller may read to its
  // end) nor our folder (a mount it would pin).
  const std::optional<pid_t> daemon = FlockHolder(DevicePath(directory_, kLockFileName));
  ASSERT_TRUE(daemon.has_value());
  const std::string proc = "/proc/" + std::to_string(*daemon);
  EXPECT_EQ(std::filesystem::read_symlink(proc + "/cwd"), "/");
  EXPECT_EQ(std::filesystem::read_symlink(proc + "/fd/2"), directory_ + "/state/rd420/rd420d.log");
}

// Catches: a daemon we started left as a zombie of ours once it ends.
TEST_F(DaemonStartTest, ReapsTheDaemonItStartedWhenItEnds) {
  ASSERT_EQ(StartDaemonIfNoneServes(directory_, kProgramDirectory, noOptions_), std::nullopt);
  const std::optional<pid_t> daemon = FlockHolder(DevicePath(directory_, kLockFileName));
  ASSERT_TRUE(daemon.has_value());
  ASSERT_EQ(Children(), std::vector<pid_t>{*daemon});
  ::kill(*daemon, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Children().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(Children().empty());
}

// Catches: a second rd420d started for a folder a daemon already serves.
TEST_F(DaemonStartTest, LeavesAServingDaemonAlone) {
  SimulatorProcess simulator;
  ASSERT_TRUE(simulator.Ready());
  EXPECT_EQ(StartDaemonIfNoneServes(simulator.Directory(), kProgramDirectory, noOptions_),
            std::nullopt);
  EXPECT_EQ(FlockHolder(DevicePath(simulator.Directory(), kLockFileName)), simulator.Pid());
  EXPECT_EQ(Children(), std::vector<pid_t>{simulator.Pid()});
}

// Catches: a program folder without rd420d passed over in silence.
TEST_F(DaemonStartTest, NamesTheMissingDaemon) {
  const std::optional<std::string> problem =
      StartDaemonIfNoneServes(directory_, directory_, noOptions_);
  ASSERT_TRUE(problem.has_value());
  EXPECT_NE(problem->find(directory_ + "/rd420d"), std::string::npos) << *problem;
  EXPECT_EQ(problem->find('\n'), std::string::npos) << *problem;
}

// Catches: a program that starts its own daemon beside a session's user
// manager, whose unit then fails on the folder that daemon holds.
TEST_F(DaemonStartTest, AsksTheUserManagerWhereOneRuns) {
  const std::string runtime = directory_ + "/run";
  std::filesystem::create_directories(runtime + "/systemd");
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  std::ofstream(runtime + "/systemd/private");
  // Our systemctl starts the daemon as the unit would, and notes its words.
  const std::string bin = directory_ + "/bin";
  std::filesystem::create_directory(bin);
  std::ofstream(bin + "/systemctl")
      << "#!/bin/sh\necho \"$*\" > " << directory_ << "/asked\n" RD420D_PATH " >/dev/null 2>&1 &\n";
  std::filesystem::permissions(bin + "/systemctl", std::filesystem::perms::owner_all);
  ::setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  ::unsetenv("RD420_DEVICE_DIR");

  StartDaemonForProgram();
  const std::optional<pid_t> daemon = FlockHolder(DevicePath(runtime + "/rd420", kLockFileName));
  ASSERT_TRUE(daemon.has_value());
  ::kill(*daemon, SIGTERM);
  std::ifstream asked(directory_ + "/asked");
  std::string words;
  std::getline(asked, words);
  EXPECT_EQ(words, "--user start --no-block rd420d.service");
}

struct OptionsFileCase {
  const char* name;
  const char* text;  // nullptr: no file
  std::vector<std::string> options;
};

void PrintTo(const OptionsFileCase& file, std::ostream* os) {
  *os << file.name;
}

class OptionsFileTest : public DaemonStartTest,
                        public ::testing::WithParamInterface<OptionsFileCase> {};

// Catches: the daemon's options read otherwise than the systemd unit reads
// the same file, so a program-started daemon serves a different camera.
TEST_P(OptionsFileTest, ReadsTheOptionsAsTheSystemdUnitDoes) {
  const std::string path = directory_ + "/rd420d.conf";
  if (GetParam().text != nullptr) {
    std::ofstream(path) << GetParam().text;
  }
  EXPECT_EQ(ReadDaemonOptions(path), GetParam().options);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OptionsFileTest,
    ::testing::Values(
        OptionsFileCase{"DoubleQuotedAmongCommentsAndOthers",
                        "# rd420d's options\nOTHER=--simulate\n  RD420D_OPTIONS = \"--usb "
                        "1234:5678\"\nRD420D_OPTIONS_OLD=--fps 5\n",
                        {"--usb", "1234:5678"}},
        OptionsFileCase{"QuotesInsideTheValueGroupWords",
                        "RD420D_OPTIONS='--dir  \"/a b\" c\\ d'\n",
                        {"--dir", "/a b", "c d"}},
        OptionsFileCase{"Unquoted", "RD420D_OPTIONS=--instances 0,3\n", {"--instances", "0,3"}},
        OptionsFileCase{
            "EscapedQuoteInDoubleQuotes", "RD420D_OPTIONS=\"--dir \\\"x y\\\"\"", {"--dir", "x y"}},
        OptionsFileCase{"LastAssignmentWins",
                        "RD420D_OPTIONS=--simulate\nRD420D_OPTIONS=--usb 1234:5678\n",
                        {"--usb", "1234:5678"}},
        OptionsFileCase{"CommentedOut", "#RD420D_OPTIONS=--usb 1234:5678\n", {}},
        OptionsFileCase{"NoFile", nullptr, {}}),
    [](const ::testing::TestParamInfo<OptionsFileCase>& file) {
      return std::string(file.param.name);
    });

}  // namespace
}  // namespace rd420::test
