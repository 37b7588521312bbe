// The trees FuzzWalker lists: described by the input, laid out on disk, or
// served from memory in place of the platform's directory enumeration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace fuzz {

// A tree as the file system ends up after creating it entry by entry: a file
// over a directory of the same name fails, a directory over a file fails, an
// existing directory is kept (and entered), a file written again holds the
// same bytes. A file holds its own name, so its size is its name's length.
struct Node {
    bool directory = true;
    std::map<std::string, Node, std::less<>> children; // by name in byte order, as listed
};

// The tree `data` describes below a root of `rootLength` characters: pairs of
// kind (file, directory, directory entered, back up) and name length, each
// followed by the name's bytes; paths stay below 3,000 characters.
void TreeFrom(const uint8_t* data, size_t size, size_t rootLength, Node* tree);

// Makes `root` hold exactly `tree`, the tree of `data`, writing only what
// differs from the tree the previous call laid out: consecutive inputs are
// mostly mutations of one another.
void LayOutOnDisk(const std::string& root, const uint8_t* data, size_t size, const Node& tree);

// While `tree` is set, FindFirstFileA, FindNextFileA and FindClose answer
// for the directories below `root` from it; null hands them back to the
// platform layer.
void ServeFromMemory(const std::string& root, const Node* tree);
// Enumerations served from memory and not yet closed.
int OpenMemoryEnumerations();

} // namespace fuzz
