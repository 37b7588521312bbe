// Copy, move, delete and the other single-file calls, with the Win32 error
// codes Windows sets. Replacing and refusing targets is done without a
// check-then-act race where POSIX allows it.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "StandIn.h"
#include "StandInControl.h"

namespace {

std::atomic<int> g_openFiles{0};

// A handle opened for no data (only to set times or attributes) holds the
// file by an O_PATH descriptor, which opens a FIFO or a device without
// waiting on it or waking it.
struct FileHandle {
    int descriptor;
    bool pathOnly;
};

using standin::Fail;
using standin::Faulted;

BOOL FailFromErrno(const std::string& path) {
    standin::SetErrorFromErrno(errno, path);
    return FALSE;
}

bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & S_IWUSR) == 0;
}

bool IsLinkToDirectory(const std::string& path) {
    struct stat link;
    struct stat target;
    return lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
           stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

namespace standin {

DWORD AttributesOf(const std::string& path, const struct stat& info) {
    if (S_ISLNK(info.st_mode)) {
        struct stat target;
        bool folder = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        return FILE_ATTRIBUTE_REPARSE_POINT |
               (folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
    }
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    return attributes | (IsReadOnly(info) ? FILE_ATTRIBUTE_READONLY : 0);
}

int RenameNoReplace(const std::string& source, const std::string& target) {
#ifdef SYS_renameat2
    long result = syscall(SYS_renameat2, AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(),
                          1 /* RENAME_NOREPLACE */);
    if (result == 0 || (errno != ENOSYS && errno != EINVAL)) {
        return static_cast<int>(result);
    }
#endif
    // Without renameat2, a hard link refuses an existing target atomically.
    if (link(source.c_str(), target.c_str()) == 0) {
        return unlink(source.c_str());
    }
    if (errno != EPERM) {
        return -1;
    }
    struct stat info;
    if (lstat(target.c_str(), &info) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(source.c_str(), target.c_str());
}

} // namespace standin

namespace {

std::string LastComponent(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameFolder(const std::string& a, const std::string& b) {
    auto folder = [](const std::string& path) {
        size_t slash = path.find_last_of('/');
        return slash == std::string::npos ? std::string(".")
                                          : (slash == 0 ? std::string("/") : path.substr(0, slash));
    };
    struct stat first, second;
    return stat(folder(a).c_str(), &first) == 0 && stat(folder(b).c_str(), &second) == 0 &&
           SameFile(first, second);
}

// Two names of one file are the same entry when the file has no other name,
// or when they are one name in one folder (spelt through different paths).
bool SameEntry(const std::string& source, const struct stat& info, const std::string& target) {
    return S_ISDIR(info.st_mode) || info.st_nlink <= 1 ||
           (LastComponent(source) == LastComponent(target) && SameFolder(source, target));
}

// Across file systems a file moves as Windows moves it: copied onto the
// target (links, FIFOs and device nodes made again, with what mv keeps), then
// the source removed. Should the source stay, so does nothing at the target.
BOOL MoveAcrossDevices(const std::string& source, const struct stat& info,
                       const std::string& target, bool replace, LPPROGRESS_ROUTINE routine,
                       void* data) {
    if (S_ISDIR(info.st_mode)) {
        return Fail(ERROR_NOT_SAME_DEVICE);
    }
    DWORD flags = COPY_FILE_AS_MOVE | (replace ? 0 : COPY_FILE_FAIL_IF_EXISTS);
    if (!standin::CopyEntry(source, target, flags, routine, data, nullptr)) {
        return FALSE;
    }
    if (unlink(source.c_str()) == 0) {
        return TRUE;
    }
    int error = errno;
    unlink(target.c_str());
    standin::SetErrorFromErrno(error, source);
    return FALSE;
}

BOOL MovePosix(const std::string& source, const std::string& target, DWORD flags,
               LPPROGRESS_ROUTINE routine, void* data) {
    bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    struct stat sourceInfo;
    if (lstat(source.c_str(), &sourceInfo) != 0) {
        return FailFromErrno(source);
    }
    struct stat targetInfo;
    bool targetExists = lstat(target.c_str(), &targetInfo) == 0;
    bool sameFile = targetExists && SameFile(sourceInfo, targetInfo);
    if (sameFile && !SameEntry(source, sourceInfo, target)) {
        // Another name of the same file: rename(2) would do nothing and say it
        // had. Windows refuses without replace, and with it the source's name
        // goes, which leaves the file under the target's name.
        if (!replace) {
            return Fail(ERROR_ALREADY_EXISTS);
        }
        return unlink(source.c_str()) == 0 ? TRUE : FailFromErrno(source);
    }
    if (targetExists && !sameFile && replace &&
        (S_ISDIR(targetInfo.st_mode) || S_ISDIR(sourceInfo.st_mode))) {
        return Fail(ERROR_ACCESS_DENIED); // Windows replaces files only
    }
    int result = replace || sameFile ? rename(source.c_str(), target.c_str())
                                     : standin::RenameNoReplace(source, target);
    if (result == 0) {
        return TRUE;
    }
    if (errno == EEXIST || errno == ENOTEMPTY) {
        return Fail(ERROR_ALREADY_EXISTS);
    }
    if (errno == EXDEV) {
        if ((flags & MOVEFILE_COPY_ALLOWED) == 0) {
            return Fail(ERROR_NOT_SAME_DEVICE);
        }
        if (targetExists && !replace) {
            return Fail(ERROR_ALREADY_EXISTS);
        }
        return MoveAcrossDevices(source, sourceInfo, target, replace, routine, data);
    }
    return FailFromErrno(errno == ENOENT && targetExists ? source : target);
}

FileHandle* HandleOf(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return static_cast<FileHandle*>(handle);
}

} // namespace

extern "C" {

BOOL MoveFileA(const char* source, const char* target) {
    return MoveFileExA(source, target, MOVEFILE_COPY_ALLOWED);
}

BOOL MoveFileExA(const char* source, const char* target, DWORD flags) {
    std::string from(source);
    std::string to(target);
    if (Faulted("MoveFileExA", from)) {
        return FALSE;
    }
    return MovePosix(from, to, flags, nullptr, nullptr);
}

BOOL MoveFileWithProgressA(const char* source, const char* target, LPPROGRESS_ROUTINE routine,
                           void* data, DWORD flags) {
    std::string from(source);
    std::string to(target);
    if (Faulted("MoveFileWithProgressA", from)) {
        return FALSE;
    }
    return MovePosix(from, to, flags, routine, data);
}

BOOL DeleteFileA(const char* path) {
    std::string name(path);
    if (Faulted("DeleteFileA", name)) {
        return FALSE;
    }
    struct stat info;
    if (lstat(name.c_str(), &info) != 0) {
        return FailFromErrno(name);
    }
    if (S_ISDIR(info.st_mode)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    // Unlike Windows, a read-only file is deleted: on Linux the write bits
    // guard the contents, the folder's guard the name, and users expect rm.
    return unlink(name.c_str()) == 0 ? TRUE : FailFromErrno(name);
}

BOOL RemoveDirectoryA(const char* path) {
    std::string name(path);
    if (Faulted("RemoveDirectoryA", name)) {
        return FALSE;
    }
    if (rmdir(name.c_str()) == 0) {
        return TRUE;
    }
    if (errno == ENOTDIR) {
        // As on Windows, a link to a directory is removed itself, never
        // what it points to.
        return IsLinkToDirectory(name) ? (unlink(name.c_str()) == 0 ? TRUE : FailFromErrno(name))
                                       : Fail(ERROR_DIRECTORY);
    }
    return FailFromErrno(name);
}

BOOL CreateDirectoryA(const char* path, SECURITY_ATTRIBUTES*) {
    std::string name(path);
    if (Faulted("CreateDirectoryA", name)) {
        return FALSE;
    }
    if (mkdir(name.c_str(), 0777) == 0) {
        return TRUE;
    }
    if (errno == EEXIST) {
        return Fail(ERROR_ALREADY_EXISTS);
    }
    return FailFromErrno(name);
}

DWORD GetFileAttributesA(const char* path) {
    std::string name(path);
    if (Faulted("GetFileAttributesA", name)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat info;
    if (lstat(name.c_str(), &info) != 0) {
        FailFromErrno(name);
        return INVALID_FILE_ATTRIBUTES;
    }
    return standin::AttributesOf(name, info);
}

BOOL GetFileAttributesExA(const char* path, GET_FILEEX_INFO_LEVELS, void* information) {
    std::string name(path);
    if (Faulted("GetFileAttributesExA", name)) {
        return FALSE;
    }
    struct stat info;
    if (lstat(name.c_str(), &info) != 0) {
        return FailFromErrno(name);
    }
    WIN32_FILE_ATTRIBUTE_DATA* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    data->dwFileAttributes = standin::AttributesOf(name, info);
    data->ftCreationTime = standin::ToFileTime(info.st_ctim);
    data->ftLastAccessTime = standin::ToFileTime(info.st_atim);
    data->ftLastWriteTime = standin::ToFileTime(info.st_mtim);
    uint64_t size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    return TRUE;
}

// Only the read-only attribute has a POSIX meaning, the write bits; a link
// has none of its own, and its target is never changed through it.
BOOL SetFileAttributesA(const char* path, DWORD attributes) {
    std::string name(path);
    if (Faulted("SetFileAttributesA", name)) {
        return FALSE;
    }
    return standin::SetAttributesItself(name, attributes);
}

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
    ++g_openFiles;
    return new FileHandle{descriptor, pathOnly};
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
        // The descriptor's own name in /proc means exactly the file opened.
        std::string self = "/proc/self/fd/" + std::to_string(file->descriptor);
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
