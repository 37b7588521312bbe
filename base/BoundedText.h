// Copies into fixed buffers that never truncate silently: a string that does not
// fit is refused, and the caller takes its error path.
#pragma once

#include <cstddef>
#include <cstring>

// Copies `source` with its NUL into `target` of `capacity` bytes. Returns false,
// leaving `target` unchanged, when it does not fit.
inline bool CopyBounded(char* target, size_t capacity, const char* source) {
    size_t length = std::strlen(source);
    if (length >= capacity) {
        return false;
    }
    std::memcpy(target, source, length + 1);
    return true;
}

// Appends `source` to the string of `targetLength` characters in `target`.
// Returns false, leaving `target` unchanged, when the result would not fit.
inline bool AppendBounded(char* target, size_t capacity, size_t targetLength, const char* source,
                          size_t sourceLength) {
    if (targetLength + sourceLength >= capacity) {
        return false;
    }
    std::memcpy(target + targetLength, source, sourceLength);
    target[targetLength + sourceLength] = '\0';
    return true;
}

inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Compares two whole strings, ASCII letters without regard to case.
inline bool EqualsAsciiNoCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (AsciiLower(*a) != AsciiLower(*b)) {
            return false;
        }
    }
    return *a == *b;
}
