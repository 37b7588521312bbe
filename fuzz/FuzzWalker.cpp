// Trees built from the input, with hostile names (dots, backslashes, spaces,
// names up to 255 characters, nesting past the 260-byte limit), listed to the
// end; every entry must fit its field and no enumeration may outlive the
// listing.
#include "FuzzSupport.h"

#include "PlatformNames.h"

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
        // Windows drops a directory name's trailing dots and spaces, so such a
        // directory cannot exist there; files of dots can, and stay.
        if (kind != 0 && (name.back() == '.' || name.back() == ' ')) {
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
    uint64_t entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            size_t length = strnlen(record->cFileName, MAX_PATH);
            if (length == MAX_PATH || length == 0 || record->cFileName[0] == '/' ||
                std::strcmp(record->cFileName, ".") == 0 ||
                std::strcmp(record->cFileName, "..") == 0) {
                std::abort();
            }
            ++entries;
        } while (FsFindNext(search, record));
        FsFindClose(search);
    }
    delete record;
    if (entries > created || StandInOpenEnumerations() != 0) {
        std::abort();
    }
    return 0;
}
