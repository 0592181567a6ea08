#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace rd420::test {

// Threads of this process that carry its own name: ours (Qt names the
// threads it starts for itself, such as its D-Bus and pool threads).
inline int OwnThreadCount() {
  const auto nameOf = [](const std::filesystem::path& task) {
    std::ifstream comm(task / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
  };
  const std::string own = nameOf("/proc/self");
  int count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    count += nameOf(task.path()) == own ? 1 : 0;
  }
  return count;
}

}  // namespace rd420::test
