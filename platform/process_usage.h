#pragma once

namespace rd420 {

// CPU time (user and system) this process has used so far, in seconds.
double ProcessCpuSeconds();
// The process's resident memory now, in MiB (0 when it cannot be read).
double ProcessResidentMiB();

}  // namespace rd420
