#include "devlink/socket_transport.h"

#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/trace.h"
#include "wire/device_directory.h"
#include "wire/ioctl_codes.h"
#include "wire/socket_io.h"
#include "wire/wire_protocol.h"

namespace rd420 {

namespace {

// A control transfer that takes longer than this is a camera that stopped
// answering; bulk reads wait for ever, since their caller has its own
// time-out and cancels the handle.
constexpr int kControlReplyTimeoutMs = 5000;
// A live daemon answers an abort at once. The abort follows a read that has
// already waited out its time-out, so waiting long for it only delays the
// error the user is waiting for.
constexpr int kAbortReplyTimeoutMs = 250;

int ReplyTimeoutMs(uint32_t code) {
  switch (code) {
    case kIoctlBulkRead:
      return 0;
    case kIoctlAbortPipe:
      return kAbortReplyTimeoutMs;
    default:
      return kControlReplyTimeoutMs;
  }
}

// The descriptor stays open for the handle's whole life, so Cancel can shut
// it down from another thread without racing a close and a reuse of the
// number.
class SocketHandle : public DeviceHandle {
 public:
  SocketHandle(UniqueFd fd, std::string_view name) : fd_(std::move(fd)), name_(name) {}

  IoctlResult Ioctl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out) override {
    std::lock_guard lock(mutex_);
    if (dead_) {
      return {};
    }
    const int fd = fd_.Get();
    SetReceiveTimeout(fd, ReplyTimeoutMs(code));
    const auto header = wire::EncodeRequestHeader(
        {code, static_cast<uint32_t>(in.size()), static_cast<uint32_t>(out.size())});
    std::array<uint8_t, wire::kReplyHeaderBytes> replyBytes;
    errno = 0;  // an end of stream sets none
    const bool sent = SendAll(fd, header) && SendAll(fd, in);
    // A daemon refusing the connection may have answered and closed it
    // before the request went out: its answer waits to be read.
    if ((!sent && errno != EPIPE && errno != ECONNRESET) || !ReceiveAll(fd, replyBytes)) {
      // A daemon that is stopped (SIGSTOP) or hung takes the request and
      // never answers: the send or receive times out.
      const bool noAnswer = errno == EAGAIN || errno == EWOULDBLOCK;
      IoctlResult broken = Broken();
      broken.noAnswer = noAnswer;
      return broken;
    }
    const std::optional<wire::ReplyHeader> reply = wire::DecodeReplyHeader(replyBytes);
    if (reply && reply->result == wire::kResultRefused) {
      Trace("%s: rd420d refused the connection: it has too many connections open", name_.c_str());
      Broken();
      return {.refused = true};
    }
    if (!sent || !reply || reply->bytesReturned > out.size() ||
        !ReceiveAll(fd, out.first(reply->bytesReturned))) {
      return Broken();
    }
    return {reply->result == 1, reply->bytesReturned};
  }

  void Cancel() override {
    dead_ = true;
    // Wakes a send or receive in progress on another thread at once.
    ::shutdown(fd_.Get(), SHUT_RDWR);
  }

 private:
  // A connection whose stream is out of step cannot be trusted again.
  IoctlResult Broken() {
    Cancel();
    return {};
  }

  std::mutex mutex_;  // one request at a time
  const UniqueFd fd_;
  const std::string name_;  // for the trace
  std::atomic<bool> dead_{false};
};

}  // namespace

std::unique_ptr<DeviceHandle> SocketTransport::Open(std::string_view name) {
  // Checked on every open: the folder may change hands while a program runs.
  if (const std::optional<std::string> problem = CheckDeviceDirectory(directory_)) {
    Trace("%s", problem->c_str());
    return nullptr;
  }
  UniqueFd fd = ConnectUnixSocket(DevicePath(directory_, name));
  if (!fd.Valid()) {
    return nullptr;
  }
  return std::make_unique<SocketHandle>(std::move(fd), name);
}

}  // namespace rd420
