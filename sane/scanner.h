#pragma once

#include <sane/sane.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "devlink/device_link.h"
#include "platform/unique_fd.h"
#include "sane/scan_options.h"
#include "sane/still_scan.h"

namespace rd420::sane {

// One open camera, a SANE handle: its options, the camera's controls over
// the device link, and the still being scanned, handed out in whatever
// lengths the front-end reads. Called from the front-end's thread, one call
// at a time, except Cancel, which may come from any thread or a signal
// handler.
class Scanner : public CameraControls {
 public:
  Scanner(DeviceTransport& transport, std::string deviceName, StillTiming timing = {});
  ~Scanner() override;
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  // Checks that the camera's node opens (SANE_STATUS_INVAL when it does
  // not) and answers its status poll (SANE_STATUS_IO_ERROR when it does
  // not), and learns the camera's aspect, which sizes the stage.
  SANE_Status Open();

  const SANE_Option_Descriptor* Descriptor(SANE_Int option) const {
    return options_.Descriptor(option);
  }
  SANE_Status ControlOption(SANE_Int option, SANE_Action action, void* value, SANE_Int* info);
  SANE_Parameters Parameters() const;

  SANE_Status Start();
  SANE_Status Read(SANE_Byte* data, SANE_Int maxLength, SANE_Int* length);
  // Async-signal-safe: marks the scan cancelled and wakes its waits; the
  // waiting call returns SANE_STATUS_CANCELLED and ends the scan.
  void Cancel();
  SANE_Status SetIoMode(bool nonBlocking);

  SANE_Status SendWord(uint32_t word) override;
  SANE_Status ReadStatus(uint32_t& word) override;

 private:
  // A link that met a failure refuses every later request (or, after a
  // quiet one, fails every ready-wait); the next call gets a fresh one, so
  // a camera plugged back in serves again.
  DeviceLink& Link();
  // Between Start and the end of the image, when options stay as they are.
  bool Scanning() const;
  void EndScan();

  DeviceTransport& transport_;
  const std::string name_;
  const StillTiming timing_;
  std::unique_ptr<DeviceLink> link_;
  ScanOptions options_;

  UniqueFd cancelRead_;
  UniqueFd cancelWrite_;
  std::atomic<bool> cancelled_{false};

  std::unique_ptr<StillScan> scan_;
  bool nonBlocking_ = false;
  SANE_Parameters parameters_{};
  Crop crop_;
  FrameGeometry geometry_;
  std::vector<uint8_t> image_;
  size_t handedOut_ = 0;
};

}  // namespace rd420::sane
