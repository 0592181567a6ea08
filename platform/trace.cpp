#include "platform/trace.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace rd420 {

namespace {

int FormatInto(char* buffer, const char* format, va_list args) {
  const int wanted = std::vsnprintf(buffer, kTraceBufferBytes, format, args);
  if (wanted < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return wanted < kTraceBufferBytes ? wanted : kTraceBufferBytes - 1;
}

}  // namespace

bool TraceEnabled() {
  const char* value = std::getenv("RD420_TRACE");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

int FormatTraceLine(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int kept = FormatInto(buffer, format, args);
  va_end(args);
  return kept;
}

void Trace(const char* format, ...) {
  if (!TraceEnabled()) {
    return;
  }
  char buffer[kTraceBufferBytes];
  va_list args;
  va_start(args, format);
  const int kept = FormatInto(buffer, format, args);
  va_end(args);
  // One write per line so lines from different threads do not interleave.
  std::string line(buffer, static_cast<size_t>(kept));
  line.push_back('\n');
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace rd420
