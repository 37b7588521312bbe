// Loads the plugin the way the file manager does: LoadLibraryA, then every
// export looked up by its undecorated name.
#pragma once

#include "plugin/HostInterface.h"

struct PluginApi {
    HMODULE module;
    decltype(&FsInit) Init;
    decltype(&FsStatusInfo) StatusInfo;
    decltype(&FsGetDefRootName) GetDefRootName;
    decltype(&FsLinksToLocalFiles) LinksToLocalFiles;
    decltype(&FsGetLocalName) GetLocalName;
    decltype(&FsFindFirst) FindFirst;
    decltype(&FsFindNext) FindNext;
    decltype(&FsFindClose) FindClose;
    decltype(&FsGetFile) GetFile;
    decltype(&FsRenMovFile) RenMovFile;
    decltype(&FsDeleteFile) DeleteFile;
    decltype(&FsRemoveDir) RemoveDir;
    decltype(&FsSetAttr) SetAttr;
    decltype(&FsSetTime) SetTime;
    decltype(&FsExecuteFile) ExecuteFile;
    decltype(&FsExtractCustomIcon) ExtractCustomIcon;
};

// The names of the sixteen exports, in the order of PluginApi's members.
extern const char* const kExportNames[16];

// Fills `api` from the plugin file. On failure returns false and names what is
// missing (the file, or the first export not found) in `problem`.
bool LoadPlugin(const char* fileName, PluginApi* api, const char** problem);
void UnloadPlugin(PluginApi* api);

// LoadPlugin that says on standard error what went wrong.
bool LoadPluginOrReport(const char* fileName, PluginApi* api);
