#include "PlatformNames.h"

#include "plugin/BoundedText.h"

namespace {
bool CopyOrRefuse(const char* path, char* target, size_t capacity) {
    if (CopyBounded(target, capacity, path)) {
        return true;
    }
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
}
} // namespace

bool ToExactPath(const char* localPath, char* exact, size_t capacity) {
    return CopyOrRefuse(localPath, exact, capacity);
}

bool ToOrdinaryPath(const char* localPath, char* ordinary, size_t capacity) {
    return CopyOrRefuse(localPath, ordinary, capacity);
}

bool ToWalkPath(const char* localPath, char* path, size_t capacity) {
    return CopyOrRefuse(localPath, path, capacity);
}
