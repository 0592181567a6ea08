#include "driver/recording_usb_api.h"

#include <libusb.h>

namespace rd420 {

namespace {

class RecordingDevice : public UsbDevice {
 public:
  RecordingDevice(std::unique_ptr<UsbDevice> inner, UsbSessionWriter& writer, int number)
      : inner_(std::move(inner)), writer_(writer), number_(number) {}

  const UsbInterface& Interface() const override { return inner_->Interface(); }

  int ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                std::span<uint8_t> data, unsigned timeoutMs) override {
    UsbRecordedTransfer t;
    t.kind = UsbRequestKind::kControl;
    t.number = writer_.NextRequest();
    t.at = writer_.Now();
    t.requestType = requestType;
    t.request = request;
    t.value = value;
    t.index = index;
    t.length = static_cast<uint32_t>(data.size());
    t.result = inner_->ControlIn(requestType, request, value, index, data, timeoutMs);
    t.took = writer_.Now() - t.at;
    writer_.Write(number_, t, data.first(t.result > 0 ? static_cast<size_t>(t.result) : 0));
    return t.result;
  }

  std::unique_ptr<UsbTransfer> SubmitBulkIn(uint8_t endpoint, std::span<uint8_t> buffer,
                                            UsbTransferDone done, int& error) override {
    UsbRecordedTransfer t;
    t.kind = UsbRequestKind::kBulk;
    t.number = writer_.NextRequest();
    t.at = writer_.Now();
    t.endpoint = endpoint;
    t.length = static_cast<uint32_t>(buffer.size());
    std::unique_ptr<UsbTransfer> transfer = inner_->SubmitBulkIn(
        endpoint, buffer,
        [this, t, buffer, done = std::move(done)](int status, uint32_t actualBytes) mutable {
          t.took = writer_.Now() - t.at;
          t.result = status;
          t.actual = actualBytes;
          writer_.Write(number_, t, buffer.first(std::min<size_t>(actualBytes, buffer.size())));
          done(status, actualBytes);
        },
        error);
    if (!transfer) {
      // Never submitted: written as a transfer that ended at once in error.
      t.result = LIBUSB_TRANSFER_ERROR;
      writer_.Write(number_, t, {});
    }
    return transfer;
  }

  int ClearHalt(uint8_t endpoint) override {
    UsbRecordedTransfer t;
    t.kind = UsbRequestKind::kClearHalt;
    t.number = writer_.NextRequest();
    t.at = writer_.Now();
    t.endpoint = endpoint;
    t.result = inner_->ClearHalt(endpoint);
    t.took = writer_.Now() - t.at;
    writer_.Write(number_, t, {});
    return t.result;
  }

 private:
  const std::unique_ptr<UsbDevice> inner_;
  UsbSessionWriter& writer_;
  const int number_;
};

class RecordingCandidate : public UsbCandidate {
 public:
  RecordingCandidate(std::unique_ptr<UsbCandidate> inner, UsbSessionWriter& writer,
                     uint16_t vendorId, uint16_t productId)
      : inner_(std::move(inner)), writer_(writer), vendorId_(vendorId), productId_(productId) {}

  const UsbLocation& Location() const override { return inner_->Location(); }
  uint8_t Address() const override { return inner_->Address(); }
  std::unique_ptr<UsbDevice> Open(int& error) override {
    std::unique_ptr<UsbDevice> device = inner_->Open(error);
    if (!device) {
      return nullptr;
    }
    const int number =
        writer_.Device(vendorId_, productId_, Location(), Address(), device->Interface());
    return std::make_unique<RecordingDevice>(std::move(device), writer_, number);
  }

 private:
  const std::unique_ptr<UsbCandidate> inner_;
  UsbSessionWriter& writer_;
  const uint16_t vendorId_, productId_;
};

}  // namespace

std::vector<std::unique_ptr<UsbCandidate>> RecordingUsbApi::List(uint16_t vendorId,
                                                                 uint16_t productId) {
  std::vector<std::unique_ptr<UsbCandidate>> candidates = inner_.List(vendorId, productId);
  for (auto& candidate : candidates) {
    candidate =
        std::make_unique<RecordingCandidate>(std::move(candidate), writer_, vendorId, productId);
  }
  return candidates;
}

}  // namespace rd420
