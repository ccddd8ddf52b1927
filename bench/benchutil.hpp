// Clocks and memory figures shared by the benchmarks.
#pragma once

#include <sys/resource.h>
#include <time.h>

namespace benchutil {

// Wall-clock seconds from a monotonic clock.
inline double wall() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + 1.0e-9 * static_cast<double>(t.tv_nsec);
}

// CPU seconds used by this process (user and system). On a shared machine
// the wall clock also counts the time the process waits for a core; the CPU
// time does not.
inline double cpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1.0e-9 * static_cast<double>(t.tv_nsec);
}

// Peak resident set of this process in bytes.
inline double peak_rss_bytes() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) * 1024.0;
}

}  // namespace benchutil
