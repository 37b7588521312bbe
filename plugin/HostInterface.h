// The boundary between Total Commander and a file-system plugin: result codes,
// flags, the host's callbacks and the sixteen functions the plugin exports.
#pragma once

#include <windows.h>

#include <cstddef>

// The host hands over its own find-data record and reads it back by these
// offsets, whatever the platform's headers say.
static_assert(sizeof(FILETIME) == 8, "FILETIME is two 32-bit halves");
static_assert(sizeof(WIN32_FIND_DATAA) == 320, "the host's find-data record is 320 bytes");
static_assert(offsetof(WIN32_FIND_DATAA, nFileSizeHigh) == 28, "sizes follow the three times");
static_assert(offsetof(WIN32_FIND_DATAA, cFileName) == 44, "the name starts at byte 44");
static_assert(offsetof(WIN32_FIND_DATAA, cAlternateFileName) == 304,
              "the short name follows 260 bytes of name");

// File transfer results.
#define FS_FILE_OK 0
#define FS_FILE_EXISTS 1
#define FS_FILE_NOTFOUND 2
#define FS_FILE_READERROR 3
#define FS_FILE_WRITEERROR 4
#define FS_FILE_USERABORT 5
#define FS_FILE_NOTSUPPORTED 6

// FsExecuteFile results.
#define FS_EXEC_OK 0
#define FS_EXEC_ERROR 1
#define FS_EXEC_YOURSELF (-1)
// The RemoteName buffer now holds a path for the host to change to.
#define FS_EXEC_SYMLINK (-2)

// FsGetFile copy flags.
#define FS_COPYFLAGS_OVERWRITE 1
#define FS_COPYFLAGS_RESUME 2
#define FS_COPYFLAGS_MOVE 4

// FsExtractCustomIcon flags and results.
#define FS_ICONFLAG_SMALL 1
#define FS_ICONFLAG_BACKGROUND 2
#define FS_ICON_USEDEFAULT 0
#define FS_ICON_EXTRACTED_DESTROY 2
#define FS_ICON_DELAYED 3

extern "C" {

// A non-zero result means the user asked to abort.
typedef int(WINAPI* ProgressCallback)(int pluginNumber, char* sourceName, char* targetName,
                                      int percentDone);
// Stored for the host's sake; the plugin never calls them.
typedef void(WINAPI* LogCallback)(int pluginNumber, int messageType, char* text);
typedef BOOL(WINAPI* RequestCallback)(int pluginNumber, int requestType, char* title, char* text,
                                      char* answer, int answerCapacity);

// A Boolean argument as every host means it. Double Commander declares
// FsRenMovFile's flags as one-byte Booleans and leaves garbage in the upper
// bits of the argument (false has arrived as 0x38ea5600); Total Commander
// passes a clean 0 or 1. Only the lowest byte carries the value.
inline bool HostFlag(BOOL value) {
    return (static_cast<unsigned int>(value) & 0xFFu) != 0;
}

// A BOOL result as every host reads it: Double Commander reads one byte, so
// anything but exactly 0 or 1 could turn success into failure.
inline BOOL HostBool(bool value) {
    return value ? TRUE : FALSE;
}

// The host's description of a remote file; the plugin never reads it.
struct RemoteFileInfo;

// Lifecycle and naming.
int WINAPI FsInit(int pluginNumber, ProgressCallback progress, LogCallback log,
                  RequestCallback request);
void WINAPI FsStatusInfo(char* remoteDirectory, int startOrEnd, int operation);
void WINAPI FsGetDefRootName(char* buffer, int capacity);
BOOL WINAPI FsLinksToLocalFiles(void);
BOOL WINAPI FsGetLocalName(char* remoteName, int capacity);

// Listing.
HANDLE WINAPI FsFindFirst(char* path, WIN32_FIND_DATAA* record);
BOOL WINAPI FsFindNext(HANDLE search, WIN32_FIND_DATAA* record);
int WINAPI FsFindClose(HANDLE search);

// Transfers and renames.
int WINAPI FsGetFile(char* remoteName, char* localName, int copyFlags, RemoteFileInfo* info);
int WINAPI FsRenMovFile(char* oldName, char* newName, BOOL move, BOOL overwrite,
                        RemoteFileInfo* info);

// Maintenance and verbs.
BOOL WINAPI FsDeleteFile(char* remoteName);
BOOL WINAPI FsRemoveDir(char* remoteName);
BOOL WINAPI FsSetAttr(char* remoteName, int attributes);
BOOL WINAPI FsSetTime(char* remoteName, FILETIME* creationTime, FILETIME* lastAccessTime,
                      FILETIME* lastWriteTime);
int WINAPI FsExecuteFile(HWND mainWindow, char* remoteName, char* verb);

// Icons.
int WINAPI FsExtractCustomIcon(char* remoteName, int extractFlags, HICON* icon);

} // extern "C"
