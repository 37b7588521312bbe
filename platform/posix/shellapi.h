// The shell functions of the POSIX stand-in (see windows.h beside this file).
#pragma once

#include <windows.h>

#define SEE_MASK_INVOKEIDLIST 0x0000000C
#define SHGFI_SMALLICON 0x000000001
#define SHGFI_ICON 0x000000100

struct SHELLEXECUTEINFOA {
    DWORD cbSize;
    unsigned long fMask;
    HWND hwnd;
    LPCSTR lpVerb;
    LPCSTR lpFile;
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
};

struct SHFILEINFOA {
    HICON hIcon;
    int iIcon;
    DWORD dwAttributes;
    char szDisplayName[MAX_PATH];
    char szTypeName[80];
};

extern "C" {
BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);
uintptr_t SHGetFileInfoA(const char* path, DWORD fileAttributes, SHFILEINFOA* info, UINT infoSize,
                         UINT flags);
}
