#include "driver/replay_usb_api.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace rd420 {

namespace {

// A control transfer answers no later than this, whatever it took then.
constexpr auto kLongestControl = std::chrono::seconds(1);
// How far ahead of the recording's turn a request may be found.
constexpr size_t kReorderWindow = 4;

}  // namespace

class ReplayUsbApi::Transfer : public UsbTransfer {
 public:
  Transfer(ReplayUsbApi& api, std::shared_ptr<Pending> pending)
      : api_(api), pending_(std::move(pending)) {}
  void Cancel() override { api_.Cancel(pending_); }

 private:
  ReplayUsbApi& api_;
  const std::shared_ptr<Pending> pending_;
};

class ReplayUsbApi::Device : public UsbDevice {
 public:
  explicit Device(ReplayUsbApi& api) : api_(api) {}
  const UsbInterface& Interface() const override { return api_.session_.interface; }
  int ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                std::span<uint8_t> data, unsigned) override {
    return api_.Control(requestType, request, value, index, data);
  }
  std::unique_ptr<UsbTransfer> SubmitBulkIn(uint8_t endpoint, std::span<uint8_t> buffer,
                                            UsbTransferDone done, int& error) override {
    return api_.Submit(endpoint, buffer, std::move(done), error);
  }
  int ClearHalt(uint8_t endpoint) override { return api_.ClearHalt(endpoint); }

 private:
  ReplayUsbApi& api_;
};

class ReplayUsbApi::Candidate : public UsbCandidate {
 public:
  explicit Candidate(ReplayUsbApi& api) : api_(api) {}
  const UsbLocation& Location() const override { return api_.session_.location; }
  uint8_t Address() const override { return api_.session_.address; }
  std::unique_ptr<UsbDevice> Open(int& error) override {
    error = LIBUSB_SUCCESS;
    return std::make_unique<Device>(api_);
  }

 private:
  ReplayUsbApi& api_;
};

ReplayUsbApi::ReplayUsbApi(UsbSession session, std::string name,
                           std::function<void(const std::string&)> report)
    : session_(std::move(session)), name_(std::move(name)), report_(std::move(report)) {
}

ReplayUsbApi::~ReplayUsbApi() = default;

std::vector<std::unique_ptr<UsbCandidate>> ReplayUsbApi::List(uint16_t vendorId,
                                                              uint16_t productId) {
  std::vector<std::unique_ptr<UsbCandidate>> found;
  if (vendorId == session_.vendorId && productId == session_.productId) {
    found.push_back(std::make_unique<Candidate>(*this));
  }
  return found;
}

bool ReplayUsbApi::Finished() {
  std::lock_guard lock(mutex_);
  return !diverged_ && next_ == session_.transfers.size();
}

const UsbRecordedTransfer* ReplayUsbApi::Match(const UsbRecordedTransfer& asked) {
  if (diverged_) {
    return nullptr;
  }
  const size_t number = next_++;
  if (number >= session_.transfers.size()) {
    diverged_ = true;
    report_("replay: request " + std::to_string(number) + " is past the end of " + name_ + " (" +
            std::to_string(session_.transfers.size()) + " requests): got " +
            DescribeRequest(asked));
    return nullptr;
  }
  std::vector<UsbRecordedTransfer>& transfers = session_.transfers;
  const std::string got = DescribeRequest(asked);
  // Requests from different threads of the daemon (a status poll, a size
  // word, a read, the clear-halt that ends an abort) may come in another
  // order than they were recorded in. The first recorded request like this
  // one among the next few answers it and moves up; the rest keep their
  // order, and only requests not yet answered move.
  const size_t window = std::min(transfers.size(), number + kReorderWindow);
  for (size_t i = number; i < window; ++i) {
    if (DescribeRequest(transfers[i]) == got) {
      std::rotate(transfers.begin() + static_cast<ptrdiff_t>(number),
                  transfers.begin() + static_cast<ptrdiff_t>(i),
                  transfers.begin() + static_cast<ptrdiff_t>(i) + 1);
      break;
    }
  }
  const UsbRecordedTransfer& recorded = transfers[number];
  const std::string expected = DescribeRequest(recorded);
  if (expected != got) {
    diverged_ = true;
    report_("replay: request " + std::to_string(number) + " differs from " + name_ + " line " +
            std::to_string(recorded.line) + ": expected " + expected + ", got " + got);
    return nullptr;
  }
  return &recorded;
}

int ReplayUsbApi::Control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                          std::span<uint8_t> data) {
  UsbRecordedTransfer asked;
  asked.kind = UsbRequestKind::kControl;
  asked.requestType = requestType;
  asked.request = request;
  asked.value = value;
  asked.index = index;
  asked.length = static_cast<uint32_t>(data.size());
  const UsbRecordedTransfer* recorded;
  {
    std::lock_guard lock(mutex_);
    recorded = Match(asked);
  }
  if (recorded == nullptr) {
    return LIBUSB_ERROR_IO;
  }
  std::this_thread::sleep_for(
      std::min<Clock::duration>(recorded->took, Clock::duration(kLongestControl)));
  std::copy_n(recorded->data.begin(), std::min(recorded->data.size(), data.size()), data.begin());
  return recorded->result;
}

std::unique_ptr<UsbTransfer> ReplayUsbApi::Submit(uint8_t endpoint, std::span<uint8_t> buffer,
                                                  UsbTransferDone done, int& error) {
  UsbRecordedTransfer asked;
  asked.kind = UsbRequestKind::kBulk;
  asked.endpoint = endpoint;
  asked.length = static_cast<uint32_t>(buffer.size());
  std::lock_guard lock(mutex_);
  const UsbRecordedTransfer* recorded = Match(asked);
  if (recorded == nullptr) {
    error = LIBUSB_ERROR_IO;
    return nullptr;
  }
  const Clock::time_point now = Clock::now();
  Clock::time_point due = Clock::time_point::max();  // ended then only by a cancel
  if (recorded->result != LIBUSB_TRANSFER_CANCELLED) {
    // As far after the last transfer's end as it was then (frames come on
    // the camera's clock), but never later than it took then: a read that
    // brought its frame within its time-out then does so now, and the
    // session takes the same turns. Where the client was late then, the
    // frame comes sooner than the camera's clock would give it.
    const std::chrono::microseconds recordedEnd = recorded->at + recorded->took;
    due = now + recorded->took;
    if (lastEnd_) {
      due = std::max(now, std::min(due, *lastEnd_ + (recordedEnd - lastRecordedEnd_)));
    }
    lastEnd_ = due;
    lastRecordedEnd_ = recordedEnd;
  }
  auto pending =
      std::make_shared<Pending>(Pending{recorded, buffer, std::move(done), due, recorded->result});
  pending_.push_back(pending);
  changed_.notify_all();
  error = LIBUSB_SUCCESS;
  return std::make_unique<Transfer>(*this, pending);
}

int ReplayUsbApi::ClearHalt(uint8_t endpoint) {
  UsbRecordedTransfer asked;
  asked.kind = UsbRequestKind::kClearHalt;
  asked.endpoint = endpoint;
  std::lock_guard lock(mutex_);
  const UsbRecordedTransfer* recorded = Match(asked);
  return recorded == nullptr ? LIBUSB_ERROR_IO : recorded->result;
}

void ReplayUsbApi::Cancel(const std::shared_ptr<Pending>& pending) {
  std::lock_guard lock(mutex_);
  if (std::find(pending_.begin(), pending_.end(), pending) != pending_.end()) {
    pending->status = LIBUSB_TRANSFER_CANCELLED;
    pending->due = Clock::now();
    changed_.notify_all();
  }
}

void ReplayUsbApi::Interrupt() {
  std::lock_guard lock(mutex_);
  interrupted_ = true;
  changed_.notify_all();
}

void ReplayUsbApi::HandleEvents(int timeoutMs) {
  std::unique_lock lock(mutex_);
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::list<std::shared_ptr<Pending>> ended;
  while (!interrupted_) {
    const Clock::time_point now = Clock::now();
    for (auto p = pending_.begin(); p != pending_.end();) {
      const auto next = std::next(p);
      if ((*p)->due <= now) {
        ended.splice(ended.end(), pending_, p);
      }
      p = next;
    }
    if (!ended.empty() || now >= until) {
      break;
    }
    Clock::time_point wake = until;
    for (const auto& p : pending_) {
      wake = std::min(wake, p->due);
    }
    changed_.wait_until(lock, wake);
  }
  interrupted_ = false;
  lock.unlock();
  for (const auto& p : ended) {
    const bool completed = p->status == LIBUSB_TRANSFER_COMPLETED;
    const uint32_t bytes =
        completed ? std::min<uint32_t>(p->recorded->actual, static_cast<uint32_t>(p->buffer.size()))
                  : 0;
    if (p->recorded->hasPayload) {
      std::copy_n(p->recorded->data.begin(), std::min<size_t>(bytes, p->recorded->data.size()),
                  p->buffer.begin());
    } else {
      std::memset(p->buffer.data(), 0, bytes);  // only the digest was kept
    }
    p->done(p->status, bytes);
  }
}

}  // namespace rd420
