// The platform's directory enumeration answered from a generated tree, as
// the platform layer answers from the disk: "." and ".." first, then the names
// in byte order; directories and files as the layer describes them. Defined in
// the fuzzer itself, these take the place of the platform layer's functions
// for the plugin's code linked into it; without a tree they hand over to them.
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "GeneratedTree.h"
#include "StandIn.h"

namespace {

const fuzz::Node* g_tree = nullptr;
std::string g_root;
int g_open = 0;

// "." and ".." first, then the children in order.
struct MemoryEnumeration {
    const fuzz::Node* directory;
    int dots = 0;
    std::map<std::string, fuzz::Node, std::less<>>::const_iterator next;
};

// The platform layer's own function of that name.
void* PlatformFunction(const char* name) {
    void* function = dlsym(RTLD_NEXT, name);
    if (function == nullptr) {
        std::abort();
    }
    return function;
}

// The directories of the path resolved last, one per component (the root
// first): a walk asks for a directory just below one it asked for before.
std::string g_resolvedPath;
std::vector<std::pair<size_t, const fuzz::Node*>> g_resolved; // path length, node

// The node `directory` names below the root; null when there is none.
const fuzz::Node* Resolve(std::string_view directory) {
    if (directory.substr(0, g_root.size()) != g_root) {
        return nullptr;
    }
    // Start from the deepest directory the previous path shares.
    size_t common = static_cast<size_t>(std::mismatch(directory.begin(), directory.end(),
                                                      g_resolvedPath.begin(), g_resolvedPath.end())
                                            .first -
                                        directory.begin());
    size_t shared = 1;
    while (shared < g_resolved.size() && g_resolved[shared].first <= common &&
           (g_resolved[shared].first == directory.size() ||
            directory[g_resolved[shared].first] == '/')) {
        ++shared;
    }
    g_resolved.resize(shared);
    g_resolvedPath.assign(directory);
    const fuzz::Node* node = g_resolved.back().second;
    size_t at = g_resolved.back().first;
    while (at < directory.size()) {
        if (directory[at] != '/') {
            return nullptr;
        }
        size_t end = std::min(directory.find('/', at + 1), directory.size());
        auto child = node->children.find(directory.substr(at + 1, end - at - 1));
        if (child == node->children.end() || !child->second.directory) {
            return nullptr;
        }
        node = &child->second;
        at = end;
        g_resolved.push_back({at, node});
    }
    return node;
}

void Describe(std::string_view name, const fuzz::Node* node, WIN32_FIND_DATAA* record) {
    std::memset(record, 0, sizeof *record);
    record->dwFileAttributes = node->directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (name[0] == '.' && name != "." && name != "..") {
        record->dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
    }
    record->nFileSizeLow = node->directory ? 0 : static_cast<DWORD>(name.size());
    name.copy(record->cFileName, name.size()); // names are at most 255 characters
}

// False at the end.
bool Next(MemoryEnumeration* enumeration, WIN32_FIND_DATAA* record) {
    if (enumeration->dots < 2) {
        Describe(enumeration->dots++ == 0 ? "." : "..", enumeration->directory, record);
        return true;
    }
    if (enumeration->next == enumeration->directory->children.end()) {
        return false;
    }
    Describe(enumeration->next->first, &enumeration->next->second, record);
    ++enumeration->next;
    return true;
}

} // namespace

namespace fuzz {

void ServeFromMemory(const std::string& root, const Node* tree) {
    g_root = root;
    g_tree = tree;
    g_resolvedPath = root;
    g_resolved.assign(1, {root.size(), tree});
}

int OpenMemoryEnumerations() {
    return g_open;
}

} // namespace fuzz

extern "C" HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* record) {
    if (g_tree == nullptr) {
        static auto* platform = reinterpret_cast<HANDLE (*)(const char*, WIN32_FIND_DATAA*)>(
            PlatformFunction("FindFirstFileA"));
        return platform(pattern, record);
    }
    std::string_view path(pattern);
    size_t split = path.rfind('/');
    if (split == std::string_view::npos || path.substr(split) != "/*") {
        std::abort(); // the walk asks for every name of a directory, nothing else
    }
    const fuzz::Node* directory = Resolve(path.substr(0, split));
    if (directory == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    MemoryEnumeration* enumeration =
        new MemoryEnumeration{directory, 0, directory->children.begin()};
    Next(enumeration, record);
    ++g_open;
    return enumeration;
}

extern "C" BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* record) {
    if (g_tree == nullptr) {
        static auto* platform = reinterpret_cast<BOOL (*)(HANDLE, WIN32_FIND_DATAA*)>(
            PlatformFunction("FindNextFileA"));
        return platform(handle, record);
    }
    if (!Next(static_cast<MemoryEnumeration*>(handle), record)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL FindClose(HANDLE handle) {
    if (g_tree == nullptr) {
        static auto* platform = reinterpret_cast<BOOL (*)(HANDLE)>(PlatformFunction("FindClose"));
        return platform(handle);
    }
    delete static_cast<MemoryEnumeration*>(handle);
    --g_open;
    return TRUE;
}
