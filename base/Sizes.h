// Sizes added up over a whole tree.
#pragma once

#include <cstdint>

// `total` and `size` together, stopping at the largest size a 64-bit total can
// show instead of wrapping round to a small one: a few huge sparse files must
// never make their folder look nearly empty.
inline uint64_t AddSize(uint64_t total, uint64_t size) {
    return size > UINT64_MAX - total ? UINT64_MAX : total + size;
}
