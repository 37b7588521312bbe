// 32-bit Wine under qemu-user: qemu gives all threads of a process one
// descriptor table, so a thread that reloads FS and GS after an exception or
// a signal finds the newest thread's TEB and C library state, and the process
// dies ("wine client error:...: write: Bad file descriptor") or hangs. A test
// program must stay single-threaded there, and GoogleTest would make it
// otherwise twice: its first report of a failure or a skip starts a thread
// that watches the reporting thread's end, and every such report is echoed
// to the debugger through OutputDebugStringA, an exception. Under emulation
// (the test command sets QUENFOLD_EMULATED_32) neither happens: the watcher
// would only free a thread's GoogleTest state when that thread ends, and the
// console and the report carry the echoed text. Elsewhere both go to kernel32.
#include <windows.h>

#include <cstdlib>

namespace {

bool Emulated() {
    static const bool emulated = std::getenv("QUENFOLD_EMULATED_32") != nullptr;
    return emulated;
}

template <typename Function> Function Kernel32(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

using DebugStringFunction = void(WINAPI*)(LPCSTR);
using CreateThreadFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE,
                                             LPVOID, DWORD, LPDWORD);

void WINAPI EchoToDebugger(LPCSTR text) {
    static const DebugStringFunction echo = Kernel32<DebugStringFunction>("OutputDebugStringA");
    if (!Emulated() && echo != nullptr) {
        echo(text);
    }
}

// GoogleTest's only direct thread (std::thread goes through the C runtime).
// Under emulation it gets a handle to the calling thread instead, on which
// its priority, resume and close calls change nothing.
HANDLE WINAPI StartThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                          LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD id) {
    static const CreateThreadFunction create = Kernel32<CreateThreadFunction>("CreateThread");
    if (!Emulated()) {
        return create(security, stack, start, parameter, flags, id);
    }
    if (id != nullptr) {
        *id = GetCurrentThreadId();
    }
    return OpenThread(THREAD_QUERY_INFORMATION | THREAD_SET_INFORMATION | THREAD_SUSPEND_RESUME,
                      FALSE, GetCurrentThreadId());
}

} // namespace

// The import slots that GoogleTest's calls go through (i686 decoration),
// defined here so that the import library's are never linked.
extern "C" DebugStringFunction g_debugStringImport __asm__("__imp__OutputDebugStringA@4");
DebugStringFunction g_debugStringImport = EchoToDebugger;
extern "C" CreateThreadFunction g_createThreadImport __asm__("__imp__CreateThread@24");
CreateThreadFunction g_createThreadImport = StartThread;
