// What tests can ask of, and do to, the POSIX stand-in: inject a platform
// failure for one path, count the open enumerations, read what the shell was
// asked to do. None of this exists on Windows.
#pragma once

#include <windows.h>

struct ShellExecuteRecord {
    int calls;
    DWORD size;
    unsigned long mask;
    HWND window;
    int show;
    char verb[MAX_PATH];
    char file[MAX_PATH];
};

extern "C" {
// Makes `function` fail with `error` for every path that ends with `pathSuffix`.
// One path fault at a time; null clears it.
void StandInSetFault(const char* function, const char* pathSuffix, DWORD error);
// Counts the calls of `function` from now, and makes call `callNumber` (from
// 1) fail with `error`: that call only, or every call from it on.
void StandInFailCall(const char* function, int callNumber, DWORD error, BOOL persistent);
// Clears every fault and counter.
void StandInResetCalls(void);
// Calls of `function` since its counter was last cleared.
int StandInCallCount(const char* function);
// The names of every platform call that can be failed, ending in null.
const char* const* StandInTableOfCalls(void);
// Enumerations opened by FindFirstFileA and not yet closed.
int StandInOpenEnumerations(void);
// Files opened by CreateFileA and not yet closed.
int StandInOpenFiles(void);
void StandInLastShellExecute(ShellExecuteRecord* record);
// Makes ShellExecuteExA answer without asking the desktop, as a test must.
void StandInShellExecuteSucceeds(BOOL succeeds);
// Makes ShellExecuteExA ask the desktop again, as it does in a file manager.
void StandInShellExecuteAsksDesktop(void);
}
