// The host names every entry by a RemoteName: a backslash followed by a local
// path ("\C:\data\a/b.txt"). The "/" the listing put into names stays: the
// platform accepts both separators.
#pragma once

#include <cstring>

// The local path of a RemoteName: everything after its first character. An
// empty or missing name has the empty local path, never memory past its NUL.
inline const char* LocalPathOf(const char* remoteName) {
    if (remoteName == nullptr || remoteName[0] == '\0') {
        return "";
    }
    return remoteName + 1;
}

// The file operations accept nothing shorter than "\C:".
inline bool IsOperableRemoteName(const char* remoteName) {
    return remoteName != nullptr && std::strlen(remoteName) >= 3;
}
