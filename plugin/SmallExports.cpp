// The exports that only report facts about the plugin or store what the host
// hands over.
#include <cstring>

#include "base/BoundedText.h"
#include "plugin/PluginContext.h"
#include "plugin/RemoteName.h"

namespace {
const char kRootName[] = "Quenfold";
}

extern "C" {

int WINAPI FsInit(int pluginNumber, ProgressCallback progress, LogCallback log,
                  RequestCallback request) {
    g_context.pluginNumber = pluginNumber;
    g_context.progress = progress;
    g_context.log = log;
    g_context.request = request;
    return 0;
}

void WINAPI FsStatusInfo(char*, int, int) {}

void WINAPI FsGetDefRootName(char* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) {
        return;
    }
    if (!CopyBounded(buffer, static_cast<size_t>(capacity), kRootName)) {
        buffer[0] = '\0';
    }
}

BOOL WINAPI FsLinksToLocalFiles(void) {
    return TRUE;
}

// The host opens the file itself under this name (the viewer, say), so it is
// the ordinary local path of exactly this entry; where there is none, FALSE
// makes the host fetch the file through FsGetFile instead. A directory
// entry's folder ends in a separator where the host packs by local names.
BOOL WINAPI FsGetLocalName(char* remoteName, int capacity) {
    if (remoteName == nullptr || capacity < 2) {
        return TRUE;
    }
    char path[MAX_PATH];
    size_t length = strnlen(remoteName, static_cast<size_t>(capacity));
    if (length == static_cast<size_t>(capacity) ||
        !HostLocalPathOf(remoteName, path, sizeof path)) {
        return FALSE;
    }
    size_t pathLength = std::strlen(path);
    if (kFolderLocalNamesEndInSeparator && IsDirectoryEntryName(remoteName) &&
        !AppendBounded(path, sizeof path, pathLength, &kPathSeparator, 1)) {
        return FALSE;
    }
    return CopyBounded(remoteName, static_cast<size_t>(capacity), path) ? TRUE : FALSE;
}

} // extern "C"
