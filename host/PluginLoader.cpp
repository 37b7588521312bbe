#include "host/PluginLoader.h"

#include <cstdio>
#include <cstring>

const char* const kExportNames[16] = {
    "FsInit",         "FsStatusInfo", "FsGetDefRootName", "FsLinksToLocalFiles",
    "FsGetLocalName", "FsFindFirst",  "FsFindNext",       "FsFindClose",
    "FsGetFile",      "FsRenMovFile", "FsDeleteFile",     "FsRemoveDir",
    "FsSetAttr",      "FsSetTime",    "FsExecuteFile",    "FsExtractCustomIcon",
};

namespace {
// Function pointers pass through a generic one, which keeps the conversion
// from FARPROC free of warnings.
template <typename Function> bool Resolve(HMODULE module, const char* name, Function* target) {
    FARPROC address = GetProcAddress(module, name);
    *target = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    return address != nullptr;
}
} // namespace

bool LoadPlugin(const char* fileName, PluginApi* api, const char** problem) {
    std::memset(api, 0, sizeof *api);
    api->module = LoadLibraryA(fileName);
    if (api->module == nullptr) {
        *problem = fileName;
        return false;
    }
    bool found = Resolve(api->module, kExportNames[0], &api->Init) &&
                 Resolve(api->module, kExportNames[1], &api->StatusInfo) &&
                 Resolve(api->module, kExportNames[2], &api->GetDefRootName) &&
                 Resolve(api->module, kExportNames[3], &api->LinksToLocalFiles) &&
                 Resolve(api->module, kExportNames[4], &api->GetLocalName) &&
                 Resolve(api->module, kExportNames[5], &api->FindFirst) &&
                 Resolve(api->module, kExportNames[6], &api->FindNext) &&
                 Resolve(api->module, kExportNames[7], &api->FindClose) &&
                 Resolve(api->module, kExportNames[8], &api->GetFile) &&
                 Resolve(api->module, kExportNames[9], &api->RenMovFile) &&
                 Resolve(api->module, kExportNames[10], &api->DeleteFile) &&
                 Resolve(api->module, kExportNames[11], &api->RemoveDir) &&
                 Resolve(api->module, kExportNames[12], &api->SetAttr) &&
                 Resolve(api->module, kExportNames[13], &api->SetTime) &&
                 Resolve(api->module, kExportNames[14], &api->ExecuteFile) &&
                 Resolve(api->module, kExportNames[15], &api->ExtractCustomIcon);
    if (!found) {
        for (const char* name : kExportNames) {
            if (GetProcAddress(api->module, name) == nullptr) {
                *problem = name;
                break;
            }
        }
        UnloadPlugin(api);
        return false;
    }
    return true;
}

void UnloadPlugin(PluginApi* api) {
    if (api->module != nullptr) {
        FreeLibrary(api->module);
    }
    std::memset(api, 0, sizeof *api);
}

bool LoadPluginOrReport(const char* fileName, PluginApi* api) {
    const char* problem = "";
    if (LoadPlugin(fileName, api, &problem)) {
        return true;
    }
    std::fprintf(stderr, "cannot load the plugin %s: %s (error %lu)\n", fileName, problem,
                 static_cast<unsigned long>(GetLastError()));
    return false;
}
