// A refusal that says why: the error goes where Win32 callers look for it,
// the last error, and the caller takes its error path.
#pragma once

#include <windows.h>

// Sets the last error to `error` and returns false, for `return` chains
// such as `return CopyBounded(...) || Refuse(ERROR_FILENAME_EXCED_RANGE);`.
inline bool Refuse(DWORD error) {
    SetLastError(error);
    return false;
}
