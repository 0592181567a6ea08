#pragma once

#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <list>

#include "queued_usb_events.h"

namespace rd420::fake {

// What a camera on the fake bus is and what it saw.
struct ControlSetup {
  uint8_t requestType, request;
  uint16_t value, index, length;
  bool operator==(const ControlSetup&) const = default;
};

struct Camera {
  UsbLocation location;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  int openError = LIBUSB_SUCCESS;
  std::array<uint8_t, 4> reply{};
  size_t replyLength = 4;  // the bytes the camera sends of it
  UsbInterface interface {
    0, 0, 0xFF, 0, 0, {
      {0x01, 2, 512, 0}, {
        0x82, 2, 512, 0
      }
    }
  };
  uint8_t address = 4;
  bool present = true;
  std::vector<ControlSetup> controls;
  std::vector<uint8_t> clearedHalts;
  int cancels = 0;
};

// A bus of cameras behind the UsbApi seam. Transfers complete, and
// hot-plug notices arrive, only on the thread in HandleEvents, as libusb
// delivers them; the test plays the camera from its own thread.
class FakeUsbApi : public QueuedUsbEvents {
 public:
  explicit FakeUsbApi(bool hotplug) : hotplug_(hotplug) {}

  int Add(Camera camera) {
    std::lock_guard lock(mutex_);
    cameras_.push_back(std::move(camera));
    return static_cast<int>(cameras_.size()) - 1;
  }
  Camera Seen(int camera) {
    std::lock_guard lock(mutex_);
    return cameras_[camera];
  }
  int PendingReads(int camera) {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(transfers_.begin(), transfers_.end(),
                                          [&](const auto& t) { return t->camera == camera; }));
  }
  int Lists() {
    std::lock_guard lock(mutex_);
    return lists_;
  }

  // Waits (a bounded while) for a bulk transfer on `camera`; its endpoint
  // and length, or nothing.
  std::optional<std::pair<uint8_t, size_t>> WaitForRead(int camera) {
    std::unique_lock lock(mutex_);
    const auto pending = [&] {
      return std::find_if(transfers_.begin(), transfers_.end(),
                          [&](const auto& t) { return t->camera == camera; });
    };
    if (!changed_.wait_for(lock, std::chrono::seconds(5),
                           [&] { return pending() != transfers_.end(); })) {
      return std::nullopt;
    }
    return std::make_pair((*pending())->endpoint, (*pending())->buffer.size());
  }
  // Ends the oldest transfer on `camera` with `status` and `data`; false
  // when none is pending.
  bool Complete(int camera, int status, std::span<const uint8_t> data) {
    std::lock_guard lock(mutex_);
    const auto t = std::find_if(transfers_.begin(), transfers_.end(),
                                [&](const auto& each) { return each->camera == camera; });
    if (t == transfers_.end()) {
      return false;
    }
    const size_t n = std::min(data.size(), (*t)->buffer.size());
    std::copy_n(data.begin(), n, (*t)->buffer.begin());
    FinishLocked(t, status, static_cast<uint32_t>(n));
    return true;
  }
  void Unplug(int camera) {
    std::lock_guard lock(mutex_);
    cameras_[camera].present = false;
    for (auto t = transfers_.begin(); t != transfers_.end();) {
      auto next = std::next(t);
      if ((*t)->camera == camera) {
        FinishLocked(t, LIBUSB_TRANSFER_NO_DEVICE, 0);
      }
      t = next;
    }
    NoticeLocked();
  }
  // As when another program lets the camera go: no notice comes.
  void SetOpenError(int camera, int error) {
    std::lock_guard lock(mutex_);
    cameras_[camera].openError = error;
  }
  void Plug(int camera) {
    std::lock_guard lock(mutex_);
    cameras_[camera].present = true;
    ++cameras_[camera].address;  // enumerated anew
    NoticeLocked();
  }

  std::vector<std::unique_ptr<UsbCandidate>> List(uint16_t vendorId, uint16_t productId) override {
    std::lock_guard lock(mutex_);
    ++lists_;
    std::vector<std::unique_ptr<UsbCandidate>> found;
    for (size_t i = 0; i < cameras_.size(); ++i) {
      const Camera& c = cameras_[i];
      if (c.present && c.vendorId == vendorId && c.productId == productId) {
        found.push_back(std::make_unique<Candidate>(*this, static_cast<int>(i)));
      }
    }
    return found;
  }
  bool HasHotplug() override { return hotplug_; }
  bool WatchHotplug(uint16_t, uint16_t, std::function<void()> changed) override {
    std::lock_guard lock(mutex_);
    hotplugChanged_ = std::move(changed);
    return true;
  }

 private:
  struct Pending {
    int camera;
    uint8_t endpoint;
    std::span<uint8_t> buffer;
    UsbTransferDone done;
  };
  using PendingList = std::list<std::shared_ptr<Pending>>;

  class Transfer : public UsbTransfer {
   public:
    Transfer(FakeUsbApi& api, std::shared_ptr<Pending> pending)
        : api_(api), pending_(std::move(pending)) {}
    void Cancel() override {
      std::lock_guard lock(api_.mutex_);
      const auto t = std::find(api_.transfers_.begin(), api_.transfers_.end(), pending_);
      if (t != api_.transfers_.end()) {
        ++api_.cameras_[pending_->camera].cancels;
        api_.FinishLocked(t, LIBUSB_TRANSFER_CANCELLED, 0);
      }
    }

   private:
    FakeUsbApi& api_;
    std::shared_ptr<Pending> pending_;
  };

  class Device : public UsbDevice {
   public:
    Device(FakeUsbApi& api, int camera, UsbInterface interface)
        : api_(api), camera_(camera), interface_(std::move(interface)) {}
    const UsbInterface& Interface() const override { return interface_; }
    int ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                  std::span<uint8_t> data, unsigned) override {
      std::lock_guard lock(api_.mutex_);
      Camera& c = api_.cameras_[camera_];
      if (!c.present) {
        return LIBUSB_ERROR_NO_DEVICE;
      }
      c.controls.push_back(
          {requestType, request, value, index, static_cast<uint16_t>(data.size())});
      const size_t n = std::min(data.size(), c.replyLength);
      std::copy_n(c.reply.begin(), n, data.begin());
      return static_cast<int>(n);
    }
    std::unique_ptr<UsbTransfer> SubmitBulkIn(uint8_t endpoint, std::span<uint8_t> buffer,
                                              UsbTransferDone done, int& error) override {
      std::lock_guard lock(api_.mutex_);
      if (!api_.cameras_[camera_].present) {
        error = LIBUSB_ERROR_NO_DEVICE;
        return nullptr;
      }
      auto pending = std::make_shared<Pending>(Pending{camera_, endpoint, buffer, std::move(done)});
      api_.transfers_.push_back(pending);
      api_.changed_.notify_all();
      error = LIBUSB_SUCCESS;
      return std::make_unique<Transfer>(api_, pending);
    }
    int ClearHalt(uint8_t endpoint) override {
      std::lock_guard lock(api_.mutex_);
      api_.cameras_[camera_].clearedHalts.push_back(endpoint);
      return LIBUSB_SUCCESS;
    }

   private:
    FakeUsbApi& api_;
    int camera_;
    UsbInterface interface_;
  };

  class Candidate : public UsbCandidate {
   public:
    Candidate(FakeUsbApi& api, int camera)
        : api_(api),
          camera_(camera),
          location_(api.cameras_[camera].location),
          address_(api.cameras_[camera].address) {}
    const UsbLocation& Location() const override { return location_; }
    uint8_t Address() const override { return address_; }
    std::unique_ptr<UsbDevice> Open(int& error) override {
      std::lock_guard lock(api_.mutex_);
      const Camera& c = api_.cameras_[camera_];
      error = c.present ? c.openError : LIBUSB_ERROR_NO_DEVICE;
      return error == LIBUSB_SUCCESS ? std::make_unique<Device>(api_, camera_, c.interface)
                                     : nullptr;
    }

   private:
    FakeUsbApi& api_;
    int camera_;
    UsbLocation location_;
    uint8_t address_;
  };

  // The completion runs later, on the event thread.
  void FinishLocked(PendingList::iterator t, int status, uint32_t bytes) {
    PostLocked([done = (*t)->done, status, bytes] { done(status, bytes); });
    transfers_.erase(t);
  }
  void NoticeLocked() {
    if (hotplug_ && hotplugChanged_) {
      PostLocked(hotplugChanged_);
    }
  }

  const bool hotplug_;
  std::vector<Camera> cameras_;
  PendingList transfers_;
  std::function<void()> hotplugChanged_;
  int lists_ = 0;
};

}  // namespace rd420::fake
