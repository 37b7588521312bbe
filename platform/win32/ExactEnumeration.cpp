// The exact enumeration: FindFirstFileA and FindNextFileA as the walk needs
// them, made on the wide functions, so that a name the code page cannot hold
// is given by its short name or not at all, never as a best-fit look-alike.
// A folder left without a name still counts: the size of everything beneath
// it is walked here and carried in its record.
#include "PlatformNames.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>

#include "base/BoundedText.h"
#include "base/EntryKind.h"
#include "base/Sizes.h"

namespace {

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

bool ToAnsiExactly(const WCHAR* wide, char* ansi, int capacity) {
    bool utf8 = GetACP() == CP_UTF8;
    BOOL usedDefault = FALSE;
    int written =
        WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide, -1,
                            ansi, capacity, nullptr, utf8 ? nullptr : &usedDefault);
    return written > 0 && !usedDefault;
}

// The ANSI record of a wide one. False when neither the long nor the short
// name converts exactly, so that no name could be given for this file: the
// record's names are then empty.
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
    if (ToAnsiExactly(wide.cFileName, record->cFileName, sizeof record->cFileName) ||
        (record->cAlternateFileName[0] != '\0' &&
         CopyBounded(record->cFileName, sizeof record->cFileName, record->cAlternateFileName))) {
        return true;
    }
    record->cFileName[0] = '\0';
    return false;
}

bool IsWideDotName(const WCHAR* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Puts "\" (unless `path` ends in one) and `name` after the `length`
// characters of `path`, which has room for kLongestLiteralPath and its NUL.
// Returns the new length, or 0, with `path` unchanged, when it would not fit.
int JoinWide(WCHAR* path, int length, const WCHAR* name) {
    int separator = length > 0 && path[length - 1] == L'\\' ? 0 : 1;
    size_t nameLength = std::wcslen(name);
    if (nameLength + separator >= static_cast<size_t>(kLongestLiteralPath - length)) {
        return 0;
    }
    if (separator != 0) {
        path[length] = L'\\';
    }
    std::wmemcpy(path + length + separator, name, nameLength + 1);
    return length + separator + static_cast<int>(nameLength);
}

// Opens the enumeration of every name in the directory `path` (of `length`
// characters); `path` is as it was afterwards.
HANDLE OpenAllNames(WCHAR* path, int length, WIN32_FIND_DATAW* wide) {
    HANDLE enumeration = INVALID_HANDLE_VALUE;
    if (JoinWide(path, length, L"*.*") != 0) {
        enumeration = FindFirstFileW(path, wide);
    }
    path[length] = L'\0';
    return enumeration;
}

// The suspended enumerations of the folders above the one being counted.
struct CountLevel {
    HANDLE enumeration;
    int length;
};

bool Reserve(CountLevel** levels, size_t* capacity, size_t depth) {
    if (depth < *capacity) {
        return true;
    }
    size_t grown = *capacity == 0 ? 16 : *capacity * 2;
    CountLevel* larger = new (std::nothrow) CountLevel[grown];
    if (larger == nullptr) {
        return false;
    }
    if (depth > 0) {
        std::memcpy(larger, *levels, depth * sizeof **levels);
    }
    delete[] * levels;
    *levels = larger;
    *capacity = grown;
    return true;
}

uint64_t WideSize(const WIN32_FIND_DATAW& wide) {
    return (static_cast<uint64_t>(wide.nFileSizeHigh) << 32) | wide.nFileSizeLow;
}

// The bytes of everything beneath the directory `path` (of `length`
// characters, with room for kLongestLiteralPath), counted as the listing
// counts: links by their own size, never followed. A folder that cannot be
// opened, whose path would not fit, or that memory is too short to enter
// counts nothing, as it would in the listing. `path` is as it was afterwards.
uint64_t SizeBeneath(WCHAR* path, int length) {
    CountLevel* levels = nullptr;
    size_t capacity = 0;
    size_t depth = 0;
    uint64_t total = 0;
    WIN32_FIND_DATAW wide;
    HANDLE current = OpenAllNames(path, length, &wide);
    bool more = current != INVALID_HANDLE_VALUE;
    for (;;) {
        if (!more) {
            if (current != INVALID_HANDLE_VALUE) {
                FindClose(current);
            }
            if (depth == 0) {
                break;
            }
            --depth;
            current = levels[depth].enumeration;
            length = levels[depth].length;
            path[length] = L'\0';
            more = FindNextFileW(current, &wide) != FALSE;
            continue;
        }
        if (!IsWideDotName(wide.cFileName)) {
            if (IsFileKind(wide.dwFileAttributes, wide.dwReserved0)) {
                total = AddSize(total, WideSize(wide));
            } else if (int joined = JoinWide(path, length, wide.cFileName);
                       joined != 0 && Reserve(&levels, &capacity, depth)) {
                levels[depth++] = {current, length};
                length = joined;
                current = OpenAllNames(path, length, &wide);
                more = current != INVALID_HANDLE_VALUE;
                continue;
            } else {
                path[length] = L'\0';
            }
        }
        more = FindNextFileW(current, &wide) != FALSE;
    }
    delete[] levels;
    return total;
}

// True when `wide` has no name the code page holds and is a folder the
// listing would enter: its record then carries everything beneath it.
bool IsUnnamedFolder(const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA* record) {
    return !ToAnsiRecord(wide, record) && !IsFileKind(wide.dwFileAttributes, wide.dwReserved0);
}

// The size beneath the folder `name` in the directory `directory` (of `length`
// characters), which is as it was afterwards.
uint64_t SizeBeneathFolder(WCHAR* directory, int length, const WCHAR* name) {
    int joined = JoinWide(directory, length, name);
    if (joined == 0) {
        return 0; // not reachable: counted as a folder that cannot be opened
    }
    uint64_t size = SizeBeneath(directory, joined);
    directory[length] = L'\0';
    return size;
}

// The same for FindNextExact, which has only the ANSI path of the directory:
// its wide path is made only for a name that needs it.
uint64_t SizeBeneathFolder(const char* directory, bool literal, const WCHAR* name) {
    uint64_t size = 0;
    WCHAR* path = new (std::nothrow) WCHAR[kLongestLiteralPath + 1];
    if (path != nullptr && ToWidePath(directory, literal, path, kLongestLiteralPath + 1)) {
        size = SizeBeneathFolder(path, static_cast<int>(std::wcslen(path)), name);
    }
    delete[] path;
    return size;
}

void SetSize(WIN32_FIND_DATAA* record, uint64_t size) {
    record->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    record->nFileSizeLow = static_cast<DWORD>(size);
}

} // namespace

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
    if (enumeration != INVALID_HANDLE_VALUE && IsUnnamedFolder(wide, record)) {
        // The pattern's last component is the mask: the rest is the directory.
        WCHAR* mask = std::wcsrchr(widePattern, L'\\');
        int length = mask == nullptr ? 0 : static_cast<int>(mask - widePattern);
        if (length > 0 && widePattern[length - 1] == L':') {
            ++length; // the root of a drive keeps its separator
        }
        widePattern[length] = L'\0';
        SetSize(record, SizeBeneathFolder(widePattern, length, wide.cFileName));
    }
    return enumeration;
}

BOOL FindNextExact(HANDLE enumeration, const char* directory, bool literal,
                   WIN32_FIND_DATAA* record) {
    WIN32_FIND_DATAW wide;
    if (!FindNextFileW(enumeration, &wide)) {
        return FALSE;
    }
    if (IsUnnamedFolder(wide, record)) {
        SetSize(record, SizeBeneathFolder(directory, literal, wide.cFileName));
    }
    return TRUE;
}
