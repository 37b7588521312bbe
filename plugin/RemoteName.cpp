#include "plugin/RemoteName.h"

#include <cstring>

#include "plugin/BoundedText.h"

namespace {

// The host's local path of `remoteName` with the platform's separators; a
// directory entry ("b./", or "x../" for a directory named "x.") names its
// directory. "/" is never the second byte of a double-byte character, so
// each one found is a separator.
bool MapEntryName(const char* remoteName, char* path, size_t capacity) {
    const char* local = HostPathOf(remoteName);
    size_t length = std::strlen(local);
    if (length >= 3 && local[length - 1] == '/' && local[length - 2] == '.') {
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

} // namespace

bool PlatformPathOf(const char* remoteName, char* path, size_t capacity) {
    char local[MAX_PATH];
    return remoteName != nullptr && MapEntryName(remoteName, local, sizeof local) &&
           ToExactPath(local, path, capacity);
}

bool WalkRootOf(const char* remoteName, char* path, size_t capacity) {
    char local[MAX_PATH];
    return remoteName != nullptr && MapEntryName(remoteName, local, sizeof local) &&
           ToWalkPath(local, path, capacity);
}

bool HostLocalPathOf(const char* remoteName, char* path, size_t capacity) {
    char local[MAX_PATH];
    return remoteName != nullptr && MapEntryName(remoteName, local, sizeof local) &&
           ToOrdinaryPath(local, path, capacity);
}

bool IsOperableRemoteName(const char* remoteName) {
    return remoteName != nullptr && std::strlen(remoteName) >= kShortestOperableName;
}

bool IsPluginRoot(const char* remoteName) {
    return std::strcmp(remoteName, kPluginRootName) == 0;
}
