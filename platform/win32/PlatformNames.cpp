// The path forms: how a local path reaches Windows so that it means exactly
// its file. Absolute paths go in the \\?\ form, which Windows takes
// literally; a path that form cannot carry (one with "." or "..", a relative
// one, one too long for the caller's buffer) goes in its ordinary form, and
// only when no component of it would be read as another name.
#include "PlatformNames.h"

#include <cstring>
#include <initializer_list>

#include "base/BoundedText.h"
#include "base/LastError.h"

namespace {

const char kLiteralUncPrefix[] = "\\\\?\\UNC\\";

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsNavigation(const char* name, size_t length) {
    return (length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.');
}

bool StartsWithNoCase(const char* text, size_t length, const char* prefix) {
    size_t prefixLength = std::strlen(prefix);
    if (length < prefixLength) {
        return false;
    }
    for (size_t i = 0; i < prefixLength; ++i) {
        if (AsciiLower(text[i]) != AsciiLower(prefix[i])) {
            return false;
        }
    }
    return true;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name a device in any directory, with
// any extension and with spaces before it.
bool IsDeviceName(const char* name, size_t length) {
    size_t base = 0;
    while (base < length && name[base] != '.') {
        ++base;
    }
    while (base > 0 && name[base - 1] == ' ') {
        --base;
    }
    if (base == 3) {
        for (const char* device : {"con", "prn", "aux", "nul"}) {
            if (StartsWithNoCase(name, base, device)) {
                return true;
            }
        }
        return false;
    }
    return base == 4 && (StartsWithNoCase(name, 3, "com") || StartsWithNoCase(name, 3, "lpt")) &&
           name[3] >= '1' && name[3] <= '9';
}

// True when Win32 path parsing would read this component as another name.
bool IsRewritten(const char* name, size_t length) {
    if (length == 0 || IsNavigation(name, length)) {
        return false;
    }
    char last = name[length - 1];
    return last == '.' || last == ' ' || IsDeviceName(name, length);
}

enum class Root { Drive, Unc, Literal, Relative };

struct NormalPath {
    Root root;
    bool navigation; // a "." or ".." component, which only Win32 parsing resolves
    bool rewritten;  // a component Win32 parsing would change
    char text[MAX_PATH + 1];
    size_t length;
};

bool Put(NormalPath* path, const char* text, size_t length) {
    if (!AppendBounded(path->text, sizeof path->text, path->length, text, length)) {
        return false;
    }
    path->length += length;
    return true;
}

// Rewrites `local` with "\" separators, without doubled separators or a
// trailing one (the root of a drive keeps its own), and notes what Win32
// parsing would still change.
bool Normalise(const char* local, NormalPath* path) {
    path->navigation = false;
    path->rewritten = false;
    path->text[0] = '\0';
    path->length = 0;
    if (std::strncmp(local, kLiteralPrefix, 4) == 0 || std::strncmp(local, "\\\\.\\", 4) == 0) {
        path->root = Root::Literal;
        return Put(path, local, std::strlen(local));
    }
    const char* rest = local;
    bool separate = false; // whether the next component needs a "\" before it
    if (IsSeparator(local[0]) && IsSeparator(local[1])) {
        path->root = Root::Unc;
        rest = local + 2;
        if (!Put(path, "\\\\", 2)) {
            return false;
        }
    } else if (IsAsciiLetter(local[0]) && local[1] == ':' && IsSeparator(local[2])) {
        path->root = Root::Drive;
        rest = local + 2;
        separate = true;
        if (!Put(path, local, 2)) {
            return false;
        }
    } else {
        path->root = Root::Relative;
        if (IsSeparator(local[0]) && !Put(path, "\\", 1)) {
            return false;
        }
    }
    const char* c = rest;
    while (*c != '\0') {
        if (IsSeparator(*c)) {
            ++c;
            continue;
        }
        const char* begin = c;
        while (*c != '\0' && !IsSeparator(*c)) {
            c = NextCharacter(c);
        }
        size_t length = static_cast<size_t>(c - begin);
        path->navigation = path->navigation || IsNavigation(begin, length);
        path->rewritten = path->rewritten || IsRewritten(begin, length);
        if ((separate && !Put(path, "\\", 1)) || !Put(path, begin, length)) {
            return false;
        }
        separate = true;
    }
    if (path->root == Root::Drive && path->length == 2) {
        return Put(path, "\\", 1);
    }
    return true;
}

// A walk from this path is handed to the enumeration literally: it carries the
// prefix already, or it is absolute without "." or "..".
bool IsLiteralWalk(const NormalPath& path) {
    return path.root == Root::Literal ||
           ((path.root == Root::Drive || path.root == Root::Unc) && !path.navigation);
}

} // namespace

bool ToExactPath(const char* localPath, char* exact, size_t capacity) {
    NormalPath path;
    if (!Normalise(localPath, &path)) {
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    }
    if (path.root == Root::Literal) {
        return CopyBounded(exact, capacity, path.text) || Refuse(ERROR_FILENAME_EXCED_RANGE);
    }
    bool literal = (path.root == Root::Drive || path.root == Root::Unc) && !path.navigation;
    if (literal) {
        const char* prefix = path.root == Root::Drive ? kLiteralPrefix : kLiteralUncPrefix;
        const char* rest = path.root == Root::Drive ? path.text : path.text + 2;
        size_t prefixLength = std::strlen(prefix);
        if (CopyBounded(exact, capacity, prefix) &&
            AppendBounded(exact, capacity, prefixLength, rest, std::strlen(rest))) {
            return true;
        }
    }
    if (path.rewritten) {
        return Refuse(literal ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
    }
    return CopyBounded(exact, capacity, path.text) || Refuse(ERROR_FILENAME_EXCED_RANGE);
}

bool ToWalkPath(const char* localPath, char* path, size_t capacity) {
    NormalPath normal;
    if (!Normalise(localPath, &normal)) {
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    }
    if (!IsLiteralWalk(normal) && normal.rewritten) {
        return Refuse(ERROR_INVALID_NAME);
    }
    return CopyBounded(path, capacity, normal.text) || Refuse(ERROR_FILENAME_EXCED_RANGE);
}

bool ToOrdinaryPath(const char* localPath, char* ordinary, size_t capacity) {
    NormalPath path;
    if (!Normalise(localPath, &path)) {
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    }
    if (path.rewritten) {
        return Refuse(ERROR_INVALID_NAME);
    }
    return CopyBounded(ordinary, capacity, path.text) || Refuse(ERROR_FILENAME_EXCED_RANGE);
}

// The walker only ever extends a walk path by names the platform listed, so
// the root decides for the whole walk.
bool WalksLiterally(const char* walkPath) {
    NormalPath path;
    return Normalise(walkPath, &path) && IsLiteralWalk(path);
}

bool NameMeansItself(const char* name) {
    return !IsRewritten(name, std::strlen(name));
}

// ":" is never the first byte of a double-byte character, so a "\" after it
// is a separator.
bool EndsWithSeparator(const char* path, size_t length) {
    return length >= 2 && path[length - 1] == '\\' && path[length - 2] == ':';
}
