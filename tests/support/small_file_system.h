#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace rd420::test {

// A folder that fills up after about `bytes`: a tmpfs of that size when the
// test may mount one (root), else a plain folder where a file-size limit
// (RLIMIT_FSIZE, set by InChild in the child that runs the program under
// test) stops each file at `bytes` instead. Either way writes end with
// ENOSPC or EFBIG, as on a full disk. Unmounted and removed at the end.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(size_t bytes);
  ~SmallFileSystem();
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  const std::string& Folder() const { return folder_; }
  // Runs in the child before the program starts (RunProgram's inChild).
  std::function<void()> InChild() const;

 private:
  std::string folder_;
  size_t bytes_;
  bool mounted_ = false;
};

}  // namespace rd420::test
