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
// Makes `function` fail with `error` for every path that ends with `pathSuffix`
// (after the stand-in's own path rules). One fault at a time; null clears it.
void StandInSetFault(const char* function, const char* pathSuffix, DWORD error);
// Enumerations opened by FindFirstFileA and not yet closed.
int StandInOpenEnumerations(void);
// Files opened by CreateFileA and not yet closed.
int StandInOpenFiles(void);
void StandInLastShellExecute(ShellExecuteRecord* record);
// Makes ShellExecuteExA answer without asking the desktop, as a test must.
void StandInShellExecuteSucceeds(BOOL succeeds);
}
