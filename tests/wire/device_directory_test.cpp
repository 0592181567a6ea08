#include "wire/device_directory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "wire/socket_io.h"

namespace rd420 {
namespace {

// Each test works in a private folder of its own, as mkdtemp makes it (0700).
class DeviceDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(::mkdtemp(root_.data()), nullptr); }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string root_ = (std::filesystem::temp_directory_path() / "rd420-dir-XXXXXX").string();
};

struct FolderCase {
  const char* name;
  // Makes `path` (which does not exist yet) the folder under test.
  std::function<void(const std::string& path)> make;
  // Empty for a trusted folder, else a word the refusal must contain.
  const char* reason;
};

void PrintTo(const FolderCase& folder, std::ostream* os) {
  *os << folder.name;
}

class FolderCheckTest : public DeviceDirectoryTest,
                        public ::testing::WithParamInterface<FolderCase> {};

// Catches: a folder another user owns, may write to, or has pointed
// elsewhere being trusted by the daemon or a client; or a sound one refused.
TEST_P(FolderCheckTest, TrustsOnlyAPrivateFolderOfThisUser) {
  const std::string path = root_ + "/rd420";
  GetParam().make(path);
  if (IsSkipped() || HasFatalFailure()) {
    return;
  }
  const std::optional<std::string> problem = CheckDeviceDirectory(path);
  if (*GetParam().reason == '\0') {
    EXPECT_EQ(problem, std::nullopt);
    return;
  }
  ASSERT_TRUE(problem.has_value());
  EXPECT_EQ(problem->find('\n'), std::string::npos);
  EXPECT_NE(problem->find(path), std::string::npos) << *problem;
  EXPECT_NE(problem->find(GetParam().reason), std::string::npos) << *problem;
  // The daemon refuses the same folders, and leaves them as they were.
  struct stat before {};
  ::lstat(path.c_str(), &before);
  std::string error;
  EXPECT_FALSE(ClaimDeviceDirectory(path, error).Valid());
  EXPECT_EQ(error, *problem);
  struct stat after {};
  ::lstat(path.c_str(), &after);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
}

void MakeWithMode(const std::string& path, mode_t mode) {
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderCheckTest,
    ::testing::Values(
        FolderCase{"Private", [](const std::string& p) { MakeWithMode(p, 0700); }, ""},
        FolderCase{"ReadableByOthers", [](const std::string& p) { MakeWithMode(p, 0755); }, ""},
        FolderCase{"WorldWritable", [](const std::string& p) { MakeWithMode(p, 0777); },
                   "writable by group or others"},
        FolderCase{"GroupWritable", [](const std::string& p) { MakeWithMode(p, 0770); },
                   "writable by group or others"},
        FolderCase{"StickyWorldWritable", [](const std::string& p) { MakeWithMode(p, 01777); },
                   "writable by group or others"},
        FolderCase{"OwnedByAnotherUser",
                   [](const std::string& p) {
                     if (::geteuid() != 0) {
                       GTEST_SKIP() << "giving a folder away needs root";
                     }
                     MakeWithMode(p, 0700);
                     ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
                   },
                   "owned by uid 65534"},
        FolderCase{"SymbolicLinkToAPrivateFolder",
                   [](const std::string& p) {
                     MakeWithMode(p + "-target", 0700);
                     ASSERT_EQ(::symlink((p + "-target").c_str(), p.c_str()), 0);
                   },
                   "symbolic link"},
        FolderCase{"RegularFile", [](const std::string& p) { std::ofstream(p) << "x"; },
                   "not a directory"}),
    [](const auto& param) { return std::string(param.param.name); });

// Catches: a missing folder made with the umask's mode instead of 0700, or
// not made at all.
TEST_F(DeviceDirectoryTest, ClaimCreatesAPrivateFolder) {
  const std::string path = root_ + "/rd420";
  const mode_t old = ::umask(0);
  std::string error;
  UniqueFd lock = ClaimDeviceDirectory(path, error);
  ::umask(old);
  ASSERT_TRUE(lock.Valid()) << error;
  struct stat info {};
  ASSERT_EQ(::lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
}

// Catches: two daemons on one folder, or a lock that outlives its holder.
TEST_F(DeviceDirectoryTest, OneClaimAtATime) {
  std::string error;
  UniqueFd first = ClaimDeviceDirectory(root_, error);
  ASSERT_TRUE(first.Valid()) << error;
  EXPECT_FALSE(ClaimDeviceDirectory(root_, error).Valid());
  EXPECT_EQ(error, "another rd420d serves " + root_ + " (it holds " + root_ + "/rd420d.lock)");
  first.Reset();
  error.clear();
  EXPECT_TRUE(ClaimDeviceDirectory(root_, error).Valid()) << error;
}

// Catches: a user's file at a node's path taken for a stale node, at
// start-up (CheckNodePath) or when a node is made again (ListenUnixSocket).
TEST_F(DeviceDirectoryTest, OnlyASocketMayStandWhereANodeBelongs) {
  const std::string node = DevicePath(root_, "RD-420-0");
  EXPECT_EQ(CheckNodePath(node), std::nullopt);

  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, node.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(CheckNodePath(node), std::nullopt);

  ASSERT_EQ(::unlink(node.c_str()), 0);
  std::ofstream(node) << "x";
  const std::optional<std::string> problem = CheckNodePath(node);
  ASSERT_TRUE(problem.has_value());
  EXPECT_NE(problem->find(node), std::string::npos) << *problem;
  errno = 0;
  EXPECT_FALSE(ListenUnixSocket(node).Valid());
  EXPECT_EQ(errno, EEXIST);
  struct stat info {};
  ASSERT_EQ(::lstat(node.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
}

}  // namespace
}  // namespace rd420
