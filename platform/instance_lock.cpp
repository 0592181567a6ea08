#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/trace.h"

namespace rd420 {

namespace {

const char* RuntimeDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && *runtime != '\0' ? runtime : nullptr;
}

std::string LockDirectory() {
  const char* runtime = RuntimeDirectory();
  return runtime != nullptr ? runtime : "/tmp/rd420-" + std::to_string(::getuid());
}

// The fallback lives in world-writable /tmp: make it ours and private, and
// refuse one that another user (or a symlink) got there first with.
bool EnsurePrivateDirectory(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0700) == 0) {
    return true;
  }
  if (errno != EEXIST) {
    return false;
  }
  struct stat info;
  if (::lstat(dir.c_str(), &info) != 0) {
    return false;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 0077) != 0) {
    errno = EACCES;
    return false;
  }
  return true;
}

}  // namespace

std::string InstanceLockPath(std::string_view name) {
  std::string path = LockDirectory();
  path += '/';
  path += name;
  path += ".lock";
  return path;
}

std::optional<InstanceLock> InstanceLock::Acquire(std::string_view name, LockRefusal* refusal) {
  const auto refuse = [refusal](LockRefusal why) {
    if (refusal != nullptr) {
      *refusal = why;
    }
    return std::nullopt;
  };
  if (RuntimeDirectory() == nullptr && !EnsurePrivateDirectory(LockDirectory())) {
    return refuse(LockRefusal::kError);
  }
  // O_CLOEXEC: a program started from ours must not keep the camera locked
  // after we exit. The file itself stays: unlinking it would let two
  // processes lock two different files of the same name.
  const std::string path = InstanceLockPath(name);
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.Valid()) {
    return refuse(LockRefusal::kError);
  }
  int rc;
  do {
    rc = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    return refuse(errno == EWOULDBLOCK ? LockRefusal::kHeld : LockRefusal::kError);
  }
  return InstanceLock(std::move(fd));
}

bool InstanceLockHeld(std::string_view name) {
  LockRefusal refusal = LockRefusal::kError;
  if (InstanceLock::Acquire(name, &refusal)) {
    return false;
  }
  if (refusal == LockRefusal::kError) {
    // Read as free: the relay waiting on it would wait for ever.
    Trace("camera lock %s cannot be probed: %s", InstanceLockPath(name).c_str(),
          std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace rd420
