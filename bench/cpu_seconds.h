// The processor seconds (user and system) this process has used so far:
// what the floor programs print beside their wall time.
#pragma once

#include <sys/resource.h>

inline double cpu_seconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}
