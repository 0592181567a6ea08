#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/unique_fd.h"

namespace rd420 {

// Writes all bytes; false on any error or a peer that has gone. Never
// raises SIGPIPE.
bool SendAll(int fd, std::span<const uint8_t> bytes);

// Reads exactly bytes.size() bytes; false on error, time-out or end of
// stream before the last byte.
bool ReceiveAll(int fd, std::span<uint8_t> bytes);

// The longest path a UNIX socket can be bound or connected to (sun_path
// less its terminating zero); a longer one fails with ENAMETOOLONG.
size_t SocketPathLimit();

// Connects a UNIX stream socket to `path`; invalid on failure.
UniqueFd ConnectUnixSocket(std::string_view path);

// Creates, binds and listens on a non-blocking UNIX stream socket at
// `path`, mode 0600, replacing a stale node left by an earlier run; invalid
// on failure, with errno EADDRINUSE when a live server answers there and
// EEXIST when something other than a socket stands at `path` (left alone).
UniqueFd ListenUnixSocket(std::string_view path);

// Limits how long a receive may block (0 = for ever).
void SetReceiveTimeout(int fd, int timeoutMs);

// True when the peer of a connected socket has closed or reset it.
bool PeerHasGone(int fd);

}  // namespace rd420
