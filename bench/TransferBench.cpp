// Times copy-outs through the plugin (FsGetFile, as the file manager calls
// it) against the system's own copy of the same file in one run: cp on Linux,
// CopyFileA on Windows. A file of 512 MiB of data and a sparse file of 1 GiB;
// then the same data copy with no progress callback, one that does nothing
// and one that counts its calls.
// usage: quenfold-transfer-bench DIR [--rounds N] [--data-mib N] [--sparse-mib N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "PlatformNames.h"
#include "Timing.h"
#include "host/PluginLoader.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

const uint64_t kMiB = 1 << 20;

// Data that no file system could take for holes or compress away.
bool MakeDataFile(const std::string& path, uint64_t size) {
    std::error_code error;
    if (fs::file_size(path, error) == size && !error) {
        return true; // left by an earlier run
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block(kMiB);
    uint32_t state = 2463534242u;
    for (uint64_t done = 0; done < size && out.good(); done += block.size()) {
        for (char& c : block) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            c = static_cast<char>(state);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return out.good();
}

// 64 KiB of data at each quarter and at the end, holes between.
bool MakeSparseFile(const std::string& path, uint64_t size) {
    std::error_code error;
    fs::remove(path, error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block(64 << 10, 's');
    for (uint64_t at : {uint64_t(0), size / 4, size / 2, size / 4 * 3, size - block.size()}) {
        out.seekp(static_cast<std::streamoff>(at));
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return out.good();
}

// The space a file takes on disk, where the platform tells it.
double AllocatedMiB(const std::string& path) {
#ifndef _WIN32
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        return static_cast<double>(info.st_blocks) * 512.0 / static_cast<double>(kMiB);
    }
#endif
    (void)path;
    return -1;
}

void Remove(const std::string& path) {
    std::error_code error;
    fs::remove(path, error);
}

int g_calls = 0;
int WINAPI NoProgress(int, char*, char*, int) {
    return 0;
}
int WINAPI CountProgress(int, char*, char*, int) {
    ++g_calls;
    return 0;
}

struct Copier {
    PluginApi* api;
    std::string source;
    std::string target;

    double ThroughPlugin() const {
        Remove(target);
        char remote[MAX_PATH], local[MAX_PATH];
        std::snprintf(remote, sizeof remote, "%s%s", kRemoteNamePrefix, source.c_str());
        std::snprintf(local, sizeof local, "%s", target.c_str());
        int result = 0;
        double seconds = Seconds([&] { result = api->GetFile(remote, local, 0, nullptr); });
        if (result != FS_FILE_OK) {
            std::fprintf(stderr, "FsGetFile %s: result %d\n", source.c_str(), result);
            std::exit(1);
        }
        return seconds;
    }

    double BySystem() const {
        Remove(target);
#ifdef _WIN32
        return Seconds([&] { CopyFileA(source.c_str(), target.c_str(), TRUE); });
#else
        std::string command = "cp '" + source + "' '" + target + "'";
        return Seconds([&] {
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "%s failed\n", command.c_str());
                std::exit(1);
            }
        });
#endif
    }
};

#ifdef _WIN32
const char kSystemCopy[] = "CopyFileA";
#else
const char kSystemCopy[] = "cp";
#endif

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quenfold-transfer-bench DIR [--rounds N] [--data-mib N] "
                             "[--sparse-mib N]\n");
        return 2;
    }
    std::string directory = argv[1];
    int rounds = 5;
    uint64_t dataMiB = 512, sparseMiB = 1024;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--data-mib") == 0) {
            dataMiB = static_cast<uint64_t>(std::max(1, std::atoi(argv[i + 1])));
        } else if (std::strcmp(argv[i], "--sparse-mib") == 0) {
            sparseMiB = static_cast<uint64_t>(std::max(1, std::atoi(argv[i + 1])));
        }
    }
    PluginApi api;
    if (!LoadPluginOrReport(QUENFOLD_PLUGIN_FILE, &api)) {
        return 3;
    }
    std::string base = directory + kPathSeparator + "qf-transfer-";
    std::string data = base + "data.bin", sparse = base + "sparse.bin";
    if (!MakeDataFile(data, dataMiB * kMiB) || !MakeSparseFile(sparse, sparseMiB * kMiB)) {
        std::fprintf(stderr, "cannot make the files in %s\n", directory.c_str());
        return 1;
    }

    std::printf("%-22s %10s %10s %8s %14s\n", "file", "plugin (s)", "system (s)", "ratio",
                "allocated MiB");
    struct Case {
        const char* label;
        std::string source;
        uint64_t mib;
    };
    api.Init(1, NoProgress, nullptr, nullptr);
    for (const Case& item : {Case{"data", data, dataMiB}, Case{"sparse", sparse, sparseMiB}}) {
        Copier plugin{&api, item.source, base + "out-plugin.bin"};
        Copier system{&api, item.source, base + "out-system.bin"};
        plugin.ThroughPlugin(); // warms the source
        std::vector<double> pluginTimes, systemTimes;
        for (int round = 0; round < rounds; ++round) {
            // Alternating which goes first spreads the page cache's whims.
            if (round % 2 == 0) {
                pluginTimes.push_back(plugin.ThroughPlugin());
                systemTimes.push_back(system.BySystem());
            } else {
                systemTimes.push_back(system.BySystem());
                pluginTimes.push_back(plugin.ThroughPlugin());
            }
        }
        double pluginSeconds = Median(pluginTimes), systemSeconds = Median(systemTimes);
        char label[64];
        std::snprintf(label, sizeof label, "%s %llu MiB", item.label,
                      static_cast<unsigned long long>(item.mib));
        char allocated[64] = "not known here";
        double pluginMiB = AllocatedMiB(plugin.target), systemMiB = AllocatedMiB(system.target);
        if (pluginMiB >= 0 && systemMiB >= 0) {
            std::snprintf(allocated, sizeof allocated, "%.1f / %.1f", pluginMiB, systemMiB);
        }
        std::printf("%-22s %10.3f %10.3f %8.3f %14s\n", label, pluginSeconds, systemSeconds,
                    pluginSeconds / systemSeconds, allocated);
        Remove(plugin.target);
        Remove(system.target);
    }
    std::printf("(ratio: plugin / %s, median of %d rounds; allocated: plugin's copy / %s's)\n",
                kSystemCopy, rounds, kSystemCopy);

    // The progress callback's cost on the data copy. The three take turns, so
    // that the machine's other load falls on all of them alike; the best of
    // the rounds is the least disturbed.
    Copier copier{&api, data, base + "out-plugin.bin"};
    const ProgressCallback callbacks[] = {nullptr, NoProgress, CountProgress};
    const char* labels[] = {"none", "does nothing", "counts"};
    std::vector<double> times[3];
    int counted = 0;
    for (int round = 0; round < 2 * rounds; ++round) {
        for (int i = 0; i < 3; ++i) {
            int which = (i + round) % 3;
            api.Init(1, callbacks[which], nullptr, nullptr);
            g_calls = 0;
            times[which].push_back(copier.ThroughPlugin());
            if (callbacks[which] == CountProgress) {
                counted = g_calls;
            }
        }
    }
    Remove(copier.target);
    std::printf("progress callback on data %llu MiB (%d calls a copy), %d rounds:\n",
                static_cast<unsigned long long>(dataMiB), counted, 2 * rounds);
    double noneMedian = Median(times[0]);
    double noneBest = *std::min_element(times[0].begin(), times[0].end());
    for (int i = 0; i < 3; ++i) {
        double median = Median(times[i]);
        double best = *std::min_element(times[i].begin(), times[i].end());
        std::printf("  %-13s median %.3f s (%+.2f %%), best %.3f s (%+.2f %%)\n", labels[i], median,
                    (median / noneMedian - 1) * 100, best, (best / noneBest - 1) * 100);
    }
#ifndef _WIN32
    // What starting cp costs, which its times above include.
    std::string empty = base + "empty.bin";
    { std::ofstream touch(empty, std::ios::binary); }
    Copier start{&api, empty, base + "out-system.bin"};
    std::vector<double> starts;
    for (int round = 0; round < rounds; ++round) {
        starts.push_back(start.BySystem());
    }
    std::printf("cp of an empty file (its start-up, inside the times above): %.4f s\n",
                Median(starts));
    Remove(start.target);
    Remove(empty);
#endif
    Remove(data);
    Remove(sparse);
    UnloadPlugin(&api);
    return 0;
}
