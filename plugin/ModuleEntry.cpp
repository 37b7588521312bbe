// The library's entry point: records the module and loads the two directory
// icons when the process loads it. The icons are shared images owned by the
// platform, so nothing is freed. Thread notifications are turned off: the
// context is then written once, before any thread of the host can read it.
#include "plugin/PluginContext.h"
#include "resources/ResourceIds.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    g_context.moduleInstance = instance;
    g_context.smallDirectoryIcon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_DIRECTORY_SMALL), IMAGE_ICON, 16, 16, LR_SHARED));
    g_context.bigDirectoryIcon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_DIRECTORY_BIG), IMAGE_ICON, 32, 32, LR_SHARED));
    DisableThreadLibraryCalls(instance);
    return TRUE;
}
