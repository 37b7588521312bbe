// FindFirstFileA and friends over directory streams. The names are read when
// the enumeration opens and come back in byte order after "." and "..";
// each name is examined when it is returned.
#include <dirent.h>
#include <fnmatch.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "StandIn.h"
#include "StandInControl.h"

namespace {

std::atomic<int> g_openEnumerations{0};

// IO_REPARSE_TAG_SYMLINK: a name surrogate, as Windows tags directory links.
const DWORD kSymbolicLinkTag = 0xA000000Cu;

// The directory stream stays open until FindClose, as a Windows enumeration
// holds its directory handle: an enumeration left open shows as an open
// descriptor of the process.
struct Enumeration {
    std::string directory;
    std::vector<std::string> names;
    size_t next;
    DIR* stream;
    ~Enumeration() {
        if (stream != nullptr) {
            closedir(stream);
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

// Fills `record` for one name. False when the name vanished or is a dangling
// link, which Windows does not list.
bool Describe(const std::string& directory, const std::string& name, WIN32_FIND_DATAA* record) {
    std::string path = directory.empty()  ? name
                       : directory == "/" ? "/" + name
                                          : directory + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return false;
    }
    DWORD attributes = 0;
    DWORD reparseTag = 0;
    if (S_ISLNK(info.st_mode)) {
        if (stat(path.c_str(), &info) != 0) {
            return false;
        }
        if (S_ISDIR(info.st_mode)) {
            attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            reparseTag = kSymbolicLinkTag;
        }
    }
    attributes |= S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((info.st_mode & S_IWUSR) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (name[0] == '.' && name != "." && name != "..") {
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    }
    std::memset(record, 0, sizeof *record);
    record->dwFileAttributes = attributes;
    record->dwReserved0 = reparseTag;
    record->ftCreationTime = standin::ToFileTime(info.st_ctim);
    record->ftLastAccessTime = standin::ToFileTime(info.st_atim);
    record->ftLastWriteTime = standin::ToFileTime(info.st_mtim);
    uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
    record->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    record->nFileSizeLow = static_cast<DWORD>(size);
    std::strncpy(record->cFileName, name.c_str(), sizeof record->cFileName - 1);
    return true;
}

bool ReadNames(const std::string& directory, const std::string& mask, Enumeration* enumeration) {
    std::vector<std::string>* names = &enumeration->names;
    DIR* stream = opendir(directory.empty() ? "." : directory.c_str());
    if (stream == nullptr) {
        int error = errno;
        standin::SetErrorFromErrno(error, directory);
        if (error == ENOENT || error == ENOTDIR) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        }
        return false;
    }
    std::vector<std::string> found;
    while (struct dirent* entry = readdir(stream)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 &&
            Matches(mask, entry->d_name)) {
            found.emplace_back(entry->d_name);
        }
    }
    enumeration->stream = stream;
    std::sort(found.begin(), found.end());
    if (Matches(mask, ".")) {
        names->push_back(".");
    }
    if (Matches(mask, "..")) {
        names->push_back("..");
    }
    names->insert(names->end(), found.begin(), found.end());
    return true;
}

bool NextEntry(Enumeration* enumeration, WIN32_FIND_DATAA* record) {
    while (enumeration->next < enumeration->names.size()) {
        const std::string& name = enumeration->names[enumeration->next++];
        if (Describe(enumeration->directory, name, record)) {
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
    Enumeration* enumeration = new Enumeration{directory, {}, 0, nullptr};
    if (IsWildcard(mask)) {
        if (!ReadNames(directory, mask, enumeration)) {
            delete enumeration;
            return INVALID_HANDLE_VALUE;
        }
    } else {
        enumeration->names.push_back(mask);
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
