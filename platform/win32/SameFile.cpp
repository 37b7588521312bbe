// Whether two names are two hard links of one file: Wine's rename takes them
// for one and reports success for doing nothing.
#include <cstring>

#include "PlatformNames.h"

namespace {

// The file behind `path` itself (a link is not followed), without opening
// its data, which another program's lock would refuse.
bool IdentityOf(const char* path, BY_HANDLE_FILE_INFORMATION* identity) {
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool known = GetFileInformationByHandle(file, identity) != FALSE;
    CloseHandle(file);
    return known;
}

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// Splits the long form of `path` into its folder and its last name; false
// when the long form cannot be had or does not fit.
bool LongFolderAndName(const char* path, char (&folder)[MAX_PATH], const char** name) {
    DWORD length = GetLongPathNameA(path, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    char* last = nullptr;
    for (char* c = folder; *c != '\0'; c = const_cast<char*>(NextCharacter(c))) {
        if (IsPathSeparator(*c)) {
            last = c;
        }
    }
    if (last == nullptr || last[1] == '\0') {
        return false;
    }
    *last = '\0';
    *name = last + 1;
    // The folder keeps its separator where it is a drive's root ("C:\").
    if (last > folder && last[-1] == ':') {
        if (length + 1 >= MAX_PATH) {
            return false;
        }
        std::memmove(last + 2, last + 1, std::strlen(last + 1) + 1);
        last[0] = '\\';
        last[1] = '\0';
        *name = last + 2;
    }
    return true;
}

} // namespace

bool IsOtherNameOfSameFile(const char* a, const char* b) {
    DWORD error = GetLastError();
    BY_HANDLE_FILE_INFORMATION first, second;
    bool other = false;
    if (IdentityOf(a, &first) && IdentityOf(b, &second) && SameIdentity(first, second) &&
        first.nNumberOfLinks > 1 && (first.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        // Several names: these two are one entry only when they spell one name
        // (any case, long or short form) in one folder. Whatever cannot be
        // told counts as one entry, which the move itself then handles.
        char folderA[MAX_PATH], folderB[MAX_PATH];
        const char* nameA = nullptr;
        const char* nameB = nullptr;
        BY_HANDLE_FILE_INFORMATION inA, inB;
        if (LongFolderAndName(a, folderA, &nameA) && LongFolderAndName(b, folderB, &nameB) &&
            IdentityOf(folderA, &inA) && IdentityOf(folderB, &inB)) {
            other = !SameIdentity(inA, inB) || lstrcmpiA(nameA, nameB) != 0;
        }
    }
    SetLastError(error);
    return other;
}
