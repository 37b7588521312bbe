#include "PlatformNames.h"

#include <cstring>
#include <initializer_list>

#include "plugin/BoundedText.h"

namespace {

const char kLiteralPrefix[] = "\\\\?\\";
const char kLiteralUncPrefix[] = "\\\\?\\UNC\\";

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsNavigation(const char* name, size_t length) {
    return (length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.');
}

bool StartsWithNoCase(const char* text, size_t length, const char* prefix) {
    size_t prefixLength = std::strlen(prefix);
    if (length < prefixLength) {
        return false;
    }
    for (size_t i = 0; i < prefixLength; ++i) {
        if (AsciiLower(text[i]) != AsciiLower(prefix[i])) {
            return false;
        }
    }
    return true;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name a device in any directory, with
// any extension and with spaces before it.
bool IsDeviceName(const char* name, size_t length) {
    size_t base = 0;
    while (base < length && name[base] != '.') {
        ++base;
    }
    while (base > 0 && name[base - 1] == ' ') {
        --base;
    }
    if (base == 3) {
        for (const char* device : {"con", "prn", "aux", "nul"}) {
            if (StartsWithNoCase(name, base, device)) {
                return true;
            }
        }
        return false;
    }
    return base == 4 && (StartsWithNoCase(name, 3, "com") || StartsWithNoCase(name, 3, "lpt")) &&
           name[3] >= '1' && name[3] <= '9';
}

// True when Win32 path parsing would read this component as another name.
bool IsRewritten(const char* name, size_t length) {
    if (length == 0 || IsNavigation(name, length)) {
        return false;
    }
    char last = name[length - 1];
    return last == '.' || last == ' ' || IsDeviceName(name, length);
}

enum class Root { Drive, Unc, Literal, Relative };

struct NormalPath {
    Root root;
    bool navigation; // a "." or ".." component, which only Win32 parsing resolves
    bool rewritten;  // a component Win32 parsing would change
    char text[MAX_PATH + 1];
    size_t length;
};

bool Put(NormalPath* path, const char* text, size_t length) {
    if (!AppendBounded(path->text, sizeof path->text, path->length, text, length)) {
        return false;
    }
    path->length += length;
    return true;
}

// Rewrites `local` with "\" separators, without doubled separators or a
// trailing one (the root of a drive keeps its own), and notes what Win32
// parsing would still change.
bool Normalise(const char* local, NormalPath* path) {
    path->navigation = false;
    path->rewritten = false;
    path->text[0] = '\0';
    path->length = 0;
    if (std::strncmp(local, kLiteralPrefix, 4) == 0 || std::strncmp(local, "\\\\.\\", 4) == 0) {
        path->root = Root::Literal;
        return Put(path, local, std::strlen(local));
    }
    const char* rest = local;
    bool separate = false; // whether the next component needs a "\" before it
    if (IsSeparator(local[0]) && IsSeparator(local[1])) {
        path->root = Root::Unc;
        rest = local + 2;
        if (!Put(path, "\\\\", 2)) {
            return false;
        }
    } else if (IsAsciiLetter(local[0]) && local[1] == ':' && IsSeparator(local[2])) {
        path->root = Root::Drive;
        rest = local + 2;
        separate = true;
        if (!Put(path, local, 2)) {
            return false;
        }
    } else {
        path->root = Root::Relative;
        if (IsSeparator(local[0]) && !Put(path, "\\", 1)) {
            return false;
        }
    }
    const char* c = rest;
    while (*c != '\0') {
        if (IsSeparator(*c)) {
            ++c;
            continue;
        }
        const char* begin = c;
        while (*c != '\0' && !IsSeparator(*c)) {
            c = NextCharacter(c);
        }
        size_t length = static_cast<size_t>(c - begin);
        path->navigation = path->navigation || IsNavigation(begin, length);
        path->rewritten = path->rewritten || IsRewritten(begin, length);
        if ((separate && !Put(path, "\\", 1)) || !Put(path, begin, length)) {
            return false;
        }
        separate = true;
    }
    if (path->root == Root::Drive && path->length == 2) {
        return Put(path, "\\", 1);
    }
    return true;
}

// A walk from this path is handed to the enumeration literally: it carries the
// prefix already, or it is absolute without "." or "..".
bool IsLiteralWalk(const NormalPath& path) {
    return path.root == Root::Literal ||
           ((path.root == Root::Drive || path.root == Root::Unc) && !path.navigation);
}

// The wide form of a path for the enumeration, in the \\?\ form when the walk
// is literal (and the path does not carry the prefix already).
bool ToWidePath(const char* path, bool literal, WCHAR* wide, int capacity) {
    int used = 0;
    if (literal && std::strncmp(path, kLiteralPrefix, 4) != 0) {
        bool unc = path[0] == '\\';
        const WCHAR* prefix = unc ? L"\\\\?\\UNC" : L"\\\\?\\";
        for (; prefix[used] != L'\0'; ++used) {
            wide[used] = prefix[used];
        }
        path += unc ? 1 : 0; // "\\server" becomes "\\?\UNC\server"
    }
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide + used,
                               capacity - used) != 0;
}

bool Refuse(DWORD error) {
    SetLastError(error);
    return false;
}

bool ToAnsiExactly(const WCHAR* wide, char* ansi, int capacity) {
    bool utf8 = GetACP() == CP_UTF8;
    BOOL usedDefault = FALSE;
    int written =
        WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide, -1,
                            ansi, capacity, nullptr, utf8 ? nullptr : &usedDefault);
    return written > 0 && !usedDefault;
}

// The ANSI record of a wide one. False when neither the long nor the short
// name converts exactly, so that no name could be given for this file.
bool ToAnsiRecord(const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA* record) {
    record->dwFileAttributes = wide.dwFileAttributes;
    record->ftCreationTime = wide.ftCreationTime;
    record->ftLastAccessTime = wide.ftLastAccessTime;
    record->ftLastWriteTime = wide.ftLastWriteTime;
    record->nFileSizeHigh = wide.nFileSizeHigh;
    record->nFileSizeLow = wide.nFileSizeLow;
    record->dwReserved0 = wide.dwReserved0;
    record->dwReserved1 = wide.dwReserved1;
    if (!ToAnsiExactly(wide.cAlternateFileName, record->cAlternateFileName,
                       sizeof record->cAlternateFileName)) {
        record->cAlternateFileName[0] = '\0';
    }
    if (ToAnsiExactly(wide.cFileName, record->cFileName, sizeof record->cFileName)) {
        return true;
    }
    return record->cAlternateFileName[0] != '\0' &&
           CopyBounded(record->cFileName, sizeof record->cFileName, record->cAlternateFileName);
}

bool NextRepresentable(HANDLE enumeration, WIN32_FIND_DATAW* wide, WIN32_FIND_DATAA* record) {
    while (!ToAnsiRecord(*wide, record)) {
        if (!FindNextFileW(enumeration, wide)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ToExactPath(const char* localPath, char* exact, size_t capacity) {
    NormalPath path;
    if (!Normalise(localPath, &path)) {
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    }
    if (path.root == Root::Literal) {
        return CopyBounded(exact, capacity, path.text) || Refuse(ERROR_FILENAME_EXCED_RANGE);
    }
    bool literal = (path.root == Root::Drive || path.root == Root::Unc) && !path.navigation;
    if (literal) {
        const char* prefix = path.root == Root::Drive ? kLiteralPrefix : kLiteralUncPrefix;
        const char* rest = path.root == Root::Drive ? path.text : path.text + 2;
        size_t prefixLength = std::strlen(prefix);
        if (CopyBounded(exact, capacity, prefix) &&
            AppendBounded(exact, capacity, prefixLength, rest, std::strlen(rest))) {
            return true;
        }
    }
    if (path.rewritten) {
        return Refuse(literal ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
    }
    return CopyBounded(exact, capacity, path.text) || Refuse(ERROR_FILENAME_EXCED_RANGE);
}

bool ToWalkPath(const char* localPath, char* path, size_t capacity) {
    NormalPath normal;
    if (!Normalise(localPath, &normal)) {
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    }
    if (!IsLiteralWalk(normal) && normal.rewritten) {
        return Refuse(ERROR_INVALID_NAME);
    }
    return CopyBounded(path, capacity, normal.text) || Refuse(ERROR_FILENAME_EXCED_RANGE);
}

bool ToOrdinaryPath(const char* localPath, char* ordinary, size_t capacity) {
    NormalPath path;
    if (!Normalise(localPath, &path)) {
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    }
    if (path.rewritten) {
        return Refuse(ERROR_INVALID_NAME);
    }
    return CopyBounded(ordinary, capacity, path.text) || Refuse(ERROR_FILENAME_EXCED_RANGE);
}

// The walker only ever extends a walk path by names the platform listed, so
// the root decides for the whole walk.
bool WalksLiterally(const char* walkPath) {
    NormalPath path;
    return Normalise(walkPath, &path) && IsLiteralWalk(path);
}

bool NameMeansItself(const char* name) {
    return !IsRewritten(name, std::strlen(name));
}

// ":" is never the first byte of a double-byte character, so a "\" after it
// is a separator.
bool EndsWithSeparator(const char* path, size_t length) {
    return length >= 2 && path[length - 1] == '\\' && path[length - 2] == ':';
}

HANDLE FindFirstExact(const char* pattern, bool literal, WIN32_FIND_DATAA* record) {
    // Every path Windows takes literally fits, prefix included; a longer one
    // fails to convert and the directory is not opened, as Windows would
    // refuse it.
    WCHAR widePattern[kLongestLiteralPath + 1];
    if (!ToWidePath(pattern, literal, widePattern, kLongestLiteralPath + 1)) {
        return INVALID_HANDLE_VALUE;
    }
    WIN32_FIND_DATAW wide;
    HANDLE enumeration = FindFirstFileW(widePattern, &wide);
    if (enumeration == INVALID_HANDLE_VALUE) {
        return enumeration;
    }
    if (!NextRepresentable(enumeration, &wide, record)) {
        DWORD error = GetLastError();
        FindClose(enumeration);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return enumeration;
}

BOOL FindNextExact(HANDLE enumeration, WIN32_FIND_DATAA* record) {
    WIN32_FIND_DATAW wide;
    if (!FindNextFileW(enumeration, &wide)) {
        return FALSE;
    }
    return NextRepresentable(enumeration, &wide, record) ? TRUE : FALSE;
}

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
