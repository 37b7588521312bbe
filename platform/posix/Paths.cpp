#include <string>
#include <vector>

#include "StandIn.h"

namespace standin {

namespace {
bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}
bool IsNavigation(const std::string& part) {
    return part == "." || part == "..";
}
} // namespace

std::string ToPosixPath(const char* windowsPath) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* c = windowsPath;; ++c) {
        if (*c == '\0' || IsSeparator(*c)) {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
            if (*c == '\0') {
                break;
            }
        } else {
            part += *c;
        }
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string& name = parts[i];
        if (IsNavigation(name)) {
            continue;
        }
        if (i + 1 < parts.size()) {
            if (name.back() == '.') {
                name.pop_back();
            }
        } else {
            while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
                name.pop_back();
            }
        }
    }
    std::string result = IsSeparator(windowsPath[0]) ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            result += '/';
        }
        result += parts[i];
    }
    return result;
}

} // namespace standin
