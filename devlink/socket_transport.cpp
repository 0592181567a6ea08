#include "devlink/socket_transport.h"

#include <mutex>

#include "devlink/device_directory.h"
#include "devlink/ioctl_codes.h"
#include "devlink/wire_protocol.h"
#include "platform/socket_io.h"
#include "platform/trace.h"

namespace rd420 {

namespace {

// A control transfer that takes longer than this is a camera that stopped
// answering; bulk reads wait for ever, since their caller has its own
// time-out and aborts the pipe.
constexpr int kControlReplyTimeoutMs = 5000;

class SocketHandle : public DeviceHandle {
 public:
  explicit SocketHandle(UniqueFd fd) : fd_(std::move(fd)) {}

  IoctlResult Ioctl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out) override {
    std::lock_guard lock(mutex_);
    if (!fd_.Valid()) {
      return {};
    }
    SetReceiveTimeout(fd_.Get(), code == kIoctlBulkRead ? 0 : kControlReplyTimeoutMs);
    const auto header = wire::EncodeRequestHeader(
        {code, static_cast<uint32_t>(in.size()), static_cast<uint32_t>(out.size())});
    std::array<uint8_t, wire::kReplyHeaderBytes> replyBytes;
    if (!SendAll(fd_.Get(), header) || !SendAll(fd_.Get(), in) ||
        !ReceiveAll(fd_.Get(), replyBytes)) {
      return Broken();
    }
    const std::optional<wire::ReplyHeader> reply = wire::DecodeReplyHeader(replyBytes);
    if (!reply || reply->bytesReturned > out.size() ||
        !ReceiveAll(fd_.Get(), out.first(reply->bytesReturned))) {
      return Broken();
    }
    return {reply->result == 1, reply->bytesReturned};
  }

 private:
  // A connection whose stream is out of step cannot be trusted again.
  IoctlResult Broken() {
    fd_.Reset();
    return {};
  }

  std::mutex mutex_;
  UniqueFd fd_;
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
  return std::make_unique<SocketHandle>(std::move(fd));
}

}  // namespace rd420
