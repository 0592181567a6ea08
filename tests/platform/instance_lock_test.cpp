#include "platform/instance_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>

namespace rd420 {
namespace {

// Each test gets its own runtime directory (the lock would otherwise meet a running viewer's).
class InstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::mkdtemp(dir_.data()), nullptr);
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Kills and reaps the child even when an assertion ends the test early.
  struct Child {
    pid_t pid = ::fork();
    ~Child() { Kill(); }
    void Kill() {
      if (pid > 0 && ::kill(pid, SIGKILL) == 0) {
        ::waitpid(std::exchange(pid, -1), nullptr, 0);
      }
    }
  };

  std::string dir_ = (std::filesystem::temp_directory_path() / "rd420-lock-XXXXXX").string();
};

// Catches: a lock file outside the runtime directory, or no fallback when it is unset or empty.
TEST_F(InstanceLockTest, PathFollowsTheRuntimeDirectory) {
  EXPECT_EQ(InstanceLockPath("VMX_VADIZIVID"), dir_ + "/VMX_VADIZIVID.lock");
  const std::string fallback = "/tmp/rd420-" + std::to_string(::getuid()) + "/x.lock";
  ::setenv("XDG_RUNTIME_DIR", "", 1);
  EXPECT_EQ(InstanceLockPath("x"), fallback);
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(InstanceLockPath("x"), fallback);
}

// Catches: a per-process (fcntl style) lock that lets a second object of this process in, a
// moved-from object that lets go, or a lock that outlives its object.
TEST_F(InstanceLockTest, SecondAcquireFailsUntilTheFirstIsGone) {
  std::optional<InstanceLock> first = InstanceLock::Acquire();
  ASSERT_TRUE(first);
  LockRefusal refusal = LockRefusal::kError;
  EXPECT_FALSE(InstanceLock::Acquire(kCameraLockName, &refusal));
  EXPECT_EQ(refusal, LockRefusal::kHeld);
  std::optional<InstanceLock> moved = std::move(first);
  first.reset();
  EXPECT_FALSE(InstanceLock::Acquire());
  moved.reset();
  EXPECT_TRUE(InstanceLock::Acquire());
}

// Catches: a lock that cannot be taken for another reason than its holder
// reported as held, on which the relay would wait for ever.
TEST_F(InstanceLockTest, UnusableLockIsAnErrorNotAHolder) {
  ::setenv("XDG_RUNTIME_DIR", (dir_ + "/missing").c_str(), 1);
  LockRefusal refusal = LockRefusal::kHeld;
  EXPECT_FALSE(InstanceLock::Acquire(kCameraLockName, &refusal));
  EXPECT_EQ(refusal, LockRefusal::kError);
  EXPECT_FALSE(InstanceLockHeld());
}

// Catches: another process's lock going unnoticed, or one that stays after that process is
// killed (as a pid file would); a probe that misreads the lock or keeps it.
TEST_F(InstanceLockTest, KilledHolderReleasesTheLock) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  Child holder;
  ASSERT_GE(holder.pid, 0);
  if (holder.pid == 0) {
    const std::optional<InstanceLock> held = InstanceLock::Acquire();
    (void)!::write(ready[1], held ? "1" : "0", 1);
    for (;;) {
      ::pause();
    }
  }
  char got = 0;
  ASSERT_EQ(::read(ready[0], &got, 1), 1);
  ASSERT_EQ(got, '1');
  EXPECT_FALSE(InstanceLock::Acquire());
  EXPECT_TRUE(InstanceLockHeld());
  holder.Kill();
  // The probe sees the lock free and lets it go again.
  EXPECT_FALSE(InstanceLockHeld());
  EXPECT_TRUE(InstanceLock::Acquire());
  ::close(ready[0]);
  ::close(ready[1]);
}

// Catches: a lock descriptor without O_CLOEXEC, which a program we start would keep holding.
TEST_F(InstanceLockTest, StartedProgramDoesNotInheritTheLock) {
  std::optional<InstanceLock> lock = InstanceLock::Acquire();
  ASSERT_TRUE(lock);
  int execed[2];  // the write end closes on a successful exec
  ASSERT_EQ(::pipe2(execed, O_CLOEXEC), 0);
  Child sleeper;
  ASSERT_GE(sleeper.pid, 0);
  if (sleeper.pid == 0) {
    ::execl("/bin/sleep", "sleep", "5", static_cast<char*>(nullptr));
    (void)!::write(execed[1], "!", 1);
    ::_exit(127);
  }
  ::close(execed[1]);
  char failed;
  ASSERT_EQ(::read(execed[0], &failed, 1), 0) << "exec failed";
  ::close(execed[0]);
  lock.reset();
  EXPECT_TRUE(InstanceLock::Acquire());
  EXPECT_EQ(::waitpid(sleeper.pid, nullptr, WNOHANG), 0) << "sleep ended before the check";
}

}  // namespace
}  // namespace rd420
