#pragma once

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <vector>

#include "driver/simulated_camera.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"

namespace rd420::test {

// The simulated camera with a log of what reached it, in arrival order:
// vendor words, the start and end of every bulk read (with the sequence
// stamp of the frame it delivered) and pipe aborts.
class RecordingCamera : public CameraBackend {
 public:
  enum class Kind { kVendor, kReadStart, kReadEnd, kAbort };
  struct Entry {
    Kind kind;
    uint32_t value;  // the vendor word, or the frame's sequence stamp
    size_t bytes;    // bytes a read delivered
    bool ok;
    std::chrono::steady_clock::time_point at;
  };

  explicit RecordingCamera(const sim::CameraOptions& options) : camera_(options) {}

  sim::SimulatedCamera& Camera() { return camera_; }

  bool Plugged() const override { return camera_.Plugged(); }
  uint64_t Generation() const override { return camera_.Generation(); }
  void Shutdown() override { camera_.Shutdown(); }
  uint32_t MaxReplyBytes(uint32_t code) const override { return camera_.MaxReplyBytes(code); }

  IoctlResult Ioctl(const ClientContext& client, uint32_t code, std::span<const uint8_t> in,
                    std::span<uint8_t> out) override {
    if (code == kIoctlVendorRequest) {
      Add({Kind::kVendor, DecodeVendorRecord(in).value_or(0), 0, true, Now()});
    } else if (code == kIoctlAbortPipe) {
      Add({Kind::kAbort, 0, 0, true, Now()});
    } else if (code == kIoctlBulkRead) {
      {
        std::lock_guard lock(mutex_);
        maxReadsAtOnce_ = std::max(maxReadsAtOnce_, ++readsNow_);
        log_.push_back({Kind::kReadStart, 0, 0, true, Now()});
      }
      const IoctlResult result = camera_.Ioctl(client, code, in, out);
      std::lock_guard lock(mutex_);
      --readsNow_;
      const uint32_t stamp =
          result.ok ? sim::ReadSequenceStamp(out.first(result.bytesReturned)) : 0;
      log_.push_back({Kind::kReadEnd, stamp, result.bytesReturned, result.ok, Now()});
      return result;
    }
    return camera_.Ioctl(client, code, in, out);
  }

  std::vector<Entry> Log() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  std::vector<uint32_t> VendorWords() const {
    std::vector<uint32_t> words;
    for (const Entry& entry : Log()) {
      if (entry.kind == Kind::kVendor) {
        words.push_back(entry.value);
      }
    }
    return words;
  }
  size_t Count(Kind kind) const {
    const std::vector<Entry> log = Log();
    return std::count_if(log.begin(), log.end(), [kind](const Entry& e) { return e.kind == kind; });
  }
  int MaxReadsAtOnce() const {
    std::lock_guard lock(mutex_);
    return maxReadsAtOnce_;
  }
  int ReadsNow() const {
    std::lock_guard lock(mutex_);
    return readsNow_;
  }
  void ClearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
  }

 private:
  static std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }
  void Add(const Entry& entry) {
    std::lock_guard lock(mutex_);
    log_.push_back(entry);
  }

  sim::SimulatedCamera camera_;
  mutable std::mutex mutex_;
  std::vector<Entry> log_;
  int readsNow_ = 0;
  int maxReadsAtOnce_ = 0;
};

}  // namespace rd420::test
