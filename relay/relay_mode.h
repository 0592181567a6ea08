#pragma once

#include <string>
#include <string_view>

namespace rd420::relay {

// What one command-line token asks of the relay: which program's main
// window to wait for and which program to start once it has gone.
struct RelayMode {
  std::string_view token;
  int mode;  // 1: to the capture program, 0: to the viewer
  std::string_view waitForTitle;
  std::string_view program;
  int pictureControl;
  int bitmap;
};

inline constexpr RelayMode kRelayModes[] = {
    {"4418306", 1, "TORVELA View Panel", "TORVELA_AVICap", 1001, 103},
    {"582917", 0, "TORVELA VAV Eduruzu", "TORVELA_VADIzivid", 1000, 104},
};

// The whole argument string after the program name, as one command line
// would carry it: the arguments joined by single spaces, with the blanks
// before the first one skipped.
std::string CommandLineArgument(int argc, const char* const* argv);

// The mode whose token equals `argument` byte for byte, else nullptr.
const RelayMode* FindRelayMode(std::string_view argument);

}  // namespace rd420::relay
