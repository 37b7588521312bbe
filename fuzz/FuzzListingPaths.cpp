// Listed paths of every shape below a fixed tree of hostile names, with the
// listing aborted at a point the input picks.
#include "FuzzSupport.h"

#include "PlatformNames.h"

#include <fstream>

#include "StandInControl.h"

namespace {

void MakeTree(const std::string& root) {
    namespace fs = std::filesystem;
    std::string deep = root;
    while (deep.size() < 300) {
        deep += "/" + std::string(20, 'n');
    }
    for (const std::string& directory :
         {root + "/a/b/c", root + "/...", root + "/dots./x", root + "/back\\slash", deep,
          root + "/" + std::string(255, 'L')}) {
        fs::create_directories(directory);
        std::ofstream(directory + "/file.txt") << "1234";
        std::ofstream(directory + "/" + std::string(200, 'f')) << "x";
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool made = (MakeTree(fuzz::Scratch()), true);
    (void)made;
    if (size < 1) {
        return 0;
    }
    std::string tail(reinterpret_cast<const char*>(data + 1), size - 1);
    tail = tail.substr(0, tail.find('\0'));
    if (fuzz::ClimbsOut(tail)) {
        return 0;
    }
    fuzz::Init(data[0] % 8);
    fuzz::HostBuffer path(kRemoteNamePrefix + std::string(fuzz::Scratch()) + "/" + tail);
    WIN32_FIND_DATAA* record = new WIN32_FIND_DATAA;
    HANDLE search = FsFindFirst(path.text, record);
    if (search != INVALID_HANDLE_VALUE) {
        for (int i = 0; i < 64 && FsFindNext(search, record); ++i) {
            if (strnlen(record->cFileName, MAX_PATH) == MAX_PATH) {
                std::abort(); // an entry name must fit its field
            }
        }
        FsFindClose(search);
    }
    delete record;
    if (StandInOpenEnumerations() != 0) {
        std::abort(); // an enumeration outlived its listing
    }
    return 0;
}
