#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace rd420 {

// Bytes as lower-case hexadecimal digits, two a byte, as the control
// socket's `state` and the session recordings write them.
inline std::string HexText(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

}  // namespace rd420
