// The temporary file's calls: Linux takes paths of any length, so they are
// the ordinary ones.
#include "platform/TransferCalls.h"

BOOL CopyToTemporary(const char* source, const char* temporary, LPPROGRESS_ROUTINE routine,
                     LPVOID data, DWORD copyFlags) {
    return CopyFileExA(source, temporary, routine, data, nullptr,
                       copyFlags | COPY_FILE_FAIL_IF_EXISTS);
}

BOOL RenameTemporary(const char* temporary, const char* target, DWORD moveFlags) {
    return MoveFileExA(temporary, target, moveFlags);
}

void DiscardTemporary(const char* temporary) {
    DWORD error = GetLastError();
    DeleteFileA(temporary); // Linux deletes a read-only file as any other
    SetLastError(error);
}
