// Counts, and on request fails, the plugin's nothrow allocations in a test
// program that links the plugin's code directly.
#pragma once

struct AllocationCounter {
    int count = 0;
    int failAt = -1; // the allocation (counting from 0) that returns null
    bool active = false;
};
extern AllocationCounter g_allocations;

// Starts counting; stops when it goes out of scope.
struct CountAllocations {
    explicit CountAllocations(int failAt = -1) {
        g_allocations = AllocationCounter();
        g_allocations.failAt = failAt;
        g_allocations.active = true;
    }
    ~CountAllocations() { g_allocations.active = false; }
    int Count() const { return g_allocations.count; }
};
