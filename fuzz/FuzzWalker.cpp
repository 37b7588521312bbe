// Trees built from the input, with hostile names (dots, backslashes, spaces,
// names up to 255 characters, paths of thousands of characters), listed to the
// end and compared with a walk of the tree as the input describes it, worked
// out in memory and independent of any code of the plugin: the same names in
// the same order (each directory after its contents), the same sizes and
// subtree totals, and no enumeration left open.
#include "FuzzSupport.h"

#include "PlatformNames.h"

#include <sys/stat.h>

#include <vector>

#include "GeneratedTree.h"
#include "StandInControl.h"

namespace {

struct Expected {
    std::string name;
    uint64_t size;
};

// The listing the plugin must give, walked here on its own over the described
// tree: names relative to the root joined by "/", a directory after its
// contents as "name./" with the total size beneath it; a name of 260
// characters or more is left out but its size counts, and every directory is
// entered however long its path, up to the 32,767 characters Windows takes
// (a directory whose path would not fit that is shown empty).
const size_t kLongestWalkedPath = 32767;

uint64_t Walk(const fuzz::Node& directory, size_t pathLength, std::string* listed,
              std::vector<Expected>* out) {
    if (pathLength + 2 > kLongestWalkedPath) {
        return 0; // "directory/*" does not fit: nothing can be enumerated
    }
    uint64_t total = 0;
    size_t relativeLength = listed->size();
    for (const auto& [name, node] : directory.children) {
        size_t childPathLength = pathLength + 1 + name.size();
        listed->append(name);
        uint64_t size = name.size();
        if (node.directory) {
            bool reachable = childPathLength <= kLongestWalkedPath;
            listed->push_back('/');
            size = reachable ? Walk(node, childPathLength, listed, out) : 0;
            listed->resize(relativeLength + name.size());
            listed->append("./");
        }
        if (listed->size() < MAX_PATH) {
            out->push_back({*listed, size});
        }
        listed->resize(relativeLength);
        total += size;
    }
    return total;
}

const std::string& Root() {
    static const std::string root = std::string(fuzz::Scratch()) + "/tree";
    static const bool made = mkdir(root.c_str(), 0755) == 0;
    if (!made) {
        std::abort();
    }
    return root;
}

// One input in sixteen, picked by a hash of the whole input so that the corpus
// cannot lean either way, is laid out on disk and listed through the platform
// layer; the others list the same tree served from memory, which takes a
// small part of the time and checks the walk itself just as closely.
bool ListedFromDisk(const uint8_t* data, size_t size) {
    uint32_t hash = 2166136261u; // FNV-1a
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    return hash % 16 == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& root = Root();
    fuzz::Node tree;
    fuzz::TreeFrom(data, size, root.size(), &tree);
    if (ListedFromDisk(data, size)) {
        fuzz::LayOutOnDisk(root, data, size, tree);
    } else {
        fuzz::ServeFromMemory(root, &tree);
    }
    std::vector<Expected> expected;
    std::string relative;
    Walk(tree, root.size(), &relative, &expected);
    fuzz::Init(-1);
    fuzz::HostBuffer path(kRemoteNamePrefix + root);
    WIN32_FIND_DATAA* record = new WIN32_FIND_DATAA;
    HANDLE search = FsFindFirst(path.text, record);
    size_t listed = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (strnlen(record->cFileName, MAX_PATH) == MAX_PATH) {
                std::abort(); // a name must fit its field
            }
            uint64_t size =
                (static_cast<uint64_t>(record->nFileSizeHigh) << 32) | record->nFileSizeLow;
            if (listed == expected.size() || expected[listed].name != record->cFileName ||
                expected[listed].size != size) {
                std::abort(); // not the entry the walk expects here
            }
            ++listed;
        } while (FsFindNext(search, record));
        FsFindClose(search);
    }
    delete record;
    fuzz::ServeFromMemory(root, nullptr);
    if (listed != expected.size() || StandInOpenEnumerations() != 0 ||
        fuzz::OpenMemoryEnumerations() != 0) {
        std::abort();
    }
    return 0;
}
