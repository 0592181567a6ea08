#pragma once

#include <memory>

#include "driver/usb_api.h"
#include "driver/usb_session.h"

namespace rd420 {

// Passes every call on to `inner` and writes each transfer it makes (control,
// bulk, clear-halt) to the session: rd420d --usb --record. Thread-safe as
// `inner` is; a bulk transfer is written by its completion, on the event
// thread.
class RecordingUsbApi : public UsbApi {
 public:
  // Borrows both for its whole life.
  RecordingUsbApi(UsbApi& inner, UsbSessionWriter& writer) : inner_(inner), writer_(writer) {}

  std::vector<std::unique_ptr<UsbCandidate>> List(uint16_t vendorId, uint16_t productId) override;
  bool HasHotplug() override { return inner_.HasHotplug(); }
  bool WatchHotplug(uint16_t vendorId, uint16_t productId, std::function<void()> changed) override {
    return inner_.WatchHotplug(vendorId, productId, std::move(changed));
  }
  void HandleEvents(int timeoutMs) override { inner_.HandleEvents(timeoutMs); }
  void Interrupt() override { inner_.Interrupt(); }

 private:
  UsbApi& inner_;
  UsbSessionWriter& writer_;
};

}  // namespace rd420
