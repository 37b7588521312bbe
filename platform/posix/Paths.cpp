#include "StandIn.h"

namespace standin {

// Linux names are bytes: a backslash, a trailing dot or space and case are
// all part of the name, and only "/" separates.
std::string ToPosixPath(const char* path) {
    return path;
}

} // namespace standin
