#include "wire/socket_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace rd420 {

bool SendAll(int fd, std::span<const uint8_t> bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool ReceiveAll(int fd, std::span<uint8_t> bytes) {
  size_t received = 0;
  while (received < bytes.size()) {
    const ssize_t n = ::recv(fd, bytes.data() + received, bytes.size() - received, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    received += static_cast<size_t>(n);
  }
  return true;
}

size_t SocketPathLimit() {
  return sizeof(sockaddr_un::sun_path) - 1;
}

namespace {

constexpr int kSendTimeoutMs = 5000;

bool FillAddress(std::string_view path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() > SocketPathLimit()) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

}  // namespace

UniqueFd ConnectUnixSocket(std::string_view path) {
  sockaddr_un address;
  if (!FillAddress(path, address)) {
    return {};
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) {
    return {};
  }
  // A server that has stopped accepting fills its backlog, and then a
  // connect, like a send into a full buffer, would wait for ever; both give
  // up after the send time-out instead.
  timeval sendTimeout{kSendTimeoutMs / 1000, 0};
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
  int rc;
  do {
    rc = ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? std::move(fd) : UniqueFd();
}

UniqueFd ListenUnixSocket(std::string_view path) {
  sockaddr_un address;
  if (!FillAddress(path, address)) {
    return {};
  }
  // A node that still answers belongs to a live server: never take it over.
  if (ConnectUnixSocket(path).Valid()) {
    errno = EADDRINUSE;
    return {};
  }
  // Non-blocking, so a poll that saw a connection which went away again
  // never leaves the accept loop stuck in accept.
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.Valid()) {
    return {};
  }
  // What is left is a stale node of a server that has gone. Anything but a
  // socket is someone's file, never ours to delete.
  const std::string node(path);
  struct stat info {};
  if (::lstat(node.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode)) {
      errno = EEXIST;
      return {};
    }
    ::unlink(node.c_str());
  }
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  // Owner only, whatever the umask. The folder is private already; this
  // keeps a node private when the folder's mode is widened later.
  if (::chmod(node.c_str(), 0600) != 0 || ::listen(fd.Get(), 64) != 0) {
    const int failure = errno;
    ::unlink(node.c_str());
    errno = failure;
    return {};
  }
  return fd;
}

void SetReceiveTimeout(int fd, int timeoutMs) {
  timeval tv{};
  tv.tv_sec = timeoutMs / 1000;
  tv.tv_usec = (timeoutMs % 1000) * 1000;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

bool PeerHasGone(int fd) {
  pollfd p{fd, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace rd420
