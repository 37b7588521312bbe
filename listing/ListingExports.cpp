// FsFindFirst, FsFindNext and FsFindClose: the host's view of a listing.
#include <cstdio>
#include <cstring>

#include "listing/SearchState.h"
#include "plugin/PluginContext.h"
#include "plugin/RemoteName.h"

namespace {

const uint32_t kProgressInterval = 1000;

SearchState* StateOf(HANDLE search) {
    if (search == nullptr || search == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return static_cast<SearchState*>(search);
}

// Consults the host every thousand files, so a long listing costs one
// callback per thousand entries and can still be aborted.
bool ListingAborted(const ListingStats& stats) {
    uint32_t files = stats.files;
    if (files % kProgressInterval != 0) {
        return false;
    }
    char dirsText[32];
    char filesText[32];
    std::snprintf(dirsText, sizeof dirsText, "Dirs: %d", static_cast<int>(stats.directories));
    std::snprintf(filesText, sizeof filesText, "Files: %d", static_cast<int>(files));
    return UserAborted(dirsText, filesText, 0);
}

} // namespace

extern "C" {

HANDLE WINAPI FsFindFirst(char* path, WIN32_FIND_DATAA* record) {
    if (record == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    std::memset(record, 0, sizeof *record);
    if (path == nullptr || path[0] == '\0' || IsPluginRoot(path)) {
        return INVALID_HANDLE_VALUE; // the plugin's root lists nothing
    }
    // The directory's path, a separator and the mask must fit in the pattern.
    char rootPath[MAX_PATH];
    DWORD error = GetLastError();
    bool fits = WalkRootOf(path, rootPath, sizeof rootPath - 1 - (sizeof kAllNamesMask - 1));
    SetLastError(error); // refused before any platform call: the last error stays
    if (!fits) {
        return INVALID_HANDLE_VALUE;
    }
    SearchState* state = CreateSearchState(rootPath);
    if (state == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    if (!WalkStep(state, record)) {
        DestroySearchState(state);
        return INVALID_HANDLE_VALUE;
    }
    return state;
}

BOOL WINAPI FsFindNext(HANDLE search, WIN32_FIND_DATAA* record) {
    SearchState* state = StateOf(search);
    if (state == nullptr || record == nullptr) {
        return FALSE;
    }
    if (state->enumeration == INVALID_HANDLE_VALUE) {
        return FALSE; // the walk has ended
    }
    if (ListingAborted(state->stats)) {
        return FALSE;
    }
    return HostBool(WalkStep(state, record) != FALSE);
}

int WINAPI FsFindClose(HANDLE search) {
    SearchState* state = StateOf(search);
    if (state == nullptr) {
        return 0;
    }
    DestroySearchState(state);
    return 0;
}

} // extern "C"
