#include "GeneratedTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

namespace fuzz {
namespace {

const char kAlphabet[] = "ab.\\ -xyz";

std::string NameFrom(const uint8_t* data, size_t length) {
    std::string name;
    name.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        name += kAlphabet[data[i] % (sizeof kAlphabet - 1)];
    }
    return name;
}

// Every path of a tree relative to its root, mapped to whether it is a
// directory; a directory's contents sort after it.
using Flat = std::map<std::string, bool>;

void Flatten(const Node& node, const std::string& relative, Flat* out) {
    for (const auto& [name, child] : node.children) {
        std::string path = relative + name;
        out->emplace(path, child.directory);
        if (child.directory) {
            Flatten(child, path + "/", out);
        }
    }
}

bool Create(const std::string& path, const std::string& name, bool directory) {
    if (directory) {
        return mkdir(path.c_str(), 0755) == 0;
    }
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        return false;
    }
    bool written = write(file, name.data(), name.size()) == static_cast<ssize_t>(name.size());
    return close(file) == 0 && written;
}

// False when the disk did not follow.
bool Reshape(const std::string& root, const Flat& before, const Flat& after) {
    // Reverse order removes a directory's contents before the directory.
    for (auto entry = before.rbegin(); entry != before.rend(); ++entry) {
        auto kept = after.find(entry->first);
        if (kept == after.end() || kept->second != entry->second) {
            std::string path = root + "/" + entry->first;
            if ((entry->second ? rmdir(path.c_str()) : unlink(path.c_str())) != 0) {
                return false;
            }
        }
    }
    for (const auto& [relative, directory] : after) {
        auto was = before.find(relative);
        if (was == before.end() || was->second != directory) {
            size_t slash = relative.rfind('/');
            std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
            if (!Create(root + "/" + relative, name, directory)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

void TreeFrom(const uint8_t* data, size_t size, size_t rootLength, Node* tree) {
    std::vector<std::pair<Node*, size_t>> stack = {{tree, rootLength}}; // node, path length
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
        auto [parent, pathLength] = stack.back();
        if (name.empty() || name == "." || name == ".." || pathLength + name.size() > 3000) {
            continue;
        }
        auto [child, created] = parent->children.try_emplace(std::move(name));
        Node& node = child->second;
        if (created) {
            node.directory = kind != 0;
        }
        if (kind == 2 && node.directory) {
            stack.push_back({&node, pathLength + 1 + name.size()});
        }
    }
}

void LayOutOnDisk(const std::string& root, const uint8_t* data, size_t size, const Node& tree) {
    // The input whose tree is on disk. Its tree is worked out again rather
    // than kept: a kept tree would make an input allocate more than it frees,
    // which libFuzzer takes for a possible leak and answers by running the
    // input twice.
    static std::vector<uint8_t> onDisk;
    Node previous;
    TreeFrom(onDisk.data(), onDisk.size(), root.size(), &previous);
    Flat before, wanted;
    Flatten(previous, "", &before);
    Flatten(tree, "", &wanted);
    if (!Reshape(root, before, wanted)) {
        // Start from nothing once; a second failure is the machine's.
        std::error_code error;
        std::filesystem::remove_all(root, error);
        if (mkdir(root.c_str(), 0755) != 0 || !Reshape(root, Flat(), wanted)) {
            std::abort();
        }
    }
    onDisk.assign(data, data + size);
}

} // namespace fuzz
