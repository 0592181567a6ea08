#pragma once

struct rusage;

namespace rd420 {

// The CPU time (user and system) a getrusage or wait4 result counts, in seconds.
double CpuSeconds(const rusage& usage);
// CPU time (user and system) this process has used so far, in seconds.
double ProcessCpuSeconds();
// The process's resident memory now, in MiB (0 when it cannot be read).
double ProcessResidentMiB();

}  // namespace rd420
