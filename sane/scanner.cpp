#include "sane/scanner.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "sane/debug.h"
#include "sane/link_messages.h"
#include "sane/still_image.h"
#include "wire/command_words.h"
#include "wire/status_word.h"

namespace rd420::sane {

Scanner::Scanner(DeviceTransport& transport, std::string deviceName, StillTiming timing)
    : transport_(transport), name_(std::move(deviceName)), timing_(timing), options_(*this) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    cancelRead_.Reset(fds[0]);
    cancelWrite_.Reset(fds[1]);
  }
}

Scanner::~Scanner() {
  EndScan();
}

DeviceLink& Scanner::Link() {
  // A scan's worker uses the link until the scan ends: a failed link is
  // replaced only after that.
  if (link_ == nullptr || (scan_ == nullptr && (link_->Failed() || !link_->LinkOk()))) {
    link_.reset();  // waits for the old link's request threads
    link_ = std::make_unique<DeviceLink>(transport_, SaneLinkMessages());
    link_->UseDevice(name_);
  }
  return *link_;
}

SANE_Status Scanner::Open() {
  if (!cancelRead_.Valid() || Link().OpenDevice() == nullptr) {
    return SANE_STATUS_INVAL;
  }
  // One status poll, without waiting for a camera still starting up; the
  // scan's ready-wait reads the aspect again. A camera (or daemon) that
  // does not answer it is refused now, not after a wait in every request.
  DeviceLink& link = Link();
  const uint32_t status = link.SendCommandQuiet(kPollStatus);
  if (!link.LinkOk()) {
    return LinkLost(link);
  }
  if (IsValidStatus(status)) {
    options_.SetAspect43(IsAspect43(status));
  }
  return SANE_STATUS_GOOD;
}

SANE_Status Scanner::ControlOption(SANE_Int option, SANE_Action action, void* value,
                                   SANE_Int* info) {
  // The scan's size is fixed once it has started.
  if (Scanning() && action != SANE_ACTION_GET_VALUE) {
    return SANE_STATUS_DEVICE_BUSY;
  }
  return options_.Control(option, action, value, info);
}

SANE_Parameters Scanner::Parameters() const {
  return Scanning() ? parameters_ : options_.Parameters();
}

SANE_Status Scanner::Start() {
  EndScan();
  char drained[16];
  while (read(cancelRead_.Get(), drained, sizeof drained) > 0) {
  }
  cancelled_ = false;
  DeviceLink& link = Link();
  try {
    scan_ = std::make_unique<StillScan>(link, options_.FrameResolution(), timing_);
  } catch (const std::bad_alloc&) {
    return SANE_STATUS_NO_MEM;
  }
  const SANE_Status started = scan_->Start(cancelRead_.Get());
  if (started != SANE_STATUS_GOOD) {
    EndScan();
    return started;
  }
  options_.SetAspect43(scan_->Aspect43());
  parameters_ = options_.Parameters();
  crop_ = options_.ScanCrop();
  geometry_ = options_.Geometry();
  Debug(2, "scanning %dx%d of a %dx%d frame", crop_.width, crop_.height, geometry_.width,
        geometry_.height);
  return SANE_STATUS_GOOD;
}

SANE_Status Scanner::Read(SANE_Byte* data, SANE_Int maxLength, SANE_Int* length) {
  *length = 0;
  if (cancelled_) {
    EndScan();
    return SANE_STATUS_CANCELLED;
  }
  if (scan_ == nullptr || data == nullptr || maxLength < 0) {
    return SANE_STATUS_INVAL;
  }
  if (image_.empty()) {
    const SANE_Status status = scan_->Finish(cancelRead_.Get(), !nonBlocking_);
    if (status != SANE_STATUS_GOOD) {
      EndScan();
      return status;
    }
    if (!scan_->Arrived()) {
      return SANE_STATUS_GOOD;  // non-blocking, and the frame is on its way
    }
    try {
      image_ = StillImage(scan_->Frame(), geometry_, crop_);
    } catch (const std::bad_alloc&) {
      EndScan();
      return SANE_STATUS_NO_MEM;
    }
  }
  if (handedOut_ == image_.size()) {
    return SANE_STATUS_EOF;
  }
  const size_t count = std::min(image_.size() - handedOut_, static_cast<size_t>(maxLength));
  std::memcpy(data, image_.data() + handedOut_, count);
  handedOut_ += count;
  *length = static_cast<SANE_Int>(count);
  return SANE_STATUS_GOOD;
}

void Scanner::Cancel() {
  cancelled_ = true;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(cancelWrite_.Get(), &byte, 1);
}

SANE_Status Scanner::SetIoMode(bool nonBlocking) {
  if (scan_ == nullptr) {
    return SANE_STATUS_INVAL;
  }
  // The frame arrives on the worker thread, so a read never has to block.
  nonBlocking_ = nonBlocking;
  return SANE_STATUS_GOOD;
}

bool Scanner::Scanning() const {
  return scan_ != nullptr && (image_.empty() || handedOut_ < image_.size());
}

void Scanner::EndScan() {
  scan_.reset();
  image_ = {};
  handedOut_ = 0;
  nonBlocking_ = false;
}

SANE_Status Scanner::SendWord(uint32_t word) {
  Debug(2, "command word 0x%08X", word);
  return Link().SendCommand(word) ? SANE_STATUS_GOOD : SANE_STATUS_IO_ERROR;
}

SANE_Status Scanner::ReadStatus(uint32_t& word) {
  const std::optional<uint32_t> reply = Link().SendCommand(kPollStatus);
  if (!reply) {
    return SANE_STATUS_IO_ERROR;
  }
  word = *reply;
  return SANE_STATUS_GOOD;
}

}  // namespace rd420::sane
