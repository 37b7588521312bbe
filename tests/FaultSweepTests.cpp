// Every platform call an operation makes, failed in turn: the listing and each
// file operation run once to count their calls, then again with call N of one
// function failing (once, and from then on) for every N. Each run must end
// cleanly: a result the host knows, no enumeration, file or descriptor left
// open, and on disk either exactly what the operation does when it succeeds
// or exactly what was there before: nothing lost, nothing half-written.
// Failures are injected through the Linux platform layer's table of calls;
// Windows has no such table, so the sweep runs natively.
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "StandInControl.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Every path under `root` with its kind and mode, and a file's last write
// time and content. A directory's own times change with every name made or
// taken away in it, so they are left out.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> state;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat info;
        lstat(entry.path().c_str(), &info);
        std::ostringstream line;
        line << std::oct << info.st_mode << std::dec;
        if (S_ISREG(info.st_mode)) {
            std::ifstream in(entry.path(), std::ios::binary);
            line << " " << info.st_mtim.tv_sec << "." << info.st_mtim.tv_nsec << " " << in.rdbuf();
        }
        state[entry.path().string().substr(root.size())] = line.str();
    }
    return state;
}

int OpenDescriptors() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

struct Operation {
    const char* name;
    // Runs the operation on a fresh fixture; returns its result.
    std::function<int(const ScratchDir&)> run;
    int success; // the result that means it was done
};

std::string R(const ScratchDir& scratch, const std::string& relative) {
    return Remote(scratch.Path() + kSeparator + relative);
}

int GetFile(const ScratchDir& s, const std::string& from, const std::string& to, int flags) {
    return ::GetFile(R(s, from), s / to, flags);
}

int RenMov(const ScratchDir& s, const std::string& from, const std::string& to, bool move,
           bool overwrite) {
    return ::RenMov(R(s, from), R(s, to), move, overwrite);
}

std::vector<Operation> Operations() {
    FILETIME written = {0x12345600, 0x01D00000};
    return {
        {"list", [](const ScratchDir& s) { return static_cast<int>(ListAll(R(s, "tree")).size()); },
         -1},
        {"copy out", [](const ScratchDir& s) { return GetFile(s, "tree/a/g.txt", "out/new", 0); },
         FS_FILE_OK},
        {"copy out over",
         [](const ScratchDir& s) { return GetFile(s, "tree/a/g.txt", "out/old.txt", 1); },
         FS_FILE_OK},
        {"move out", [](const ScratchDir& s) { return GetFile(s, "tree/x.txt", "out/moved", 4); },
         FS_FILE_OK},
        {"move out over",
         [](const ScratchDir& s) { return GetFile(s, "tree/x.txt", "out/old.txt", 5); },
         FS_FILE_OK},
        {"copy out into new folders",
         [](const ScratchDir& s) { return GetFile(s, "tree/a/b/f.txt", "out/n/m/f.txt", 0); },
         FS_FILE_OK},
        {"copy",
         [](const ScratchDir& s) { return RenMov(s, "tree/x.txt", "tree/y", false, false); },
         FS_FILE_OK},
        {"rename",
         [](const ScratchDir& s) { return RenMov(s, "tree/x.txt", "tree/e/x", true, false); },
         FS_FILE_OK},
        {"rename over",
         [](const ScratchDir& s) { return RenMov(s, "tree/x.txt", "tree/a/g.txt", true, true); },
         FS_FILE_OK},
        {"rename into new folders",
         [](const ScratchDir& s) { return RenMov(s, "tree/x.txt", "tree/n/m/x", true, false); },
         FS_FILE_OK},
        {"move a folder into new folders",
         [](const ScratchDir& s) { return RenMov(s, "tree/a./", "tree/n/m/a./", true, false); },
         FS_FILE_OK},
        {"delete",
         [](const ScratchDir& s) {
             return Plugin().DeleteFile(NameBuffer(R(s, "tree/x.txt")).text);
         },
         TRUE},
        {"remove directory",
         [](const ScratchDir& s) { return Plugin().RemoveDir(NameBuffer(R(s, "tree/e./")).text); },
         TRUE},
        {"attributes",
         [](const ScratchDir& s) {
             return Plugin().SetAttr(NameBuffer(R(s, "tree/x.txt")).text, FILE_ATTRIBUTE_READONLY);
         },
         TRUE},
        {"times",
         [written](const ScratchDir& s) {
             FILETIME time = written;
             return Plugin().SetTime(NameBuffer(R(s, "tree/x.txt")).text, nullptr, nullptr, &time);
         },
         TRUE},
    };
}

// The same files with the same times every time, so that two fixtures can be
// compared file by file.
void LayFixture(const ScratchDir& scratch) {
    const struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
    for (const char* file : {"tree/a/b/f.txt", "tree/a/g.txt", "tree/x.txt", "out/old.txt"}) {
        scratch.MakeFile(file, std::strlen(file), file[5]);
        utimensat(AT_FDCWD, (scratch / file).c_str(), times, 0);
    }
    scratch.MakeDir("tree/e");
}

} // namespace

TEST(FaultSweep, EveryFailedCallEndsCleanly) {
    InitPlugin();
    int injected = 0, leaks = 0, losses = 0, operations = 0;
    const DWORD errors[] = {ERROR_GEN_FAILURE, ERROR_PATH_NOT_FOUND};
    for (const Operation& operation : Operations()) {
        // A run without failures: the calls it makes and what it leaves.
        ScratchDir clean;
        LayFixture(clean);
        StandInResetCalls();
        int expectedResult = operation.run(clean);
        std::map<std::string, int> calls;
        for (const char* const* name = StandInTableOfCalls(); *name != nullptr; ++name) {
            calls[*name] = StandInCallCount(*name);
        }
        std::map<std::string, std::string> done = Snapshot(clean.Path());
        ++operations;

        for (const auto& [function, count] : calls) {
            for (int call = 1; call <= count; ++call) {
                for (bool persistent : {false, true}) {
                    for (DWORD error : errors) {
                        ScratchDir scratch;
                        LayFixture(scratch);
                        std::map<std::string, std::string> before = Snapshot(scratch.Path());
                        int descriptors = OpenDescriptors();
                        StandInResetCalls();
                        StandInFailCall(function.c_str(), call, error, persistent);
                        int result = operation.run(scratch);
                        StandInResetCalls();
                        ++injected;
                        std::string what = std::string(operation.name) + ", " + function +
                                           " call " + std::to_string(call) +
                                           (persistent ? " on" : " once") + ", error " +
                                           std::to_string(error);
                        bool leaked = OpenEnumerations() != 0 || StandInOpenFiles() != 0 ||
                                      OpenDescriptors() != descriptors;
                        EXPECT_FALSE(leaked) << what;
                        leaks += leaked ? 1 : 0;
                        std::map<std::string, std::string> after = Snapshot(scratch.Path());
                        bool succeeded = operation.success >= 0 && result == operation.success;
                        if (operation.success < 0) {
                            EXPECT_LE(result, expectedResult) << what;
                        } else {
                            EXPECT_TRUE(result >= 0 && result <= FS_FILE_NOTSUPPORTED) << what;
                        }
                        bool intact = after == (succeeded ? done : before);
                        EXPECT_TRUE(intact) << what << ": the files are neither as before nor "
                                            << "as a successful run leaves them";
                        losses += intact ? 0 : 1;
                    }
                }
            }
        }
    }
    std::cout << "fault sweep: " << injected << " failed calls over " << operations
              << " operations; " << leaks << " leaks, " << losses << " losses\n";
}
#endif
