#include "plugin/RemoteName.h"

#include <cstring>

namespace {

// Whether the `length` characters of `name` end in a directory entry's "./".
bool EndsAsDirectoryEntry(const char* name, size_t length) {
    return length >= 3 && name[length - 1] == '/' && name[length - 2] == '.';
}

// The host's local path of `remoteName` with the platform's separators; a
// directory entry ("b./", or "x../" for a directory named "x.") names its
// directory. "/" is never the second byte of a double-byte character, so
// each one found is a separator.
bool MapEntryName(const char* remoteName, char* path, size_t capacity) {
    const char* local = HostPathOf(remoteName);
    size_t length = std::strlen(local);
    if (EndsAsDirectoryEntry(local, length)) {
        length -= 2;
    }
    if (length >= capacity) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        path[i] = local[i] == '/' ? kPathSeparator : local[i];
    }
    path[length] = '\0';
    return true;
}

// The platform's form (`form`) of the local path of `remoteName`.
bool PathOf(const char* remoteName, char* path, size_t capacity,
            bool (*form)(const char*, char*, size_t)) {
    char local[MAX_PATH];
    return remoteName != nullptr && MapEntryName(remoteName, local, sizeof local) &&
           form(local, path, capacity);
}

} // namespace

bool PlatformPathOf(const char* remoteName, char* path, size_t capacity) {
    return PathOf(remoteName, path, capacity, ToExactPath);
}

bool WalkRootOf(const char* remoteName, char* path, size_t capacity) {
    return PathOf(remoteName, path, capacity, ToWalkPath);
}

bool HostLocalPathOf(const char* remoteName, char* path, size_t capacity) {
    return PathOf(remoteName, path, capacity, ToOrdinaryPath);
}

bool IsDirectoryEntryName(const char* remoteName) {
    return remoteName != nullptr && EndsAsDirectoryEntry(remoteName, std::strlen(remoteName));
}

bool IsOperableRemoteName(const char* remoteName) {
    return remoteName != nullptr && std::strlen(remoteName) >= kShortestOperableName;
}

bool IsPluginRoot(const char* remoteName) {
    return std::strcmp(remoteName, kPluginRootName) == 0;
}
