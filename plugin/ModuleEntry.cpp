// The library's entry point: records the module and loads the two directory
// icons once per notification. The icons are shared images owned by the
// platform, so loading them again yields the same handles and nothing is freed.
#include "plugin/PluginContext.h"
#include "resources/ResourceIds.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    g_context.moduleInstance = instance;
    g_context.smallDirectoryIcon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_DIRECTORY_SMALL), IMAGE_ICON, 16, 16, LR_SHARED));
    g_context.bigDirectoryIcon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_DIRECTORY_BIG), IMAGE_ICON, 32, 32, LR_SHARED));
    return TRUE;
}
