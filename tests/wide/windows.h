// The Windows wide-character calls that the Windows edition's name handling
// makes, over the Linux layer's declarations, so that its code can be built
// and driven here by an enumeration served from memory (WideEnumeration.cpp).
#pragma once

#include_next <windows.h>

#include <cwchar>

typedef wchar_t WCHAR;

#define CP_ACP 0
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x400
#define WC_ERR_INVALID_CHARS 0x80
#define MB_ERR_INVALID_CHARS 0x8
#define ERROR_INSUFFICIENT_BUFFER 122
#define FILE_ATTRIBUTE_REPARSE_TAG_SYMLINK 0xA000000C

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};

extern "C" {
UINT GetACP(void);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide, int wideLength, char* text,
                        int capacity, const char* defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, WCHAR* wide,
                        int capacity);
char* CharNextA(const char* text);
HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* record);
BOOL FindNextFileW(HANDLE enumeration, WIN32_FIND_DATAW* record);
}
