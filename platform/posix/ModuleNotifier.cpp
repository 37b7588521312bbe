// Linked into the native plugin only: delivers the load and unload
// notifications that Windows sends a DLL's entry point.
#include <dlfcn.h>
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {
HINSTANCE ThisModule() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&DllMain), &info) == 0) {
        return nullptr;
    }
    return static_cast<HINSTANCE>(info.dli_fbase);
}

__attribute__((constructor)) void NotifyLoad() {
    DllMain(ThisModule(), DLL_PROCESS_ATTACH, nullptr);
}
__attribute__((destructor)) void NotifyUnload() {
    DllMain(ThisModule(), DLL_PROCESS_DETACH, nullptr);
}
} // namespace
