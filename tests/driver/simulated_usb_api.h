#pragma once

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <list>
#include <thread>

#include "driver/simulated_camera.h"
#include "queued_usb_events.h"

namespace rd420::fake {

// A bus with one simulated camera on it, behind the UsbApi seam: the
// vendor requests and bulk reads go to the simulator's model, so the USB
// back-end serves a camera that acts on commands and delivers frames at
// the camera's pace. Each bulk transfer waits on a thread of its own; its
// completion runs on the thread in HandleEvents, as libusb runs it.
class SimulatedUsbApi : public QueuedUsbEvents {
 public:
  static constexpr uint16_t kVendorId = 0x1d6b;
  static constexpr uint16_t kProductId = 0x0420;

  SimulatedUsbApi() : camera_(sim::CameraOptions{}) {}
  ~SimulatedUsbApi() override {
    camera_.Shutdown();
    for (Reader& r : readers_) {
      r.thread.join();
    }
  }

  std::vector<std::unique_ptr<UsbCandidate>> List(uint16_t vendorId, uint16_t productId) override {
    std::vector<std::unique_ptr<UsbCandidate>> found;
    if (vendorId == kVendorId && productId == kProductId) {
      found.push_back(std::make_unique<Candidate>(*this));
    }
    return found;
  }
  bool HasHotplug() override { return false; }
  bool WatchHotplug(uint16_t, uint16_t, std::function<void()>) override { return false; }

 private:
  // One context for every request: one process, whose transfers a cancel
  // ends through peerGone.
  ClientContext Context(std::shared_ptr<std::atomic<bool>> cancelled = nullptr) {
    return {camera_.Generation(), [cancelled] { return cancelled && *cancelled; }, 1};
  }

  // The model looks at peerGone only now and then; an abort from a process
  // that reads nothing wakes every waiting read to look at once.
  void WakeReads() { camera_.AbortPipe({camera_.Generation(), {}, kNobody}, kFramePipeIndex); }
  static constexpr pid_t kNobody = 0x7FFF;

  class Transfer : public UsbTransfer {
   public:
    Transfer(SimulatedUsbApi& api, std::shared_ptr<std::atomic<bool>> cancelled)
        : api_(api), cancelled_(std::move(cancelled)) {}
    void Cancel() override {
      *cancelled_ = true;
      api_.WakeReads();
    }

   private:
    SimulatedUsbApi& api_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
  };

  class Device : public UsbDevice {
   public:
    explicit Device(SimulatedUsbApi& api) : api_(api) {}
    const UsbInterface& Interface() const override { return interface_; }
    int ControlIn(uint8_t, uint8_t, uint16_t value, uint16_t index, std::span<uint8_t> data,
                  unsigned) override {
      const std::optional<uint32_t> reply =
          api_.camera_.Vendor(api_.Context(), uint32_t{value} << 16 | index);
      if (!reply || data.size() < kVendorReplyBytes) {
        return LIBUSB_ERROR_PIPE;
      }
      std::ranges::copy(ReplyBytesFromWord(*reply), data.begin());
      return static_cast<int>(kVendorReplyBytes);
    }
    std::unique_ptr<UsbTransfer> SubmitBulkIn(uint8_t, std::span<uint8_t> buffer,
                                              UsbTransferDone done, int& error) override {
      auto cancelled = std::make_shared<std::atomic<bool>>(false);
      auto finished = std::make_shared<std::atomic<bool>>(false);
      std::lock_guard lock(api_.mutex_);
      api_.readers_.remove_if([](Reader& r) {
        if (*r.finished) {
          r.thread.join();
        }
        return bool{*r.finished};
      });
      api_.readers_.push_back(
          {std::thread([this, buffer, done, cancelled, finished] {
             const std::optional<uint32_t> bytes =
                 api_.camera_.BulkRead(api_.Context(cancelled), kFramePipeIndex, buffer);
             const int status = bytes        ? LIBUSB_TRANSFER_COMPLETED
                                : *cancelled ? LIBUSB_TRANSFER_CANCELLED
                                             : LIBUSB_TRANSFER_ERROR;
             std::lock_guard events(api_.mutex_);
             api_.PostLocked([done, status, n = bytes.value_or(0)] { done(status, n); });
             *finished = true;
           }),
           finished});
      error = LIBUSB_SUCCESS;
      return std::make_unique<Transfer>(api_, cancelled);
    }
    int ClearHalt(uint8_t) override { return LIBUSB_SUCCESS; }

   private:
    SimulatedUsbApi& api_;
    const UsbInterface interface_{0, 0, 0xFF, 0, 0, {{0x01, 2, 512, 0}, {0x82, 2, 512, 0}}};
  };

  class Candidate : public UsbCandidate {
   public:
    explicit Candidate(SimulatedUsbApi& api) : api_(api) {}
    const UsbLocation& Location() const override { return location_; }
    uint8_t Address() const override { return 4; }
    std::unique_ptr<UsbDevice> Open(int& error) override {
      error = LIBUSB_SUCCESS;
      return std::make_unique<Device>(api_);
    }

   private:
    SimulatedUsbApi& api_;
    const UsbLocation location_{1, {2}};
  };

  sim::SimulatedCamera camera_;
  struct Reader {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::list<Reader> readers_;  // joined once finished, or when the bus goes
};

}  // namespace rd420::fake
