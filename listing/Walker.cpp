// Walks a directory tree into one flat sequence of entries, one per WalkStep:
// files under their relative names ("a/b/report.txt"), and each subdirectory
// after its contents as "a/b./" carrying the total size of the files beneath
// it. The walk is depth first and allocates only a stack node per new depth.
#include <cstring>
#include <new>

#include "listing/ListingStats.h"
#include "listing/SearchState.h"
#include "plugin/BoundedText.h"

ListingStats g_listingStats;

namespace {

bool IsDotName(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Junctions and directory links are listed as files and never followed, so a
// link cannot lead the walk in circles or out of the listed tree.
bool IsFileEntry(const WIN32_FIND_DATAA& record) {
    return (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
           (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

uint64_t SizeOf(const WIN32_FIND_DATAA& record) {
    return (static_cast<uint64_t>(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
}

void CloseEnumeration(SearchState* state) {
    FindClose(state->enumeration);
    state->enumeration = INVALID_HANDLE_VALUE;
}

bool NextOrClose(SearchState* state, WIN32_FIND_DATAA* record) {
    if (FindNextFileA(state->enumeration, record)) {
        return true;
    }
    CloseEnumeration(state);
    return false;
}

// Moves the current directory's enumeration to its next name other than "."
// and "..". Returns false when the directory is finished. A directory that
// cannot be opened, or whose pattern does not fit, counts as empty.
bool AdvanceEnumeration(SearchState* state, WIN32_FIND_DATAA* record) {
    if (state->enumeration == INVALID_HANDLE_VALUE) {
        char pattern[MAX_PATH];
        std::memcpy(pattern, state->currentDirectory, state->currentLength + 1);
        if (!AppendBounded(pattern, sizeof pattern, state->currentLength, kAllNamesPattern,
                           kAllNamesPatternLength)) {
            return false;
        }
        state->enumeration = FindFirstFileA(pattern, record);
    } else if (!NextOrClose(state, record)) {
        return false;
    }
    while (state->enumeration != INVALID_HANDLE_VALUE && IsDotName(record->cFileName)) {
        if (!NextOrClose(state, record)) {
            return false;
        }
    }
    return state->enumeration != INVALID_HANDLE_VALUE;
}

// Prefixes `name` with the current directory's path below the root, with "/"
// as separator. Returns false, leaving the name unchanged, when it would not
// fit in the record.
bool MakeRelative(const SearchState* state, char* name) {
    size_t prefixLength = state->currentLength - state->rootLength; // "\a\b"
    if (prefixLength == 0) {
        return true;
    }
    size_t nameLength = std::strlen(name);
    size_t relativeLength = prefixLength + nameLength; // "a\b" + "\" + name
    if (relativeLength >= MAX_PATH) {
        return false;
    }
    std::memmove(name + prefixLength, name, nameLength + 1);
    std::memcpy(name, state->currentDirectory + state->rootLength + 1, prefixLength - 1);
    name[prefixLength - 1] = '\\';
    for (char* c = name; *c != '\0'; ++c) {
        if (*c == '\\') {
            *c = '/';
        }
    }
    return true;
}

// Turns the parent's record of a subdirectory into that subdirectory's entry.
bool MakeDirectoryEntry(const SearchState* state, WIN32_FIND_DATAA* record, uint64_t size) {
    static const char kDirectorySuffix[] = "./";
    record->dwFileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
    record->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    record->nFileSizeLow = static_cast<DWORD>(size);
    return AppendBounded(record->cFileName, sizeof record->cFileName,
                         std::strlen(record->cFileName), kDirectorySuffix,
                         sizeof kDirectorySuffix - 1) &&
           MakeRelative(state, record->cFileName);
}

enum class Descent { Entered, TooLong, NoMemory };

// Suspends the current enumeration on the stack and makes the subdirectory in
// `record` the current directory.
Descent Descend(SearchState* state, const WIN32_FIND_DATAA& record) {
    size_t nameLength = std::strlen(record.cFileName);
    if (state->currentLength + 1 + nameLength >= MAX_PATH) {
        return Descent::TooLong;
    }
    if (!state->stack.Push(state->currentDirectory, state->enumeration, record,
                           state->runningTotal)) {
        return Descent::NoMemory;
    }
    state->enumeration = INVALID_HANDLE_VALUE;
    state->runningTotal = 0;
    char* end = state->currentDirectory + state->currentLength;
    end[0] = '\\';
    std::memcpy(end + 1, record.cFileName, nameLength + 1);
    state->currentLength += 1 + nameLength;
    return Descent::Entered;
}

// Returns to the parent of the finished current directory and produces the
// finished directory's entry. Returns false when the root itself is finished.
bool Ascend(SearchState* state, WIN32_FIND_DATAA* record, bool* produced) {
    uint64_t finishedSize = state->runningTotal;
    if (!state->stack.Pop(state->currentDirectory, &state->enumeration, record,
                          &state->runningTotal)) {
        return false;
    }
    state->currentLength = std::strlen(state->currentDirectory);
    state->runningTotal += finishedSize;
    *produced = MakeDirectoryEntry(state, record, finishedSize);
    return true;
}

} // namespace

SearchState* CreateSearchState(const char* localPath) {
    SearchState* state = new (std::nothrow) SearchState;
    if (state == nullptr) {
        return nullptr;
    }
    if (!CopyBounded(state->rootDirectory, sizeof state->rootDirectory, localPath)) {
        delete state;
        return nullptr;
    }
    std::memcpy(state->currentDirectory, state->rootDirectory, sizeof state->rootDirectory);
    state->enumeration = INVALID_HANDLE_VALUE;
    state->stack.Clear();
    state->runningTotal = 0;
    state->rootLength = std::strlen(state->rootDirectory);
    state->currentLength = state->rootLength;
    return state;
}

void DestroySearchState(SearchState* state) {
    if (state->enumeration != INVALID_HANDLE_VALUE) {
        FindClose(state->enumeration);
    }
    state->stack.ForEachOnStack([](HANDLE enumeration) { FindClose(enumeration); });
    state->stack.Free();
    delete state;
}

// Names that do not fit in the record (a deep node_modules, say) are skipped
// rather than ending the listing, so one of them never hides every entry after
// it; their sizes still count in the directories above them.
BOOL WalkStep(SearchState* state, WIN32_FIND_DATAA* record) {
    for (;;) {
        if (!AdvanceEnumeration(state, record)) {
            bool produced = false;
            if (!Ascend(state, record, &produced)) {
                return FALSE;
            }
            if (produced) {
                g_listingStats.CountDirectory();
                return TRUE;
            }
            continue;
        }
        if (IsFileEntry(*record)) {
            state->runningTotal += SizeOf(*record);
            if (MakeRelative(state, record->cFileName)) {
                g_listingStats.CountFile();
                return TRUE;
            }
            continue;
        }
        switch (Descend(state, *record)) {
        case Descent::Entered:
            continue;
        case Descent::TooLong:
            // Like a directory that cannot be opened: shown empty, not entered.
            if (MakeDirectoryEntry(state, record, 0)) {
                g_listingStats.CountDirectory();
                return TRUE;
            }
            continue;
        case Descent::NoMemory:
            return FALSE;
        }
    }
}
