// The boundary between Total Commander and a file-system plugin: result codes,
// flags, the host's callbacks and the sixteen functions the plugin exports.
#pragma once

#include <windows.h>

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
