// FsExecuteFile: "open" goes back to the host, which opens the local file
// itself, or where the host would open a copy, to the desktop; "properties"
// shows the shell's properties dialog; "chmod" and an octal mode sets a
// file's permission bits where the system has them; nothing else runs.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "base/BoundedText.h"
#include "plugin/PluginContext.h"
#include "plugin/RemoteName.h"

namespace {

const DWORD kLargestPermissions = 07777;

// Whether `verb` begins with the word `word`, without regard to case,
// followed by a space or nothing; `rest` is what follows the word.
bool StartsWithWord(const char* verb, const char* word, const char** rest) {
    for (; *word != '\0'; ++verb, ++word) {
        if (AsciiLower(*verb) != *word) {
            return false;
        }
    }
    *rest = verb;
    return *verb == ' ' || *verb == '\0';
}

// The mode of "chmod 664", as a file manager asks for permissions to be set:
// the word, spaces, and octal digits up to 07777, nothing after. False for
// anything else after the word.
bool ParsePermissions(const char* arguments, DWORD* mode) {
    while (*arguments == ' ') {
        ++arguments;
    }
    if (*arguments == '\0') {
        return false;
    }
    DWORD value = 0;
    for (; *arguments != '\0'; ++arguments) {
        if (*arguments < '0' || *arguments > '7') {
            return false;
        }
        value = value * 8 + static_cast<DWORD>(*arguments - '0');
        if (value > kLargestPermissions) {
            return false;
        }
    }
    *mode = value;
    return true;
}

// A directory entry's permissions are its folder's.
int SetPermissions(const char* remoteName, const char* arguments) {
    DWORD mode = 0;
    char path[MAX_PATH];
    if (!ParsePermissions(arguments, &mode) || !PlatformPathOf(remoteName, path, sizeof path)) {
        return FS_EXEC_ERROR;
    }
    return SetPermissionBits(path, mode) ? FS_EXEC_OK : FS_EXEC_ERROR;
}

// Hands `path` to the shell with `verb`, shown as the shell shows it.
bool AskShell(HWND mainWindow, char* verb, char* path, unsigned long mask) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = mask;
    info.hwnd = mainWindow;
    info.lpVerb = verb;
    info.lpFile = path;
    info.nShow = SW_SHOW;
    return ShellExecuteExA(&info) != FALSE;
}

// A directory entry's folder goes back to the host to enter, in place of the
// name in the host's buffer (it is shorter); a file goes to the desktop's
// opener under its own path, so that what the program saves lands in it.
// What the desktop cannot open, the host opens itself.
int Open(HWND mainWindow, char* remoteName, char* verb) {
    char path[MAX_PATH];
    if (!kOpensThroughDesktop || !HostLocalPathOf(remoteName, path, sizeof path)) {
        return FS_EXEC_YOURSELF;
    }
    if (IsDirectoryEntryName(remoteName)) {
        return CopyBounded(remoteName, std::strlen(remoteName) + 1, path) ? FS_EXEC_SYMLINK
                                                                          : FS_EXEC_YOURSELF;
    }
    return AskShell(mainWindow, verb, path, 0) ? FS_EXEC_OK : FS_EXEC_YOURSELF;
}

int ShowProperties(HWND mainWindow, const char* remoteName, char* verb) {
    // The dialog can change the file, so it gets the ordinary path only when
    // that path means exactly this entry: a directory entry's own directory.
    char path[MAX_PATH];
    if (!HostLocalPathOf(remoteName, path, sizeof path)) {
        return FS_EXEC_ERROR;
    }
    return AskShell(mainWindow, verb, path, SEE_MASK_INVOKEIDLIST) ? FS_EXEC_OK : FS_EXEC_ERROR;
}

} // namespace

extern "C" int WINAPI FsExecuteFile(HWND mainWindow, char* remoteName, char* verb) {
    if (!IsOperableRemoteName(remoteName) || verb == nullptr) {
        return FS_EXEC_ERROR;
    }
    if (EqualsAsciiNoCase(verb, "open")) {
        return Open(mainWindow, remoteName, verb);
    }
    const char* arguments = nullptr;
    if (StartsWithWord(verb, "chmod", &arguments)) {
        return SetPermissions(remoteName, arguments);
    }
    if (!EqualsAsciiNoCase(verb, "properties")) {
        return FS_EXEC_ERROR;
    }
    return ShowProperties(mainWindow, remoteName, verb);
}
