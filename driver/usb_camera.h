#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "driver/camera_backend.h"
#include "driver/usb_api.h"

namespace rd420 {

// A real camera behind one device node, through libusb (the UsbApi seam).
// The vendor request, pipe information and abort run on the server's loop
// thread, each bulk read on its transfer thread, transfer completions on
// the USB event thread, and Attach/Detach on whichever thread watches the
// bus. One mutex guards the state; no USB call waits while holding it.
class UsbCamera : public CameraBackend {
 public:
  // `gone` is told (on any thread) when the device answers that it has
  // left, so the bus is looked at again at once.
  explicit UsbCamera(std::function<void()> gone);
  ~UsbCamera() override;

  // The device came (back): requests go to it, and handles opened from
  // now on live with it.
  void Attach(std::shared_ptr<UsbDevice> device);
  // The device left: its reads fail, and every handle opened before stays
  // dead.
  void Detach();

  uint64_t Generation() const override;
  std::optional<InterfaceInformation> Pipes(const ClientContext& client) override;
  std::optional<uint32_t> Vendor(const ClientContext& client, uint32_t word) override;
  bool AbortPipe(const ClientContext& client, uint32_t pipe) override;
  std::optional<uint32_t> BulkRead(const ClientContext& client, uint32_t pipe,
                                   std::span<uint8_t> out) override;
  void Shutdown() override;

 private:
  // One bulk read in flight, from the transfer thread that waits for it.
  struct Read {
    pid_t process = 0;
    UsbTransfer* transfer = nullptr;  // null until submitted
    bool cancelled = false;
    bool done = false;
    int status = 0;
    uint32_t actualBytes = 0;
  };
  // The device when `client` may use it, else null.
  std::shared_ptr<UsbDevice> DeviceFor(const ClientContext& client) const;
  void CancelLocked(Read& read);
  void ReportGone();

  const std::function<void()> gone_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::shared_ptr<UsbDevice> device_;
  uint64_t generation_ = 1;
  bool shuttingDown_ = false;
  std::list<Read> reads_;
};

}  // namespace rd420
