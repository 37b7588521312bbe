// How Windows names things, for the plugin: the host's RemoteName is a
// backslash and a local path, and every path reaches the file functions in the
// \\?\ form, which Windows takes literally. Without it Win32 path parsing
// rewrites names (trailing dots and spaces go, "nul.txt" becomes a device), so
// a listed name could act on a sibling.
#pragma once

#include <windows.h>

#include <cstddef>

inline constexpr char kPathSeparator = '\\';
// What puts a path in the form Windows takes literally.
inline constexpr char kLiteralPrefix[] = "\\\\?\\";
// Matches every name in a directory, names without a dot included.
inline constexpr char kAllNamesMask[] = "*.*";
inline constexpr char kPluginRootName[] = "\\";
// The longest path the wide file functions take in the \\?\ form, prefix
// included, in characters.
inline constexpr int kLongestLiteralPath = 32767;
// "\C:" is the shortest name a file operation accepts.
inline constexpr size_t kShortestOperableName = 3;

inline bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

// What the host puts before a local path to make its RemoteName.
inline constexpr char kRemoteNamePrefix[] = "\\";

// Total Commander takes a directory entry's local name as it is, and opens
// a local file itself when asked to.
inline constexpr bool kFolderLocalNamesEndInSeparator = false;
inline constexpr bool kOpensThroughDesktop = false;

// The plugin and the program that loads it share kernel32's last error.
inline constexpr bool kPluginSharesLastError = true;

// The host's local path in a RemoteName: everything after the backslash.
inline const char* HostPathOf(const char* remoteName) {
    return remoteName[0] == '\0' ? remoteName : remoteName + 1;
}

// Steps over one character of the ANSI code page, so that the second byte of
// a double-byte character is never taken for a separator.
inline const char* NextCharacter(const char* text) {
    return CharNextA(text);
}

// Turns a local path ("\" separators) into the path the file functions take
// literally. Falls back to the ordinary form when the literal one does not
// fit in `capacity` or the path is relative, but only when Windows would read
// the ordinary form as the same file. False, with the last error set, when no
// form both fits and means exactly this file.
bool ToExactPath(const char* localPath, char* exact, size_t capacity);

// The path the walker lists and extends: the ordinary form, which
// FindFirstExact hands to Windows literally where it is absolute. False when
// it could not mean exactly this directory.
bool ToWalkPath(const char* localPath, char* path, size_t capacity);

// The ordinary local path, for the host to open itself; false when Windows
// would read it as another file.
bool ToOrdinaryPath(const char* localPath, char* ordinary, size_t capacity);

// True when the enumeration takes the paths of a walk from `walkPath` (made by
// ToWalkPath) literally, so that every listed name joins to them exactly.
// Decided once per walk.
bool WalksLiterally(const char* walkPath);

// True when ordinary path parsing reads `name` as itself (no trailing dot or
// space, no device name): such a name joins exactly to any path.
bool NameMeansItself(const char* name);

// Whether the path made by ToWalkPath already ends in a separator (only the
// root of a drive does).
bool EndsWithSeparator(const char* path, size_t length);

// FindFirstFileA and FindNextFileA on a pattern under a path made by
// ToWalkPath (`literal` as WalksLiterally says), but every name they give is
// either the file's own name in the ANSI code page or its short name, never a
// best-fit look-alike that would stand for another file. A name with neither
// is given empty (see IsUnnamedEntry), a folder's with the size of everything
// beneath it. FindNextExact takes the directory being enumerated, the path
// the pattern was made on. FindClose ends the enumeration.
HANDLE FindFirstExact(const char* pattern, bool literal, WIN32_FIND_DATAA* record);
BOOL FindNextExact(HANDLE enumeration, const char* directory, bool literal,
                   WIN32_FIND_DATAA* record);

// Windows files have no Unix permission bits to set.
inline bool SetPermissionBits(const char*, DWORD) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

// True when `a` and `b` are two names (hard links) of one file, two entries
// which a rename takes for one and leaves as they are while it reports
// success (Wine does). False for one name spelt two ways. Keeps the last error.
bool IsOtherNameOfSameFile(const char* a, const char* b);

// A move to another volume copies the entry itself, a link as a link, and
// keeps what Windows' own moves keep (attributes, times, streams).
inline constexpr DWORD kMoveCopyFlags = COPY_FILE_COPY_SYMLINK;
// The longest name of one path component.
inline constexpr size_t kLongestName = 255;
