#include "host/AllocationCounter.h"

#include <cstdlib>
#include <new>

AllocationCounter g_allocations;

// The plugin allocates only through nothrow new; counting it here counts the
// plugin's allocations and nothing of the platform's or the program's.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_allocations.active) {
        if (g_allocations.count++ == g_allocations.failAt) {
            return nullptr;
        }
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
