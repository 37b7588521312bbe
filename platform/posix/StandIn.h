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

// True (with the last error set) when a test injected a failure for this call.
bool Faulted(const char* function, const std::string& path);

// rename(2) that refuses an existing target, without a check-then-act race.
int RenameNoReplace(const std::string& source, const std::string& target);

// The move of a non-directory `source` (described by `info`, not followed) to
// another file system: a copy that keeps mode, owner, times and extended
// attributes, links as links, put at `target` in one step (over what is there
// when `replace`), then the source's removal.
BOOL MoveByCopy(const std::string& source, const struct stat& info, const std::string& target,
                bool replace, LPPROGRESS_ROUTINE routine, void* data);

// SetFileAttributesA on the file at `path` itself, never through a link.
BOOL SetAttributesItself(const std::string& path, DWORD attributes);

FILETIME ToFileTime(const struct timespec& time);
struct timespec ToTimespec(const FILETIME& time);

} // namespace standin
