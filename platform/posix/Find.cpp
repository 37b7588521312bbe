// FindFirstFileA and friends over open directories. The names are read when
// the enumeration opens and come back in byte order after "." and "..";
// each name is examined when it is returned. A name that cannot be examined
// is still given with what its directory entry says, as Windows gives every
// name a directory holds. Besides its Windows attributes every record carries
// a Unix mode, as the file managers on Linux read it.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "StandIn.h"
#include "StandInControl.h"

namespace {

std::atomic<int> g_openEnumerations{0};

// Every link's mode on Linux: a link has no permissions of its own.
const DWORD kLinkMode = S_IFLNK | 0777;

// The directory stays open until FindClose, as a Windows enumeration holds
// its directory handle: an enumeration left open shows as an open descriptor
// of the process.
struct Name {
    std::string text;
    unsigned char type; // the directory entry's d_type; DT_UNKNOWN when not read from one
    bool operator<(const Name& other) const { return text < other.text; }
};

struct Enumeration {
    std::string directory;
    std::vector<Name> names;
    size_t next;
    int descriptor; // -1 for an enumeration of one name
    ~Enumeration() {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
};

bool IsWildcard(const std::string& mask) {
    return mask.find_first_of("*?") != std::string::npos;
}

bool Matches(const std::string& mask, const char* name) {
    if (mask == "*" || mask == "*.*") {
        return true; // "*.*" also matches names without a dot
    }
    return fnmatch(mask.c_str(), name, 0) == 0;
}

DWORD NameAttributes(const std::string& name) {
    return name[0] == '.' && name != "." && name != ".." ? FILE_ATTRIBUTE_HIDDEN : 0;
}

// The mode the file manager shows for a name that is not a link. It takes a
// name's kind from the mode's type bits alone, and the listing shows every
// folder as an entry of its own after its contents, a file that carries the
// folder's total: so a folder's mode is a regular file's, with the folder's
// own permission bits. FIFOs, devices and sockets keep their type.
DWORD HostMode(mode_t mode) {
    DWORD permissions = mode & 07777;
    return S_ISDIR(mode) ? (S_IFREG | permissions) : (mode & (S_IFMT | 07777));
}

// The mode goes in dwReserved0, under FILE_ATTRIBUTE_UNIX_MODE: Linux has no
// reparse tags to put there, and every reparse point it lists is a link.
void FillRecord(const std::string& name, DWORD attributes, DWORD mode, const struct stat* info,
                uint64_t size, WIN32_FIND_DATAA* record) {
    std::memset(record, 0, sizeof *record);
    record->dwFileAttributes = attributes | NameAttributes(name) | FILE_ATTRIBUTE_UNIX_MODE;
    record->dwReserved0 = mode;
    if (info != nullptr) {
        record->ftCreationTime = standin::ToFileTime(info->st_ctim);
        record->ftLastAccessTime = standin::ToFileTime(info->st_atim);
        record->ftLastWriteTime = standin::ToFileTime(info->st_mtim);
    }
    record->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    record->nFileSizeLow = static_cast<DWORD>(size);
    std::strncpy(record->cFileName, name.c_str(), sizeof record->cFileName - 1);
}

// A name of a directory that can be read but not searched: only its entry's
// type is known, not its permissions. A link is given as a link by its mode,
// never as what it may point to, which is not known either (see the dangling
// link below).
void DescribeFromEntry(const Name& name, WIN32_FIND_DATAA* record) {
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    DWORD mode = S_IFREG;
    if (name.type == DT_DIR) {
        attributes = FILE_ATTRIBUTE_DIRECTORY;
    } else if (name.type == DT_LNK) {
        mode = kLinkMode;
    }
    FillRecord(name.text, attributes, mode, nullptr, 0, record);
}

// Fills `record` for one name. False when the name vanished, or, for a name
// not read from a directory, cannot be examined. Names read from an open
// directory are examined relative to it: no path is walked again for each
// name, and the name is looked up in the very directory it was read from.
bool Describe(const Enumeration& enumeration, const Name& entry, WIN32_FIND_DATAA* record) {
    const std::string& name = entry.text;
    int directory = AT_FDCWD;
    const char* path = name.c_str();
    std::string joined;
    if (enumeration.descriptor >= 0) {
        directory = enumeration.descriptor;
    } else if (!enumeration.directory.empty()) {
        const std::string& parent = enumeration.directory;
        joined = parent == "/" ? "/" + name : parent + "/" + name;
        path = joined.c_str();
    }
    struct stat info;
    if (fstatat(directory, path, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || entry.type == DT_UNKNOWN) {
            return false;
        }
        DescribeFromEntry(entry, record);
        return true;
    }
    DWORD attributes = 0;
    DWORD mode = HostMode(info.st_mode);
    if (S_ISLNK(info.st_mode)) {
        mode = kLinkMode;
        struct stat target;
        if (fstatat(directory, path, &target, 0) != 0) {
            // A dangling link is listed as the link it is, so that it can be
            // seen and deleted: its mode says link. Without the reparse
            // attribute, which with a link's mode would make the file
            // manager take it for a link to a folder and try to enter it.
            FillRecord(name, FILE_ATTRIBUTE_ARCHIVE, mode, &info, 0, record);
            return true;
        }
        info = target;
        if (S_ISDIR(info.st_mode)) {
            attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        }
    }
    attributes |= S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((info.st_mode & S_IWUSR) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
    FillRecord(name, attributes, mode, &info, size, record);
    return true;
}

// Appends the names of an open directory that match; false on a read error.
// Read straight into a buffer on the stack: a directory stream would allocate
// tens of kilobytes for every directory of a walk.
bool ReadEntries(int descriptor, const std::string& mask, std::vector<Name>* names) {
    alignas(struct dirent64) char buffer[8192];
    for (;;) {
        ssize_t length = getdents64(descriptor, buffer, sizeof buffer);
        if (length <= 0) {
            return length == 0;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
                Matches(mask, name)) {
                names->push_back({name, entry->d_type});
            }
        }
    }
}

// Opens a directory whose path is longer than the kernel takes in one call: a
// part that fits at a time, each relative to the one before.
int OpenInSteps(const std::string& directory) {
    int base = AT_FDCWD;
    size_t at = 0;
    while (at < directory.size()) {
        size_t end = directory.size();
        if (end - at >= PATH_MAX) {
            end = directory.rfind('/', at + PATH_MAX - 1);
            if (end == std::string::npos || end <= at) {
                errno = ENAMETOOLONG;
                break;
            }
        }
        bool last = end == directory.size();
        std::string part = directory.substr(at, end - at);
        int flags = (last ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC;
        int descriptor = openat(base, part.empty() ? "/" : part.c_str(), flags);
        int error = errno;
        if (base != AT_FDCWD) {
            close(base);
        }
        if (descriptor < 0 || last) {
            errno = error;
            return descriptor;
        }
        base = descriptor;
        at = end + 1;
    }
    if (base != AT_FDCWD) {
        int error = errno;
        close(base);
        errno = error;
    }
    return -1;
}

int OpenDirectory(const std::string& directory) {
    int descriptor =
        open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0 && errno == ENAMETOOLONG) {
        return OpenInSteps(directory);
    }
    return descriptor;
}

bool ReadNames(const std::string& directory, const std::string& mask, Enumeration* enumeration) {
    std::vector<Name>* names = &enumeration->names;
    int descriptor = OpenDirectory(directory);
    if (descriptor < 0) {
        int error = errno;
        standin::SetErrorFromErrno(error, directory);
        if (error == ENOENT || error == ENOTDIR) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        }
        return false;
    }
    enumeration->descriptor = descriptor;
    if (Matches(mask, ".")) {
        names->push_back({".", DT_DIR});
    }
    if (Matches(mask, "..")) {
        names->push_back({"..", DT_DIR});
    }
    size_t dots = names->size();
    if (!ReadEntries(descriptor, mask, names)) {
        standin::SetErrorFromErrno(errno, directory);
        return false;
    }
    std::sort(names->begin() + static_cast<std::ptrdiff_t>(dots), names->end());
    return true;
}

bool NextEntry(Enumeration* enumeration, WIN32_FIND_DATAA* record) {
    while (enumeration->next < enumeration->names.size()) {
        const Name& name = enumeration->names[enumeration->next++];
        if (Describe(*enumeration, name, record)) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* record) {
    std::string path(pattern);
    size_t split = path.find_last_of('/');
    std::string mask = split == std::string::npos ? path : path.substr(split + 1);
    std::string directory = split == std::string::npos ? ""
                            : split == 0               ? "/"
                                                       : path.substr(0, split);
    if (standin::Faulted("FindFirstFileA", directory)) {
        return INVALID_HANDLE_VALUE;
    }
    Enumeration* enumeration = new Enumeration{directory, {}, 0, -1};
    if (IsWildcard(mask)) {
        if (!ReadNames(directory, mask, enumeration)) {
            delete enumeration;
            return INVALID_HANDLE_VALUE;
        }
    } else {
        enumeration->names.push_back({mask, DT_UNKNOWN});
    }
    if (!NextEntry(enumeration, record)) {
        delete enumeration;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    ++g_openEnumerations;
    return enumeration;
}

extern "C" BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* record) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return standin::Fail(ERROR_INVALID_HANDLE);
    }
    Enumeration* enumeration = static_cast<Enumeration*>(handle);
    if (standin::Faulted("FindNextFileA", enumeration->directory)) {
        return FALSE;
    }
    if (!NextEntry(enumeration, record)) {
        return standin::Fail(ERROR_NO_MORE_FILES);
    }
    return TRUE;
}

extern "C" BOOL FindClose(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return standin::Fail(ERROR_INVALID_HANDLE);
    }
    Enumeration* enumeration = static_cast<Enumeration*>(handle);
    bool faulted = standin::Faulted("FindClose", enumeration->directory);
    delete enumeration;
    --g_openEnumerations;
    return faulted ? FALSE : TRUE;
}

extern "C" int StandInOpenEnumerations(void) {
    return g_openEnumerations.load();
}
