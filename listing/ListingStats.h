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

// `total` and `size` together, stopping at the largest size a 64-bit total can
// show instead of wrapping round to a small one: a few huge sparse files must
// never make their folder look nearly empty.
inline uint64_t AddSize(uint64_t total, uint64_t size) {
    return size > UINT64_MAX - total ? UINT64_MAX : total + size;
}
