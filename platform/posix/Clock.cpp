// GetTickCount64: milliseconds of a clock that never steps back.
#include <ctime>

#include "StandIn.h"

extern "C" ULONGLONG GetTickCount64(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000u +
           static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}
