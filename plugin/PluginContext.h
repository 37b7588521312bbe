// Process-wide state handed over by the host or loaded by the module itself.
// Written at load time and by FsInit, read-only afterwards, so it needs no lock.
#pragma once

#include "plugin/HostInterface.h"

struct PluginContext {
    HINSTANCE moduleInstance;
    HICON smallDirectoryIcon;
    HICON bigDirectoryIcon;
    int pluginNumber;
    ProgressCallback progress;
    LogCallback log;
    RequestCallback request;
};

extern PluginContext g_context;

// Asks the host's progress callback whether the user has aborted. A host that
// never called FsInit has no callback; that counts as "not aborted".
bool UserAborted(const char* sourceName, const char* targetName, int percent);
