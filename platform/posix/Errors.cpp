#include <cerrno>
#include <cstring>
#include <string>

#include "StandIn.h"
#include "StandInControl.h"

namespace {
thread_local DWORD t_lastError = 0;

bool ParentExists(const std::string& path) {
    struct stat info;
    return stat(standin::FolderOf(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
} // namespace

extern "C" DWORD GetLastError(void) {
    return t_lastError;
}
extern "C" void SetLastError(DWORD error) {
    t_lastError = error;
}

namespace standin {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL FailFromErrno(int error, const std::string& path) {
    SetErrorFromErrno(error, path);
    return FALSE;
}

BOOL FailFromErrno(const std::string& path) {
    return FailFromErrno(errno, path);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SetErrorFromErrno(int error, const std::string& path) {
    switch (error) {
    case ENOENT:
        SetLastError(ParentExists(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        break;
    case ENOTDIR:
        SetLastError(ERROR_PATH_NOT_FOUND);
        break;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case EBUSY:
        SetLastError(ERROR_ACCESS_DENIED);
        break;
    case EEXIST:
        SetLastError(ERROR_FILE_EXISTS);
        break;
    case ENOTEMPTY:
        SetLastError(ERROR_DIR_NOT_EMPTY);
        break;
    case EMFILE:
    case ENFILE:
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        break;
    case ENOSPC:
    case EDQUOT:
        SetLastError(ERROR_DISK_FULL);
        break;
    case EFBIG: // larger than the target's file system takes: the write side failed
        SetLastError(ERROR_FILE_TOO_LARGE);
        break;
    case ENAMETOOLONG:
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        break;
    case EXDEV:
        SetLastError(ERROR_NOT_SAME_DEVICE);
        break;
    case ENOMEM:
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        break;
    case EINVAL:
        SetLastError(ERROR_INVALID_PARAMETER);
        break;
    default:
        SetLastError(ERROR_GEN_FAILURE);
        break;
    }
}

// Windows counts 100 ns intervals since 1601-01-01.
const uint64_t kEpochDifference = 11644473600ull;

FILETIME ToFileTime(const struct timespec& time) {
    uint64_t ticks = (static_cast<uint64_t>(time.tv_sec) + kEpochDifference) * 10000000ull +
                     static_cast<uint64_t>(time.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

struct timespec ToTimespec(const FILETIME& time) {
    uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    struct timespec result;
    result.tv_sec =
        static_cast<time_t>(ticks / 10000000ull) - static_cast<time_t>(kEpochDifference);
    result.tv_nsec = static_cast<long>(ticks % 10000000ull) * 100;
    return result;
}

} // namespace standin
