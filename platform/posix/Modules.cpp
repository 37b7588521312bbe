// LoadLibraryA over dlopen. A bare file name is looked for beside the running
// program first, as Windows does.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "StandIn.h"

namespace {
std::string ProgramDirectory() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return ".";
    }
    std::string program(path, static_cast<size_t>(length));
    return program.substr(0, program.find_last_of('/'));
}
} // namespace

extern "C" {

HMODULE LoadLibraryA(const char* fileName) {
    std::string name(fileName);
    if (name.find('/') == std::string::npos) {
        name = ProgramDirectory() + "/" + name;
    }
    void* module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        SetLastError(126); // ERROR_MOD_NOT_FOUND
    }
    return static_cast<HMODULE>(module);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) {
        SetLastError(127); // ERROR_PROC_NOT_FOUND
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    return dlclose(module) == 0 ? TRUE : FALSE;
}

} // extern "C"
