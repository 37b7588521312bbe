// The file operations with names and flags of every shape, against a small
// fixture in the scratch directory that every input finds as it was laid out.
#include "FuzzSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PlatformNames.h"
#include "StandInControl.h"

namespace {

// The calls that can change what is on disk.
const char* const kChanging[] = {
    "CopyFileA",        "CopyFileExA",        "MoveFileExA", "DeleteFileA", "RemoveDirectoryA",
    "CreateDirectoryA", "SetFileAttributesA", "CreateFileA", "SetFileTime", "SetUnixPermissions"};

int ChangingCalls() {
    int calls = 0;
    for (const char* function : kChanging) {
        calls += StandInCallCount(function);
    }
    return calls;
}

bool WriteFile(const std::string& path, const char* text) {
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        return false;
    }
    bool written = write(file, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
    return close(file) == 0 && written;
}

// Removes everything below an open directory, whatever attributes an input
// left on it. Read into a buffer on the stack: a directory stream would
// allocate tens of kilobytes each time.
bool EmptyDirectory(int directory) {
    alignas(struct dirent64) char buffer[4096];
    bool emptied = true;
    for (;;) {
        lseek(directory, 0, SEEK_SET);
        ssize_t length = getdents64(directory, buffer, sizeof buffer);
        if (length < 0) {
            return false;
        }
        bool removedAny = false;
        for (ssize_t at = 0; at < length;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                continue;
            }
            if (unlinkat(directory, name, 0) != 0) {
                int child =
                    openat(directory, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                emptied = child >= 0 && fchmod(child, 0755) == 0 && EmptyDirectory(child) &&
                          unlinkat(directory, name, AT_REMOVEDIR) == 0 && emptied;
                if (child >= 0) {
                    close(child);
                }
            }
            removedAny = true;
        }
        if (!removedAny || !emptied) {
            return emptied;
        }
    }
}

// The fixture every input starts from, and how each entry looked when it was
// laid out.
// A folder has no contents; the root comes first, a folder before what it holds.
struct FixtureEntry {
    const char* path;
    const char* contents;
};
const FixtureEntry kFixture[] = {{"", nullptr},      {"/d", nullptr},    {"/d/e", nullptr},
                                 {"/a.txt", "aaaa"}, {"/d/b.txt", "bb"}, {"/d/e/c.exe", "c"}};
const size_t kFixtureEntries = sizeof kFixture / sizeof kFixture[0];
struct stat g_laid[kFixtureEntries];

bool Examine(const std::string& root, size_t entry, struct stat* info) {
    return fstatat(AT_FDCWD, (root + kFixture[entry].path).c_str(), info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool Make(const std::string& root, const FixtureEntry& entry) {
    std::string path = root + entry.path;
    return entry.contents == nullptr ? mkdir(path.c_str(), 0755) == 0
                                     : WriteFile(path, entry.contents);
}

void LayFixture(const std::string& root) {
    int directory = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool laid = directory >= 0 && fchmod(directory, 0700) == 0 && EmptyDirectory(directory);
    if (directory >= 0) {
        close(directory);
    }
    for (size_t entry = 1; entry < kFixtureEntries; ++entry) { // the root stays
        laid = laid && Make(root, kFixture[entry]);
    }
    for (size_t entry = 0; entry < kFixtureEntries; ++entry) {
        laid = laid && Examine(root, entry, &g_laid[entry]);
    }
    if (!laid) {
        std::abort(); // the fuzzer could no longer tell what an operation did
    }
}

bool SameTime(const timespec& one, const timespec& other) {
    return one.tv_sec == other.tv_sec && one.tv_nsec == other.tv_nsec;
}

// On tmpfs a folder's size counts its names, so the three folders' sizes and
// the six entries, each the same inode with the same mode, links, size and
// times, tell exactly whether anything was made, removed, renamed, replaced or
// changed. A folder's own times are left out: they move with every name made
// and removed again in it.
bool FixtureIntact(const std::string& root) {
    static const bool namesCounted = [&root] {
        struct statfs system;
        return statfs(root.c_str(), &system) == 0 && system.f_type == TMPFS_MAGIC;
    }();
    for (size_t entry = 0; namesCounted && entry < kFixtureEntries; ++entry) {
        struct stat now;
        const struct stat& laid = g_laid[entry];
        if (!Examine(root, entry, &now) || now.st_ino != laid.st_ino ||
            now.st_mode != laid.st_mode || now.st_nlink != laid.st_nlink ||
            now.st_size != laid.st_size ||
            (!S_ISDIR(laid.st_mode) &&
             (!SameTime(now.st_mtim, laid.st_mtim) || !SameTime(now.st_atim, laid.st_atim)))) {
            return false;
        }
    }
    return namesCounted;
}

// Looked at only after an input that made a call that can change it: most
// inputs are refused before any such call, and most that make one leave the
// fixture as it was (a transfer that fails removes the folders it made).
bool g_fixtureChanged = true;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    uint8_t operation = data[0], flags = data[1], abortAt = data[2];
    std::string names(reinterpret_cast<const char*>(data + 3), size - 3);
    size_t split = names.find('\0');
    std::string first = names.substr(0, split);
    std::string second = split == std::string::npos ? "" : names.substr(split + 1);
    second = second.substr(0, second.find('\0'));
    if (fuzz::ClimbsOut(first) || fuzz::ClimbsOut(second)) {
        return 0;
    }
    const std::string root = fuzz::Scratch();
    if (g_fixtureChanged && !FixtureIntact(root)) {
        LayFixture(root);
    }
    fuzz::Init(abortAt < 2 ? abortAt : -1);
    int changingBefore = ChangingCalls();
    // Short names as the host might pass them, which the plugin refuses before
    // any platform call, and names below the fixture. Nothing else: as root, a
    // raw name could reach any file of the machine.
    const std::string prefix = kRemoteNamePrefix + root + "/";
    bool shortName = (flags & 0x80) != 0 && first.size() < kShortestOperableName;
    fuzz::HostBuffer one(shortName ? first : prefix + first);
    fuzz::HostBuffer two(prefix + second);
    fuzz::HostBuffer local(root + "/" + second);
    FILETIME time = {static_cast<DWORD>(flags) << 20, 0x01D00000};
    switch (operation % 7) {
    case 0:
        FsGetFile(one.text, local.text, flags & 7, nullptr);
        break;
    case 1:
        FsRenMovFile(one.text, two.text, flags & 1, (flags >> 1) & 1, nullptr);
        break;
    case 2:
        FsDeleteFile(one.text);
        break;
    case 3:
        FsRemoveDir(one.text);
        break;
    case 4:
        FsSetAttr(one.text, flags & 0x27);
        break;
    case 5:
        FsSetTime(one.text, flags & 1 ? &time : nullptr, flags & 2 ? &time : nullptr,
                  flags & 4 ? &time : nullptr);
        break;
    default:
        FsExecuteFile(nullptr, one.text, two.text + prefix.size());
        break;
    }
    g_fixtureChanged = ChangingCalls() != changingBefore;
    if (StandInOpenFiles() != 0) {
        std::abort(); // FsSetTime must close what it opened
    }
    return 0;
}
