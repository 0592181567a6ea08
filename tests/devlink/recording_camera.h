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

  uint64_t Generation() const override { return camera_.Generation(); }
  void Shutdown() override { camera_.Shutdown(); }
  std::optional<InterfaceInformation> Pipes(const ClientContext& client) override {
    return camera_.Pipes(client);
  }
  std::optional<uint32_t> Vendor(const ClientContext& client, uint32_t word) override {
    Add({Kind::kVendor, word, 0, true, Now()});
    return camera_.Vendor(client, word);
  }
  bool AbortPipe(const ClientContext& client, uint32_t pipe) override {
    Add({Kind::kAbort, 0, 0, true, Now()});
    return camera_.AbortPipe(client, pipe);
  }
  std::optional<uint32_t> BulkRead(const ClientContext& client, uint32_t pipe,
                                   std::span<uint8_t> frame) override {
    {
      std::lock_guard lock(mutex_);
      maxReadsAtOnce_ = std::max(maxReadsAtOnce_, ++readsNow_);
      log_.push_back({Kind::kReadStart, 0, 0, true, Now()});
    }
    const std::optional<uint32_t> bytes = camera_.BulkRead(client, pipe, frame);
    std::lock_guard lock(mutex_);
    --readsNow_;
    const uint32_t stamp = bytes ? sim::ReadSequenceStamp(frame.first(*bytes)) : 0;
    log_.push_back({Kind::kReadEnd, stamp, bytes.value_or(0), bytes.has_value(), Now()});
    return bytes;
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
