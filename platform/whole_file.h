#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>

namespace rd420 {

// Writes `parts`, one after the other, as the whole content of `path`. A
// regular file (or none) is replaced only once the new one is written
// whole: the bytes go to a new file beside it, synced, then renamed over
// it, keeping the old file's permissions. A failure (a full disk, a
// folder that cannot be written, a file-size limit) leaves no partial file
// and whatever stood at `path` unchanged. A symbolic link is followed, so
// the file it names is the one replaced. Anything else at `path` (a device
// node, a pipe) is written in place and never removed. False on any
// failure, with errno set and, when given, "what: reason" in `error`. Any
// thread.
bool WriteWholeFile(const std::string& path, std::initializer_list<std::span<const uint8_t>> parts,
                    std::string* error = nullptr);

// Writes `parts` as a new file that replaces none: under the first of
// nameFor(0), nameFor(1), ... nameFor(maxNames - 1) that no file has, the
// name taken in one step (a rename that never replaces), so a file another
// writer makes meanwhile is kept as well. Written whole beside the first
// name before it takes one; on any failure nothing is left. False with
// errno (EEXIST when every name is taken) and "what: reason" in `error`.
// Any thread.
bool WriteNewFile(const std::function<std::string(int)>& nameFor, int maxNames,
                  std::initializer_list<std::span<const uint8_t>> parts,
                  std::string* error = nullptr);

}  // namespace rd420
