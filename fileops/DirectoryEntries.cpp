#include "fileops/DirectoryEntries.h"

#include <cstring>

#include "PlatformNames.h"
#include "fileops/MissingFolders.h"
#include "base/BoundedText.h"
#include "base/LastError.h"
#include "plugin/PluginContext.h"

namespace {

// Whether `a` and `b` hold the same `length` bytes, any path separator
// matching any other: the host may write the listed name's "/" as "\\".
bool SameNameText(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (a[i] != b[i] && !(IsPathSeparator(a[i]) && IsPathSeparator(b[i]))) {
            return false;
        }
    }
    return true;
}

// Whether a separator character of `text` ends just before `at`: a
// double-byte character's trail byte may be a backslash and is none.
bool SeparatorEndsAt(const char* text, const char* at) {
    for (const char* c = text; c < at; c = NextCharacter(c)) {
        if (NextCharacter(c) == at) {
            return IsPathSeparator(*c);
        }
    }
    return false;
}

// Double Commander takes a lone directory entry's target, named after the
// entry ("/home/u/out/a/b./"), for a folder because it ends in "/", and adds
// the entry's name once more ("/home/u/out/a/b./a/b./"). Where `folder` ends
// with a trailing part of `remoteName` twice over, the second one goes.
void DropRepeatedEntryName(char* folder, const char* remoteName) {
    size_t length = std::strlen(folder);
    for (const char* c = remoteName; *c != '\0'; c = NextCharacter(c)) {
        if (!IsPathSeparator(*c)) {
            continue;
        }
        const char* part = c + 1;
        size_t partLength = std::strlen(part);
        if (partLength == 0 || 2 * partLength >= length) {
            continue;
        }
        char* second = folder + length - partLength;
        char* first = second - partLength;
        if (SeparatorEndsAt(folder, first) && SameNameText(second, part, partLength) &&
            SameNameText(first, part, partLength)) {
            *second = '\0';
            return;
        }
    }
}

// The folder the host means by `localName`. The host names the target after
// the entry ("D:\out\a/b./", "/home/u/out/a./"), so the entry's "./" comes
// off; "x../", the entry of a folder named "x.", names "x.". A name without
// the suffix is the folder's new name as it stands. False when nothing would
// be left of the last component, or it does not fit.
bool TargetFolderOf(const char* remoteName, const char* localName, char (&folder)[MAX_PATH]) {
    if (!CopyBounded(folder, sizeof folder, localName)) {
        return false;
    }
    DropRepeatedEntryName(folder, remoteName);
    size_t length = std::strlen(folder);
    if (length >= 2 && IsPathSeparator(folder[length - 1]) && folder[length - 2] == '.') {
        if (length < 3 || IsPathSeparator(folder[length - 3])) {
            return false;
        }
        folder[length - 2] = '\0';
    }
    return folder[0] != '\0';
}

// The outcome of making the target folder.
enum class Made { Failed, Already, Created };

// Makes `folder`, with the folders above it that are missing; it counts as
// made when a folder stands there already, whoever made it. Something else
// standing there is never replaced: it would be lost for an empty folder.
Made MakeFolder(const char* folder, CreatedFolders* above) {
    above->count = 0;
    bool created = false;
    if (EnsureFolder(folder, &created)) {
        return created ? Made::Created : Made::Already;
    }
    DWORD error = GetLastError();
    if (error != ERROR_PATH_NOT_FOUND || !CreateMissingFolders(folder, above)) {
        SetLastError(error);
        return Made::Failed;
    }
    if (EnsureFolder(folder, &created)) {
        return created ? Made::Created : Made::Already;
    }
    error = GetLastError();
    RemoveCreatedFolders(*above);
    above->count = 0;
    SetLastError(error);
    return Made::Failed;
}

// Takes away again what MakeFolder created.
void UnmakeFolder(const char* folder, Made made, const CreatedFolders& above) {
    if (made == Made::Created) {
        RemoveDirectoryA(folder);
        RemoveCreatedFolders(above);
    }
}

// Why the source folder of a move could not be taken: gone, or still holding
// something (or held by another program).
int SourceResultOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return FS_FILE_NOTFOUND;
    default:
        return FS_FILE_READERROR;
    }
}

// Removes the emptied source of a move. When the target was the source
// itself (the same folder under another spelling), it is put back: a move
// onto itself keeps the folder.
bool RemoveMovedSource(const char* source, const char* target) {
    if (!RemoveDirectoryA(source)) {
        return false;
    }
    if (!IsDirectory(target)) {
        CreateDirectoryA(source, nullptr);
    }
    return true;
}

} // namespace

int GetDirectoryEntry(char* remoteName, const char* source, char* localName, int copyFlags) {
    char target[MAX_PATH];
    if (!TargetFolderOf(remoteName, localName, target)) {
        return FS_FILE_WRITEERROR;
    }
    if (!IsDirectory(source)) {
        return FS_FILE_NOTFOUND;
    }
    CreatedFolders above;
    Made made = MakeFolder(target, &above);
    if (made == Made::Failed) {
        return FS_FILE_WRITEERROR;
    }
    if ((copyFlags & FS_COPYFLAGS_MOVE) != 0 && !RemoveMovedSource(source, target)) {
        DWORD error = GetLastError();
        UnmakeFolder(target, made, above);
        return SourceResultOf(error);
    }
    UserAborted(remoteName, localName, 100); // the folder is there; an abort changes nothing
    return FS_FILE_OK;
}

int CopyDirectoryEntry(const char* source, const char* target) {
    if (!IsDirectory(source)) {
        return FS_FILE_NOTFOUND;
    }
    CreatedFolders above;
    return MakeFolder(target, &above) == Made::Failed ? FS_FILE_WRITEERROR : FS_FILE_OK;
}

bool MoveDirectoryEntry(const char* source, const char* target) {
    if (!IsDirectory(source)) {
        return Refuse(ERROR_FILE_NOT_FOUND);
    }
    if (WithMissingFolders(
            target, [&] { return MoveFileExA(source, target, 0) != FALSE; }, [] { return true; })) {
        return true;
    }
    DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
        return false;
    }
    if (!IsDirectory(target)) {
        return Refuse(ERROR_ALREADY_EXISTS); // a file is never replaced by a folder
    }
    return RemoveMovedSource(source, target);
}
