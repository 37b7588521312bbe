#include "fileops/MissingFolders.h"

#include "PlatformNames.h"
#include "base/BoundedText.h"

namespace {

// Runs `action` on `path` cut short at `cut`, and mends the cut again.
template <typename Action> auto AtCut(char* path, size_t cut, Action action) {
    char kept = path[cut];
    path[cut] = '\0';
    auto result = action(path);
    path[cut] = kept;
    return result;
}

// How many of the first `cutCount` cuts of `path` name folders that exist. A
// folder that exists has every folder above it, so the deepest one is found
// by halving: a few questions even for a target a hundred folders deep.
size_t ExistingFolders(char* path, const size_t* cuts, size_t cutCount) {
    size_t known = 0;          // cuts [0, known) name folders
    size_t unknown = cutCount; // cuts [unknown, cutCount) do not
    while (known < unknown) {
        size_t middle = known + (unknown - known + 1) / 2;
        if (AtCut(path, cuts[middle - 1], IsDirectory)) {
            known = middle;
        } else {
            unknown = middle - 1;
        }
    }
    return known;
}

} // namespace

bool IsDirectory(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateMissingFolders(const char* target, CreatedFolders* created) {
    created->count = 0;
    if (!CopyBounded(created->path, sizeof created->path, target)) {
        return false;
    }
    char* path = created->path;
    // Separators found character by character: the second byte of a
    // double-byte character may look like "\".
    size_t cuts[sizeof created->cuts / sizeof created->cuts[0]];
    size_t cutCount = 0;
    for (const char* c = path; *c != '\0'; c = NextCharacter(c)) {
        if (IsPathSeparator(*c) && c != path && cutCount < sizeof cuts / sizeof cuts[0]) {
            cuts[cutCount++] = static_cast<size_t>(c - path);
        }
    }
    size_t existing = ExistingFolders(path, cuts, cutCount);
    if (existing == 0) {
        return false; // nothing beneath exists
    }
    for (size_t i = existing; i < cutCount; ++i) {
        bool made = false;
        if (!AtCut(path, cuts[i],
                   [&made](const char* folder) { return EnsureFolder(folder, &made); })) {
            DWORD error = GetLastError();
            RemoveCreatedFolders(*created);
            created->count = 0;
            SetLastError(error);
            return false;
        }
        if (made) {
            created->cuts[created->count++] = cuts[i];
        }
    }
    return true;
}

bool EnsureFolder(const char* folder, bool* created) {
    *created = CreateDirectoryA(folder, nullptr) != FALSE;
    if (*created) {
        return true;
    }
    DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
        return false;
    }
    if (IsDirectory(folder)) {
        return true;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
}

void RemoveCreatedFolders(const CreatedFolders& created) {
    char path[sizeof created.path];
    CopyBounded(path, sizeof path, created.path);
    for (size_t i = created.count; i > 0; --i) {
        AtCut(path, created.cuts[i - 1],
              [](const char* folder) { return RemoveDirectoryA(folder) != FALSE; });
    }
}
