#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace rd420 {

// The folder that holds the device nodes: $RD420_DEVICE_DIR, else
// $XDG_RUNTIME_DIR/rd420, else /tmp/rd420-<uid>.
std::string DefaultDeviceDirectory();

// "<dir>/RD-420-<n>" style path of a node or of the daemon's control socket.
std::string DevicePath(std::string_view directory, std::string_view name);

inline constexpr std::string_view kControlSocketName = "rd420d.control";
// Beside the nodes; the daemon that holds its flock owns the folder.
inline constexpr std::string_view kLockFileName = "rd420d.lock";

// "RD-420-<n>".
std::string DeviceName(int instance);

// Whoever can write to the folder can put a fake camera in it, which then
// reads every command and answers every status poll. So a folder is trusted
// only when lstat shows a directory (not a symbolic link) owned by this
// user that neither group nor others may write to. Returns nullopt for a
// trusted folder, else one line naming the folder and the reason. Every
// client checks before it connects; safe from any thread.
std::optional<std::string> CheckDeviceDirectory(std::string_view directory);

// For the daemon: creates the folder 0700 when it is missing, checks it as
// above and takes an exclusive flock on <dir>/rd420d.lock, held while the
// returned descriptor is open, so a second daemon is refused before it
// touches a node. Invalid, with one line in `error`, on any failure.
UniqueFd ClaimDeviceDirectory(std::string_view directory, std::string& error);

// For the daemon: one line when something other than a socket stands where
// a node belongs (a user's file is never deleted to make room); nullopt
// when the path is free or holds a socket.
std::optional<std::string> CheckNodePath(std::string_view path);

}  // namespace rd420
