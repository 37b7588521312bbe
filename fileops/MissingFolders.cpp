#include "fileops/MissingFolders.h"

#include "PlatformNames.h"
#include "plugin/BoundedText.h"

namespace {

// Runs `action` on `path` cut short at `cut`, and mends the cut again.
template <typename Action> auto AtCut(char* path, size_t cut, Action action) {
    char kept = path[cut];
    path[cut] = '\0';
    auto result = action(path);
    path[cut] = kept;
    return result;
}

// How many of the first `cutCount` cuts of `path` name folders that exist,
// asked from the deepest up. The answer for a missing name says whether the
// folder above it exists ("file not found") or not ("path not found"), which
// spares asking for that folder.
size_t ExistingFolders(char* path, const size_t* cuts, size_t cutCount) {
    size_t existing = cutCount;
    while (existing > 0) {
        DWORD attributes = AtCut(path, cuts[existing - 1], GetFileAttributesA);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                break;
            }
            --existing; // a file where a folder belongs
            continue;
        }
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return existing - 1;
        }
        existing -= error == ERROR_PATH_NOT_FOUND && existing >= 2 ? 2 : 1;
    }
    return existing;
}

} // namespace

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
    if (existing == 0 || existing == cutCount) {
        return false; // nothing beneath exists, or nothing is missing
    }
    for (size_t i = existing; i < cutCount; ++i) {
        if (!AtCut(path, cuts[i],
                   [](const char* folder) { return CreateDirectoryA(folder, nullptr) != FALSE; })) {
            RemoveCreatedFolders(*created);
            created->count = 0;
            return false;
        }
        created->cuts[created->count++] = cuts[i];
    }
    return true;
}

void RemoveCreatedFolders(const CreatedFolders& created) {
    char path[sizeof created.path];
    CopyBounded(path, sizeof path, created.path);
    for (size_t i = created.count; i > 0; --i) {
        AtCut(path, created.cuts[i - 1],
              [](const char* folder) { return RemoveDirectoryA(folder) != FALSE; });
    }
}
