// One listing: its root, the open enumeration of the directory being walked,
// the suspended enumerations of its ancestors and its counts.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "listing/DirStack.h"
#include "listing/ListingStats.h"

// Room for the path of the directory being walked, its separator and the
// all-names mask: the longest path Windows enumerates in its literal form has
// 32,767 characters. Held inside the SearchState, so that a walk of any depth
// still allocates only the state and a stack node per new depth.
inline constexpr size_t kWalkPathCapacity = 32768;

struct SearchState {
    char rootDirectory[MAX_PATH]; // the platform's exact path of the listed directory
    HANDLE enumeration;           // INVALID_HANDLE_VALUE when none is open
    DirStack stack;
    // The directory being walked; each ancestor's path is a prefix of it, so
    // the stack keeps only their lengths.
    char currentDirectory[kWalkPathCapacity];
    size_t currentLength;
    // The current directory below the root as the listing names it: "a/b/",
    // or empty at the root's own level. Kept apart from the platform path so
    // that names are joined from the bytes the platform gave, never rewritten.
    // relativeLength counts every level, also past the record's 259
    // characters; the text is held only while it fits, since nothing below a
    // relative path that long can be listed.
    char relativeDirectory[MAX_PATH];
    size_t relativeLength;
    // Whether the platform takes the walk's paths literally, so that every
    // listed name joins exactly; decided once, from the root.
    bool literalWalk;
    ListingStats stats;
};

// Creates the state for listing the exact platform path `rootPath`; null when
// memory is short or the path does not fit.
SearchState* CreateSearchState(const char* rootPath);
// Closes every enumeration of the listing and releases it with its stack.
void DestroySearchState(SearchState* state);

// Writes the next entry of the flat listing into `record`. Returns FALSE when
// the listing has ended or cannot go on.
BOOL WalkStep(SearchState* state, WIN32_FIND_DATAA* record);

// True for a name the walker lists as a file (see IsFileKind).
bool IsFileEntry(const WIN32_FIND_DATAA& record);
