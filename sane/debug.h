#pragma once

namespace rd420::sane {

// Diagnostics the SANE way: a line on standard error, "[rd420] ...", for
// each message at or below the level in SANE_DEBUG_RD420 (1 errors, 2 what
// the back-end does, 3 every call). Nothing ever goes to standard output,
// which holds the front-end's image. Safe from any thread.
void Debug(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Reads SANE_DEBUG_RD420 again; sane_init calls it.
void InitDebug();

}  // namespace rd420::sane
