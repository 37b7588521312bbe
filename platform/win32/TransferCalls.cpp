// The temporary file's calls through the wide functions, so that a temporary
// past MAX_PATH is reached in the literal \\?\ form. Source and target are
// paths the ANSI functions take, which the wide ones read the same way.
#include "platform/TransferCalls.h"

#include <cwchar>
#include <new>

namespace {

// A wide copy of an ANSI path, on the heap: a host thread's stack is no
// place for paths of thousands of characters.
class WidePath {
  public:
    explicit WidePath(const char* path) {
        int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
        if (length > 0 && (text_ = new (std::nothrow) WCHAR[length]) != nullptr &&
            MultiByteToWideChar(CP_ACP, 0, path, -1, text_, length) == 0) {
            delete[] text_;
            text_ = nullptr;
        }
        if (text_ == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
    }
    ~WidePath() { delete[] text_; }
    WidePath(const WidePath&) = delete;
    WidePath& operator=(const WidePath&) = delete;

    WCHAR* text() const { return text_; }

  protected:
    WCHAR* text_ = nullptr;
};

// A temporary's path as the wide functions take it past MAX_PATH: the full
// path as Windows reads the ordinary form, with the literal prefix.
class TemporaryPath : public WidePath {
  public:
    explicit TemporaryPath(const char* path) : WidePath(path) {
        if (text_ == nullptr || std::wcsncmp(text_, L"\\\\?\\", 4) == 0 ||
            std::wcslen(text_) < MAX_PATH) {
            return;
        }
        DWORD length = GetFullPathNameW(text_, 0, nullptr, nullptr);
        WCHAR* literal = length == 0 ? nullptr : new (std::nothrow) WCHAR[length + 8];
        if (literal == nullptr) {
            return; // the ordinary form is tried, and refused as too long
        }
        bool unc = text_[0] == L'\\' && text_[1] == L'\\';
        const WCHAR* prefix = unc ? L"\\\\?\\UNC" : L"\\\\?\\";
        size_t prefixLength = std::wcslen(prefix);
        std::wmemcpy(literal, prefix, prefixLength);
        // "\\server\share" becomes "\\?\UNC\server\share": one backslash goes.
        WCHAR* rest = literal + prefixLength;
        if (GetFullPathNameW(text_, length, rest, nullptr) == 0) {
            delete[] literal;
            return;
        }
        if (unc) {
            std::wmemmove(rest, rest + 1, std::wcslen(rest + 1) + 1);
        }
        delete[] text_;
        text_ = literal;
    }
};

} // namespace

BOOL CopyToTemporary(const char* source, const char* temporary, LPPROGRESS_ROUTINE routine,
                     LPVOID data, DWORD copyFlags) {
    WidePath from(source);
    TemporaryPath to(temporary);
    if (from.text() == nullptr || to.text() == nullptr) {
        return FALSE;
    }
    return CopyFileExW(from.text(), to.text(), routine, data, nullptr,
                       copyFlags | COPY_FILE_FAIL_IF_EXISTS);
}

BOOL RenameTemporary(const char* temporary, const char* target, DWORD moveFlags) {
    TemporaryPath from(temporary);
    WidePath to(target);
    if (from.text() == nullptr || to.text() == nullptr) {
        return FALSE;
    }
    return MoveFileExW(from.text(), to.text(), moveFlags);
}

void DiscardTemporary(const char* temporary) {
    DWORD error = GetLastError();
    TemporaryPath path(temporary);
    if (path.text() != nullptr) {
        DWORD attributes = GetFileAttributesW(path.text());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
                SetFileAttributesW(path.text(), FILE_ATTRIBUTE_NORMAL);
            }
            DeleteFileW(path.text());
        }
    }
    SetLastError(error);
}
