#include "sane/debug.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace rd420::sane {
namespace {

std::atomic<int> g_level{0};

}  // namespace

void InitDebug() {
  const char* level = std::getenv("SANE_DEBUG_RD420");
  g_level = level != nullptr ? std::atoi(level) : 0;
}

void Debug(int level, const char* format, ...) {
  if (level > g_level.load()) {
    return;
  }
  // One write per line, so lines from several threads do not interleave.
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fprintf(stderr, "[rd420] %s\n", line);
}

}  // namespace rd420::sane
