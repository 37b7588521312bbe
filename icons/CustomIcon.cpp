// FsExtractCustomIcon: the plugin's own icon for directory entries, the shell's
// icon for programs, shortcuts and icon files (fetched in the host's background
// pass), the host's default for everything else. The name buffer is rewritten
// into a cache key so that the host shares one icon among many entries.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "base/BoundedText.h"
#include "plugin/PluginContext.h"
#include "plugin/RemoteName.h"

namespace {

const size_t kNameCapacity = MAX_PATH;

bool IsDirectoryEntry(const char* name, size_t length) {
    return length > 0 && name[length - 1] == '/';
}

// Programs, shortcuts and icon files carry their own icons.
bool HasOwnIcon(const char* name, size_t length) {
    if (length < 4) {
        return false;
    }
    const char* extension = name + length - 4;
    return EqualsAsciiNoCase(extension, ".exe") || EqualsAsciiNoCase(extension, ".lnk") ||
           EqualsAsciiNoCase(extension, ".ico");
}

int ExtractShellIcon(char* remoteName, bool small, HICON* icon) {
    // The shell takes ordinary paths; a name Windows would read as another
    // file gets the host's default rather than that file's icon.
    char localPath[MAX_PATH];
    if (!HostLocalPathOf(remoteName, localPath, sizeof localPath)) {
        return FS_ICON_USEDEFAULT;
    }
    SHFILEINFOA info = {};
    UINT flags = SHGFI_ICON | (small ? SHGFI_SMALLICON : 0);
    if (SHGetFileInfoA(localPath, 0, &info, sizeof info, flags) == 0) {
        return FS_ICON_USEDEFAULT;
    }
    *icon = info.hIcon;
    std::snprintf(remoteName, kNameCapacity, "%s%d", "quenfoldfile", info.iIcon);
    return FS_ICON_EXTRACTED_DESTROY;
}

} // namespace

extern "C" int WINAPI FsExtractCustomIcon(char* remoteName, int extractFlags, HICON* icon) {
    if (remoteName == nullptr || icon == nullptr) {
        return FS_ICON_USEDEFAULT;
    }
    bool small = (extractFlags & FS_ICONFLAG_SMALL) != 0;
    size_t length = strnlen(remoteName, kNameCapacity);
    if (length == kNameCapacity) {
        return FS_ICON_USEDEFAULT; // no NUL within the host's buffer
    }
    if (IsDirectoryEntry(remoteName, length)) {
        *icon = small ? g_context.smallDirectoryIcon : g_context.bigDirectoryIcon;
        CopyBounded(remoteName, kNameCapacity, "quenfolddir");
        return FS_ICON_EXTRACTED_DESTROY;
    }
    if ((extractFlags & FS_ICONFLAG_BACKGROUND) != 0) {
        return ExtractShellIcon(remoteName, small, icon);
    }
    return HasOwnIcon(remoteName, length) ? FS_ICON_DELAYED : FS_ICON_USEDEFAULT;
}
