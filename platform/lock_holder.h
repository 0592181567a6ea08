#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace rd420 {

// The process holding a flock on the file at `path`, read from the
// kernel's lock table (/proc/locks) by the file's device and inode, so the
// lock is never taken to look: that would make its owner's own LOCK_NB
// attempt fail at that instant. nullopt when no process holds one, the
// file does not exist, or the holder lives in a pid namespace this process
// cannot see (the kernel leaves its lock out of the table). Safe from any
// thread.
std::optional<pid_t> FlockHolder(const std::string& path);

}  // namespace rd420
