#include "wire/device_records.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace rd420 {

VendorRecord EncodeVendorRecord(uint32_t commandWord) {
  VendorRecord record{};
  record[0] = 1;  // device to host
  record[1] = 2;  // vendor
  record[2] = 0;  // device
  record[3] = 0;
  record[4] = kVendorRequestCode;
  record[5] = 0;
  StoreLe16(&record[6], static_cast<uint16_t>(commandWord >> 16));
  StoreLe16(&record[8], static_cast<uint16_t>(commandWord & 0xFFFF));
  return record;
}

std::optional<uint32_t> DecodeVendorRecord(std::span<const uint8_t> record) {
  if (record.size() != kVendorRecordBytes || record[0] != 1 || record[1] != 2 || record[2] != 0 ||
      record[3] != 0 || record[4] != kVendorRequestCode || record[5] != 0) {
    return std::nullopt;
  }
  return (uint32_t{LoadLe16(&record[6])} << 16) | LoadLe16(&record[8]);
}

uint32_t ReplyWordFromBytes(std::span<const uint8_t, kVendorReplyBytes> bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

std::array<uint8_t, kVendorReplyBytes> ReplyBytesFromWord(uint32_t word) {
  return {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
          static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
}

std::vector<uint8_t> EncodeInterfaceInformation(const InterfaceInformation& info) {
  const size_t length = kInterfaceHeaderBytes + kPipeRecordBytes * info.pipes.size();
  std::vector<uint8_t> bytes(length, 0);
  StoreLe16(&bytes[0], static_cast<uint16_t>(length));
  bytes[2] = info.interfaceNumber;
  bytes[3] = info.alternateSetting;
  bytes[4] = info.interfaceClass;
  bytes[5] = info.interfaceSubClass;
  bytes[6] = info.interfaceProtocol;
  StoreLe32(&bytes[8], info.interfaceHandle);
  StoreLe32(&bytes[12], static_cast<uint32_t>(info.pipes.size()));
  for (size_t i = 0; i < info.pipes.size(); ++i) {
    const PipeInformation& pipe = info.pipes[i];
    uint8_t* at = &bytes[kInterfaceHeaderBytes + kPipeRecordBytes * i];
    StoreLe16(at + 0, pipe.maximumPacketSize);
    at[2] = pipe.endpointAddress;
    at[3] = pipe.interval;
    StoreLe32(at + 4, pipe.pipeType);
    StoreLe32(at + 8, pipe.pipeHandle);
    StoreLe32(at + 12, pipe.maximumTransferSize);
    StoreLe32(at + 16, pipe.pipeFlags);
  }
  return bytes;
}

std::optional<InterfaceInformation> DecodeInterfaceInformation(std::span<const uint8_t> bytes) {
  if (bytes.size() < kInterfaceHeaderBytes) {
    return std::nullopt;
  }
  InterfaceInformation info;
  info.interfaceNumber = bytes[2];
  info.alternateSetting = bytes[3];
  info.interfaceClass = bytes[4];
  info.interfaceSubClass = bytes[5];
  info.interfaceProtocol = bytes[6];
  info.interfaceHandle = LoadLe32(&bytes[8]);
  const size_t stated = LoadLe32(&bytes[12]);
  const size_t present = (bytes.size() - kInterfaceHeaderBytes) / kPipeRecordBytes;
  for (size_t i = 0; i < std::min(stated, present); ++i) {
    const uint8_t* at = &bytes[kInterfaceHeaderBytes + kPipeRecordBytes * i];
    info.pipes.push_back(PipeInformation{LoadLe16(at), at[2], at[3], LoadLe32(at + 4),
                                         LoadLe32(at + 8), LoadLe32(at + 12), LoadLe32(at + 16)});
  }
  return info;
}

}  // namespace rd420
