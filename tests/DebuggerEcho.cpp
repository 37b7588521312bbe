// GoogleTest echoes every failure and skip to the debugger through
// OutputDebugStringA, which raises an exception that Wine dispatches and
// unwinds. 32-bit Wine under qemu-user cannot survive that in a process with a
// second thread: qemu keeps one descriptor table for all threads, so FS,
// reloaded after the exception, finds the newest thread's TEB, and the process
// dies ("wine client error:...: write: Bad file descriptor"). Under emulation
// (the test command sets QUENFOLD_EMULATED_32) the echo is dropped, since the
// console and the report carry the same text; elsewhere it goes to kernel32.
#include <windows.h>

#include <cstdlib>

namespace {

using DebugStringFunction = void(WINAPI*)(LPCSTR);

void WINAPI EchoToDebugger(LPCSTR text) {
    static const bool emulated = std::getenv("QUENFOLD_EMULATED_32") != nullptr;
    static const DebugStringFunction kernel32 =
        reinterpret_cast<DebugStringFunction>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "OutputDebugStringA")));
    if (!emulated && kernel32 != nullptr) {
        kernel32(text);
    }
}

} // namespace

// The import slot that GoogleTest's call goes through (i686 decoration),
// defined here so that the import library's is never linked.
extern "C" DebugStringFunction g_debugStringImport __asm__("__imp__OutputDebugStringA@4");
DebugStringFunction g_debugStringImport = EchoToDebugger;
