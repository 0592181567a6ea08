#include "platform/lock_holder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace rd420 {

std::optional<pid_t> FlockHolder(const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) {
    return std::nullopt;
  }
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
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &deviceMajor, &deviceMinor, &inode) == 3 &&
        deviceMajor == major(file.st_dev) && deviceMinor == minor(file.st_dev) &&
        inode == file.st_ino) {
      return static_cast<pid_t>(pid);
    }
  }
  return std::nullopt;
}

}  // namespace rd420
