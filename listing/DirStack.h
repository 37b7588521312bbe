// The suspended enumerations of the ancestors of the directory being walked,
// one node per level. The chain grows to the deepest level a listing reaches
// and is then reused level by level, so a walk allocates only when it goes
// deeper than before; every node is released together by Free.
#pragma once

#include <windows.h>

#include <cstdint>

struct DirStackNode {
    DirStackNode* prev;
    HANDLE savedEnumeration;
    WIN32_FIND_DATAA savedRecord;
    // Length of the parent directory's path: the parent's path is a prefix of
    // every path below it, so no copy of a path is kept.
    size_t savedDirectoryLength;
    uint64_t savedTotal;
    DirStackNode* next;
};

struct DirStack {
    DirStackNode* head;
    DirStackNode* cursor; // first free node; null when every node is in use
    DirStackNode* tail;

    void Clear();
    // Returns false, leaving the stack unchanged, when no node can be allocated.
    bool Push(size_t directoryLength, HANDLE enumeration, const WIN32_FIND_DATAA& record,
              uint64_t total);
    bool Pop(size_t* directoryLength, HANDLE* enumeration, WIN32_FIND_DATAA* record,
             uint64_t* total);
    // Visits the entries on the stack from the top down; free nodes are skipped.
    template <typename Action> void ForEachOnStack(Action action) const {
        for (DirStackNode* node = Top(); node != nullptr; node = node->prev) {
            action(node->savedEnumeration);
        }
    }
    void Free();

  private:
    DirStackNode* Top() const { return cursor != nullptr ? cursor->prev : tail; }
};
