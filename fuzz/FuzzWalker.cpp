// Trees built from the input, with hostile names (dots, backslashes, spaces,
// names up to 255 characters, nesting past the 260-byte limit), listed to the
// end and compared with an independent walk of the same tree: the same names
// in the same order (each directory after its contents), the same sizes and
// subtree totals, and no enumeration left open.
#include "FuzzSupport.h"

#include "PlatformNames.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "StandInControl.h"

namespace {

const char kAlphabet[] = "ab.\\ -xyz";

std::string NameFrom(const uint8_t* data, size_t length) {
    std::string name;
    for (size_t i = 0; i < length; ++i) {
        name += kAlphabet[data[i] % (sizeof kAlphabet - 1)];
    }
    return name;
}

uint64_t Build(const std::string& root, const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    std::vector<std::string> stack = {root};
    uint64_t created = 0;
    for (size_t i = 0; i + 2 <= size;) {
        uint8_t kind = data[i] % 4;
        size_t length = 1 + data[i + 1] % 255;
        i += 2;
        if (kind == 3) {
            if (stack.size() > 1) {
                stack.pop_back();
            }
            continue;
        }
        // A long name is stretched from the bytes there are.
        std::string name = NameFrom(data + i, std::min(length, size - i));
        if (name.size() < length && kind != 0) {
            name.append(length - name.size(), 'q');
        }
        i += std::min(length, size - i);
        if (name.empty() || name == "." || name == ".." ||
            stack.back().size() + name.size() > 3000) {
            continue;
        }
        std::string path = stack.back() + "/" + name;
        std::error_code error;
        if (kind == 0) {
            std::ofstream(path) << name;
        } else {
            fs::create_directory(path, error);
            if (kind == 2 && !error) {
                stack.push_back(path);
            }
        }
        ++created;
    }
    return created;
}

struct Expected {
    std::string name;
    uint64_t size;
    bool operator==(const Expected& other) const {
        return name == other.name && size == other.size;
    }
};

std::vector<std::string> SortedNames(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* stream = opendir(directory.c_str())) {
        while (struct dirent* entry = readdir(stream)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(stream);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The listing the plugin must give, walked here on its own: names relative to
// the root joined by "/", a directory after its contents as "name./" with the
// total size beneath it; a name of 260 characters or more is left out but
// its size counts; a directory whose path would not fit is shown empty and
// not entered; links are listed and not followed, dangling ones not at all.
uint64_t Walk(const std::string& directory, const std::string& relative,
              std::vector<Expected>* out) {
    if (directory.size() + 2 >= MAX_PATH) {
        return 0; // "directory/*" does not fit: nothing can be enumerated
    }
    uint64_t total = 0;
    for (const std::string& name : SortedNames(directory)) {
        std::string path = directory + "/" + name;
        std::string listed = relative + name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) {
            continue;
        }
        bool link = S_ISLNK(info.st_mode);
        if (link && stat(path.c_str(), &info) != 0) {
            continue;
        }
        uint64_t size = 0;
        if (S_ISDIR(info.st_mode) && !link) {
            bool reachable = path.size() < MAX_PATH && listed.size() + 1 < MAX_PATH;
            size = reachable ? Walk(path, listed + "/", out) : 0;
            listed += "./";
        } else if (!S_ISDIR(info.st_mode)) {
            size = static_cast<uint64_t>(info.st_size);
        }
        if (listed.size() < MAX_PATH) {
            out->push_back({listed, size});
        }
        total += size;
    }
    return total;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    const std::string root = std::string(fuzz::Scratch()) + "/tree";
    std::error_code error;
    fs::remove_all(root, error);
    fs::create_directory(root);
    uint64_t created = Build(root, data, size);
    fuzz::Init(-1);
    fuzz::HostBuffer path(kRemoteNamePrefix + root);
    WIN32_FIND_DATAA* record = new WIN32_FIND_DATAA;
    HANDLE search = FsFindFirst(path.text, record);
    std::vector<Expected> listed;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            size_t length = strnlen(record->cFileName, MAX_PATH);
            if (length == MAX_PATH) {
                std::abort(); // a name must fit its field
            }
            listed.push_back(
                {record->cFileName,
                 (static_cast<uint64_t>(record->nFileSizeHigh) << 32) | record->nFileSizeLow});
        } while (FsFindNext(search, record));
        FsFindClose(search);
    }
    delete record;
    std::vector<Expected> expected;
    Walk(root, "", &expected);
    if (listed != expected || listed.size() > created || StandInOpenEnumerations() != 0) {
        std::abort();
    }
    return 0;
}
