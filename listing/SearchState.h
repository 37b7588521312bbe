// One listing: its root, the open enumeration of the directory being walked,
// the suspended enumerations of its ancestors and the running size total.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "listing/DirStack.h"

// Appended to a directory to enumerate every name in it, dotless ones included.
inline constexpr char kAllNamesPattern[] = "\\*.*";
inline constexpr size_t kAllNamesPatternLength = sizeof kAllNamesPattern - 1;

struct SearchState {
    char rootDirectory[MAX_PATH];
    HANDLE enumeration; // INVALID_HANDLE_VALUE when none is open
    DirStack stack;
    char currentDirectory[MAX_PATH];
    // Sum of the sizes of the entries returned so far from the current
    // directory. Kept per listing so that two listings never mix their sizes.
    uint64_t runningTotal;
    size_t rootLength;
    size_t currentLength;
};

// Creates the state for listing `localPath`; null when memory is short or the
// path does not fit.
SearchState* CreateSearchState(const char* localPath);
// Closes every enumeration of the listing and releases it with its stack.
void DestroySearchState(SearchState* state);

// Writes the next entry of the flat listing into `record`. Returns FALSE when
// the listing has ended or cannot go on.
BOOL WalkStep(SearchState* state, WIN32_FIND_DATAA* record);
