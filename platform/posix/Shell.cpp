// The shell and resource calls: ShellExecuteExA shows an item's properties
// through the desktop's file manager (the freedesktop FileManager1 interface
// on the session bus, which Nautilus, Dolphin, Nemo and Caja serve), opens a
// file with the desktop's opener (xdg-open) and records what it was asked;
// SHGetFileInfoA hands out one icon index per file extension; LoadImageA
// gives stable handles for shared images.
#include <shellapi.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include "StandIn.h"
#include "StandInControl.h"

namespace {

std::mutex g_shellLock;
ShellExecuteRecord g_lastShellExecute = {};
// Set by tests, which must not open dialogs: the answer without asking.
int g_shellAnswer = -1;

std::map<std::string, int> g_iconIndexByExtension;
std::atomic<uintptr_t> g_nextIcon{0x10000};

void CopyText(char* target, size_t capacity, const char* source) {
    std::strncpy(target, source ? source : "", capacity - 1);
    target[capacity - 1] = '\0';
}

std::string ExtensionOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    std::string extension = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                ? ""
                                : path.substr(dot);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension;
}

// "file://" and the path, every byte but the unreserved ones percent-encoded.
std::string FileUri(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-._~", c) != nullptr) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

// How long the desktop may take to take the request. The file managers ask
// for properties on their main thread, which waits meanwhile; dbus-send's
// own reply timeout does not cover connecting to the bus, so the child is
// given this long in all and ended if it overstays.
const int kShowPropertiesMilliseconds = 3000;
const char kReplyTimeout[] = "--reply-timeout=2500";

// Reaps `child`, waiting at most `milliseconds`; a child that overstays is
// killed first. True when it ended by itself with status 0.
bool WaitBounded(pid_t child, int milliseconds) {
    int status = 0;
    for (int waited = 0; waited < milliseconds; waited += 10) {
        pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (ended < 0 && errno != EINTR) {
            return false; // reaped by someone else: nothing to say it worked
        }
        struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    kill(child, SIGKILL);
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return false;
}

// Runs `argv` in a session of its own, without input or output, for at most
// `milliseconds`; true when it ended by itself with status 0.
bool RunBounded(const char* const* argv, int milliseconds) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    int spawned = posix_spawnp(&child, argv[0], &actions, &attributes,
                               const_cast<char* const*>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 && WaitBounded(child, milliseconds);
}

// Asks the desktop's file manager to show the item's properties; false when
// there is no session bus, no file manager that serves the interface, or no
// answer in time.
bool ShowItemProperties(const std::string& path) {
    std::string uris = "array:string:" + FileUri(path);
    const char* argv[] = {"dbus-send",
                          "--session",
                          "--print-reply",
                          kReplyTimeout,
                          "--dest=org.freedesktop.FileManager1",
                          "/org/freedesktop/FileManager1",
                          "org.freedesktop.FileManager1.ShowItemProperties",
                          uris.c_str(),
                          "string:",
                          nullptr};
    return RunBounded(argv, kShowPropertiesMilliseconds);
}

// xdg-open may return at once or run the program itself until it ends: its
// answer is awaited for two seconds, after which it is taken to be running
// the program and left to it (the shell ends, and the opener with the
// program is the init process's to reap, never a child left behind).
const char kOpenScript[] = "trap 'exit 0' USR1\n"
                           "xdg-open \"$1\" & opener=$!\n"
                           "(sleep 2; kill -USR1 $$) & timer=$!\n"
                           "wait $opener; answer=$?\n"
                           "kill $timer 2>/dev/null\n"
                           "exit $answer\n";
const int kOpenMilliseconds = 4000;

// Opens `path` with the desktop's opener; false when there is none, or it
// said it could not.
bool OpenWithDesktop(const std::string& path) {
    const char* argv[] = {"/bin/sh", "-c", kOpenScript, "sh", path.c_str(), nullptr};
    return RunBounded(argv, kOpenMilliseconds);
}

} // namespace

extern "C" {

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (info == nullptr || info->cbSize != sizeof *info) {
        return standin::Fail(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard<std::mutex> lock(g_shellLock);
    ShellExecuteRecord& record = g_lastShellExecute;
    record.calls++;
    record.size = info->cbSize;
    record.mask = info->fMask;
    record.window = info->hwnd;
    record.show = info->nShow;
    CopyText(record.verb, sizeof record.verb, info->lpVerb);
    CopyText(record.file, sizeof record.file, info->lpFile);
    bool properties = info->lpVerb != nullptr && strcasecmp(info->lpVerb, "properties") == 0 &&
                      info->lpFile != nullptr;
    bool open =
        info->lpVerb != nullptr && strcasecmp(info->lpVerb, "open") == 0 && info->lpFile != nullptr;
    bool shown = g_shellAnswer >= 0 ? g_shellAnswer != 0
                 : properties       ? ShowItemProperties(info->lpFile)
                                    : open && OpenWithDesktop(info->lpFile);
    return shown ? TRUE : standin::Fail(ERROR_NO_ASSOCIATION);
}

void StandInLastShellExecute(ShellExecuteRecord* record) {
    std::lock_guard<std::mutex> lock(g_shellLock);
    *record = g_lastShellExecute;
}

void StandInShellExecuteSucceeds(BOOL succeeds) {
    std::lock_guard<std::mutex> lock(g_shellLock);
    g_shellAnswer = succeeds != FALSE ? 1 : 0;
}

void StandInShellExecuteAsksDesktop(void) {
    std::lock_guard<std::mutex> lock(g_shellLock);
    g_shellAnswer = -1;
}

uintptr_t SHGetFileInfoA(const char* path, DWORD, SHFILEINFOA* info, UINT infoSize, UINT flags) {
    std::string name(path);
    struct stat status;
    if (info == nullptr || infoSize != sizeof *info || name.empty() ||
        stat(name.c_str(), &status) != 0) {
        return 0;
    }
    std::memset(info, 0, sizeof *info);
    {
        std::lock_guard<std::mutex> lock(g_shellLock);
        std::string extension = ExtensionOf(name);
        auto found = g_iconIndexByExtension.find(extension);
        if (found == g_iconIndexByExtension.end()) {
            int index = static_cast<int>(g_iconIndexByExtension.size()) + 3;
            found = g_iconIndexByExtension.emplace(extension, index).first;
        }
        info->iIcon = found->second;
    }
    if (flags & SHGFI_ICON) {
        info->hIcon = reinterpret_cast<HICON>(g_nextIcon.fetch_add(1));
    }
    return 1;
}

// Shared images are owned by the platform: the same resource at the same size
// always yields the same handle.
HANDLE LoadImageA(HINSTANCE, LPCSTR name, UINT type, int width, int height, UINT flags) {
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    if (type != IMAGE_ICON || (flags & LR_SHARED) == 0 || id < 103 || id > 105) {
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(0x7000000 + id * 0x1000 + static_cast<uintptr_t>(width) +
                                    static_cast<uintptr_t>(height) * 0x100);
}

BOOL DestroyIcon(HICON) {
    return TRUE;
}

} // extern "C"
