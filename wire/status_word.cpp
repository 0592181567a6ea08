#include "wire/status_word.h"

#include <cstdio>

namespace rd420 {

std::vector<std::string> DescribeStatus(uint32_t word) {
  struct Bit {
    uint32_t mask;
    const char* name;
    const char* whenSet;
    const char* whenClear;
  };
  static constexpr Bit kBits[] = {
      {kStatusValid, "bit 23 state valid", "yes", "no"},
      {kStatusWide, "bit 22 aspect", "16:9 (1280 x 720)", "4:3 (1280 x 960)"},
      {kStatusStarting, "bit 21 starting up", "yes (busy)", "no (ready)"},
      {kStatusFunctions, "bit 13 function commands", "accepted", "not accepted"},
      {kStatusVariant, "bit 12 model variant", "1", "0"},
      {kStatusFreeze, "bit 11 freeze", "on", "off"},
      {kStatusApertureOff, "bit 10 aperture", "off", "on"},
      {kStatusExternal, "bit 4 picture", "external input", "internal camera"},
      {kStatusLamp, "bit 2 lamp", "on", "off"},
  };
  std::vector<std::string> lines;
  char line[96];
  const bool echo = AllSet(word, kStatusEchoMask);
  std::snprintf(line, sizeof line, "bits 31-24 poll echo 0x%02X: %s", word >> 24,
                echo ? "status reply" : "not a status reply");
  lines.emplace_back(line);
  for (const Bit& bit : kBits) {
    std::snprintf(line, sizeof line, "%s: %s", bit.name,
                  (word & bit.mask) != 0 ? bit.whenSet : bit.whenClear);
    lines.emplace_back(line);
  }
  return lines;
}

}  // namespace rd420
