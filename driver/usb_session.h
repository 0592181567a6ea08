#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "driver/usb_api.h"

namespace rd420 {

// A USB session: every transfer the USB back-end made, as a text file that
// rd420d --record writes and rd420d --replay serves (driver/README.md
// describes the format). Lines are written when a transfer ends; each
// carries the number of its request, so a reader puts them back in the
// order the requests were made.

inline constexpr int kUsbSessionVersion = 1;

enum class UsbRequestKind { kControl, kBulk, kClearHalt };

struct UsbRecordedTransfer {
  UsbRequestKind kind = UsbRequestKind::kControl;
  uint64_t number = 0;                // order of the request in the session
  int line = 0;                       // where it stands in the file
  std::chrono::microseconds at{0};    // the request, from the session's start
  std::chrono::microseconds took{0};  // until it ended
  // Control: the setup; bulk and clear-halt: the endpoint and length.
  uint8_t requestType = 0, request = 0;
  uint16_t value = 0, index = 0;
  uint8_t endpoint = 0;
  uint32_t length = 0;
  // Control and clear-halt: the bytes or error libusb gave; bulk: its
  // libusb_transfer_status and the bytes that arrived.
  int result = 0;
  uint32_t actual = 0;
  std::optional<uint64_t> digest;  // bulk: FNV-1a 64 of what arrived
  std::vector<uint8_t> data;       // control reply; bulk payload when recorded
  bool hasPayload = false;
};

struct UsbSession {
  uint16_t vendorId = 0, productId = 0;
  UsbLocation location;
  uint8_t address = 0;
  UsbInterface interface;
  std::vector<UsbRecordedTransfer> transfers;  // in request order
};

// Reads a session file; nothing, and `error` set to one line, when it is
// not one. Only the first device of the file is kept.
std::optional<UsbSession> ReadUsbSession(const std::string& path, std::string& error);

// One request line as a person reads it, for the replay's first difference.
std::string DescribeRequest(const UsbRecordedTransfer& transfer);

// Writes a session file. Thread-safe: transfers end on several threads.
class UsbSessionWriter {
 public:
  // `payloads`: the bytes of each bulk transfer too (compressed), not only
  // its digest.
  UsbSessionWriter(std::FILE* file, bool payloads);
  ~UsbSessionWriter();
  UsbSessionWriter(const UsbSessionWriter&) = delete;
  UsbSessionWriter& operator=(const UsbSessionWriter&) = delete;

  // A device opened: its number in the file.
  int Device(uint16_t vendorId, uint16_t productId, const UsbLocation& location, uint8_t address,
             const UsbInterface& interface);
  // Numbers a request as it is made.
  uint64_t NextRequest();
  std::chrono::microseconds Now() const;
  // `transfer` ended on device `device`; `bytes` are its reply or payload.
  void Write(int device, const UsbRecordedTransfer& transfer, std::span<const uint8_t> bytes);

 private:
  void PutLine(const std::string& line);

  std::mutex mutex_;
  std::FILE* const file_;
  const bool payloads_;
  const std::chrono::steady_clock::time_point start_;
  int devices_ = 0;
  uint64_t requests_ = 0;
};

uint64_t Fnv1a64(std::span<const uint8_t> bytes);

}  // namespace rd420
