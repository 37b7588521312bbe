// MoveFileA and MoveFileExA over POSIX: a rename on
// one file system, a copy and a removal across two, with the Win32 errors
// Windows sets. An existing target is refused without a check-then-act race
// where POSIX allows it, and a rename onto another name of the same file is
// never a silent nothing.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "StandIn.h"
#include "StandInControl.h"

using standin::Fail;
using standin::FailFromErrno;
using standin::Faulted;
using standin::FolderOf;
using standin::SameFile;

namespace standin {

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
    struct stat first, second;
    return stat(FolderOf(a).c_str(), &first) == 0 && stat(FolderOf(b).c_str(), &second) == 0 &&
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
                       const std::string& target, bool replace) {
    if (S_ISDIR(info.st_mode)) {
        return Fail(ERROR_NOT_SAME_DEVICE);
    }
    DWORD flags = COPY_FILE_AS_MOVE | (replace ? 0 : COPY_FILE_FAIL_IF_EXISTS);
    if (!standin::CopyEntry(source, target, flags, nullptr, nullptr, nullptr)) {
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

BOOL MovePosix(const std::string& source, const std::string& target, DWORD flags) {
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
        return MoveAcrossDevices(source, sourceInfo, target, replace);
    }
    return FailFromErrno(errno == ENOENT && targetExists ? source : target);
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
    return MovePosix(from, to, flags);
}

} // extern "C"
