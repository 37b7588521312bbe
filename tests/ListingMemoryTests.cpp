// What one listing allocates, and what happens when memory runs out. The
// plugin's code is linked in directly so that its allocations can be counted.
#include <cstring>

#include "host/AllocationCounter.h"
#include "TestSupport.h"

#ifndef _WIN32
#include "StandInControl.h"
#endif

namespace {

struct Listed {
    int entries = 0;
    bool opened = false;
};

Listed ListDirectly(const std::string& remote) {
    Listed listed;
    NameBuffer path(remote);
    WIN32_FIND_DATAA record;
    HANDLE search = FsFindFirst(path.text, &record);
    if (search == INVALID_HANDLE_VALUE) {
        return listed;
    }
    listed.opened = true;
    do {
        ++listed.entries;
    } while (FsFindNext(search, &record));
    FsFindClose(search);
    return listed;
}

int StillOpen() {
#ifdef _WIN32
    return 0;
#else
    return StandInOpenEnumerations();
#endif
}

} // namespace

TEST(ListingMemory, OneStateAndOneNodePerNewDepth) {
    ScratchDir scratch;
    // 3 x 4 x 250 files at depth 2, beside a chain four levels deep.
    for (const char* top : {"a", "b", "c"}) {
        for (const char* middle : {"w", "x", "y", "z"}) {
            for (int i = 0; i < 250; ++i) {
                scratch.MakeFile(std::string(top) + "/" + middle + "/f" + std::to_string(i));
            }
        }
    }
    scratch.MakeFile("d/1/2/3/deepest");
    FsInit(1, nullptr, nullptr, nullptr);
    CountAllocations counter;
    Listed listed = ListDirectly(Remote(scratch.Path()));
    EXPECT_EQ(listed.entries, 3000 + 3 * 4 + 3 + 5);
    EXPECT_EQ(counter.Count(), 1 + 4) << "one SearchState, one node for each of 4 depths";
}

TEST(ListingMemory, ADeepTreeStillTakesOneStateAndOneNodePerDepth) {
    // Forty levels of 30 characters: paths past 1,200 characters, whose
    // deeper names do not fit the record. No level copies a path.
    ScratchDir scratch;
    std::string chain;
    for (int level = 0; level < 40; ++level) {
        chain += std::string(29, 'n') + static_cast<char>('A' + level % 26) + "/";
    }
    scratch.MakeFile(chain + "deepest", 3);
    scratch.MakeFile("top", 1);
    FsInit(1, nullptr, nullptr, nullptr);
    CountAllocations counter;
    Listed listed = ListDirectly(Remote(scratch.Path()));
    EXPECT_EQ(listed.entries, 1 + 8) << "top and the eight folders whose names fit";
    EXPECT_EQ(counter.Count(), 1 + 40) << "one SearchState, one node for each of 40 depths";
}

TEST(ListingMemory, RunningOutOfMemoryRefusesOrEndsTheListingCleanly) {
    ScratchDir scratch;
    scratch.MakeFile("top.txt");
    scratch.MakeFile("a/b/deep.txt");
    FsInit(1, nullptr, nullptr, nullptr);
    int before = StillOpen();
    {
        CountAllocations noState(0);
        EXPECT_FALSE(ListDirectly(Remote(scratch.Path())).opened);
    }
    {
        // The first entry needs two descents; the first node is refused.
        CountAllocations noNode(1);
        EXPECT_FALSE(ListDirectly(Remote(scratch.Path())).opened);
    }
    {
        // The second node is refused after a first entry was returned: the
        // listing ends there, and close releases everything.
        CountAllocations noDeeperNode(2);
        Listed listed = ListDirectly(Remote(scratch.Path()));
        EXPECT_FALSE(listed.opened) << "a/b/deep.txt comes first and needs two nodes";
    }
    ScratchDir other;
    other.MakeFile("a/one.txt");
    other.MakeFile("b/c/two.txt");
    {
        CountAllocations noDeeperNode(2);
        Listed listed = ListDirectly(Remote(other.Path()));
        EXPECT_TRUE(listed.opened);
        EXPECT_EQ(listed.entries, 2) << "a/one.txt and a./, then the descent into b/c fails";
    }
    EXPECT_EQ(StillOpen(), before);
}
