// Native soak: many listings stopped at random points, then checks that open
// enumerations, file descriptors and the heap are back at their starting
// figures; or one full listing, reporting the peak resident set size.
// usage: quenfold-soak aborted DIR [LISTINGS] | quenfold-soak full DIR
#include <dirent.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "StandInControl.h"
#include "PlatformNames.h"
#include "host/PluginLoader.h"

namespace {

int g_abortAt = -1;
int g_progressCalls = 0;

int WINAPI Progress(int, char*, char*, int) {
    return g_progressCalls++ == g_abortAt ? 1 : 0;
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (readdir(fds) != nullptr) {
            ++count;
        }
        closedir(fds);
    }
    return count;
}

size_t HeapInUse() {
    return mallinfo2().uordblks;
}

long PeakKilobytes() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Lists at most `limit` entries (all when negative); returns how many came.
long List(PluginApi& api, const std::string& directory, long limit) {
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s%s", kRemoteNamePrefix, directory.c_str());
    WIN32_FIND_DATAA record;
    HANDLE search = api.FindFirst(path, &record);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    long entries = 1;
    while ((limit < 0 || entries < limit) && api.FindNext(search, &record)) {
        ++entries;
    }
    api.FindClose(search);
    return entries;
}

// glibc keeps freed small blocks in per-thread caches that its statistics
// count as in use, so the heap figure would wander with what was freed last:
// the soak runs with those caches off.
const char kNoThreadCaches[] = "glibc.malloc.tcache_count=0";

void RunWithoutThreadCaches(char** argv) {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables != nullptr && std::strstr(tunables, kNoThreadCaches) != nullptr) {
        return;
    }
    setenv("GLIBC_TUNABLES", kNoThreadCaches, 1);
    execv("/proc/self/exe", argv);
    std::perror("quenfold-soak: execv"); // goes on with the caches, figures may wander
}

} // namespace

int main(int argc, char** argv) {
    RunWithoutThreadCaches(argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: quenfold-soak aborted DIR [LISTINGS] | quenfold-soak full DIR\n");
        return 2;
    }
    PluginApi api;
    if (!LoadPluginOrReport(QUENFOLD_PLUGIN_FILE, &api)) {
        return 3;
    }
    api.Init(1, Progress, nullptr, nullptr);
    std::string directory = argv[2];
    if (std::strcmp(argv[1], "full") == 0) {
        long before = PeakKilobytes();
        long entries = List(api, directory, -1);
        std::printf("full listing: %ld entries, peak RSS %ld KiB before, %ld KiB after\n", entries,
                    before, PeakKilobytes());
        return 0;
    }
    long listings = argc > 3 ? std::atol(argv[3]) : 10000;
    long total = List(api, directory, -1);
    std::mt19937 random(7);
    List(api, directory, 1); // settles the allocator's first-use state
    int descriptors = OpenDescriptors();
    size_t heap = HeapInUse();
    long entries = 0;
    for (long i = 0; i < listings; ++i) {
        // Half stop as a host that stops asking; half abort through progress.
        if (i % 2 == 0) {
            g_abortAt = -1;
            entries += List(api, directory, 1 + static_cast<long>(random() % total));
        } else {
            g_abortAt = static_cast<int>(random() % 4);
            g_progressCalls = 0;
            entries += List(api, directory, -1);
        }
    }
    bool clean =
        StandInOpenEnumerations() == 0 && OpenDescriptors() == descriptors && HeapInUse() == heap;
    std::printf("%ld listings stopped at random points (%ld entries in all, tree of %ld): "
                "open enumerations %d, descriptors %d -> %d, heap in use %zu -> %zu bytes: %s\n",
                listings, entries, total, StandInOpenEnumerations(), descriptors, OpenDescriptors(),
                heap, HeapInUse(), clean ? "back at the start" : "GREW");
    UnloadPlugin(&api);
    return clean ? 0 : 1;
}
