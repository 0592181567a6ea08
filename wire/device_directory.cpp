#include "wire/device_directory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rd420 {

namespace {

std::string Named(std::string_view directory, std::string_view reason) {
  std::string line = "device directory ";
  line += directory;
  line += ' ';
  line += reason;
  return line;
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

std::string DefaultDeviceDirectory() {
  if (const char* dir = std::getenv("RD420_DEVICE_DIR"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime != '\0') {
    return std::string(runtime) + "/rd420";
  }
  return "/tmp/rd420-" + std::to_string(getuid());
}

std::string DevicePath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  path += '/';
  path += name;
  return path;
}

std::string DeviceName(int instance) {
  return "RD-420-" + std::to_string(instance);
}

std::optional<std::string> CheckDeviceDirectory(std::string_view directory) {
  const std::string path(directory);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    return Named(directory, errno == ENOENT
                                ? "does not exist (is rd420d running?)"
                                : std::string("cannot be read: ") + std::strerror(errno));
  }
  if (S_ISLNK(info.st_mode)) {
    return Named(directory, "is a symbolic link; refusing it");
  }
  if (!S_ISDIR(info.st_mode)) {
    return Named(directory, "is not a directory");
  }
  if (info.st_uid != ::geteuid()) {
    return Named(directory, "is owned by uid " + std::to_string(info.st_uid) + ", not by uid " +
                                std::to_string(::geteuid()) + "; refusing it");
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return Named(directory, "is writable by group or others (mode " + ModeText(info.st_mode) +
                                "); refusing it");
  }
  return std::nullopt;
}

UniqueFd ClaimDeviceDirectory(std::string_view directory, std::string& error) {
  const std::string path(directory);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    error = Named(directory, std::string("cannot be created: ") + std::strerror(errno));
    return {};
  }
  if (std::optional<std::string> problem = CheckDeviceDirectory(directory)) {
    error = *problem;
    return {};
  }
  // O_NOFOLLOW: the folder is ours, but a link planted before it was would
  // still point elsewhere. The file stays when the daemon ends: unlinking it
  // would let two daemons lock two different files of the same name.
  const std::string lockPath = DevicePath(directory, kLockFileName);
  UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!lock.Valid()) {
    error = "cannot open " + lockPath + ": " + std::strerror(errno);
    return {};
  }
  int rc;
  do {
    rc = ::flock(lock.Get(), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    error = errno == EWOULDBLOCK ? "another rd420d serves " + path + " (it holds " + lockPath + ")"
                                 : "cannot lock " + lockPath + ": " + std::strerror(errno);
    return {};
  }
  return lock;
}

std::optional<std::string> CheckNodePath(std::string_view path) {
  const std::string node(path);
  struct stat info {};
  if (::lstat(node.c_str(), &info) != 0) {
    if (errno == ENOENT) {
      return std::nullopt;
    }
    return node + " cannot be read: " + std::strerror(errno);
  }
  if (S_ISDIR(info.st_mode)) {
    return node + " cannot be a device node: a directory stands there; move it away";
  }
  if (!S_ISSOCK(info.st_mode)) {
    return node + " is not a device node left by rd420d; move it away, it is not deleted";
  }
  return std::nullopt;
}

}  // namespace rd420
