// Walks a directory tree into one flat sequence of entries, one per WalkStep:
// files under their relative names ("a/b/report.txt"), and each subdirectory
// after its contents as "a/b./" carrying the total size of the files beneath
// it. The walk is depth first and allocates only a stack node per new depth.
#include <cstring>
#include <new>

#include "PlatformNames.h"
#include "base/BoundedText.h"
#include "base/EntryKind.h"
#include "base/Sizes.h"
#include "listing/SearchState.h"

namespace {

bool IsDotName(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

uint64_t SizeOf(const WIN32_FIND_DATAA& record) {
    return (static_cast<uint64_t>(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
}

// Appends the platform separator (unless the path ends in one) and `name` to
// the walk path. Leaves the path as it was when the result would not fit.
bool JoinPath(char* path, size_t* length, const char* name) {
    size_t used = *length;
    if (!EndsWithSeparator(path, used)) {
        if (!AppendBounded(path, kWalkPathCapacity, used, &kPathSeparator, 1)) {
            return false;
        }
        ++used;
    }
    size_t nameLength = std::strlen(name);
    if (!AppendBounded(path, kWalkPathCapacity, used, name, nameLength)) {
        path[*length] = '\0';
        return false;
    }
    *length = used + nameLength;
    return true;
}

void CloseEnumeration(SearchState* state) {
    FindClose(state->enumeration);
    state->enumeration = INVALID_HANDLE_VALUE;
}

bool NextOrClose(SearchState* state, WIN32_FIND_DATAA* record) {
    if (FindNextExact(state->enumeration, state->currentDirectory, state->literalWalk, record)) {
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
        // The pattern is built on the current directory itself and taken off
        // again: no copy of a path that may have thousands of characters.
        size_t length = state->currentLength;
        if (!JoinPath(state->currentDirectory, &length, kAllNamesMask)) {
            return false;
        }
        state->enumeration = FindFirstExact(state->currentDirectory, state->literalWalk, record);
        state->currentDirectory[state->currentLength] = '\0';
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

// Prefixes `name` with the current directory's relative path ("a/b/").
// Returns false, leaving the name unchanged, when it would not fit.
bool MakeRelative(const SearchState* state, char* name) {
    size_t prefixLength = state->relativeLength;
    if (prefixLength == 0) {
        return true;
    }
    size_t nameLength = std::strlen(name);
    if (prefixLength >= MAX_PATH || nameLength >= MAX_PATH - prefixLength) {
        return false; // the prefix is held only while it fits, and then whole
    }
    std::memmove(name + prefixLength, name, nameLength + 1);
    std::memcpy(name, state->relativeDirectory, prefixLength);
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

// Takes the finished directory `name` off the relative path: "a/b/" becomes
// "a/". Its text is held from the descent, when its length was below it.
void LeaveRelativeDirectory(SearchState* state, const char* name) {
    state->relativeLength -= std::strlen(name) + 1;
    if (state->relativeLength < MAX_PATH) {
        state->relativeDirectory[state->relativeLength] = '\0';
    }
}

// Adds the entered directory `name` to the relative path. Past the record's
// 259 characters only the length grows: nothing below could be listed.
void EnterRelativeDirectory(SearchState* state, const char* name, size_t nameLength) {
    size_t length = state->relativeLength;
    if (length < MAX_PATH && nameLength + 1 < MAX_PATH - length) {
        char* end = state->relativeDirectory + length;
        std::memcpy(end, name, nameLength);
        end[nameLength] = '/';
        end[nameLength + 1] = '\0';
    }
    state->relativeLength = length + nameLength + 1;
}

enum class Descent { Entered, Unreachable, NoMemory };

// Suspends the current enumeration on the stack and makes the subdirectory in
// `record` the current directory. A subdirectory whose path does not fit the
// walk's buffer, or could not stay exact, is unreachable. One whose relative
// name is too long for the record is still entered, so that its contents
// count in every total above it.
Descent Descend(SearchState* state, const WIN32_FIND_DATAA& record) {
    const char* name = record.cFileName;
    size_t nameLength = std::strlen(name);
    size_t separator = EndsWithSeparator(state->currentDirectory, state->currentLength) ? 0 : 1;
    if ((!state->literalWalk && !NameMeansItself(name)) ||
        state->currentLength + separator + nameLength >= kWalkPathCapacity) {
        return Descent::Unreachable;
    }
    if (!state->stack.Push(state->currentLength, state->enumeration, record,
                           state->stats.runningTotal)) {
        return Descent::NoMemory;
    }
    state->enumeration = INVALID_HANDLE_VALUE;
    state->stats.runningTotal = 0;
    JoinPath(state->currentDirectory, &state->currentLength, name); // fits, as checked
    EnterRelativeDirectory(state, name, nameLength);
    return Descent::Entered;
}

// Returns to the parent of the finished current directory and produces the
// finished directory's entry. Returns false when the root itself is finished.
bool Ascend(SearchState* state, WIN32_FIND_DATAA* record, bool* produced) {
    uint64_t finishedSize = state->stats.runningTotal;
    if (!state->stack.Pop(&state->currentLength, &state->enumeration, record,
                          &state->stats.runningTotal)) {
        return false;
    }
    state->currentDirectory[state->currentLength] = '\0';
    LeaveRelativeDirectory(state, record->cFileName);
    state->stats.runningTotal = AddSize(state->stats.runningTotal, finishedSize);
    *produced = MakeDirectoryEntry(state, record, finishedSize);
    return true;
}

} // namespace

bool IsFileEntry(const WIN32_FIND_DATAA& record) {
    return IsFileKind(record.dwFileAttributes, record.dwReserved0);
}

SearchState* CreateSearchState(const char* rootPath) {
    SearchState* state = new (std::nothrow) SearchState;
    if (state == nullptr) {
        return nullptr;
    }
    if (!CopyBounded(state->rootDirectory, sizeof state->rootDirectory, rootPath)) {
        delete state;
        return nullptr;
    }
    state->currentLength = std::strlen(state->rootDirectory);
    std::memcpy(state->currentDirectory, state->rootDirectory, state->currentLength + 1);
    state->relativeDirectory[0] = '\0';
    state->relativeLength = 0;
    state->literalWalk = WalksLiterally(state->rootDirectory);
    state->enumeration = INVALID_HANDLE_VALUE;
    state->stack.Clear();
    state->stats = ListingStats{};
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
                ++state->stats.directories;
                return TRUE;
            }
            continue;
        }
        if (IsUnnamedEntry(*record)) {
            // Nothing could name it to the host, but its bytes are beneath
            // every directory above it.
            state->stats.runningTotal = AddSize(state->stats.runningTotal, SizeOf(*record));
            continue;
        }
        if (IsFileEntry(*record)) {
            state->stats.runningTotal = AddSize(state->stats.runningTotal, SizeOf(*record));
            if (MakeRelative(state, record->cFileName)) {
                ++state->stats.files;
                return TRUE;
            }
            continue;
        }
        switch (Descend(state, *record)) {
        case Descent::Entered:
            continue;
        case Descent::Unreachable:
            // Like a directory that cannot be opened: shown empty, not entered.
            if (MakeDirectoryEntry(state, record, 0)) {
                ++state->stats.directories;
                return TRUE;
            }
            continue;
        case Descent::NoMemory:
            return FALSE;
        }
    }
}
