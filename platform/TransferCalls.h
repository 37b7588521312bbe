// The calls a transfer makes on its temporary file. The temporary's path is a
// few characters longer than its target's, so beside a target near the
// host's 259 characters it passes MAX_PATH, which Windows' ANSI file
// functions refuse: on Windows these go through the wide functions and the
// literal form. Paths are in the ANSI code page, as the plugin's all are.
#pragma once

#include <windows.h>

// CopyFileExA from `source` to `temporary`, which must not exist yet.
BOOL CopyToTemporary(const char* source, const char* temporary, LPPROGRESS_ROUTINE routine,
                     LPVOID data, DWORD copyFlags);

// MoveFileExA of the complete `temporary` onto `target` (MOVEFILE_* flags).
BOOL RenameTemporary(const char* temporary, const char* target, DWORD moveFlags);

// Takes `temporary` away, read-only or not. Keeps the last error.
void DiscardTemporary(const char* temporary);
