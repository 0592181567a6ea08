#include "driver/usb_camera.h"

#include <libusb.h>

namespace rd420 {

namespace {

// The vendor request's setup: device to host, vendor, device.
constexpr uint8_t kVendorRequestType = uint8_t{LIBUSB_ENDPOINT_IN} |
                                       uint8_t{LIBUSB_REQUEST_TYPE_VENDOR} |
                                       uint8_t{LIBUSB_RECIPIENT_DEVICE};
// A control transfer runs on the server's loop thread: a camera that does
// not answer holds the other clients up for at most this long.
constexpr unsigned kControlTimeoutMs = 1000;
// How often a waiting read looks whether its client has hung up.
constexpr auto kPeerCheckInterval = std::chrono::milliseconds(100);
// How long an abort waits for its cancelled reads before clearing the
// halt, well inside the client's 250 ms for the abort.
constexpr auto kCancelWait = std::chrono::milliseconds(100);
// Opaque handles in the pipe list, as the simulator gives them.
constexpr uint32_t kInterfaceHandle = 0x1000;
constexpr uint32_t kPipeHandleBase = 0x2000;

bool IsBulkIn(const UsbEndpoint& endpoint) {
  return (endpoint.address & LIBUSB_ENDPOINT_IN) != 0 &&
         (endpoint.attributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
}

// The frame pipe's endpoint: pipe 1 of the interface, a bulk IN endpoint.
std::optional<uint8_t> FrameEndpoint(const UsbDevice& device, uint32_t pipe) {
  const std::vector<UsbEndpoint>& endpoints = device.Interface().endpoints;
  if (pipe != kFramePipeIndex || endpoints.size() <= kFramePipeIndex ||
      !IsBulkIn(endpoints[kFramePipeIndex])) {
    return std::nullopt;
  }
  return endpoints[kFramePipeIndex].address;
}

}  // namespace

UsbCamera::UsbCamera(std::function<void()> gone) : gone_(std::move(gone)) {
}

UsbCamera::~UsbCamera() = default;

void UsbCamera::Attach(std::shared_ptr<UsbDevice> device) {
  std::lock_guard lock(mutex_);
  device_ = std::move(device);
  ++generation_;
}

void UsbCamera::Detach() {
  std::lock_guard lock(mutex_);
  // The reads still hold the device, so their cancels reach it; it closes
  // when the last of them is done. Handles opened until now stay dead: the
  // next Attach starts a new generation.
  device_.reset();
  for (Read& read : reads_) {
    CancelLocked(read);
  }
  changed_.notify_all();
}

void UsbCamera::Shutdown() {
  std::lock_guard lock(mutex_);
  shuttingDown_ = true;
  for (Read& read : reads_) {
    CancelLocked(read);
  }
  changed_.notify_all();
}

uint64_t UsbCamera::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

std::shared_ptr<UsbDevice> UsbCamera::DeviceFor(const ClientContext& client) const {
  std::lock_guard lock(mutex_);
  return shuttingDown_ || client.generation != generation_ ? nullptr : device_;
}

void UsbCamera::CancelLocked(Read& read) {
  if (read.cancelled) {
    return;
  }
  read.cancelled = true;
  // Not yet submitted: the read cancels it itself once it is.
  if (read.transfer != nullptr && !read.done) {
    read.transfer->Cancel();
  }
}

void UsbCamera::ReportGone() {
  if (gone_) {
    gone_();
  }
}

std::optional<InterfaceInformation> UsbCamera::Pipes(const ClientContext& client) {
  const std::shared_ptr<UsbDevice> device = DeviceFor(client);
  if (!device) {
    return std::nullopt;
  }
  const UsbInterface& interface = device->Interface();
  InterfaceInformation info;
  info.interfaceNumber = interface.number;
  info.alternateSetting = interface.alternateSetting;
  info.interfaceClass = interface.interfaceClass;
  info.interfaceSubClass = interface.interfaceSubClass;
  info.interfaceProtocol = interface.interfaceProtocol;
  info.interfaceHandle = kInterfaceHandle + interface.number;
  for (size_t i = 0; i < interface.endpoints.size(); ++i) {
    const UsbEndpoint& e = interface.endpoints[i];
    // USB numbers the transfer types as the pipe record does.
    info.pipes.push_back({e.maxPacketSize, e.address, e.interval,
                          static_cast<uint32_t>(e.attributes & LIBUSB_TRANSFER_TYPE_MASK),
                          kPipeHandleBase + static_cast<uint32_t>(i), kLargestFrameBytes, 0});
  }
  return info;
}

std::optional<uint32_t> UsbCamera::Vendor(const ClientContext& client, uint32_t word) {
  const std::shared_ptr<UsbDevice> device = DeviceFor(client);
  if (!device) {
    return std::nullopt;
  }
  uint8_t reply[kVendorReplyBytes];
  const int received =
      device->ControlIn(kVendorRequestType, kVendorRequestCode, static_cast<uint16_t>(word >> 16),
                        static_cast<uint16_t>(word & 0xFFFF), reply, kControlTimeoutMs);
  if (received == LIBUSB_ERROR_NO_DEVICE) {
    ReportGone();
  }
  // A short reply would make a word of bytes the camera never sent.
  if (received != static_cast<int>(kVendorReplyBytes)) {
    return std::nullopt;
  }
  return ReplyWordFromBytes(reply);
}

std::optional<uint32_t> UsbCamera::BulkRead(const ClientContext& client, uint32_t pipe,
                                            std::span<uint8_t> out) {
  std::unique_lock lock(mutex_);
  // Taken with the read's registration, so an unplug either comes before
  // (no device) or finds the read to cancel.
  const std::shared_ptr<UsbDevice> device =
      shuttingDown_ || client.generation != generation_ ? nullptr : device_;
  const std::optional<uint8_t> endpoint = device ? FrameEndpoint(*device, pipe) : std::nullopt;
  if (!endpoint || out.empty()) {
    return std::nullopt;
  }
  const auto read = reads_.insert(reads_.end(), Read{client.process});
  lock.unlock();

  int error = LIBUSB_SUCCESS;
  std::unique_ptr<UsbTransfer> transfer = device->SubmitBulkIn(
      *endpoint, out,
      [this, done = &*read](int status, uint32_t actualBytes) {
        std::lock_guard completion(mutex_);
        done->done = true;
        done->status = status;
        done->actualBytes = actualBytes;
        changed_.notify_all();
      },
      error);

  lock.lock();
  if (transfer) {
    read->transfer = transfer.get();
    if (read->cancelled) {
      read->transfer->Cancel();  // an abort or unplug came before the submit
    }
    // A client that hung up, an unplug or a stopping daemon ends the read;
    // it still waits for the cancel, because the transfer writes into `out`.
    while (!read->done) {
      const bool unwanted = (client.peerGone && client.peerGone()) || device_ != device ||
                            client.generation != generation_ || shuttingDown_;
      if (unwanted) {
        CancelLocked(*read);
      }
      changed_.wait_for(lock, kPeerCheckInterval);
    }
  }
  const Read finished = *read;
  reads_.erase(read);
  lock.unlock();
  const bool delivered =
      transfer && finished.status == LIBUSB_TRANSFER_COMPLETED && !finished.cancelled;
  const bool noDevice =
      transfer ? finished.status == LIBUSB_TRANSFER_NO_DEVICE : error == LIBUSB_ERROR_NO_DEVICE;
  transfer.reset();

  if (noDevice) {
    ReportGone();
  } else if (finished.done && finished.status == LIBUSB_TRANSFER_STALL) {
    // The next read would stall too.
    device->ClearHalt(*endpoint);
  }
  // A short transfer returns what arrived.
  return delivered ? std::optional(finished.actualBytes) : std::nullopt;
}

bool UsbCamera::AbortPipe(const ClientContext& client, uint32_t pipe) {
  const std::shared_ptr<UsbDevice> device = DeviceFor(client);
  const std::optional<uint8_t> endpoint = device ? FrameEndpoint(*device, pipe) : std::nullopt;
  if (!endpoint) {
    return false;
  }
  std::unique_lock lock(mutex_);
  // Only the asking process's reads end: another program's stream goes on.
  bool othersReading = false;
  for (Read& read : reads_) {
    if (read.process == client.process) {
      CancelLocked(read);
    } else {
      othersReading = true;
    }
  }
  changed_.wait_for(lock, kCancelWait, [&] {
    return std::none_of(reads_.begin(), reads_.end(), [&](const Read& read) {
      return read.process == client.process && read.transfer != nullptr && !read.done;
    });
  });
  lock.unlock();
  // Clearing the halt resets the pipe's data toggle, which would break a
  // transfer of another program in flight on it.
  if (!othersReading && device->ClearHalt(*endpoint) == LIBUSB_ERROR_NO_DEVICE) {
    ReportGone();
  }
  return true;
}

}  // namespace rd420
