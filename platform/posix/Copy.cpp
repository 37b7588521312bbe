// CopyFileA and CopyFileExA, and the copy half of a move across file systems.
// Every new file is written under a temporary name in the target's folder and
// renamed onto the target only when complete, as rsync does: a failure, a
// full disk or a cancel leaves the old target as it was and nothing behind.
// Only regular files are copied as data; the data goes by reflink where the
// file system shares blocks, else by copy_file_range in chunks that carry the
// progress routine, and holes stay holes.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "StandIn.h"
#include "StandInControl.h"

namespace {

using standin::Fail;
using standin::Faulted;

// Each chunk takes well under a second even on a slow disk, so the progress
// routine hears often enough to show movement and to cancel.
const off_t kChunkBytes = 8 << 20;

std::atomic<unsigned> g_temporaryCounter{0};

BOOL FailFromErrno(int error, const std::string& path) {
    standin::SetErrorFromErrno(error, path);
    return FALSE;
}

// What a copy reports to its caller's routine, and whether it was cancelled.
struct Progress {
    LPPROGRESS_ROUTINE routine;
    void* data;
    BOOL* cancel;
    int64_t total;
    bool quiet = false;
    bool cancelled = false;
};

// Tells the routine how far the copy is; false when it asks to stop.
bool Report(Progress* progress, int64_t done, DWORD reason) {
    if (progress->cancel != nullptr && *progress->cancel) {
        progress->cancelled = true;
        return false;
    }
    if (progress->routine == nullptr || progress->quiet) {
        return true;
    }
    LARGE_INTEGER total, transferred;
    total.QuadPart = progress->total;
    transferred.QuadPart = done;
    DWORD answer = progress->routine(total, transferred, total, transferred, 1, reason, nullptr,
                                     nullptr, progress->data);
    if (answer == PROGRESS_CANCEL || answer == PROGRESS_STOP) {
        progress->cancelled = true;
        return false;
    }
    progress->quiet = answer == PROGRESS_QUIET;
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A fresh name in the folder of `target`, hidden as rsync hides its own.
std::string TemporaryBeside(const std::string& target) {
    unsigned salt = g_temporaryCounter.fetch_add(1) * 2654435761u;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char name[32];
    std::snprintf(name, sizeof name, "/.qf-%08x.tmp",
                  salt ^ static_cast<unsigned>(now.tv_nsec) ^ static_cast<unsigned>(getpid()));
    return FolderOf(target) + name;
}

// Copies bytes [from, to) of the open files, by copy_file_range where the
// kernel can and by read and write where it cannot.
int CopyRange(int in, int out, off_t begin, off_t end, Progress* progress) {
    bool ranged = true;
    char buffer[1 << 16];
    for (off_t position = begin; position < end;) {
        off_t chunkEnd = std::min(end, position + kChunkBytes);
        while (position < chunkEnd) {
            size_t wanted = static_cast<size_t>(chunkEnd - position);
            ssize_t copied = -1;
            if (ranged) {
                off_t inOffset = position, outOffset = position;
                copied = copy_file_range(in, &inOffset, out, &outOffset, wanted, 0);
                if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                                   errno == EOPNOTSUPP || errno == EPERM)) {
                    ranged = false;
                    continue;
                }
            } else {
                ssize_t got = pread(in, buffer, std::min(wanted, sizeof buffer), position);
                if (got <= 0) {
                    copied = got;
                } else {
                    copied = 0;
                    while (copied < got) {
                        ssize_t put = pwrite(out, buffer + copied,
                                             static_cast<size_t>(got - copied), position + copied);
                        if (put < 0 && errno != EINTR) {
                            return errno;
                        }
                        copied += put > 0 ? put : 0;
                    }
                }
            }
            if (copied < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            if (copied == 0) {
                return 0; // the source shrank meanwhile: what is left is a hole
            }
            position += copied;
        }
        if (!Report(progress, position, CALLBACK_CHUNK_FINISHED)) {
            return ECANCELED;
        }
    }
    return 0;
}

// The data of `in` into the empty file `out`: a reflink where the file system
// can share the blocks, else its data regions one by one, holes left as holes.
int CopyData(int in, int out, off_t size, Progress* progress) {
    if (!Report(progress, 0, CALLBACK_STREAM_SWITCH)) {
        return ECANCELED;
    }
    if (size > 0 && ioctl(out, FICLONE, in) == 0) {
        return Report(progress, size, CALLBACK_CHUNK_FINISHED) ? 0 : ECANCELED;
    }
    for (off_t position = 0; position < size;) {
        off_t data = lseek(in, position, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            break; // nothing but a hole to the end
        }
        off_t hole = data < 0 ? size : lseek(in, data, SEEK_HOLE);
        if (data < 0) {
            data = position; // no hole detection here: all of it is data
        }
        if (hole < 0 || hole > size) {
            hole = size;
        }
        if (int error = CopyRange(in, out, data, hole, progress)) {
            return error;
        }
        position = hole;
    }
    if (ftruncate(out, size) != 0) { // the trailing hole, if any
        return errno;
    }
    return Report(progress, size, CALLBACK_CHUNK_FINISHED) ? 0 : ECANCELED;
}

// Extended attributes of `from` onto `to` (both open), those of the user
// namespace only unless a move keeps them all. Where the target's file system
// cannot hold one, the copy goes on without it, as mv does.
void CopyAttributes(int from, int to, bool all) {
    ssize_t length = flistxattr(from, nullptr, 0);
    if (length <= 0) {
        return;
    }
    std::vector<char> names(static_cast<size_t>(length));
    length = flistxattr(from, names.data(), names.size());
    std::vector<char> value;
    for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(&names[at])) + 1) {
        const char* name = &names[at];
        if (!all && std::strncmp(name, "user.", 5) != 0) {
            continue;
        }
        ssize_t size = fgetxattr(from, name, nullptr, 0);
        if (size < 0) {
            continue;
        }
        value.resize(static_cast<size_t>(size) + 1);
        size = fgetxattr(from, name, value.data(), value.size());
        if (size >= 0) {
            fsetxattr(to, name, value.data(), static_cast<size_t>(size), 0);
        }
    }
}

// The new file's owner and mode. A move keeps owner and group where it may; a
// copy belongs to whoever makes it. Either way the set-user-id and
// set-group-id bits stay only where the owner (or group) they speak for was
// kept, as cp clears them.
void SetOwnerAndMode(int to, const struct stat& source, bool asMove) {
    if (asMove && fchown(to, source.st_uid, source.st_gid) != 0) {
        fchown(to, static_cast<uid_t>(-1), source.st_gid);
    }
    struct stat made;
    if (fstat(to, &made) != 0) {
        return;
    }
    mode_t mode = source.st_mode & 07777;
    if (!asMove) {
        mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
    if (made.st_uid != source.st_uid) {
        mode &= ~static_cast<mode_t>(S_ISUID);
    }
    if (made.st_gid != source.st_gid) {
        mode &= ~static_cast<mode_t>(S_ISGID);
    }
    fchmod(to, mode);
}

// A regular file's data and metadata into the new file `temporary`.
BOOL CopyRegular(int from, const struct stat& info, const std::string& temporary, bool asMove,
                 Progress* progress) {
    int to = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (to < 0) {
        return FailFromErrno(errno, temporary);
    }
    progress->total = info.st_size;
    int error = CopyData(from, to, info.st_size, progress);
    if (error == 0) {
        CopyAttributes(from, to, asMove);
        SetOwnerAndMode(to, info, asMove);
        struct timespec times[2] = {info.st_atim, info.st_mtim};
        futimens(to, times);
    }
    // A full disk may only show when the data is flushed at close.
    if (close(to) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0) {
        return TRUE;
    }
    unlink(temporary.c_str());
    return error == ECANCELED ? Fail(ERROR_REQUEST_ABORTED) : FailFromErrno(error, temporary);
}

// A link, FIFO, socket or device node made again under `temporary`, as mv
// does: none of them is read.
BOOL RecreateSpecial(const std::string& source, const struct stat& info,
                     const std::string& temporary) {
    if (S_ISLNK(info.st_mode)) {
        std::vector<char> text(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
        ssize_t length = readlink(source.c_str(), text.data(), text.size() - 1);
        if (length < 0) {
            return FailFromErrno(errno, source);
        }
        text[static_cast<size_t>(length)] = '\0';
        if (symlink(text.data(), temporary.c_str()) != 0) {
            return FailFromErrno(errno, temporary);
        }
    } else if (mknod(temporary.c_str(), info.st_mode & (S_IFMT | 07777), info.st_rdev) != 0) {
        return FailFromErrno(errno, temporary);
    }
    if (lchown(temporary.c_str(), info.st_uid, info.st_gid) != 0) {
        lchown(temporary.c_str(), static_cast<uid_t>(-1), info.st_gid);
    }
    struct timespec times[2] = {info.st_atim, info.st_mtim};
    utimensat(AT_FDCWD, temporary.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return TRUE;
}

// Opens a regular file for reading without ever waiting on it: a FIFO that a
// race put in its place opens at once and is turned down.
int OpenRegular(const std::string& path, struct stat* info) {
    int from = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (from < 0) {
        return -1;
    }
    if (fstat(from, info) != 0 || !S_ISREG(info->st_mode)) {
        close(from);
        errno = EISDIR; // read as "access denied", as a directory is
        return -1;
    }
    return from;
}

// Writes `source` under a fresh temporary name beside `target`, then puts it
// at `target`: over what is there when `replace`, else only where nothing is.
BOOL CopyAndPlace(const std::string& source, const struct stat& info, const std::string& target,
                  bool replace, bool asMove, Progress* progress) {
    int from = -1;
    struct stat opened = info;
    if (S_ISREG(info.st_mode)) {
        from = OpenRegular(source, &opened);
        if (from < 0) {
            return FailFromErrno(errno, source);
        }
    }
    for (int attempt = 0;; ++attempt) {
        std::string temporary = TemporaryBeside(target);
        BOOL made = from >= 0 ? CopyRegular(from, opened, temporary, asMove, progress)
                              : RecreateSpecial(source, info, temporary);
        if (!made) {
            if (GetLastError() == ERROR_FILE_EXISTS && attempt < 8) {
                continue;
            }
            if (from >= 0) {
                close(from);
            }
            return FALSE;
        }
        if (from >= 0) {
            close(from);
        }
        int placed = replace ? rename(temporary.c_str(), target.c_str())
                             : standin::RenameNoReplace(temporary, target);
        if (placed == 0) {
            return TRUE;
        }
        int error = errno;
        unlink(temporary.c_str());
        if (error == EEXIST) {
            return Fail(asMove ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS);
        }
        return FailFromErrno(error, target);
    }
}

bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & S_IWUSR) == 0;
}

// Copies a file's contents, attributes and times, as CopyFileExA does. An
// existing target is replaced by name, so that another link to it keeps its
// data and a link at the target is replaced, never written through.
BOOL CopyPosix(const std::string& source, const std::string& target, bool failIfExists,
               Progress* progress) {
    struct stat sourceInfo;
    if (stat(source.c_str(), &sourceInfo) != 0) {
        return FailFromErrno(errno, source);
    }
    if (!S_ISREG(sourceInfo.st_mode)) {
        // A directory, and anything that is not data: never opened.
        return Fail(ERROR_ACCESS_DENIED);
    }
    struct stat targetInfo;
    if (stat(target.c_str(), &targetInfo) == 0) {
        if (failIfExists) {
            return Fail(ERROR_FILE_EXISTS);
        }
        if (sourceInfo.st_dev == targetInfo.st_dev && sourceInfo.st_ino == targetInfo.st_ino) {
            return Fail(ERROR_SHARING_VIOLATION); // Windows refuses to copy a file onto itself
        }
        if (IsReadOnly(targetInfo) || S_ISDIR(targetInfo.st_mode)) {
            return Fail(ERROR_ACCESS_DENIED);
        }
    }
    return CopyAndPlace(source, sourceInfo, target, !failIfExists, false, progress);
}

} // namespace

namespace standin {

BOOL MoveByCopy(const std::string& source, const struct stat& info, const std::string& target,
                bool replace, LPPROGRESS_ROUTINE routine, void* data) {
    Progress progress{routine, data, nullptr, 0};
    if (!CopyAndPlace(source, info, target, replace, true, &progress)) {
        return FALSE;
    }
    if (unlink(source.c_str()) != 0) {
        return FailFromErrno(errno, source);
    }
    return TRUE;
}

} // namespace standin

extern "C" {

BOOL CopyFileA(const char* source, const char* target, BOOL failIfExists) {
    std::string from(source);
    std::string to(target);
    if (Faulted("CopyFileA", from)) {
        return FALSE;
    }
    Progress progress{nullptr, nullptr, nullptr, 0};
    return CopyPosix(from, to, failIfExists != FALSE, &progress);
}

BOOL CopyFileExA(const char* source, const char* target, LPPROGRESS_ROUTINE routine, void* data,
                 BOOL* cancel, DWORD flags) {
    std::string from(source);
    std::string to(target);
    if (Faulted("CopyFileExA", from)) {
        return FALSE;
    }
    Progress progress{routine, data, cancel, 0};
    return CopyPosix(from, to, (flags & COPY_FILE_FAIL_IF_EXISTS) != 0, &progress);
}

ULONGLONG GetTickCount64(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000u +
           static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}

} // extern "C"
