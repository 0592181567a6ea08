#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/unique_fd.h"

namespace rd420 {
namespace {

// Writes all of `bytes`; false with errno set when the file system refuses
// any of them (EFBIG past a size limit, ENOSPC on a full disk).
bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

// A new file beside `path` that nobody else has: the rename that ends the
// write stays within one file system. Its name is short whatever the final
// name's length, so a name near the file system's limit still works.
// Created 0666 less the umask, as the final file would be (mkostemp would
// make it 0600).
UniqueFd CreateTemporaryBeside(const std::string& path, std::string& temporary) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    temporary = folder + ".rd420-" + suffix;
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.Valid() || errno != EEXIST) {
      return fd;
    }
  }
  return UniqueFd();
}

bool Fail(std::string* error, const char* what, int code) {
  if (error != nullptr) {
    *error = std::string(what) + ": " + std::strerror(code);
  }
  errno = code;
  return false;
}

bool WriteParts(int fd, std::initializer_list<std::span<const uint8_t>> parts) {
  for (const std::span<const uint8_t> part : parts) {
    if (!WriteAll(fd, part)) {
      return false;
    }
  }
  return true;
}

// Writes `parts` to a new file beside `path`, named in `temporary`, with
// `keep`'s permissions when given, synced so that after a crash a name
// holds an old file or the whole new one. Nothing is left on a failure.
bool WriteTemporaryBeside(const std::string& path,
                          std::initializer_list<std::span<const uint8_t>> parts,
                          const struct stat* keep, std::string& temporary, std::string* error) {
  UniqueFd fd = CreateTemporaryBeside(path, temporary);
  if (!fd.Valid()) {
    return Fail(error, "create", errno);
  }
  if ((keep != nullptr && ::fchmod(fd.Get(), keep->st_mode & 0777) != 0) ||
      !WriteParts(fd.Get(), parts) || ::fsync(fd.Get()) != 0 || ::close(fd.Release()) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    return Fail(error, "write", code);
  }
  return true;
}

// Renames `from` to `to` unless `to` exists (EEXIST), in one step. Where
// the file system cannot rename so, a hard link does the same. 0 or errno.
int RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL) {
    return errno;
  }
  if (::link(from.c_str(), to.c_str()) != 0) {
    return errno;
  }
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

bool WriteWholeFile(const std::string& path, std::initializer_list<std::span<const uint8_t>> parts,
                    std::string* error) {
  if (path.empty()) {
    return Fail(error, "create", ENOENT);
  }
  struct stat standing {};
  const bool exists = ::stat(path.c_str(), &standing) == 0;
  if (exists && !S_ISREG(standing.st_mode)) {
    // Not ours to replace: /dev/full stays /dev/full, whatever the write.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.Valid()) {
      return Fail(error, "open", errno);
    }
    if (!WriteParts(fd.Get(), parts)) {
      return Fail(error, "write", errno);
    }
    if (::close(fd.Release()) != 0) {
      return Fail(error, "write", errno);
    }
    return true;
  }
  std::string target = path;
  if (char resolved[PATH_MAX]; exists && ::realpath(path.c_str(), resolved) != nullptr) {
    target = resolved;
  }
  std::string temporary;
  if (!WriteTemporaryBeside(target, parts, exists ? &standing : nullptr, temporary, error)) {
    return false;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    return Fail(error, "rename", code);
  }
  return true;
}

bool WriteNewFile(const std::function<std::string(int)>& nameFor, int maxNames,
                  std::initializer_list<std::span<const uint8_t>> parts, std::string* error) {
  const std::string first = nameFor(0);
  if (first.empty()) {
    return Fail(error, "create", ENOENT);
  }
  std::string temporary;
  if (!WriteTemporaryBeside(first, parts, nullptr, temporary, error)) {
    return false;
  }
  int code = EEXIST;
  for (int copy = 0; copy < maxNames && code == EEXIST; ++copy) {
    code = RenameWithoutReplacing(temporary, copy == 0 ? first : nameFor(copy));
  }
  if (code != 0) {
    ::unlink(temporary.c_str());
    return Fail(error, "rename", code);
  }
  return true;
}

}  // namespace rd420
