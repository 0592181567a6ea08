#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rd420 {

// Bits of the status word, the reply to the status poll 0x00610000.
inline constexpr uint32_t kStatusEchoMask = 0x61000000;
inline constexpr uint32_t kStatusValidMask = 0x61800000;    // echo plus bit 23
inline constexpr uint32_t kStatusWideMask = 0x61400000;     // echo plus bit 22
inline constexpr uint32_t kStatusValid = 0x00800000;        // bit 23
inline constexpr uint32_t kStatusWide = 0x00400000;         // bit 22: 16:9
inline constexpr uint32_t kStatusStarting = 0x00200000;     // bit 21
inline constexpr uint32_t kStatusFunctions = 0x00002000;    // bit 13
inline constexpr uint32_t kStatusVariant = 0x00001000;      // bit 12
inline constexpr uint32_t kStatusFreeze = 0x00000800;       // bit 11
inline constexpr uint32_t kStatusApertureOff = 0x00000400;  // bit 10
inline constexpr uint32_t kStatusExternal = 0x00000010;     // bit 4
inline constexpr uint32_t kStatusLamp = 0x00000004;         // bit 2

inline constexpr bool AllSet(uint32_t word, uint32_t mask) {
  return (word & mask) == mask;
}

// The status handler acts only on words with the echo and validity bits.
inline constexpr bool IsValidStatus(uint32_t word) {
  return AllSet(word, kStatusValidMask);
}

// The aspect the ready-wait reads: bit 22 clear means 4:3.
inline constexpr bool IsAspect43(uint32_t word) {
  return (word & kStatusWide) == 0;
}

// In 4:3 a word with all of 0x61400000 means the camera went 16:9; in 16:9
// a word without all of them means it left 16:9.
inline constexpr bool AspectChanged(bool aspect43, uint32_t word) {
  return aspect43 ? AllSet(word, kStatusWideMask) : !AllSet(word, kStatusWideMask);
}

// One line per bit the system uses, "bit 13 functions active: yes", for a
// person reading the word.
std::vector<std::string> DescribeStatus(uint32_t word);

}  // namespace rd420
