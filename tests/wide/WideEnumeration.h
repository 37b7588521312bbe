// A directory tree served from memory through the wide enumeration, as
// Windows serves one: names in UTF-16 with or without a short name, and a
// single-byte ANSI code page (1252) that cannot hold most of them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace wide {

struct Entry {
    std::wstring name;
    std::wstring shortName; // empty: the volume makes no short names
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    DWORD reparseTag = 0;
    uint64_t size = 0;
};

// Directories by their full path without the literal prefix ("C:\tree\a",
// "C:\" for a drive's root), each with its entries in enumeration order.
// A drive's root gives no "." and ".." (as on Windows), every other
// directory gives them first. A directory missing here cannot be opened.
using Tree = std::map<std::wstring, std::vector<Entry>>;

void Serve(const Tree* tree);
// Enumerations opened and not yet closed.
int OpenEnumerations();

} // namespace wide
