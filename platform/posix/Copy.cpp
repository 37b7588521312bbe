// CopyFileA and CopyFileExA over POSIX: the file named as the target is
// written itself, as Windows writes it. Callers that must keep an old target
// whole copy to a fresh name of their own and rename it into place. Only
// regular files are copied as data, by reflink where the file system shares
// blocks, else by copy_file_range in chunks that carry the progress routine;
// holes stay holes, and a copy never runs past the source's real end.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "StandIn.h"
#include "StandInControl.h"

namespace {

using standin::Fail;
using standin::FailFromErrno;
using standin::Faulted;
using standin::IsReadOnly;

// Each chunk takes well under a second even on a slow disk, so the progress
// routine hears often enough to show movement and to cancel.
const off_t kChunkBytes = 8 << 20;
const size_t kBufferBytes = 1 << 16;

// What a copy reports to its caller's routine, and whether it was cancelled.
struct Progress {
    LPPROGRESS_ROUTINE routine;
    void* data;
    BOOL* cancel;
    int64_t total;
    bool quiet = false;
};

// Tells the routine how far the copy is; false when it asks to stop.
bool Report(Progress* progress, int64_t done, DWORD reason) {
    if (progress->cancel != nullptr && *progress->cancel) {
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
        return false;
    }
    progress->quiet = answer == PROGRESS_QUIET;
    return true;
}

// Writes all of `buffer` at `position`; 0 or errno.
int WriteAll(int out, const char* buffer, size_t length, off_t position) {
    for (size_t done = 0; done < length;) {
        ssize_t put = pwrite(out, buffer + done, length - done, position + done);
        if (put < 0 && errno != EINTR) {
            return errno;
        }
        done += put > 0 ? static_cast<size_t>(put) : 0;
    }
    return 0;
}

// One copy's open files. The data goes by copy_file_range while the kernel
// takes it (`ranged`), else through a buffer made the first time it is
// needed.
struct Copying {
    int in;
    int out;
    Progress* progress;
    bool ranged;
    std::vector<char> buffer;
};

// One step of a copy at `position`, at most `wanted` bytes. Returns the
// bytes copied, 0 at the source's end, or -1 with errno.
ssize_t CopyStep(Copying* copying, off_t position, size_t wanted) {
    if (copying->ranged) {
        off_t inOffset = position, outOffset = position;
        ssize_t copied =
            copy_file_range(copying->in, &inOffset, copying->out, &outOffset, wanted, 0);
        if (copied >= 0 || (errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
                            errno != EOPNOTSUPP && errno != EPERM)) {
            return copied;
        }
        copying->ranged = false;
    }
    copying->buffer.resize(kBufferBytes);
    char* buffer = copying->buffer.data();
    ssize_t got = pread(copying->in, buffer, std::min(wanted, kBufferBytes), position);
    if (got > 0) {
        if (int error = WriteAll(copying->out, buffer, static_cast<size_t>(got), position)) {
            errno = error;
            return -1;
        }
    }
    return got;
}

// Copies bytes [begin, end) of the open files, telling the routine after each
// chunk. `*reached` is where the copy stopped: `end`, or earlier where the
// source ended (it shrank meanwhile).
int CopyRange(Copying* copying, off_t begin, off_t end, off_t* reached) {
    for (off_t position = begin; position < end;) {
        off_t chunkEnd = position + std::min(end - position, kChunkBytes);
        while (position < chunkEnd) {
            ssize_t copied = CopyStep(copying, position, static_cast<size_t>(chunkEnd - position));
            if (copied < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            if (copied == 0) {
                *reached = position;
                return 0;
            }
            position += copied;
        }
        if (!Report(copying->progress, position, CALLBACK_CHUNK_FINISHED)) {
            return ECANCELED;
        }
    }
    *reached = end;
    return 0;
}

// The data regions of the source up to `size`, holes left as holes. `*end`
// is where the source's data ended when it ended early.
int CopyRegions(Copying* copying, off_t size, off_t* end) {
    *end = size;
    for (off_t position = 0; position < size;) {
        off_t data = lseek(copying->in, position, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            return 0; // a hole to the end, or the source ends here now
        }
        off_t hole = data < 0 ? size : lseek(copying->in, data, SEEK_HOLE);
        if (data < 0) {
            data = position; // no hole detection here: all of it is data
        }
        if (hole < 0 || hole > size) {
            hole = size;
        }
        off_t reached = hole;
        if (int error = CopyRange(copying, data, hole, &reached)) {
            return error;
        }
        if (reached < hole) {
            *end = reached;
            return 0;
        }
        position = hole;
    }
    return 0;
}

// The data of `in` into the empty file `out`: a reflink where the file system
// can share the blocks, else its data regions one by one. The copy is never
// longer than the source is when the copy ends: a source that shrank is not
// padded to its old size. A file that reports no size may still have data
// (/proc), which only reads give: it is read to its end, as cp does.
int CopyData(int in, int out, off_t size, Progress* progress) {
    if (!Report(progress, 0, CALLBACK_STREAM_SWITCH)) {
        return ECANCELED;
    }
    Copying copying{in, out, progress, size > 0, {}};
    off_t end = size;
    if (size == 0) {
        if (int error = CopyRange(&copying, 0, std::numeric_limits<off_t>::max(), &end)) {
            return error;
        }
    } else if (ioctl(out, FICLONE, in) != 0) {
        if (int error = CopyRegions(&copying, size, &end)) {
            return error;
        }
        struct stat now;
        if (fstat(in, &now) != 0) {
            return errno;
        }
        // The trailing hole, if any, up to where the source ends now.
        if (ftruncate(out, std::min(end, now.st_size)) != 0) {
            return errno;
        }
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

// A move keeps owner and group where it may; a copy belongs to whoever makes
// it. Done before the extended attributes: a change of owner clears a
// program's file capabilities.
void SetOwner(int to, const struct stat& source, bool asMove) {
    if (asMove && fchown(to, source.st_uid, source.st_gid) != 0) {
        fchown(to, static_cast<uid_t>(-1), source.st_gid);
    }
}

// The set-user-id and set-group-id bits stay only where the owner (or group)
// they speak for was kept, as cp clears them; a copy's mode honours the umask.
void SetMode(int to, const struct stat& source, bool asMove) {
    struct stat made;
    if (fstat(to, &made) != 0) {
        return;
    }
    mode_t mode = source.st_mode & 07777;
    if (!asMove) {
        mode &= ~standin::CurrentUmask();
    }
    if (made.st_uid != source.st_uid) {
        mode &= ~static_cast<mode_t>(S_ISUID);
    }
    if (made.st_gid != source.st_gid) {
        mode &= ~static_cast<mode_t>(S_ISGID);
    }
    fchmod(to, mode);
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

// Opens the target for the data: a new file when `failIfExists`, else the
// file there, emptied, as Windows overwrites.
int OpenTarget(const std::string& target, bool failIfExists) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL | O_NOFOLLOW : O_TRUNC);
    return open(target.c_str(), flags, 0600);
}

// A regular file's data and metadata into `target`; what was written goes
// again when the copy fails or is cancelled, as on Windows.
BOOL CopyRegular(const std::string& source, const std::string& target, bool failIfExists,
                 bool asMove, Progress* progress) {
    struct stat info;
    int from = OpenRegular(source, &info);
    if (from < 0) {
        return FailFromErrno(errno, source);
    }
    int to = OpenTarget(target, failIfExists);
    if (to < 0) {
        int error = errno;
        close(from);
        return FailFromErrno(error, target);
    }
    progress->total = info.st_size;
    int error = CopyData(from, to, info.st_size, progress);
    if (error == 0) {
        SetOwner(to, info, asMove);
        CopyAttributes(from, to, asMove);
        SetMode(to, info, asMove);
        struct timespec times[2] = {info.st_atim, info.st_mtim};
        futimens(to, times);
    }
    close(from);
    // A full disk may only show when the data is flushed at close.
    if (close(to) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0) {
        return TRUE;
    }
    unlink(target.c_str());
    return error == ECANCELED ? Fail(ERROR_REQUEST_ABORTED) : FailFromErrno(error, target);
}

// A link, FIFO, socket or device node made again at `target`, as mv does:
// none of them is read.
BOOL RecreateSpecial(const std::string& source, const struct stat& info,
                     const std::string& target) {
    if (S_ISLNK(info.st_mode)) {
        std::vector<char> text(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
        ssize_t length = readlink(source.c_str(), text.data(), text.size() - 1);
        if (length < 0) {
            return FailFromErrno(errno, source);
        }
        text[static_cast<size_t>(length)] = '\0';
        if (symlink(text.data(), target.c_str()) != 0) {
            return FailFromErrno(errno, target);
        }
    } else if (mknod(target.c_str(), info.st_mode & (S_IFMT | 07777), info.st_rdev) != 0) {
        return FailFromErrno(errno, target);
    }
    if (lchown(target.c_str(), info.st_uid, info.st_gid) != 0) {
        lchown(target.c_str(), static_cast<uid_t>(-1), info.st_gid);
    }
    struct timespec times[2] = {info.st_atim, info.st_mtim};
    utimensat(AT_FDCWD, target.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return TRUE;
}

// False, with Windows' error, for an existing target that Windows refuses
// before it copies anything.
bool TargetAccepted(const struct stat& source, const std::string& target, bool failIfExists) {
    struct stat there;
    if (lstat(target.c_str(), &there) != 0) {
        return true;
    }
    if (failIfExists) {
        return Fail(ERROR_FILE_EXISTS);
    }
    if (standin::SameFile(source, there)) {
        return Fail(ERROR_SHARING_VIOLATION); // Windows refuses to copy a file onto itself
    }
    if (S_ISDIR(there.st_mode) || (S_ISREG(there.st_mode) && IsReadOnly(there))) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    return true;
}

} // namespace

namespace standin {

BOOL CopyEntry(const std::string& source, const std::string& target, DWORD flags,
               LPPROGRESS_ROUTINE routine, void* data, BOOL* cancel) {
    bool failIfExists = (flags & COPY_FILE_FAIL_IF_EXISTS) != 0;
    bool asMove = (flags & COPY_FILE_AS_MOVE) != 0;
    bool linkItself = asMove || (flags & COPY_FILE_COPY_SYMLINK) != 0;
    struct stat info;
    if ((linkItself ? lstat(source.c_str(), &info) : stat(source.c_str(), &info)) != 0) {
        return FailFromErrno(errno, source);
    }
    bool special = !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
    if (S_ISDIR(info.st_mode) || (special && !(asMove || S_ISLNK(info.st_mode)))) {
        // A directory, and anything that is not data: never opened.
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (!TargetAccepted(info, target, failIfExists)) {
        return FALSE;
    }
    if (special) {
        if (!failIfExists) {
            unlink(target.c_str());
        }
        return RecreateSpecial(source, info, target);
    }
    Progress progress{routine, data, cancel, 0};
    return CopyRegular(source, target, failIfExists, asMove, &progress);
}

} // namespace standin

extern "C" {

BOOL CopyFileA(const char* source, const char* target, BOOL failIfExists) {
    std::string from(source);
    if (Faulted("CopyFileA", from)) {
        return FALSE;
    }
    return standin::CopyEntry(from, target, failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0, nullptr,
                              nullptr, nullptr);
}

BOOL CopyFileExA(const char* source, const char* target, LPPROGRESS_ROUTINE routine, void* data,
                 BOOL* cancel, DWORD flags) {
    std::string from(source);
    if (Faulted("CopyFileExA", from)) {
        return FALSE;
    }
    return standin::CopyEntry(from, target, flags, routine, data, cancel);
}

} // extern "C"
