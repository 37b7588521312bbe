// Times the plugin's flat listing against a bare recursive enumeration of the
// same tree with the same platform calls, on a warm tree, in one run.
// usage: quenfold-bench DIR [--rounds N] [--compare-tools] [--literal]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "PlatformNames.h"
#include "Timing.h"
#include "host/PluginLoader.h"
#include "host/AllocationCounter.h"

namespace {

struct Counts {
    long entries = 0;
    unsigned long long bytes = 0;
    int maxDepth = 0;
};

// The plugin through its exports, as the file manager lists.
Counts ListThroughPlugin(PluginApi& api, const std::string& directory) {
    Counts counts;
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s%s", kRemoteNamePrefix, directory.c_str());
    WIN32_FIND_DATAA record;
    HANDLE search = api.FindFirst(path, &record);
    if (search == INVALID_HANDLE_VALUE) {
        return counts;
    }
    do {
        ++counts.entries;
        int depth = static_cast<int>(
            std::count(record.cFileName, record.cFileName + std::strlen(record.cFileName), '/'));
        counts.maxDepth = std::max(counts.maxDepth, depth);
    } while (api.FindNext(search, &record));
    api.FindClose(search);
    return counts;
}

#ifdef _WIN32
// On Windows a tree deeper than 260 characters is enumerated only through the
// wide functions on the literal \\?\ form of its paths.
void EnumerateLiteral(const std::wstring& directory, Counts* counts) {
    WIN32_FIND_DATAW record;
    HANDLE found = FindFirstFileW((directory + L"\\*").c_str(), &record);
    if (found == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const WCHAR* name = record.cFileName;
        if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) {
            continue;
        }
        ++counts->entries;
        if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            EnumerateLiteral(directory + L"\\" + name, counts);
        }
    } while (FindNextFileW(found, &record));
    FindClose(found);
}
#endif

// The least that any flat listing must do: enumerate every directory once.
void Enumerate(const std::string& directory, Counts* counts) {
    std::string pattern = directory + kPathSeparator + kAllNamesMask;
    WIN32_FIND_DATAA record;
    HANDLE found = FindFirstFileA(pattern.c_str(), &record);
    if (found == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const char* name = record.cFileName;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        ++counts->entries;
        if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            Enumerate(directory + kPathSeparator + name, counts);
        }
    } while (FindNextFileA(found, &record));
    FindClose(found);
}

// The bare walk: with `literal`, on Windows, through the wide functions on
// the \\?\ form (the only one that reaches below 260 characters).
void BareWalk(const std::string& directory, bool literal, Counts* counts) {
#ifdef _WIN32
    if (literal) {
        std::wstring wide = L"\\\\?\\";
        for (char c : directory) {
            wide += static_cast<WCHAR>(static_cast<unsigned char>(c)); // ASCII bench trees
        }
        EnumerateLiteral(wide, counts);
        return;
    }
#endif
    (void)literal; // Linux walks any depth with the same calls
    Enumerate(directory, counts);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: quenfold-bench DIR [--rounds N] [--compare-tools] [--literal]\n");
        return 2;
    }
    std::string directory = argv[1];
    int rounds = 5;
    [[maybe_unused]] bool compareTools = false; // du and find exist natively only
    bool literal = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--compare-tools") == 0) {
            compareTools = true;
        } else if (std::strcmp(argv[i], "--literal") == 0) {
            literal = true; // a deep tree: the bare walk takes the \\?\ form
        }
    }
    PluginApi api;
    if (!LoadPluginOrReport(QUENFOLD_PLUGIN_FILE, &api)) {
        return 3;
    }
    api.Init(1, nullptr, nullptr, nullptr);

    Counts plugin = ListThroughPlugin(api, directory); // warms the tree
    Counts bare;
    BareWalk(directory, literal, &bare);
    std::vector<double> pluginTimes, bareTimes, duTimes, findTimes;
    for (int round = 0; round < rounds; ++round) {
        pluginTimes.push_back(Seconds([&] { ListThroughPlugin(api, directory); }));
        bareTimes.push_back(Seconds([&] {
            Counts counts;
            BareWalk(directory, literal, &counts);
        }));
#ifndef _WIN32
        if (compareTools) {
            std::string du = "du -ab --apparent-size '" + directory + "' >/dev/null";
            std::string find = "find '" + directory + "' -printf '%s %P\\n' >/dev/null";
            duTimes.push_back(Seconds([&] { (void)std::system(du.c_str()); }));
            findTimes.push_back(Seconds([&] { (void)std::system(find.c_str()); }));
        }
#endif
    }
    // The plugin's own allocations, counted on the copy linked into this program.
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s%s", kRemoteNamePrefix, directory.c_str());
    WIN32_FIND_DATAA record;
    int allocations = 0;
    {
        CountAllocations counter;
        HANDLE search = FsFindFirst(path, &record);
        if (search != INVALID_HANDLE_VALUE) {
            while (FsFindNext(search, &record)) {
            }
            FsFindClose(search);
        }
        allocations = counter.Count();
    }

    double pluginSeconds = Median(pluginTimes), bareSeconds = Median(bareTimes);
    std::printf(
        "entries: plugin %ld, bare enumeration %ld; max depth %d; allocations per listing %d\n",
        plugin.entries, bare.entries, plugin.maxDepth, allocations);
    std::printf("median of %d rounds: plugin %.3f s, bare %.3f s, ratio %.3f\n", rounds,
                pluginSeconds, bareSeconds, pluginSeconds / bareSeconds);
    if (!duTimes.empty()) {
        std::printf("du -ab %.3f s (ratio %.3f), find -printf %.3f s (ratio %.3f)\n",
                    Median(duTimes), pluginSeconds / Median(duTimes), Median(findTimes),
                    pluginSeconds / Median(findTimes));
    }
    UnloadPlugin(&api);
    return 0;
}
