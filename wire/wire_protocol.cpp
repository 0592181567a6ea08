#include "wire/wire_protocol.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "wire/ioctl_codes.h"

namespace rd420::wire {

std::array<uint8_t, kRequestHeaderBytes> EncodeRequestHeader(const RequestHeader& header) {
  std::array<uint8_t, kRequestHeaderBytes> bytes{};
  std::copy(kMagic.begin(), kMagic.end(), bytes.begin());
  StoreLe32(&bytes[4], header.code);
  StoreLe32(&bytes[8], header.inputLength);
  StoreLe32(&bytes[12], header.outputLength);
  return bytes;
}

std::array<uint8_t, kReplyHeaderBytes> EncodeReplyHeader(const ReplyHeader& header) {
  std::array<uint8_t, kReplyHeaderBytes> bytes{};
  std::copy(kMagic.begin(), kMagic.end(), bytes.begin());
  StoreLe32(&bytes[4], header.result);
  StoreLe32(&bytes[8], header.bytesReturned);
  return bytes;
}

std::optional<RequestHeader> DecodeRequestHeader(std::span<const uint8_t, kRequestHeaderBytes> b) {
  if (!std::equal(kMagic.begin(), kMagic.end(), b.begin())) {
    return std::nullopt;
  }
  return RequestHeader{LoadLe32(&b[4]), LoadLe32(&b[8]), LoadLe32(&b[12])};
}

std::optional<ReplyHeader> DecodeReplyHeader(std::span<const uint8_t, kReplyHeaderBytes> b) {
  if (!std::equal(kMagic.begin(), kMagic.end(), b.begin())) {
    return std::nullopt;
  }
  return ReplyHeader{LoadLe32(&b[4]), LoadLe32(&b[8])};
}

std::optional<uint32_t> ExpectedInputLength(uint32_t code) {
  switch (code) {
    case kIoctlGetPipeInformation:
      return 0;
    case kIoctlAbortPipe:
    case kIoctlBulkRead:
      return kPipeIndexBytes;
    case kIoctlVendorRequest:
      return kVendorRecordBytes;
    default:
      return std::nullopt;
  }
}

bool IsWellFormed(const RequestHeader& header) {
  const std::optional<uint32_t> expected = ExpectedInputLength(header.code);
  return expected && header.inputLength == *expected && header.inputLength <= kMaxInputBytes &&
         header.outputLength <= kMaxOutputBytes;
}

}  // namespace rd420::wire
