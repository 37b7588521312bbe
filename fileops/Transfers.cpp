// FsGetFile copies or moves an entry out to a local file the host names;
// FsRenMovFile copies, renames or moves an entry inside the namespace. Both ask
// the host first whether the user has aborted, then act on the local files.
#include "fileops/DirectoryEntries.h"
#include "fileops/MissingFolders.h"
#include "fileops/SafeTransfer.h"
#include "plugin/PluginContext.h"
#include "plugin/RemoteName.h"

namespace {

// A transfer out counts error 4 as "not found" and falls back to a read error.
int TransferResultOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_ACCESS_DENIED:
        return FS_FILE_NOTFOUND;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: // a move onto an existing name: the host offers to overwrite
        return FS_FILE_EXISTS;
    case ERROR_DISK_FULL: // the target's side failed: the user should look there
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
        return FS_FILE_WRITEERROR;
    case ERROR_REQUEST_ABORTED:
        return FS_FILE_USERABORT;
    default:
        return FS_FILE_READERROR;
    }
}

// A rename inside the namespace falls back to a write error.
int RenameResultOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
        return FS_FILE_NOTFOUND;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIR_NOT_EMPTY: // a folder still holding what a merge would have to sort out
        return FS_FILE_EXISTS;
    case ERROR_REQUEST_ABORTED:
        return FS_FILE_USERABORT;
    case ERROR_READ_FAULT: // the source changed while it was read
        return FS_FILE_READERROR;
    default: // a full disk included
        return FS_FILE_WRITEERROR;
    }
}

// Whether the missing folders of a target could be all that stands in the
// way: not for a source that is not there, nor for a folder to copy, which
// only a move can take.
bool WorthMakingFolders(const char* source, bool move) {
    DWORD attributes = GetFileAttributesA(source); // a link's own: dangling ones move too
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (move || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
}

// SafeTransfer, with the target's missing folders made when they are all
// that stands in the way.
BOOL Transfer(const char* source, const char* target, bool move, bool overwrite,
              const HostNames& names) {
    return WithMissingFolders(
        target, [&] { return SafeTransfer(source, target, move, overwrite, names) != FALSE; },
        [&] { return WorthMakingFolders(source, move); });
}

} // namespace

extern "C" {

int WINAPI FsGetFile(char* remoteName, char* localName, int copyFlags, RemoteFileInfo*) {
    if ((copyFlags & FS_COPYFLAGS_RESUME) != 0) {
        return FS_FILE_NOTSUPPORTED;
    }
    if (!IsOperableRemoteName(remoteName) || localName == nullptr) {
        return FS_FILE_NOTFOUND;
    }
    if (UserAborted(remoteName, localName, 0)) {
        return FS_FILE_USERABORT;
    }
    char source[MAX_PATH];
    if (!PlatformPathOf(remoteName, source, sizeof source)) {
        return FS_FILE_NOTFOUND;
    }
    if (IsDirectoryEntryName(remoteName)) {
        return GetDirectoryEntry(remoteName, source, localName, copyFlags);
    }
    bool move = (copyFlags & FS_COPYFLAGS_MOVE) != 0;
    bool overwrite = (copyFlags & FS_COPYFLAGS_OVERWRITE) != 0;
    if (!Transfer(source, localName, move, overwrite, {remoteName, localName})) {
        return TransferResultOf(GetLastError());
    }
    UserAborted(remoteName, localName, 100); // the copy is done; an abort changes nothing
    return FS_FILE_OK;
}

int WINAPI FsRenMovFile(char* oldName, char* newName, BOOL move, BOOL overwrite, RemoteFileInfo*) {
    if (!IsOperableRemoteName(oldName) || !IsOperableRemoteName(newName)) {
        return FS_FILE_NOTFOUND;
    }
    if (UserAborted(oldName, newName, 0)) {
        return FS_FILE_USERABORT;
    }
    char source[MAX_PATH];
    char target[MAX_PATH];
    if (!PlatformPathOf(oldName, source, sizeof source) ||
        !PlatformPathOf(newName, target, sizeof target)) {
        return FS_FILE_NOTFOUND;
    }
    if (IsDirectoryEntryName(oldName)) {
        if (!HostFlag(move)) {
            return CopyDirectoryEntry(source, target);
        }
        return MoveDirectoryEntry(source, target) ? FS_FILE_OK : RenameResultOf(GetLastError());
    }
    if (!Transfer(source, target, HostFlag(move), HostFlag(overwrite), {oldName, newName})) {
        return RenameResultOf(GetLastError());
    }
    return FS_FILE_OK;
}

} // extern "C"
