#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace rd420 {

// Held by whichever program has the camera; the viewer and the capture
// program both take it before they open the device.
inline constexpr std::string_view kCameraLockName = "VMX_VADIZIVID";

// Where the lock file for `name` lives: "<dir>/<name>.lock", with <dir>
// $XDG_RUNTIME_DIR, or /tmp/rd420-<uid> when that is unset or empty.
std::string InstanceLockPath(std::string_view name);

// Why InstanceLock::Acquire gave no lock.
enum class LockRefusal {
  kHeld,   // another process, or another InstanceLock in this one, holds it
  kError,  // the directory or file cannot be made or locked; errno says why
};

// True when another process (or an InstanceLock of this one) holds the
// lock. Probes by taking it and letting go at once, so a program starting
// in that instant may find it held; callers probe only while they wait.
// A lock that cannot be probed at all reads as free (and is traced): the
// caller waits with no time-out, and waiting on it would never end.
bool InstanceLockHeld(std::string_view name = kCameraLockName);

// An exclusive flock on the lock file, held while the object lives. The
// kernel drops it when the process ends however it ends, so a crashed
// program never leaves the camera locked. Created and dropped by the
// program's main thread; no other thread touches it.
class InstanceLock {
 public:
  // nullopt when the lock is held elsewhere or cannot be taken; `refusal`,
  // when given, then says which.
  static std::optional<InstanceLock> Acquire(std::string_view name = kCameraLockName,
                                             LockRefusal* refusal = nullptr);

  InstanceLock(InstanceLock&&) noexcept = default;
  InstanceLock& operator=(InstanceLock&&) noexcept = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  explicit InstanceLock(UniqueFd fd) : fd_(std::move(fd)) {}

  UniqueFd fd_;
};

}  // namespace rd420
