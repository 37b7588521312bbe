// The host program's subcommands. Each takes its arguments after the command
// name and returns the process exit code.
#pragma once

#include "host/PluginLoader.h"

struct HostOptions {
    bool abort;             // the progress callback answers "abort"
    bool quiet;             // no live progress line
    const char* pluginFile; // the plugin that was loaded
};

extern HostOptions g_options;

int RunInfo(PluginApi& api, int argc, char** argv);
int RunList(PluginApi& api, int argc, char** argv);
int RunGet(PluginApi& api, int argc, char** argv);
int RunCopy(PluginApi& api, int argc, char** argv);
int RunMove(PluginApi& api, int argc, char** argv);
int RunDelete(PluginApi& api, int argc, char** argv);
int RunRemoveDir(PluginApi& api, int argc, char** argv);
int RunSetAttr(PluginApi& api, int argc, char** argv);
int RunSetTime(PluginApi& api, int argc, char** argv);
int RunExecute(PluginApi& api, int argc, char** argv);
int RunIcon(PluginApi& api, int argc, char** argv);

// Exit codes.
const int kExitOk = 0;
const int kExitFailed = 1;
const int kExitUsage = 2;
const int kExitNoPlugin = 3;
