// The path forms on Linux: every path means exactly one file as it stands,
// so each form is the path itself, refused only when it does not fit.
#include "PlatformNames.h"

#include "base/BoundedText.h"
#include "base/LastError.h"

bool ToExactPath(const char* localPath, char* exact, size_t capacity) {
    return CopyBounded(exact, capacity, localPath) || Refuse(ERROR_FILENAME_EXCED_RANGE);
}

bool ToOrdinaryPath(const char* localPath, char* ordinary, size_t capacity) {
    return CopyBounded(ordinary, capacity, localPath) || Refuse(ERROR_FILENAME_EXCED_RANGE);
}

bool ToWalkPath(const char* localPath, char* path, size_t capacity) {
    return CopyBounded(path, capacity, localPath) || Refuse(ERROR_FILENAME_EXCED_RANGE);
}
