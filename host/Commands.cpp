#include "host/Commands.h"

#include "PlatformNames.h"
#include "base/Sizes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

HostOptions g_options = {};

namespace {

volatile bool g_interrupted = false;
bool g_listing = false;
bool g_progressShown = false;

BOOL WINAPI OnConsoleControl(DWORD controlType) {
    if (controlType != CTRL_C_EVENT) {
        return FALSE;
    }
    g_interrupted = true;
    return TRUE;
}

int WINAPI Progress(int, char* sourceName, char* targetName, int percent) {
    if (g_listing && !g_options.quiet) {
        std::fprintf(stderr, "\r%s  %s ", sourceName, targetName);
        g_progressShown = true;
    } else if (!g_listing && !g_options.quiet) {
        std::fprintf(stderr, "%3d%%  %s -> %s\n", percent, sourceName, targetName);
    }
    return (g_options.abort || g_interrupted) ? 1 : 0;
}

void WINAPI Log(int, int, char*) {}

BOOL WINAPI Request(int, int, char*, char*, char*, int) {
    return FALSE;
}

void Initialize(PluginApi& api) {
    api.Init(1, Progress, Log, Request);
}

// The file manager names an entry by its local path, after a backslash on
// Windows.
std::string RemoteNameOf(const char* localPath) {
    return std::string(kRemoteNamePrefix) + localPath;
}

// Host buffers are MAX_PATH bytes; a longer name is refused here, as the host
// would not pass it.
bool ToHostBuffer(const std::string& text, char (&buffer)[MAX_PATH]) {
    if (text.size() >= sizeof buffer) {
        std::fprintf(stderr, "quenfold-host: name longer than %d characters: %s\n", MAX_PATH - 1,
                     text.c_str());
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

bool HasFlag(int argc, char** argv, const char* flag) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], flag) == 0) {
            return true;
        }
    }
    return false;
}

const char* FileResultName(int result) {
    static const char* const names[] = {
        "FS_FILE_OK",         "FS_FILE_EXISTS",    "FS_FILE_NOTFOUND",    "FS_FILE_READERROR",
        "FS_FILE_WRITEERROR", "FS_FILE_USERABORT", "FS_FILE_NOTSUPPORTED"};
    return result >= 0 && result <= 6 ? names[result] : "unknown";
}

int ReportFile(int result) {
    std::printf("%s (%d)\n", FileResultName(result), result);
    return result == FS_FILE_OK ? kExitOk : kExitFailed;
}

int ReportBool(BOOL result) {
    if (result) {
        std::printf("TRUE\n");
        return kExitOk;
    }
    if (kPluginSharesLastError) {
        std::printf("FALSE (error %lu)\n", static_cast<unsigned long>(GetLastError()));
    } else {
        std::printf("FALSE\n");
    }
    return kExitFailed;
}

bool NeedArguments(int argc, int count, const char* usage) {
    if (argc >= count) {
        return true;
    }
    std::fprintf(stderr, "usage: quenfold-host %s\n", usage);
    return false;
}

std::string AttributeLetters(DWORD attributes) {
    std::string letters = "-----";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        letters[0] = 'd';
    if (attributes & FILE_ATTRIBUTE_READONLY)
        letters[1] = 'r';
    if (attributes & FILE_ATTRIBUTE_HIDDEN)
        letters[2] = 'h';
    if (attributes & FILE_ATTRIBUTE_SYSTEM)
        letters[3] = 's';
    if (attributes & FILE_ATTRIBUTE_ARCHIVE)
        letters[4] = 'a';
    return letters;
}

unsigned long long SizeOf(const WIN32_FIND_DATAA& record) {
    return (static_cast<unsigned long long>(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
}

FILETIME FileTimeFromSeconds(const char* text) {
    unsigned long long ticks = (std::strtoull(text, nullptr, 10) + 11644473600ull) * 10000000ull;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

int RunInfo(PluginApi& api, int, char**) {
    const char* pluginFile = g_options.pluginFile;
    Initialize(api);
    char root[MAX_PATH] = {};
    api.GetDefRootName(root, sizeof root);
    std::printf("plugin: %s\n", pluginFile);
    std::printf("root name: %s\n", root);
    std::printf("links to local files: %s\n", api.LinksToLocalFiles() ? "yes" : "no");
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(pluginFile, &ignored);
    std::string data(size, '\0');
    void* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(pluginFile, 0, size, &data[0]) ||
        !VerQueryValueA(data.data(), "\\", &fixed, &length) || length < 16) {
        std::printf("version: none (this build of the plugin carries no version resource)\n");
        return kExitOk;
    }
    const DWORD* words = static_cast<const DWORD*>(fixed); // VS_FIXEDFILEINFO
    std::printf("version: %lu.%lu.%lu.%lu\n", static_cast<unsigned long>(words[2] >> 16),
                static_cast<unsigned long>(words[2] & 0xFFFF),
                static_cast<unsigned long>(words[3] >> 16),
                static_cast<unsigned long>(words[3] & 0xFFFF));
    return kExitOk;
}

int RunList(PluginApi& api, int argc, char** argv) {
    if (!NeedArguments(argc, 1, "list DIR")) {
        return kExitUsage;
    }
    Initialize(api);
    char path[MAX_PATH];
    if (!ToHostBuffer(RemoteNameOf(argv[0]), path)) {
        return kExitUsage;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    g_listing = true;
    WIN32_FIND_DATAA record;
    unsigned long long files = 0, directories = 0, bytes = 0;
    HANDLE search = api.FindFirst(path, &record);
    if (search == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "quenfold-host: nothing to list in %s\n", argv[0]);
        SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        return kExitFailed;
    }
    do {
        size_t length = std::strlen(record.cFileName);
        bool directoryEntry = length > 0 && record.cFileName[length - 1] == '/';
        (directoryEntry ? directories : files) += 1;
        if (!directoryEntry) {
            bytes = AddSize(bytes, SizeOf(record));
        }
        std::printf("%15llu  %s  %s\n", SizeOf(record),
                    AttributeLetters(record.dwFileAttributes).c_str(), record.cFileName);
    } while (api.FindNext(search, &record));
    api.FindClose(search);
    g_listing = false;
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    if (g_progressShown) {
        std::fprintf(stderr, "\r%40s\r", ""); // the live line goes before the summary
    }
    bool aborted = g_interrupted || g_options.abort;
    std::printf("%llu files, %llu directories, %llu bytes%s\n", files, directories, bytes,
                aborted ? " (aborted)" : "");
    return aborted ? kExitFailed : kExitOk;
}

int RunGet(PluginApi& api, int argc, char** argv) {
    if (!NeedArguments(argc, 2, "get PATH LOCAL [--overwrite] [--move] [--resume]")) {
        return kExitUsage;
    }
    Initialize(api);
    char remote[MAX_PATH], local[MAX_PATH];
    if (!ToHostBuffer(RemoteNameOf(argv[0]), remote) || !ToHostBuffer(argv[1], local)) {
        return kExitUsage;
    }
    int flags = (HasFlag(argc, argv, "--overwrite") ? FS_COPYFLAGS_OVERWRITE : 0) |
                (HasFlag(argc, argv, "--resume") ? FS_COPYFLAGS_RESUME : 0) |
                (HasFlag(argc, argv, "--move") ? FS_COPYFLAGS_MOVE : 0);
    return ReportFile(api.GetFile(remote, local, flags, nullptr));
}

namespace {
int RunRenMov(PluginApi& api, bool move, int argc, char** argv) {
    if (!NeedArguments(argc, 2,
                       move ? "move OLD NEW [--overwrite]" : "copy OLD NEW [--overwrite]")) {
        return kExitUsage;
    }
    Initialize(api);
    char oldName[MAX_PATH], newName[MAX_PATH];
    if (!ToHostBuffer(RemoteNameOf(argv[0]), oldName) ||
        !ToHostBuffer(RemoteNameOf(argv[1]), newName)) {
        return kExitUsage;
    }
    BOOL overwrite = HasFlag(argc, argv, "--overwrite") ? TRUE : FALSE;
    return ReportFile(api.RenMovFile(oldName, newName, move ? TRUE : FALSE, overwrite, nullptr));
}
} // namespace

int RunCopy(PluginApi& api, int argc, char** argv) {
    return RunRenMov(api, false, argc, argv);
}
int RunMove(PluginApi& api, int argc, char** argv) {
    return RunRenMov(api, true, argc, argv);
}

int RunDelete(PluginApi& api, int argc, char** argv) {
    char remote[MAX_PATH];
    if (!NeedArguments(argc, 1, "delete PATH") || !ToHostBuffer(RemoteNameOf(argv[0]), remote)) {
        return kExitUsage;
    }
    Initialize(api);
    return ReportBool(api.DeleteFile(remote));
}

int RunRemoveDir(PluginApi& api, int argc, char** argv) {
    char remote[MAX_PATH];
    if (!NeedArguments(argc, 1, "rmdir PATH") || !ToHostBuffer(RemoteNameOf(argv[0]), remote)) {
        return kExitUsage;
    }
    Initialize(api);
    return ReportBool(api.RemoveDir(remote));
}

int RunSetAttr(PluginApi& api, int argc, char** argv) {
    char remote[MAX_PATH];
    if (!NeedArguments(argc, 2, "attr PATH ATTRIBUTES") ||
        !ToHostBuffer(RemoteNameOf(argv[0]), remote)) {
        return kExitUsage;
    }
    Initialize(api);
    return ReportBool(api.SetAttr(remote, static_cast<int>(std::strtol(argv[1], nullptr, 0))));
}

int RunSetTime(PluginApi& api, int argc, char** argv) {
    char remote[MAX_PATH];
    if (!NeedArguments(argc, 1, "time PATH [--creation S] [--access S] [--write S]") ||
        !ToHostBuffer(RemoteNameOf(argv[0]), remote)) {
        return kExitUsage;
    }
    FILETIME times[3];
    FILETIME* given[3] = {nullptr, nullptr, nullptr};
    const char* const names[3] = {"--creation", "--access", "--write"};
    for (int i = 1; i + 1 < argc; ++i) {
        for (int which = 0; which < 3; ++which) {
            if (std::strcmp(argv[i], names[which]) == 0) {
                times[which] = FileTimeFromSeconds(argv[i + 1]);
                given[which] = &times[which];
            }
        }
    }
    Initialize(api);
    return ReportBool(api.SetTime(remote, given[0], given[1], given[2]));
}

int RunExecute(PluginApi& api, int argc, char** argv) {
    char remote[MAX_PATH], verb[MAX_PATH];
    if (!NeedArguments(argc, 2, "exec PATH VERB") || !ToHostBuffer(RemoteNameOf(argv[0]), remote) ||
        !ToHostBuffer(argv[1], verb)) {
        return kExitUsage;
    }
    Initialize(api);
    int result = api.ExecuteFile(nullptr, remote, verb);
    const char* name = result == FS_EXEC_OK         ? "FS_EXEC_OK"
                       : result == FS_EXEC_YOURSELF ? "FS_EXEC_YOURSELF"
                       : result == FS_EXEC_SYMLINK  ? "FS_EXEC_SYMLINK"
                                                    : "FS_EXEC_ERROR";
    std::printf("%s (%d)\n", name, result);
    if (result == FS_EXEC_SYMLINK) {
        std::printf("change to %s\n", remote);
    }
    return result == FS_EXEC_ERROR ? kExitFailed : kExitOk;
}

int RunIcon(PluginApi& api, int argc, char** argv) {
    char remote[MAX_PATH];
    if (!NeedArguments(argc, 1, "icon PATH [--small] [--background]") ||
        !ToHostBuffer(RemoteNameOf(argv[0]), remote)) {
        return kExitUsage;
    }
    Initialize(api);
    int flags = (HasFlag(argc, argv, "--small") ? FS_ICONFLAG_SMALL : 0) |
                (HasFlag(argc, argv, "--background") ? FS_ICONFLAG_BACKGROUND : 0);
    HICON icon = nullptr;
    int result = api.ExtractCustomIcon(remote, flags, &icon);
    const char* name = result == FS_ICON_EXTRACTED_DESTROY ? "FS_ICON_EXTRACTED_DESTROY"
                       : result == FS_ICON_DELAYED         ? "FS_ICON_DELAYED"
                                                           : "FS_ICON_USEDEFAULT";
    std::printf("%s (%d)\nbuffer: %s\nicon: %s\n", name, result, remote,
                icon != nullptr ? "returned" : "none");
    if (icon != nullptr && result == FS_ICON_EXTRACTED_DESTROY) {
        DestroyIcon(icon);
    }
    return kExitOk;
}
