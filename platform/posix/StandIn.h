// Shared pieces of the POSIX stand-in's implementation.
#pragma once

#include <windows.h>

#include <sys/stat.h>

#include <string>

namespace standin {

// Sets the last error from errno, telling a missing file (2) from a missing
// directory on its way (3) as Windows does.
void SetErrorFromErrno(int error, const std::string& path);
BOOL Fail(DWORD error);
// FALSE, with the last error set from `error` (errno when not given).
BOOL FailFromErrno(int error, const std::string& path);
BOOL FailFromErrno(const std::string& path);

// The folder that holds `path`: "." for a bare name, "/" for the root's.
std::string FolderOf(const std::string& path);

// The name in /proc of an open descriptor, which means exactly the file it
// holds: the calls that take no descriptor opened for no data (O_PATH) reach
// that file through it, never another put in its place meanwhile.
inline std::string DescriptorPath(int descriptor) {
    return "/proc/self/fd/" + std::to_string(descriptor);
}

// The process's umask, read without changing it: umask(2) reads it only by
// setting it, which would race with other threads making files. Where it
// cannot be read, the usual 022.
mode_t CurrentUmask();

inline bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & S_IWUSR) == 0;
}

inline bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True (with the last error set) when a test injected a failure for this call.
bool Faulted(const char* function, const std::string& path);

// rename(2) that refuses an existing target, without a check-then-act race.
int RenameNoReplace(const std::string& source, const std::string& target);

// CopyFileExA's copy (COPY_FILE_* flags), also the data half of a move across
// file systems.
BOOL CopyEntry(const std::string& source, const std::string& target, DWORD flags,
               LPPROGRESS_ROUTINE routine, void* data, BOOL* cancel);

// The attributes Windows gives the entry that `info` (from lstat) describes:
// a symbolic link's own, with the directory bit where it leads to a folder.
DWORD AttributesOf(const std::string& path, const struct stat& info);

// SetFileAttributesA on the file at `path` itself, never through a link.
BOOL SetAttributesItself(const std::string& path, DWORD attributes);

FILETIME ToFileTime(const struct timespec& time);
struct timespec ToTimespec(const FILETIME& time);

} // namespace standin
