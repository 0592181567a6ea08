#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "devlink/link_fixture.h"
#include "platform/unique_fd.h"
#include "wire/command_words.h"
#include "wire/device_directory.h"

namespace rd420::test {
namespace {

// rd420d under a time limit, so a daemon that wrongly accepts the folder
// fails the test instead of hanging it (exit 124).
ProgramResult RunDaemon(const std::string& directory) {
  return RunProgram({"/usr/bin/timeout", "10", RD420D_PATH, "--simulate", "--dir", directory});
}

bool IsOneLineNaming(const std::string& text, const std::string& what) {
  return std::count(text.begin(), text.end(), '\n') == 1 && text.find(what) != std::string::npos;
}

// Catches: a daemon that serves from a folder anyone may write to, where
// another user can replace its nodes.
TEST(DeviceFolder, DaemonRefusesAWorldWritableFolder) {
  const std::string dir = MakeTempDirectory();
  ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
  const ProgramResult daemon = RunDaemon(dir);
  EXPECT_EQ(daemon.exitCode, 1);
  EXPECT_TRUE(IsOneLineNaming(daemon.err, dir)) << daemon.err;
  EXPECT_NE(daemon.err.find("writable"), std::string::npos) << daemon.err;
  RemoveDirectory(dir);
}

// Catches: a client that talks to whatever serves in a folder another user
// owns: a fake camera reading the victim's commands and faking its status.
TEST_F(LinkTest, ClientsRefuseAFolderAnotherUserOwns) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "giving a folder away needs root";
  }
  StartSimulator();
  const std::string& dir = simulator_->Directory();
  ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
  const ProgramResult ctl = RunProgram({RD420CTL_PATH, "--dir", dir, "status"});
  EXPECT_EQ(ctl.exitCode, 1);
  EXPECT_TRUE(IsOneLineNaming(ctl.err, dir)) << ctl.err;
  EXPECT_NE(ctl.err.find("owned by"), std::string::npos) << ctl.err;
  EXPECT_EQ(transport_->Open("RD-420-0"), nullptr);
  EXPECT_EQ(simulator_->State().at("status-polls"), "0");
}

// Catches: a second daemon that takes over the folder, also in the moment
// when the first holds it but has not made its nodes yet.
TEST_F(LinkTest, SecondDaemonOnTheSameFolderIsRefused) {
  StartSimulator();
  const ProgramResult second = RunDaemon(simulator_->Directory());
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_TRUE(IsOneLineNaming(second.err, "rd420d.lock")) << second.err;
  ASSERT_TRUE(link_->DiscoverDevice());
  EXPECT_TRUE(link_->SendCommand(kPollStatus).has_value());

  const std::string starting = MakeTempDirectory();
  UniqueFd lock(::open((starting + "/rd420d.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  ASSERT_EQ(::flock(lock.Get(), LOCK_EX), 0);
  const ProgramResult third = RunDaemon(starting);
  EXPECT_EQ(third.exitCode, 1);
  EXPECT_TRUE(IsOneLineNaming(third.err, "rd420d.lock")) << third.err;
  RemoveDirectory(starting);
}

// Catches: a file where a node belongs deleted without a word.
TEST(DeviceFolder, DaemonRefusesAFileWhereANodeBelongs) {
  const std::string dir = MakeTempDirectory();
  const std::string node = dir + "/RD-420-0";
  std::ofstream(node) << "notes";
  const ProgramResult daemon = RunDaemon(dir);
  EXPECT_EQ(daemon.exitCode, 1);
  EXPECT_TRUE(IsOneLineNaming(daemon.err, node)) << daemon.err;
  std::string kept;
  std::ifstream(node) >> kept;
  EXPECT_EQ(kept, "notes");
  RemoveDirectory(dir);
}

// Catches: nodes that other users may connect to, where the folder's mode
// is all that keeps them out.
TEST_F(LinkTest, NodesAndControlSocketAreForTheOwnerOnly) {
  StartSimulator({"--instances", "0,3"});
  for (const std::string name : {"RD-420-0", "RD-420-3", "rd420d.control"}) {
    struct stat info {};
    ASSERT_EQ(::lstat(DevicePath(simulator_->Directory(), name).c_str(), &info), 0) << name;
    EXPECT_TRUE(S_ISSOCK(info.st_mode)) << name;
    EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
  }
}

}  // namespace
}  // namespace rd420::test
