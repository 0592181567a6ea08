#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "wire/ioctl_codes.h"

namespace rd420 {

// The 10-byte vendor request record: direction 1 (device to host), type 2
// (vendor), recipient 0, request 0xB0, value = high 16 bits of the command
// word, index = low 16 bits, both little-endian.
using VendorRecord = std::array<uint8_t, kVendorRecordBytes>;

inline constexpr uint8_t kVendorRequestCode = 0xB0;

VendorRecord EncodeVendorRecord(uint32_t commandWord);

// Returns the command word of a well-formed record, or nothing for any
// record that is not exactly the form above.
std::optional<uint32_t> DecodeVendorRecord(std::span<const uint8_t> record);

// The four reply bytes read big-endian.
uint32_t ReplyWordFromBytes(std::span<const uint8_t, kVendorReplyBytes> bytes);
std::array<uint8_t, kVendorReplyBytes> ReplyBytesFromWord(uint32_t word);

// One pipe of the interface-information record (20 bytes each).
struct PipeInformation {
  uint16_t maximumPacketSize = 0;
  uint8_t endpointAddress = 0;  // bit 7 set = IN
  uint8_t interval = 0;
  uint32_t pipeType = 0;  // 0 control, 1 isochronous, 2 bulk, 3 interrupt
  uint32_t pipeHandle = 0;
  uint32_t maximumTransferSize = 0;
  uint32_t pipeFlags = 0;
};

struct InterfaceInformation {
  uint8_t interfaceNumber = 0;
  uint8_t alternateSetting = 0;
  uint8_t interfaceClass = 0;
  uint8_t interfaceSubClass = 0;
  uint8_t interfaceProtocol = 0;
  uint32_t interfaceHandle = 0;
  std::vector<PipeInformation> pipes;
};

inline constexpr size_t kInterfaceHeaderBytes = 16;
inline constexpr size_t kPipeRecordBytes = 20;

std::vector<uint8_t> EncodeInterfaceInformation(const InterfaceInformation& info);

// Parses as many whole pipe records as both the stated count and the bytes
// allow; nothing when even the header is missing.
std::optional<InterfaceInformation> DecodeInterfaceInformation(std::span<const uint8_t> bytes);

}  // namespace rd420
