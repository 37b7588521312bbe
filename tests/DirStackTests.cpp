#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "host/AllocationCounter.h"
#include "listing/DirStack.h"

namespace {

HANDLE Handle(int n) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(n));
}

WIN32_FIND_DATAA Record(const char* name, DWORD size) {
    WIN32_FIND_DATAA record;
    std::memset(&record, 0, sizeof record);
    std::strcpy(record.cFileName, name);
    record.nFileSizeLow = size;
    return record;
}

int ChainLength(const DirStack& stack) {
    int nodes = 0;
    for (DirStackNode* node = stack.head; node != nullptr; node = node->next) {
        ++nodes;
    }
    return nodes;
}

struct Popped {
    size_t directoryLength;
    HANDLE enumeration;
    WIN32_FIND_DATAA record;
    uint64_t total;
};

bool Pop(DirStack& stack, Popped* out) {
    return stack.Pop(&out->directoryLength, &out->enumeration, &out->record, &out->total);
}

class DirStackTest : public ::testing::Test {
  protected:
    void SetUp() override { stack.Clear(); }
    void TearDown() override { stack.Free(); }
    // Each entry is told apart by its record's name; the saved length is the
    // handle's number times ten.
    void Push(const char* name, int handle, uint64_t total) {
        ASSERT_TRUE(stack.Push(static_cast<size_t>(handle) * 10, Handle(handle),
                               Record(name, handle), total));
    }
    DirStack stack;
};

} // namespace

TEST_F(DirStackTest, PopOnANewStackReportsFalseAndFreeReleasesNothing) {
    Popped out;
    EXPECT_FALSE(Pop(stack, &out));
    CountAllocations counter;
    stack.Free();
    EXPECT_EQ(stack.head, nullptr);
    EXPECT_EQ(counter.Count(), 0);
}

TEST_F(DirStackTest, PopsInReverseOrderWithFullCopies) {
    // The walker keeps one path and extends it; a node holds the length of
    // its parent's path within it, which survives any later extension.
    WIN32_FIND_DATAA record = Record("a", 1);
    ASSERT_TRUE(stack.Push(7, Handle(11), record, 0x100000000ull));
    std::strcpy(record.cFileName, "overwritten");
    Push("b", 22, 5);

    Popped out;
    ASSERT_TRUE(Pop(stack, &out));
    EXPECT_EQ(out.directoryLength, 220u);
    EXPECT_STREQ(out.record.cFileName, "b");
    EXPECT_EQ(out.enumeration, Handle(22));
    EXPECT_EQ(out.total, 5u);
    ASSERT_TRUE(Pop(stack, &out));
    EXPECT_EQ(out.directoryLength, 7u);
    EXPECT_STREQ(out.record.cFileName, "a") << "the stack keeps its own copy of the record";
    EXPECT_EQ(out.enumeration, Handle(11));
    EXPECT_EQ(out.total, 0x100000000ull);
    EXPECT_FALSE(Pop(stack, &out));
}

TEST_F(DirStackTest, NodesAreReusedByDepth) {
    CountAllocations counter;
    Push("A", 1, 0);
    Push("B", 2, 0);
    Popped out;
    ASSERT_TRUE(Pop(stack, &out));
    EXPECT_STREQ(out.record.cFileName, "B");
    ASSERT_TRUE(Pop(stack, &out));
    EXPECT_STREQ(out.record.cFileName, "A");
    EXPECT_FALSE(Pop(stack, &out));
    EXPECT_EQ(counter.Count(), 2);

    Push("C", 3, 0);
    Push("D", 4, 0);
    EXPECT_EQ(counter.Count(), 2) << "C and D reuse both nodes";
    ASSERT_TRUE(Pop(stack, &out));
    EXPECT_STREQ(out.record.cFileName, "D");
    ASSERT_TRUE(Pop(stack, &out));
    EXPECT_STREQ(out.record.cFileName, "C");
    EXPECT_EQ(ChainLength(stack), 2);
}

TEST_F(DirStackTest, OnlyAGreaterDepthAllocates) {
    CountAllocations counter;
    Push("A", 1, 0);
    Popped out;
    ASSERT_TRUE(Pop(stack, &out));
    Push("B", 2, 0);
    Push("C", 3, 0);
    EXPECT_EQ(counter.Count(), 2) << "B reuses A's node, only C allocates";
    EXPECT_EQ(ChainLength(stack), 2);
    EXPECT_EQ(stack.tail->prev, stack.head);
}

TEST_F(DirStackTest, ForEachOnStackVisitsOnlyEntriesFromTheTop) {
    Push("A", 1, 0);
    Push("B", 2, 0);
    Push("C", 3, 0);
    Popped out;
    ASSERT_TRUE(Pop(stack, &out)); // C's node is free now
    std::vector<HANDLE> visited;
    stack.ForEachOnStack([&](HANDLE enumeration) { visited.push_back(enumeration); });
    EXPECT_EQ(visited, (std::vector<HANDLE>{Handle(2), Handle(1)}));
}

TEST_F(DirStackTest, AFailedAllocationLeavesTheStackAsItWas) {
    Push("A", 1, 0);
    CountAllocations counter(0);
    EXPECT_FALSE(stack.Push(20, Handle(2), Record("B", 0), 0));
    Popped out;
    ASSERT_TRUE(Pop(stack, &out));
    EXPECT_STREQ(out.record.cFileName, "A");
    EXPECT_FALSE(Pop(stack, &out));
}
