#pragma once

namespace rd420 {

inline constexpr int kTraceBufferBytes = 512;

// Writes one trace line to standard error when RD420_TRACE=1; otherwise
// does nothing. The line is formatted through a 512-byte buffer, so longer
// lines are cut to 511 characters. Safe from any thread.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats like Trace into `buffer` (kTraceBufferBytes long) and returns the
// number of characters kept. Exposed for tests.
int FormatTraceLine(char* buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));

bool TraceEnabled();

}  // namespace rd420
