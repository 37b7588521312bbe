#include "fileops/SafeTransfer.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "PlatformNames.h"
#include "base/LastError.h"
#include "platform/TransferCalls.h"

namespace {

// The host hears at most once per whole percent, and at least once a second
// while the copy goes on; its 0 % and 100 % calls are the exports' own.
const ULONGLONG kQuietestMilliseconds = 1000;

// ".", the target's name, ".qf" and six hex digits: a leftover of a crash
// says whose it was, as rsync's temporaries do, and hides as theirs do.
const char kTemporaryMark[] = ".qf";
const size_t kSaltDigits = 6;
const size_t kTemporaryExtra = 1 + sizeof kTemporaryMark - 1 + kSaltDigits;
// Room for a temporary beside any target the host can name.
const size_t kTemporaryCapacity = MAX_PATH + kTemporaryExtra + 1;

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

// Where the last component of `path` starts.
size_t NameStart(const char* path) {
    size_t start = 0;
    for (const char* c = path; *c != '\0'; c = NextCharacter(c)) {
        if (IsPathSeparator(*c)) {
            start = static_cast<size_t>(c - path) + 1;
        }
    }
    return start;
}

// How many bytes of `name` fit in `room`, cut where a character ends.
size_t FittingBytes(const char* name, size_t room) {
    const char* end = name;
    for (const char* c = name; *c != '\0'; c = NextCharacter(c)) {
        const char* next = NextCharacter(c);
        if (static_cast<size_t>(next - name) > room) {
            break;
        }
        end = next;
    }
    return static_cast<size_t>(end - name);
}

// A fresh name beside `target`, named after it (".report.txt.qf1a2b3c"), its
// name cut short where the whole would pass the longest name a folder takes.
// False when the target names no file.
bool TemporaryBeside(const char* target, char (&temporary)[kTemporaryCapacity]) {
    size_t folderLength = NameStart(target);
    const char* name = target + folderLength;
    size_t nameLength = FittingBytes(name, kLongestName - kTemporaryExtra);
    if (nameLength == 0 || folderLength + kTemporaryExtra + nameLength >= sizeof temporary) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    uint32_t salt = (g_temporaryCounter.fetch_add(1) + 1) * 2654435761u;
    salt ^= static_cast<uint32_t>(GetTickCount64() * 40503u);
    salt ^= static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&salt) >> 4);
    char* out = temporary;
    std::memcpy(out, target, folderLength);
    out += folderLength;
    *out++ = '.';
    std::memcpy(out, name, nameLength);
    out += nameLength;
    std::memcpy(out, kTemporaryMark, sizeof kTemporaryMark - 1);
    out += sizeof kTemporaryMark - 1;
    for (size_t i = 0; i < kSaltDigits; ++i) {
        *out++ = "0123456789abcdef"[(salt >> (4 * i)) & 0xF];
    }
    *out = '\0';
    return true;
}

bool IsExists(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Refuses at once what the final step would refuse after the whole copy: an
// existing target without overwrite, a directory or read-only file with it.
// `*exists` says whether there is a target to replace.
bool TargetTakesReplacement(const char* target, bool overwrite, DWORD existsError, bool* exists) {
    DWORD attributes = GetFileAttributesA(target);
    *exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!*exists) {
        return true;
    }
    if (!overwrite) {
        SetLastError(existsError);
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// The size and last write time that tell whether a file changed.
struct Version {
    DWORD sizeHigh;
    DWORD sizeLow;
    FILETIME written;
};

bool VersionOf(const char* path, Version* version) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        return false;
    }
    *version = {data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime};
    return true;
}

bool SameVersion(const Version& a, const Version& b) {
    return a.sizeHigh == b.sizeHigh && a.sizeLow == b.sizeLow &&
           a.written.dwLowDateTime == b.written.dwLowDateTime &&
           a.written.dwHighDateTime == b.written.dwHighDateTime;
}

// Copies `source` to a fresh temporary beside `target`. A source that another
// program changed while it was read is no copy of any version of it: the
// temporary goes and the copy fails as a read.
BOOL CopyBeside(const char* source, const char* target, DWORD copyFlags, CopyProgress* progress,
                char (&temporary)[kTemporaryCapacity]) {
    Version before;
    if (!VersionOf(source, &before)) {
        return FALSE;
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!TemporaryBeside(target, temporary)) {
            return FALSE;
        }
        if (!CopyToTemporary(source, temporary, ForwardProgress, progress, copyFlags)) {
            DWORD error = GetLastError();
            if (IsExists(error)) {
                continue; // someone else's file: not ours to take away
            }
            DiscardTemporary(temporary);
            return Refuse(progress->aborted ? ERROR_REQUEST_ABORTED : error);
        }
        Version after;
        if (!VersionOf(source, &after) || !SameVersion(before, after)) {
            DiscardTemporary(temporary);
            return Refuse(ERROR_READ_FAULT);
        }
        return TRUE;
    }
    return Refuse(ERROR_FILE_EXISTS);
}

// Copies `source` to `target` in one step: the complete copy takes the
// target's name, over the old target when `overwrite`, else only where there
// is still nothing. `*replaced` says whether an old target was there.
BOOL CopyReplacing(const char* source, const char* target, bool overwrite, DWORD copyFlags,
                   DWORD existsError, CopyProgress* progress, bool* replaced) {
    if (!TargetTakesReplacement(target, overwrite, existsError, replaced)) {
        return FALSE;
    }
    char temporary[kTemporaryCapacity];
    if (!CopyBeside(source, target, copyFlags, progress, temporary)) {
        return FALSE;
    }
    if (RenameTemporary(temporary, target, overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) {
        return TRUE;
    }
    DWORD error = GetLastError();
    DiscardTemporary(temporary);
    return Refuse(IsExists(error) ? existsError : error);
}

// Deletes a moved file's source; Windows' own moves take read-only files too.
bool DeleteSource(const char* source) {
    if (DeleteFileA(source)) {
        return true;
    }
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesA(source);
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        SetLastError(error);
        return false;
    }
    SetFileAttributesA(source, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (DeleteFileA(source)) {
        return true;
    }
    error = GetLastError();
    SetFileAttributesA(source, attributes);
    SetLastError(error);
    return false;
}

// A move to another volume is a copy that takes the target's name in one
// step, then the source's removal: at every moment the data has a name the
// user knows. Should the source stay, the new target goes again where there
// was nothing before; a replaced old target cannot come back, so the complete
// copy stays in its place and the move is reported as failed.
BOOL MoveAcrossVolumes(const char* source, const char* target, bool overwrite,
                       CopyProgress* progress) {
    DWORD attributes = GetFileAttributesA(source);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return Refuse(ERROR_NOT_SAME_DEVICE); // a folder moves only by rename
    }
    bool replacing = false;
    if (!CopyReplacing(source, target, overwrite, kMoveCopyFlags, ERROR_ALREADY_EXISTS, progress,
                       &replacing)) {
        return FALSE;
    }
    if (DeleteSource(source)) {
        return TRUE;
    }
    DWORD error = GetLastError();
    if (!replacing) {
        DeleteFileA(target);
    }
    return Refuse(error);
}

} // namespace

BOOL SafeTransfer(const char* source, const char* target, bool move, bool overwrite,
                  const HostNames& names) {
    CopyProgress progress = {names, 0, GetTickCount64(), false};
    if (!move) {
        bool replaced = false;
        return CopyReplacing(source, target, overwrite, 0, ERROR_FILE_EXISTS, &progress, &replaced);
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
