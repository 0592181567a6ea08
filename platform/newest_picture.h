#pragma once

#include <QImage>
#include <cstdint>
#include <mutex>
#include <span>
#include <utility>

namespace rd420 {

// Copies bottom-up 24-bit BGR rows into `picture` (32-bit RGB, the rows'
// size), top row first: the one copy a picture takes on its way to the
// screen, which also turns it the right way up.
void CopyBottomUpRows(std::span<const uint8_t> rows, QImage& picture);

// The newest picture a worker thread handed to the GUI thread, with where
// it goes (`Placement`), kept until the next one replaces it. The worker
// asks for a repaint only while none is pending, so a GUI that lags draws
// the newest picture once and skips the ones between. Put: one worker
// thread at a time; Served and Newest: the GUI thread.
template <typename Placement>
class NewestPicture {
 public:
  struct Entry {
    QImage picture;  // null until the first Put
    Placement placement{};
  };

  // True when the GUI thread must be asked to repaint.
  bool Put(std::span<const uint8_t> bottomUpRows, QSize size, Placement placement) {
    // The GUI thread may still be drawing the previous picture from this
    // buffer; then the copy goes to a new one.
    if (spare_.size() != size || !spare_.isDetached()) {
      spare_ = QImage(size, QImage::Format_RGB32);
    }
    CopyBottomUpRows(bottomUpRows, spare_);
    std::lock_guard lock(mutex_);
    std::swap(spare_, newest_.picture);
    newest_.placement = std::move(placement);
    return !std::exchange(repaintPending_, true);
  }
  // The GUI thread takes up the repaint: later pictures ask again.
  void Served() {
    std::lock_guard lock(mutex_);
    repaintPending_ = false;
  }
  // Shares the picture's pixels, no copy.
  Entry Newest() const {
    std::lock_guard lock(mutex_);
    return newest_;
  }

 private:
  mutable std::mutex mutex_;
  Entry newest_;
  bool repaintPending_ = false;
  QImage spare_;  // the worker's
};

}  // namespace rd420
