// CreateFileA, SetFileTime and CloseHandle over POSIX: the handles the
// plugin opens to set times, counted so that tests can see none is left open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <string>

#include "StandIn.h"
#include "StandInControl.h"

using standin::Fail;
using standin::FailFromErrno;
using standin::Faulted;

namespace {

std::atomic<int> g_openFiles{0};

// A handle opened for no data (only to set times or attributes) holds the
// file by an O_PATH descriptor, which opens a FIFO or a device without
// waiting on it or waking it.
struct FileHandle {
    int descriptor;
    bool pathOnly;
};

FileHandle* HandleOf(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return static_cast<FileHandle*>(handle);
}

} // namespace

extern "C" {

// Opening a directory takes backup semantics, as on Windows.
HANDLE CreateFileA(const char* path, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE) {
    std::string name(path);
    if (Faulted("CreateFileA", name)) {
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if ((flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0 && stat(name.c_str(), &info) == 0 &&
        S_ISDIR(info.st_mode)) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    bool pathOnly = (access & (GENERIC_READ | GENERIC_WRITE)) == 0 && disposition == OPEN_EXISTING;
    // Opening a FIFO for data never waits for the other end, as on Windows.
    int flags = O_CLOEXEC | (pathOnly ? O_PATH : O_NONBLOCK | O_NOCTTY);
    if ((flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0) {
        flags |= O_NOFOLLOW; // a link itself: with O_PATH it opens, without it refuses
    }
    if (!pathOnly) {
        flags |=
            (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    }
    switch (disposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    default:
        break;
    }
    int descriptor = open(name.c_str(), flags, 0666);
    if (descriptor < 0) {
        FailFromErrno(name);
        return INVALID_HANDLE_VALUE;
    }
    if (!pathOnly) {
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    }
    FileHandle* file = new (std::nothrow) FileHandle{descriptor, pathOnly};
    if (file == nullptr) {
        close(descriptor);
        Fail(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    ++g_openFiles;
    return file;
}

BOOL SetFileTime(HANDLE handle, const FILETIME*, const FILETIME* lastAccess,
                 const FILETIME* lastWrite) {
    FileHandle* file = HandleOf(handle);
    if (file == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (Faulted("SetFileTime", "")) {
        return FALSE;
    }
    // POSIX keeps no settable creation time; Wine ignores it there as well.
    struct timespec times[2];
    times[0] = lastAccess ? standin::ToTimespec(*lastAccess) : timespec{0, UTIME_OMIT};
    times[1] = lastWrite ? standin::ToTimespec(*lastWrite) : timespec{0, UTIME_OMIT};
    if (file->pathOnly) {
        std::string self = standin::DescriptorPath(file->descriptor);
        return utimensat(AT_FDCWD, self.c_str(), times, 0) == 0 ? TRUE : FailFromErrno("");
    }
    return futimens(file->descriptor, times) == 0 ? TRUE : FailFromErrno("");
}

BOOL CloseHandle(HANDLE handle) {
    FileHandle* file = HandleOf(handle);
    if (file == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    bool faulted = Faulted("CloseHandle", "");
    close(file->descriptor);
    delete file;
    --g_openFiles;
    return faulted ? FALSE : TRUE;
}

int StandInOpenFiles(void) {
    return g_openFiles.load();
}

} // extern "C"
