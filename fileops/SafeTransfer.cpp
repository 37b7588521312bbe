#include "fileops/SafeTransfer.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "PlatformNames.h"

namespace {

// The host hears at most once per whole percent, and at least once a second
// while the copy goes on; its 0 % and 100 % calls are the exports' own.
const ULONGLONG kQuietestMilliseconds = 1000;

struct CopyProgress {
    HostNames names;
    int reportedPercent;
    ULONGLONG reportedAt;
    bool aborted;
};

int PercentOf(int64_t done, int64_t total) {
    if (total <= 0 || done >= total) {
        return 100;
    }
    return static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
}

// The platform's progress routine. Windows calls it for every chunk it
// copies. Wine 8 never calls it at all; the Linux layer calls it after each
// chunk, as Windows does.
DWORD CALLBACK ForwardProgress(LARGE_INTEGER totalSize, LARGE_INTEGER totalDone, LARGE_INTEGER,
                               LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID data) {
    CopyProgress* progress = static_cast<CopyProgress*>(data);
    int percent = PercentOf(totalDone.QuadPart, totalSize.QuadPart);
    if (percent >= 100) {
        return PROGRESS_CONTINUE;
    }
    ULONGLONG now = GetTickCount64();
    if (percent <= progress->reportedPercent &&
        now - progress->reportedAt < kQuietestMilliseconds) {
        return PROGRESS_CONTINUE;
    }
    progress->reportedPercent = percent;
    progress->reportedAt = now;
    if (UserAborted(progress->names.source, progress->names.target, percent)) {
        progress->aborted = true;
        return PROGRESS_CANCEL;
    }
    return PROGRESS_CONTINUE;
}

std::atomic<uint32_t> g_temporaryCounter{0};

// A fresh name in the folder of `target`: ".qf" and eight hex digits, shorter
// where the path leaves less room. False when not even a short one fits.
bool TemporaryBeside(const char* target, char* temporary, size_t capacity) {
    size_t folderLength = 0;
    for (const char* c = target; *c != '\0'; c = NextCharacter(c)) {
        if (IsPathSeparator(*c)) {
            folderLength = static_cast<size_t>(c - target) + 1;
        }
    }
    uint32_t salt = (g_temporaryCounter.fetch_add(1) + 1) * 2654435761u;
    salt ^= static_cast<uint32_t>(GetTickCount64() * 40503u);
    salt ^= static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&salt) >> 4);
    char name[] = ".qf00000000.tmp";
    for (int i = 0; i < 8; ++i) {
        name[3 + i] = "0123456789abcdef"[(salt >> (28 - 4 * i)) & 0xF];
    }
    size_t nameLength = sizeof name - 1;
    if (folderLength + nameLength >= capacity) {
        nameLength = capacity - 1 - folderLength; // ".qf" and what digits fit
        if (folderLength + 7 >= capacity) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
    }
    std::memcpy(temporary, target, folderLength);
    std::memcpy(temporary + folderLength, name, nameLength);
    temporary[folderLength + nameLength] = '\0';
    return true;
}

bool IsExists(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Takes away a temporary file that a failed copy may have left (Wine leaves
// the partial file of a full disk), read-only or not. Keeps the last error.
void DiscardTemporary(const char* temporary) {
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesA(temporary);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            SetFileAttributesA(temporary, FILE_ATTRIBUTE_NORMAL);
        }
        DeleteFileA(temporary);
    }
    SetLastError(error);
}

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Refuses at once what the final step would refuse after the whole copy: an
// existing target without overwrite, a directory or read-only file with it.
bool TargetTakesReplacement(const char* target, bool overwrite, DWORD existsError) {
    DWORD attributes = GetFileAttributesA(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    if (!overwrite) {
        SetLastError(existsError);
        return false;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// Makes the new file under a temporary name beside `target` through `make`
// (a copy or a move there), trying another name when one is taken.
template <typename Make>
BOOL MakeTemporary(const char* target, char (&temporary)[MAX_PATH], CopyProgress* progress,
                   Make make) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!TemporaryBeside(target, temporary, sizeof temporary)) {
            return FALSE;
        }
        if (make(temporary)) {
            return TRUE;
        }
        DWORD error = GetLastError();
        if (IsExists(error)) {
            continue; // someone else's file: not ours to take away
        }
        DiscardTemporary(temporary);
        return Refuse(progress->aborted ? ERROR_REQUEST_ABORTED : error);
    }
    return Refuse(ERROR_FILE_EXISTS);
}

// Gives the complete temporary file the target's name, over the target when
// `overwrite`, else only where there is still nothing.
BOOL PutInPlace(const char* temporary, const char* target, bool overwrite) {
    return MoveFileExA(temporary, target, overwrite ? MOVEFILE_REPLACE_EXISTING : 0);
}

BOOL CopyReplacing(const char* source, const char* target, bool overwrite, CopyProgress* progress) {
    if (!TargetTakesReplacement(target, overwrite, ERROR_FILE_EXISTS)) {
        return FALSE;
    }
    char temporary[MAX_PATH];
    if (!MakeTemporary(target, temporary, progress, [&](const char* name) {
            return CopyFileExA(source, name, ForwardProgress, progress, nullptr,
                               COPY_FILE_FAIL_IF_EXISTS) != FALSE;
        })) {
        return FALSE;
    }
    if (PutInPlace(temporary, target, overwrite)) {
        return TRUE;
    }
    DWORD error = GetLastError();
    DiscardTemporary(temporary);
    return Refuse(IsExists(error) ? ERROR_FILE_EXISTS : error);
}

// A move to another volume goes to a temporary name beside the target first
// (the platform copies and removes the source), then takes the target's
// name; should that last step fail, the file goes back where it came from.
BOOL MoveAcrossVolumes(const char* source, const char* target, bool overwrite,
                       CopyProgress* progress) {
    if (!TargetTakesReplacement(target, overwrite, ERROR_ALREADY_EXISTS)) {
        return FALSE;
    }
    char temporary[MAX_PATH];
    if (!MakeTemporary(target, temporary, progress, [&](const char* name) {
            return MoveFileWithProgressA(source, name, ForwardProgress, progress,
                                         MOVEFILE_COPY_ALLOWED) != FALSE;
        })) {
        return FALSE;
    }
    if (PutInPlace(temporary, target, overwrite)) {
        return TRUE;
    }
    DWORD error = GetLastError();
    MoveFileWithProgressA(temporary, source, nullptr, nullptr, MOVEFILE_COPY_ALLOWED);
    return Refuse(error);
}

} // namespace

BOOL SafeTransfer(const char* source, const char* target, bool move, bool overwrite,
                  const HostNames& names) {
    CopyProgress progress = {names, 0, GetTickCount64(), false};
    if (!move) {
        return CopyReplacing(source, target, overwrite, &progress);
    }
    // A rename onto another name of the same file would do nothing and say it
    // had; without overwrite that is "exists", with it the source's name goes
    // and the file keeps the target's, as Windows moves do.
    if (IsOtherNameOfSameFile(source, target)) {
        return overwrite ? DeleteFileA(source) : Refuse(ERROR_ALREADY_EXISTS);
    }
    // On one volume a move is a rename, which replaces the target in one step.
    if (MoveFileExA(source, target, overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) {
        return TRUE;
    }
    if (GetLastError() != ERROR_NOT_SAME_DEVICE) {
        return FALSE;
    }
    return MoveAcrossVolumes(source, target, overwrite, &progress);
}
