#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "driver/usb_api.h"
#include "driver/usb_session.h"

namespace rd420 {

// A bus with the one camera of a recorded session on it: rd420d --replay.
// The same requests get the recorded answers, at the recorded pace: a
// control transfer takes as long as it took, and bulk transfers end as far
// apart as they ended then, none later after its request than then. The
// daemon's threads (status polls, reads, an abort's clear-halt) need not
// take the recording's turns, so a request may be found up to three places
// ahead of its turn. The first request not found there fails, `report` is
// told the difference once, and every later request fails too. Completions
// run on the thread in HandleEvents, as libusb runs them; the rest is safe
// from any thread.
class ReplayUsbApi : public UsbApi {
 public:
  ReplayUsbApi(UsbSession session, std::string name,
               std::function<void(const std::string&)> report);
  ~ReplayUsbApi() override;

  std::vector<std::unique_ptr<UsbCandidate>> List(uint16_t vendorId, uint16_t productId) override;
  bool HasHotplug() override { return false; }
  bool WatchHotplug(uint16_t, uint16_t, std::function<void()>) override { return false; }
  void HandleEvents(int timeoutMs) override;
  void Interrupt() override;

  // Whether every recorded request has been asked for, and none differed.
  bool Finished();

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    const UsbRecordedTransfer* recorded;
    std::span<uint8_t> buffer;
    UsbTransferDone done;
    Clock::time_point due;
    int status;
  };
  class Device;
  class Transfer;
  class Candidate;

  // The recorded request `asked` is, or null once the session has left the
  // recording.
  const UsbRecordedTransfer* Match(const UsbRecordedTransfer& asked);
  int Control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
              std::span<uint8_t> data);
  std::unique_ptr<UsbTransfer> Submit(uint8_t endpoint, std::span<uint8_t> buffer,
                                      UsbTransferDone done, int& error);
  int ClearHalt(uint8_t endpoint);
  void Cancel(const std::shared_ptr<Pending>& pending);

  UsbSession session_;  // its transfers under mutex_
  const std::string name_;
  const std::function<void(const std::string&)> report_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;
  bool diverged_ = false;
  bool interrupted_ = false;
  std::list<std::shared_ptr<Pending>> pending_;
  // The pace of the bulk transfers: when the last one ended here, and when
  // its recorded one ended.
  std::optional<Clock::time_point> lastEnd_;
  std::chrono::microseconds lastRecordedEnd_{0};
};

}  // namespace rd420
