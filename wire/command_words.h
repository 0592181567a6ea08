#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace rd420 {

// Camera command words: high 16 bits the function, low 16 bits the argument
// (0x0005 and 0x000A for the two directions of a two-way function).
inline constexpr uint32_t kCmdAutoWhite = 0x00010005;
inline constexpr uint32_t kCmdAutoFocus = 0x00020005;
inline constexpr uint32_t kCmdLampOn = 0x00030005;
inline constexpr uint32_t kCmdLampOff = 0x0003000A;
inline constexpr uint32_t kCmdInternal = 0x00040005;
inline constexpr uint32_t kCmdExternal = 0x0004000A;
inline constexpr uint32_t kCmdApertureOn = 0x00090005;
inline constexpr uint32_t kCmdApertureOff = 0x0009000A;
inline constexpr uint32_t kCmdFreezeOn = 0x00120005;
inline constexpr uint32_t kCmdFreezeOff = 0x0012000A;
inline constexpr uint32_t kCmdStorePreset = 0x00170000;   // | preset 1..4
inline constexpr uint32_t kCmdRecallPreset = 0x00180000;  // | preset 1..4
inline constexpr uint32_t kCmdBrightnessUp = 0x00210005;
inline constexpr uint32_t kCmdBrightnessDown = 0x0021000A;
inline constexpr uint32_t kCmdRedUp = 0x00230005;
inline constexpr uint32_t kCmdRedDown = 0x0023000A;
inline constexpr uint32_t kCmdBlueUp = 0x00240005;
inline constexpr uint32_t kCmdBlueDown = 0x0024000A;
inline constexpr uint32_t kCmdFocusFar = 0x00250005;
inline constexpr uint32_t kCmdFocusNear = 0x0025000A;
inline constexpr uint32_t kCmdZoomTele = 0x00260005;
inline constexpr uint32_t kCmdZoomWide = 0x0026000A;
inline constexpr uint32_t kCmdStopAdjustment = 0x002F0005;
inline constexpr uint32_t kCmdFullResolution = 0x00310000;
inline constexpr uint32_t kCmdHalfResolution = 0x00310001;
inline constexpr uint32_t kCmdShutdown = 0x00330005;
inline constexpr uint32_t kCmdActivateFunctions = 0x00480005;
inline constexpr uint32_t kPollStatus = 0x00610000;
inline constexpr uint32_t kPollSecondary = 0x00620000;
inline constexpr uint32_t kPollBrightness = 0x00650000;
inline constexpr uint32_t kPollZoom = 0x00690000;

inline constexpr uint16_t FunctionOf(uint32_t word) {
  return static_cast<uint16_t>(word >> 16);
}
inline constexpr uint16_t ArgumentOf(uint32_t word) {
  return static_cast<uint16_t>(word);
}

// A poll reply carries the poll's function code in its top byte and the
// value in its low 16 bits.
inline constexpr uint16_t PolledValue(uint32_t reply) {
  return static_cast<uint16_t>(reply);
}

inline constexpr bool IsPoll(uint32_t word) {
  return word == kPollStatus || word == kPollSecondary || word == kPollBrightness ||
         word == kPollZoom;
}

// Parses a command or status word typed by a person: hex with 0x, or
// decimal; nothing for anything else or a value over 32 bits.
std::optional<uint32_t> ParseWord(std::string_view text);

// Zoom positions above this are digital zoom.
inline constexpr uint16_t kOpticalZoomLimit = 1861;

}  // namespace rd420
