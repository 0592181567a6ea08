#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace rd420::wire {

// One request at a time per connection to a device node, all numbers
// little-endian:
//   request: "RD42", code, input length, output length, then the input;
//   reply:   "RD42", result (1 success, 0 failure), bytes returned, then
//            that many bytes (never more than the output length).
// A daemon with no room for one more connection answers it with a reply of
// result kResultRefused at once, whatever it was sent, and closes it.
inline constexpr std::array<uint8_t, 4> kMagic = {'R', 'D', '4', '2'};
inline constexpr size_t kRequestHeaderBytes = 16;
inline constexpr size_t kReplyHeaderBytes = 12;
inline constexpr uint32_t kMaxInputBytes = 64 * 1024;
inline constexpr uint32_t kMaxOutputBytes = 16 * 1024 * 1024;
// Any result but 1 is a failure to a client that does not know this one.
inline constexpr uint32_t kResultRefused = 2;

struct RequestHeader {
  uint32_t code = 0;
  uint32_t inputLength = 0;
  uint32_t outputLength = 0;
};

struct ReplyHeader {
  uint32_t result = 0;
  uint32_t bytesReturned = 0;
};

std::array<uint8_t, kRequestHeaderBytes> EncodeRequestHeader(const RequestHeader& header);
std::array<uint8_t, kReplyHeaderBytes> EncodeReplyHeader(const ReplyHeader& header);

// Nothing when the magic is wrong.
std::optional<RequestHeader> DecodeRequestHeader(std::span<const uint8_t, kRequestHeaderBytes> b);
std::optional<ReplyHeader> DecodeReplyHeader(std::span<const uint8_t, kReplyHeaderBytes> b);

// The input length each request must carry, or nothing for an unknown code.
std::optional<uint32_t> ExpectedInputLength(uint32_t code);

// A request the daemon refuses outright (answered with result 0 and the
// connection closed): unknown code, wrong input length, oversize lengths.
bool IsWellFormed(const RequestHeader& header);

}  // namespace rd420::wire
