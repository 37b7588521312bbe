// How Linux names things, for the plugin. File managers on Linux pass the
// local path itself as the RemoteName ("/home/u/data"), and names are bytes:
// a backslash, a trailing dot or space, or case is part of the name.
#pragma once

#include <windows.h>

#include <cstddef>

inline constexpr char kPathSeparator = '/';
inline constexpr char kAllNamesMask[] = "*";
inline constexpr char kPluginRootName[] = "/";
// "/x" is the shortest name a file operation accepts.
inline constexpr size_t kShortestOperableName = 2;

inline bool IsPathSeparator(char c) {
    return c == '/';
}

inline constexpr char kRemoteNamePrefix[] = "";

// Double Commander packs a selection by the entries' local names and takes a
// directory entry for a file: its folder's name must end in a separator for
// the folder to be packed as one, and not as an empty file.
inline constexpr bool kFolderLocalNamesEndInSeparator = true;

// Double Commander opens a plugin's file through a temporary copy, where an
// edit is lost, unless it has an association of its own: "open" hands the
// desktop's opener the file itself, and a directory entry's folder back to
// the file manager to enter.
inline constexpr bool kOpensThroughDesktop = true;

// The shipped plugin carries its own platform layer, so a program that loads
// it cannot read the plugin's last error through its own GetLastError.
inline constexpr bool kPluginSharesLastError = false;

inline const char* HostPathOf(const char* remoteName) {
    return remoteName;
}

inline const char* NextCharacter(const char* text) {
    return *text == '\0' ? text : text + 1;
}

// Every POSIX path means exactly one file as it stands.
bool ToExactPath(const char* localPath, char* exact, size_t capacity);
bool ToOrdinaryPath(const char* localPath, char* ordinary, size_t capacity);
bool ToWalkPath(const char* localPath, char* path, size_t capacity);

inline bool WalksLiterally(const char*) {
    return true;
}
inline bool NameMeansItself(const char*) {
    return true;
}
inline bool EndsWithSeparator(const char* path, size_t length) {
    return length > 0 && path[length - 1] == '/';
}

// The stand-in's enumeration already gives every name byte for byte.
inline HANDLE FindFirstExact(const char* pattern, bool, WIN32_FIND_DATAA* record) {
    return FindFirstFileA(pattern, record);
}
inline BOOL FindNextExact(HANDLE enumeration, const char*, bool, WIN32_FIND_DATAA* record) {
    return FindNextFileA(enumeration, record);
}

// Sets exactly the permission bits `mode` of `path`, refusing a link.
inline bool SetPermissionBits(const char* path, DWORD mode) {
    return SetUnixPermissions(path, mode) != FALSE;
}

// The stand-in's moves already refuse another name of the same file.
inline bool IsOtherNameOfSameFile(const char*, const char*) {
    return false;
}

// A move to another file system copies the entry itself, a link as a link,
// with what mv keeps: owner, group and every extended attribute.
inline constexpr DWORD kMoveCopyFlags = COPY_FILE_COPY_SYMLINK | COPY_FILE_AS_MOVE;
// The longest name of one path component, in bytes.
inline constexpr size_t kLongestName = 255;
