// Delete, remove and create directories, and attributes, over POSIX with
// the Win32 errors Windows sets. Links are acted on as themselves, as
// Windows acts on its own.
#include <unistd.h>

#include <cerrno>
#include <string>

#include "StandIn.h"
#include "StandInControl.h"

using standin::Fail;
using standin::FailFromErrno;
using standin::Faulted;

namespace {

bool IsLinkToDirectory(const std::string& path) {
    struct stat link;
    struct stat target;
    return lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
           stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
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

} // namespace standin

extern "C" {

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

} // extern "C"
