#include "relay/relay_mode.h"

namespace rd420::relay {

std::string CommandLineArgument(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) {
      line += ' ';
    }
    line += argv[i];
  }
  const size_t first = line.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : line.substr(first);
}

const RelayMode* FindRelayMode(std::string_view argument) {
  for (const RelayMode& mode : kRelayModes) {
    if (argument == mode.token) {
      return &mode;
    }
  }
  return nullptr;
}

}  // namespace rd420::relay
