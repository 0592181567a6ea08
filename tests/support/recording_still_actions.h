#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "devlink/still_capture.h"

namespace rd420::test {

// Records what save and print were handed.
class RecordingStillActions : public StillActions {
 public:
  struct Call {
    bool print;
    bool quick;
    int width;
    int height;
    uint8_t mode;
  };
  void SaveStill(const ImagingBitmap& still, uint8_t mode, bool quick) override {
    {
      std::lock_guard lock(mutex_);
      calls_.push_back({false, quick, still.Width(), still.Height(), mode});
    }
    if (duringSave) {
      duringSave();
    }
  }
  // Runs on the still thread inside each save, set before the still thread starts.
  std::function<void()> duringSave;
  void PrintStill(const FrameBitmap& still, uint8_t mode) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({true, false, still.Geometry().width, still.Geometry().height, mode});
  }
  std::vector<Call> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<Call> calls_;
};

}  // namespace rd420::test
