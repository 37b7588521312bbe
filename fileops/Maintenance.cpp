// Delete, remove a directory, set attributes and set times: one entry each,
// handed straight to the platform under its exact path.
#include "plugin/PluginContext.h"
#include "plugin/RemoteName.h"

namespace {

// The exact platform path of an operable RemoteName; false (before any
// platform call for a short name) when there is none.
bool OperablePath(const char* remoteName, char (&path)[MAX_PATH]) {
    return IsOperableRemoteName(remoteName) && PlatformPathOf(remoteName, path, sizeof path);
}

} // namespace

extern "C" {

// The file managers delete a directory entry as a file, after its contents:
// its folder goes when it is empty by then, and stays, with all it holds,
// when it is not.
BOOL WINAPI FsDeleteFile(char* remoteName) {
    char path[MAX_PATH];
    if (!OperablePath(remoteName, path)) {
        return FALSE;
    }
    return HostBool(
        (IsDirectoryEntryName(remoteName) ? RemoveDirectoryA(path) : DeleteFileA(path)) != FALSE);
}

BOOL WINAPI FsRemoveDir(char* remoteName) {
    char path[MAX_PATH];
    return HostBool(OperablePath(remoteName, path) && RemoveDirectoryA(path));
}

BOOL WINAPI FsSetAttr(char* remoteName, int attributes) {
    char path[MAX_PATH];
    if (!OperablePath(remoteName, path)) {
        return FALSE;
    }
    // Zero would mean "no attributes", which the platform spells NORMAL.
    DWORD value = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : static_cast<DWORD>(attributes);
    return HostBool(SetFileAttributesA(path, value) != FALSE);
}

// A null time stays unchanged. Setting times needs only the right to write
// attributes, which read-only files grant too; backup semantics open
// directories, so directory entries get their times set as well. A link is
// listed as an entry of its own, so its own times change, never those of
// what it leads to. Other programs may keep the file open meanwhile, as they
// may in the file manager.
BOOL WINAPI FsSetTime(char* remoteName, FILETIME* creationTime, FILETIME* lastAccessTime,
                      FILETIME* lastWriteTime) {
    char path[MAX_PATH];
    if (!OperablePath(remoteName, path)) {
        return FALSE;
    }
    HANDLE file = CreateFileA(
        path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    BOOL result = SetFileTime(file, creationTime, lastAccessTime, lastWriteTime);
    CloseHandle(file);
    return HostBool(result != FALSE);
}

} // extern "C"
