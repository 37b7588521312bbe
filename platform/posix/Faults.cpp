// One table of the platform calls, as SQLite keeps its fault injection: every
// call counts itself, and a test can make one function fail at its N-th call
// with a given error, once or from then on, or fail for every path that ends
// in a given suffix. A function whose failure would otherwise leak (FindClose,
// CloseHandle) still releases what it was given, as close(2) does when it
// reports an error.
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "StandIn.h"
#include "StandInControl.h"

namespace {

struct FaultRule {
    int failAt = 0; // the call, counting from 1, that fails; 0 for none
    bool persistent = false;
    std::string pathSuffix; // fails every call on such a path, when not empty
    DWORD error = 0;
};

struct CallEntry {
    int calls = 0;
    FaultRule rule;
};

std::mutex g_tableLock;
// Looked up by a string view: counting a call allocates nothing.
std::map<std::string, CallEntry, std::less<>> g_table;

CallEntry& EntryOf(const char* function) {
    auto found = g_table.find(std::string_view(function));
    if (found == g_table.end()) {
        found = g_table.emplace(function, CallEntry()).first;
    }
    return found->second;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), std::string::npos, suffix) == 0;
}

} // namespace

extern "C" void StandInSetFault(const char* function, const char* pathSuffix, DWORD error) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    for (auto& [name, entry] : g_table) {
        entry.rule.pathSuffix.clear();
    }
    if (function != nullptr) {
        FaultRule& rule = EntryOf(function).rule;
        rule.pathSuffix = pathSuffix != nullptr ? pathSuffix : "";
        rule.error = error;
    }
}

extern "C" void StandInFailCall(const char* function, int callNumber, DWORD error,
                                BOOL persistent) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    CallEntry& entry = EntryOf(function);
    entry.calls = 0;
    entry.rule.failAt = callNumber;
    entry.rule.persistent = persistent != FALSE;
    entry.rule.error = error;
}

extern "C" void StandInResetCalls(void) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    for (auto& [name, entry] : g_table) {
        entry = CallEntry();
    }
}

extern "C" int StandInCallCount(const char* function) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    auto found = g_table.find(std::string_view(function));
    return found == g_table.end() ? 0 : found->second.calls;
}

extern "C" const char* const* StandInTableOfCalls(void) {
    static const char* const kCalls[] = {"FindFirstFileA",
                                         "FindNextFileA",
                                         "FindClose",
                                         "CopyFileA",
                                         "CopyFileExA",
                                         "MoveFileExA",
                                         "DeleteFileA",
                                         "RemoveDirectoryA",
                                         "CreateDirectoryA",
                                         "GetFileAttributesA",
                                         "GetFileAttributesExA",
                                         "SetFileAttributesA",
                                         "CreateFileA",
                                         "SetFileTime",
                                         "CloseHandle",
                                         "SetUnixPermissions",
                                         nullptr};
    return kCalls;
}

namespace standin {

bool Faulted(const char* function, const std::string& path) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    CallEntry& entry = EntryOf(function);
    int call = ++entry.calls;
    const FaultRule& rule = entry.rule;
    bool byCall =
        rule.failAt > 0 && (call == rule.failAt || (rule.persistent && call > rule.failAt));
    bool byPath = !rule.pathSuffix.empty() && EndsWith(path, rule.pathSuffix);
    if (!byCall && !byPath) {
        return false;
    }
    SetLastError(rule.error);
    return true;
}

} // namespace standin
