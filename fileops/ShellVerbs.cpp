// FsExecuteFile: "open" goes back to the host, which opens the local file
// itself; "properties" shows the shell's properties dialog; nothing else runs.
#include <windows.h>
#include <shellapi.h>

#include "base/BoundedText.h"
#include "plugin/PluginContext.h"
#include "plugin/RemoteName.h"

extern "C" int WINAPI FsExecuteFile(HWND mainWindow, char* remoteName, char* verb) {
    if (!IsOperableRemoteName(remoteName) || verb == nullptr) {
        return FS_EXEC_ERROR;
    }
    if (EqualsAsciiNoCase(verb, "open")) {
        return FS_EXEC_YOURSELF;
    }
    if (!EqualsAsciiNoCase(verb, "properties")) {
        return FS_EXEC_ERROR;
    }
    // The dialog can change the file, so it gets the ordinary path only when
    // that path means exactly this entry: a directory entry's own directory.
    char path[MAX_PATH];
    if (!HostLocalPathOf(remoteName, path, sizeof path)) {
        return FS_EXEC_ERROR;
    }
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.hwnd = mainWindow;
    info.lpVerb = verb;
    info.lpFile = path;
    info.nShow = SW_SHOW;
    return ShellExecuteExA(&info) ? FS_EXEC_OK : FS_EXEC_ERROR;
}
