// Ctrl+C reaches a console control handler as SIGINT; a native build carries
// no version resources.
#include <csignal>

#include "StandIn.h"

namespace {
volatile PHANDLER_ROUTINE g_handler = nullptr;

void OnInterrupt(int) {
    PHANDLER_ROUTINE handler = g_handler;
    if (handler != nullptr) {
        handler(CTRL_C_EVENT);
    }
}
} // namespace

extern "C" {

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    g_handler = add ? handler : nullptr;
    std::signal(SIGINT, add ? OnInterrupt : SIG_DFL);
    return TRUE;
}

DWORD GetFileVersionInfoSizeA(const char*, DWORD* handle) {
    if (handle != nullptr) {
        *handle = 0;
    }
    SetLastError(1813); // ERROR_RESOURCE_TYPE_NOT_FOUND
    return 0;
}

BOOL GetFileVersionInfoA(const char*, DWORD, DWORD, void*) {
    return standin::Fail(1813);
}

BOOL VerQueryValueA(const void*, const char*, void**, UINT*) {
    return FALSE;
}

} // extern "C"
