// The exports that only report facts about the plugin or store what the host
// hands over.
#include <cstring>

#include "plugin/BoundedText.h"
#include "plugin/PluginContext.h"

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

// Every RemoteName is a backslash and a local path, so dropping the first byte
// turns it into the local name in place.
BOOL WINAPI FsGetLocalName(char* remoteName, int capacity) {
    if (remoteName != nullptr && capacity >= 2) {
        std::memmove(remoteName, remoteName + 1, static_cast<size_t>(capacity) - 1);
    }
    return TRUE;
}

} // extern "C"
