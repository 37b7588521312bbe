// The POSIX platform layer for the part of the Win32 API that Quenfold uses, so
// that the plugin's own sources build and run unchanged on Linux. The types and
// constants have their Windows values; the functions act on POSIX names as
// they are, byte for byte, with "/" as the only separator.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

typedef int BOOL;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef unsigned int UINT;
typedef void* LPVOID;
typedef void* HANDLE;
typedef struct HICON__* HICON;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef intptr_t INT_PTR;
typedef INT_PTR (*FARPROC)();
typedef const char* LPCSTR;
typedef unsigned long long ULONGLONG;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        int32_t HighPart;
    } u;
    int64_t QuadPart;
};

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define MAKEINTRESOURCEA(id)                                                                       \
    (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(static_cast<WORD>(id))))

#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_HIDDEN 0x2
#define FILE_ATTRIBUTE_SYSTEM 0x4
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400
// Not a Windows attribute: the file managers' flag for a record whose
// dwReserved0 holds a Unix mode (st_mode) instead of a reparse tag. Every
// record of this layer's enumeration carries it.
#define FILE_ATTRIBUTE_UNIX_MODE 0x80000000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NOT_SAME_DEVICE 17
#define ERROR_NO_MORE_FILES 18
#define ERROR_READ_FAULT 30
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_DISK_FULL 39
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_INVALID_NAME 123
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_ALREADY_EXISTS 183
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_DIRECTORY 267
#define ERROR_NO_ASSOCIATION 1155
#define ERROR_REQUEST_ABORTED 1235
#define ERROR_INVALID_WINDOW_HANDLE 1400

#define MOVEFILE_REPLACE_EXISTING 0x1
#define MOVEFILE_COPY_ALLOWED 0x2

#define COPY_FILE_FAIL_IF_EXISTS 0x1
#define COPY_FILE_COPY_SYMLINK 0x800
// Linux only: the copy keeps what mv keeps across file systems (owner and
// group, every extended attribute) and makes links, FIFOs and device nodes
// again instead of refusing them. Windows' own copy keeps what its moves keep.
#define COPY_FILE_AS_MOVE 0x40000000
#define PROGRESS_CONTINUE 0
#define PROGRESS_CANCEL 1
#define PROGRESS_STOP 2
#define PROGRESS_QUIET 3
#define CALLBACK_CHUNK_FINISHED 0
#define CALLBACK_STREAM_SWITCH 1

#define FILE_WRITE_ATTRIBUTES 0x100u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4

#define IMAGE_ICON 1
#define LR_SHARED 0x8000

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1

#define SW_SHOW 5

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};

struct SECURITY_ATTRIBUTES;

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard };

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

typedef DWORD(CALLBACK* LPPROGRESS_ROUTINE)(LARGE_INTEGER totalSize, LARGE_INTEGER totalDone,
                                            LARGE_INTEGER streamSize, LARGE_INTEGER streamDone,
                                            DWORD streamNumber, DWORD reason, HANDLE source,
                                            HANDLE target, LPVOID data);

extern "C" {

DWORD GetLastError(void);
void SetLastError(DWORD error);

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* record);
BOOL FindNextFileA(HANDLE enumeration, WIN32_FIND_DATAA* record);
BOOL FindClose(HANDLE enumeration);

BOOL CopyFileA(const char* source, const char* target, BOOL failIfExists);
// Windows calls `routine` as the data goes; this layer does so after each
// chunk of a copy (never for a rename), and a cancel removes what was written.
BOOL CopyFileExA(const char* source, const char* target, LPPROGRESS_ROUTINE routine, LPVOID data,
                 BOOL* cancel, DWORD flags);
ULONGLONG GetTickCount64(void);
BOOL MoveFileA(const char* source, const char* target);
BOOL MoveFileExA(const char* source, const char* target, DWORD flags);
BOOL DeleteFileA(const char* path);
BOOL RemoveDirectoryA(const char* path);
BOOL CreateDirectoryA(const char* path, SECURITY_ATTRIBUTES* security);
BOOL SetFileAttributesA(const char* path, DWORD attributes);
// Not Windows: sets exactly the permission bits `mode` (at most 07777) of the
// file or folder at `path`, as chmod does. A symbolic link is refused
// (ERROR_NOT_SUPPORTED): it has no permissions of its own, and what it points
// to is another file.
BOOL SetUnixPermissions(const char* path, DWORD mode);
DWORD GetFileAttributesA(const char* path);
BOOL GetFileAttributesExA(const char* path, GET_FILEEX_INFO_LEVELS level, void* information);
HANDLE CreateFileA(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);
BOOL CloseHandle(HANDLE handle);

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags);
BOOL DestroyIcon(HICON icon);

HMODULE LoadLibraryA(const char* fileName);
// Shared objects get no thread notifications; nothing to turn off.
inline BOOL DisableThreadLibraryCalls(HMODULE) {
    return TRUE;
}
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);

} // extern "C"

// Console control and version resources, used by the host program.
#define CTRL_C_EVENT 0
typedef BOOL (*PHANDLER_ROUTINE)(DWORD controlType);
extern "C" {
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);
DWORD GetFileVersionInfoSizeA(const char* fileName, DWORD* handle);
BOOL GetFileVersionInfoA(const char* fileName, DWORD handle, DWORD size, void* data);
BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* length);
}
