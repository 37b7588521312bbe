// Which names the walk lists as files and which it enters, decided from what
// the enumeration says of a name: shared by the walk and by the platform's
// count of folders it cannot name.
#pragma once

#include <windows.h>

// Set on the reparse tags of junctions, symbolic links and mount points.
inline constexpr DWORD kNameSurrogateTag = 0x20000000;

// The file managers' FILE_ATTRIBUTE_UNIX_MODE: a record that carries it holds
// a Unix mode where the reparse tag would be. Only Linux records carry it,
// and there every reparse point is a symbolic link.
inline constexpr DWORD kUnixModeAttribute = 0x80000000u;

// True for a name the walk lists as a file: not a directory, or a link to
// one. Links are never followed, so that a link cannot lead the walk in
// circles or out of the listed tree; a reparse directory whose tag is unknown
// is taken for a link. Reparse directories whose tag is not a name surrogate
// (cloud placeholders, deduplicated folders) are ordinary folders.
inline bool IsFileKind(DWORD attributes, DWORD reparseTagOrMode) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    if ((attributes & kUnixModeAttribute) != 0) {
        return true;
    }
    return reparseTagOrMode == 0 || (reparseTagOrMode & kNameSurrogateTag) != 0;
}

// A name the host's code page cannot hold, without a short name that it can:
// the exact enumeration gives it with an empty name and, for a folder it would
// enter, the size of everything beneath it. Counted, never listed.
inline bool IsUnnamedEntry(const WIN32_FIND_DATAA& record) {
    return record.cFileName[0] == '\0';
}
