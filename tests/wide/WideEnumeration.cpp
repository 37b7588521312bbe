#include "WideEnumeration.h"

#include <algorithm>
#include <cstring>

namespace {

const wide::Tree* g_tree = nullptr;
int g_open = 0;
thread_local DWORD g_lastError = 0;

struct Enumeration {
    std::vector<wide::Entry> entries; // the dots, when the directory has them, first
    size_t next = 0;
};

void Describe(const wide::Entry& entry, WIN32_FIND_DATAW* record) {
    std::memset(record, 0, sizeof *record);
    record->dwFileAttributes = entry.attributes;
    record->dwReserved0 = entry.reparseTag;
    record->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    record->nFileSizeLow = static_cast<DWORD>(entry.size);
    std::wcsncpy(record->cFileName, entry.name.c_str(), MAX_PATH - 1);
    std::wcsncpy(record->cAlternateFileName, entry.shortName.c_str(), 13);
}

bool IsDriveRoot(const std::wstring& directory) {
    return directory.size() == 3 && directory[1] == L':' && directory[2] == L'\\';
}

// The directory a path names, its short names taken for the names they stand
// for, as Windows takes them.
wide::Tree::const_iterator Resolve(std::wstring directory) {
    for (;;) {
        auto found = g_tree->find(directory);
        if (found != g_tree->end()) {
            return found;
        }
        // The deepest directory the path starts with, and the name after it.
        size_t split = directory.rfind(L'\\');
        while (split != std::wstring::npos && split > 0) {
            std::wstring parent = directory.substr(0, split);
            auto above = g_tree->find(IsDriveRoot(parent + L"\\") ? parent + L"\\" : parent);
            if (above != g_tree->end()) {
                size_t end = std::min(directory.find(L'\\', split + 1), directory.size());
                std::wstring name = directory.substr(split + 1, end - split - 1);
                auto entry =
                    std::find_if(above->second.begin(), above->second.end(),
                                 [&](const wide::Entry& e) { return e.shortName == name; });
                if (entry == above->second.end() || entry->name == name) {
                    return g_tree->end();
                }
                directory.replace(split + 1, name.size(), entry->name);
                break;
            }
            split = directory.rfind(L'\\', split - 1);
        }
        if (split == std::wstring::npos || split == 0) {
            return g_tree->end();
        }
    }
}

} // namespace

namespace wide {

void Serve(const Tree* tree) {
    g_tree = tree;
}

int OpenEnumerations() {
    return g_open;
}

} // namespace wide

extern "C" {

DWORD GetLastError(void) {
    return g_lastError;
}

void SetLastError(DWORD error) {
    g_lastError = error;
}

UINT GetACP(void) {
    return 1252;
}

// Code page 1252 taken as Latin-1: every character above U+00FF is missing.
int WideCharToMultiByte(UINT, DWORD, const WCHAR* wide, int wideLength, char* text, int capacity,
                        const char*, BOOL* usedDefault) {
    size_t length = wideLength < 0 ? std::wcslen(wide) + 1 : static_cast<size_t>(wideLength);
    if (length > static_cast<size_t>(capacity)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    bool missing = false;
    for (size_t i = 0; i < length; ++i) {
        missing = missing || wide[i] > 0xFF;
        text[i] = wide[i] > 0xFF ? '?' : static_cast<char>(wide[i]);
    }
    if (usedDefault != nullptr) {
        *usedDefault = missing ? TRUE : FALSE;
    }
    return static_cast<int>(length);
}

int MultiByteToWideChar(UINT, DWORD, const char* text, int length, WCHAR* wide, int capacity) {
    size_t count = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    if (count > static_cast<size_t>(capacity)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < count; ++i) {
        wide[i] = static_cast<unsigned char>(text[i]);
    }
    return static_cast<int>(count);
}

char* CharNextA(const char* text) {
    return const_cast<char*>(*text == '\0' ? text : text + 1);
}

HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* record) {
    std::wstring path(pattern);
    if (path.rfind(L"\\\\?\\", 0) == 0) {
        path.erase(0, 4);
    }
    size_t mask = path.rfind(L'\\');
    if (g_tree == nullptr || mask == std::wstring::npos || path.substr(mask) != L"\\*.*") {
        SetLastError(ERROR_INVALID_PARAMETER); // the walk asks for every name, nothing else
        return INVALID_HANDLE_VALUE;
    }
    std::wstring directory = path.substr(0, mask);
    if (directory.size() == 2 && directory[1] == L':') {
        directory += L'\\';
    }
    auto found = Resolve(directory);
    if (found == g_tree->end()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto* enumeration = new Enumeration;
    if (!IsDriveRoot(directory)) {
        enumeration->entries.push_back({L".", L"", FILE_ATTRIBUTE_DIRECTORY});
        enumeration->entries.push_back({L"..", L"", FILE_ATTRIBUTE_DIRECTORY});
    }
    enumeration->entries.insert(enumeration->entries.end(), found->second.begin(),
                                found->second.end());
    if (enumeration->entries.empty()) {
        delete enumeration;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Describe(enumeration->entries[enumeration->next++], record);
    ++g_open;
    return enumeration;
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* record) {
    auto* enumeration = static_cast<Enumeration*>(handle);
    if (enumeration->next == enumeration->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    Describe(enumeration->entries[enumeration->next++], record);
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    delete static_cast<Enumeration*>(handle);
    --g_open;
    return TRUE;
}

} // extern "C"
