#include "support/small_file_system.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include "support/simulator_process.h"

namespace rd420::test {

SmallFileSystem::SmallFileSystem(size_t bytes) : folder_(MakeTempDirectory()), bytes_(bytes) {
  const std::string size = "size=" + std::to_string(bytes);
  mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
  if (mounted_) {
    umount2(folder_.c_str(), MNT_DETACH);
  }
  RemoveDirectory(folder_);
}

std::function<void()> SmallFileSystem::InChild() const {
  if (mounted_) {
    return {};
  }
  return [bytes = bytes_] {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
  };
}

}  // namespace rd420::test
