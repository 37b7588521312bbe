// Permission changes: chmod as the file managers ask for it, and the Windows
// attributes as far as Linux has them. Each opens the named file itself,
// without following a link, and changes the file it opened: a link swapped in
// after the check can never turn the change onto another file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "StandIn.h"

using standin::FailFromErrno;

namespace {

// The write bits the process's umask withholds.
mode_t WithheldWriteBits() {
    return standin::CurrentUmask() & 0222;
}

// Whether the last component of `path` begins with a dot: what Linux has of
// a hidden attribute, and what the enumeration reports as one.
bool IsDotName(const std::string& path) {
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return false;
    }
    size_t slash = path.find_last_of('/', end);
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path[start] == '.';
}

// The file at `path` itself, a link as the link, and what it is.
class Itself {
  public:
    explicit Itself(const std::string& path)
        : descriptor_(open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC)) {
        if (descriptor_ >= 0 && fstat(descriptor_, &info_) != 0) {
            int error = errno;
            close(descriptor_);
            descriptor_ = -1;
            errno = error;
        }
    }
    ~Itself() {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
    }
    Itself(const Itself&) = delete;
    Itself& operator=(const Itself&) = delete;

    bool Opened() const { return descriptor_ >= 0; }
    bool IsLink() const { return S_ISLNK(info_.st_mode); }
    mode_t Mode() const { return info_.st_mode & 07777; }
    bool SetMode(mode_t mode) const {
        return mode == Mode() || chmod(standin::DescriptorPath(descriptor_).c_str(), mode) == 0;
    }

  private:
    int descriptor_;
    struct stat info_ = {};
};

} // namespace

namespace standin {

mode_t CurrentUmask() {
    mode_t mask = S_IWGRP | S_IWOTH;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[128];
        unsigned value = 0;
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        }
        std::fclose(status);
    }
    return mask;
}

// Read-only is the write bits: setting it takes every write bit away;
// clearing it from a read-only file gives them back as `chmod +w` does,
// honouring the umask, and leaves a writable file as it is. Hidden is a
// leading dot in the name, which an attribute cannot add or take away, and
// system has no meaning: asking for either as the file is not refuses the
// whole call. A link is never read-only itself, and asking for it is refused.
BOOL SetAttributesItself(const std::string& path, DWORD attributes) {
    Itself file(path);
    if (!file.Opened()) {
        return FailFromErrno(path);
    }
    bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    bool hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    if ((attributes & FILE_ATTRIBUTE_SYSTEM) != 0 || hidden != IsDotName(path) ||
        (file.IsLink() && readOnly)) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    if (file.IsLink()) {
        return TRUE;
    }
    mode_t mode = file.Mode();
    if (readOnly) {
        mode &= ~static_cast<mode_t>(0222);
    } else if ((mode & S_IWUSR) == 0) {
        mode |= S_IWUSR | (0222 & ~WithheldWriteBits());
    }
    return file.SetMode(mode) ? TRUE : FailFromErrno(path);
}

} // namespace standin

extern "C" BOOL SetUnixPermissions(const char* path, DWORD mode) {
    std::string name(path);
    if (standin::Faulted("SetUnixPermissions", name)) {
        return FALSE;
    }
    if (mode > 07777) {
        return standin::Fail(ERROR_INVALID_PARAMETER);
    }
    Itself file(name);
    if (!file.Opened()) {
        return FailFromErrno(name);
    }
    if (file.IsLink()) {
        return standin::Fail(ERROR_NOT_SUPPORTED);
    }
    return file.SetMode(static_cast<mode_t>(mode)) ? TRUE : FailFromErrno(name);
}
