// Running counts of the listing, shown by the host's progress display. They are
// process-wide as the host expects; relaxed atomics keep a listing that the host
// runs from its transfer thread beside the panel's listing from tearing them.
#pragma once

#include <atomic>
#include <cstdint>

struct ListingStats {
    std::atomic<uint32_t> files;
    std::atomic<int32_t> directories;

    uint32_t Files() const { return files.load(std::memory_order_relaxed); }
    int32_t Directories() const { return directories.load(std::memory_order_relaxed); }
    void CountFile() { files.fetch_add(1, std::memory_order_relaxed); }
    void CountDirectory() { directories.fetch_add(1, std::memory_order_relaxed); }
    void Reset() {
        files.store(0, std::memory_order_relaxed);
        directories.store(0, std::memory_order_relaxed);
    }
};

extern ListingStats g_listingStats;
