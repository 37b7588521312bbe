// The file manager asks for icons on a background thread while a listing runs
// on another, and may list in its transfer thread beside the panel. A full
// listing runs here beside icon threads and a thread of short listings; the
// full listing must come out exactly as it does alone.
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace {

std::atomic<int> g_progressCalls{0};
int WINAPI CountProgress(int, char*, char*, int) {
    g_progressCalls.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

// 32-bit Wine under qemu-user has crashed with two busy threads in one process,
// even in a plain Win32 program; there the same work runs interleaved on one
// thread (the test command says when it runs under emulation).
bool ThreadsAvailable() {
#if defined(_WIN32) && !defined(_WIN64)
    return std::getenv("QUENFOLD_EMULATED_32") == nullptr;
#else
    return true;
#endif
}

// Runs each task's steps: on threads of their own, or round robin on this one.
void RunTogether(std::vector<std::function<bool()>> tasks) {
    if (ThreadsAvailable()) {
        std::vector<std::thread> threads;
        for (auto& task : tasks) {
            threads.emplace_back([&task] {
                while (task()) {
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        return;
    }
    for (bool busy = true; busy;) {
        busy = false;
        for (auto& task : tasks) {
            busy = task() || busy;
        }
    }
}

} // namespace

TEST(Concurrency, IconsAndShortListingsBesideAFullListing) {
    ScratchDir scratch;
    for (int i = 0; i < 12; ++i) {
        for (int j = 0; j < 25; ++j) {
            scratch.MakeFile("d" + std::to_string(i) + "/s/f" + std::to_string(j) +
                                 (j % 4 == 0 ? ".exe" : ".txt"),
                             static_cast<uint64_t>(i + j));
        }
    }
    ScratchDir small;
    small.MakeFile("x/y.txt", 3);
    small.MakeFile("z.exe", 2);
    Plugin().Init(3, CountProgress, nullptr, nullptr);
    const std::vector<Entry> alone = ListAll(Remote(scratch.Path()));
    ASSERT_EQ(alone.size(), 12u * 25 + 24);
    // The shell keeps handles after its first icon lookup; count after one.
    NameBuffer first(Remote(small.Path() + kSeparator + "z.exe"));
    HICON warm = nullptr;
    if (Plugin().ExtractCustomIcon(first.text, FS_ICONFLAG_BACKGROUND, &warm) ==
            FS_ICON_EXTRACTED_DESTROY &&
        warm != nullptr) {
        DestroyIcon(warm);
    }
    int before = OpenEnumerations();

    // The full listing, one entry per step.
    std::vector<Entry> together;
    HANDLE search = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA record;
    NameBuffer root(Remote(scratch.Path()));
    auto fullListing = [&]() {
        bool more = search == INVALID_HANDLE_VALUE
                        ? (search = Plugin().FindFirst(root.text, &record)) != INVALID_HANDLE_VALUE
                        : Plugin().FindNext(search, &record) != FALSE;
        if (!more) {
            return false;
        }
        uint64_t size = (static_cast<uint64_t>(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
        together.push_back({record.cFileName, size, record.dwFileAttributes});
        return true;
    };

    // Icons of every entry, foreground and background, both sizes.
    std::atomic<int> directoryKeys{0};
    auto iconTask = [&](int offset) {
        auto index = std::make_shared<size_t>(static_cast<size_t>(offset));
        return [&, index]() {
            if (*index >= alone.size()) {
                return false;
            }
            const Entry& entry = alone[*index];
            *index += 3;
            for (int flags = 0; flags < 4; ++flags) {
                NameBuffer name(Remote(scratch.Path() + kSeparator + entry.name));
                HICON icon = nullptr;
                int result = Plugin().ExtractCustomIcon(name.text, flags, &icon);
                if (std::string(name.text) == "quenfolddir") {
                    directoryKeys.fetch_add(1, std::memory_order_relaxed);
                } else if (result == FS_ICON_EXTRACTED_DESTROY && icon != nullptr) {
                    DestroyIcon(icon); // the host's duty for a shell icon
                }
            }
            return true;
        };
    };

    // Short listings started and closed, some before their end.
    int shortListings = 0;
    auto shortTask = [&]() {
        if (shortListings == 150) {
            return false;
        }
        NameBuffer path(Remote(small.Path()));
        WIN32_FIND_DATAA own;
        HANDLE handle = Plugin().FindFirst(path.text, &own);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE);
        for (int step = 0; step < shortListings % 4 && Plugin().FindNext(handle, &own); ++step) {
        }
        Plugin().FindClose(handle);
        ++shortListings;
        return true;
    };

    RunTogether({fullListing, iconTask(0), iconTask(1), iconTask(2), shortTask});
    Plugin().FindClose(search);

    EXPECT_EQ(together, alone);
    EXPECT_EQ(directoryKeys.load(), 4 * 24) << "every directory entry, both sizes, both passes";
    EXPECT_EQ(OpenEnumerations(), before);
    InitPlugin();
}
