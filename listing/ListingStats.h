// Running counts of one listing, shown by the host's progress display, and the
// running size total of the directory being enumerated. Each listing keeps its
// own, so two listings never mix their counts or sizes.
#pragma once

#include <cstdint>

struct ListingStats {
    uint32_t files;
    int32_t directories;
    // Sum of the sizes of the entries returned so far from the current
    // directory: its files and its finished subdirectories.
    uint64_t runningTotal;
};
