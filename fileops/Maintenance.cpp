// Delete, remove a directory, set attributes and set times: one entry each,
// handed straight to the platform.
#include "plugin/PluginContext.h"
#include "plugin/RemoteName.h"

extern "C" {

BOOL WINAPI FsDeleteFile(char* remoteName) {
    if (!IsOperableRemoteName(remoteName)) {
        return FALSE;
    }
    return DeleteFileA(LocalPathOf(remoteName));
}

BOOL WINAPI FsRemoveDir(char* remoteName) {
    if (!IsOperableRemoteName(remoteName)) {
        return FALSE;
    }
    return RemoveDirectoryA(LocalPathOf(remoteName));
}

BOOL WINAPI FsSetAttr(char* remoteName, int attributes) {
    if (!IsOperableRemoteName(remoteName)) {
        return FALSE;
    }
    // Zero would mean "no attributes", which the platform spells NORMAL.
    DWORD value = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : static_cast<DWORD>(attributes);
    return SetFileAttributesA(LocalPathOf(remoteName), value);
}

// A null time stays unchanged. The file is opened for writing without sharing,
// so a file another program holds open, or a directory, is refused.
BOOL WINAPI FsSetTime(char* remoteName, FILETIME* creationTime, FILETIME* lastAccessTime,
                      FILETIME* lastWriteTime) {
    if (!IsOperableRemoteName(remoteName)) {
        return FALSE;
    }
    HANDLE file = CreateFileA(LocalPathOf(remoteName), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    BOOL result = SetFileTime(file, creationTime, lastAccessTime, lastWriteTime);
    CloseHandle(file);
    return result;
}

} // extern "C"
