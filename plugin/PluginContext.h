// Process-wide state handed over by the host or loaded by the module itself.
// The module entry writes its part once, when the process loads the plugin;
// FsInit writes the host's part before the host starts its threads, and a
// later FsInit replaces it. Nothing else writes it, so it needs no lock.
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
