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

FILETIME ToFileTime(const struct timespec& time);
struct timespec ToTimespec(const FILETIME& time);

} // namespace standin
