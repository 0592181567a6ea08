#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace rd420 {

// The device link's failures that reach the user. Each program shows them
// with its own captions and texts (one table per program).
enum class LinkFailure : size_t {
  kNoDevice,       // discovery found no node that opens
  kSpeedTestOpen,  // the pipe check cannot open the device
  kPostOpen,       // fire-and-forget request cannot open the device
  kPostRequest,    // fire-and-forget request fails
  kSendOpen,       // reporting request cannot open the device
  kSendRequest,    // reporting request fails
  kStreamOpen,     // a streaming run or still read cannot open the device
  kBulkRead,       // a frame read failed or timed out
  kNotReady,       // the camera never became ready
  kNotHighSpeed,   // the link is not USB 2.0 high speed
  // Not a failure of its own: the text that stands for any failure's own
  // when rd420d turned the link's connection away (too many connections
  // open). An empty text keeps each failure's own.
  kRefused,
  kCount,
};

struct LinkMessage {
  std::string_view caption;
  std::string_view text;
};

using LinkMessages = std::array<LinkMessage, static_cast<size_t>(LinkFailure::kCount)>;

inline const LinkMessage& MessageFor(const LinkMessages& table, LinkFailure failure) {
  return table[static_cast<size_t>(failure)];
}

}  // namespace rd420
