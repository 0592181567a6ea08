#include "platform/lock_holder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rd420 {

namespace {

// Whether process `pid` has `path` open. Where /proc/locks names another
// device than stat does (a btrfs subvolume has a device number of its
// own), the inode alone could be another file's.
bool HasOpen(long pid, const std::filesystem::path& path) {
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    std::error_code unreadable;
    if (std::filesystem::read_symlink(entry.path(), unreadable) == path) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<pid_t> FlockHolder(const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) {
    return std::nullopt;
  }
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::canonical(path, error);
  // Lines read "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF", the
  // device as hexadecimal major:minor and the inode in decimal; a waiter's
  // line has "->" before the kind.
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, where;
    long pid = 0;
    if (!(fields >> number >> kind) || kind != "FLOCK") {
      continue;
    }
    if (!(fields >> mode >> access >> pid >> where)) {
      continue;
    }
    unsigned deviceMajor = 0, deviceMinor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &deviceMajor, &deviceMinor, &inode) != 3 ||
        inode != file.st_ino) {
      continue;
    }
    if ((deviceMajor == major(file.st_dev) && deviceMinor == minor(file.st_dev)) ||
        (!error && HasOpen(pid, canonical))) {
      return static_cast<pid_t>(pid);
    }
  }
  return std::nullopt;
}

}  // namespace rd420
