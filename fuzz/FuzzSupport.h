// Shared by the fuzz targets: a scratch directory per process and the host's
// name buffers, allocated at their exact size so that AddressSanitizer sees
// every byte written or read past them.
#pragma once

#include <windows.h>

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "StandInControl.h"
#include "plugin/HostInterface.h"

namespace fuzz {

// Removed at exit; a plain array, so that it outlives every static object.
inline char g_scratch[64] = "";

inline const char* Scratch() {
    if (g_scratch[0] == '\0') {
        // In memory where the machine has it: every input lays out files anew.
        struct stat shm;
        bool memory = stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode);
        std::strcpy(g_scratch,
                    memory ? "/dev/shm/quenfold-fuzz-XXXXXX" : "/tmp/quenfold-fuzz-XXXXXX");
        if (mkdtemp(g_scratch) == nullptr) {
            std::abort();
        }
        std::atexit([] {
            std::error_code error;
            std::filesystem::remove_all(g_scratch, error);
        });
    }
    return g_scratch;
}

// A heap buffer of MAX_PATH bytes holding `text`, cut to 259 characters as a
// host buffer would hold it.
struct HostBuffer {
    char* text;
    explicit HostBuffer(const std::string& value) : text(new char[MAX_PATH]) {
        size_t length = value.size() < MAX_PATH - 1 ? value.size() : MAX_PATH - 1;
        std::memcpy(text, value.data(), length);
        text[length] = '\0';
    }
    ~HostBuffer() { delete[] text; }
    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;
};

// Keeps the fuzzer inside the scratch directory.
inline bool ClimbsOut(const std::string& name) {
    return name.find("..") != std::string::npos;
}

inline int g_abortAfter = -1;
inline int g_progressCalls = 0;
inline int WINAPI Progress(int, char* source, char* target, int) {
    // Reading the texts proves they are terminated.
    volatile size_t length = std::strlen(source) + std::strlen(target);
    (void)length;
    return g_abortAfter >= 0 && g_progressCalls++ >= g_abortAfter ? 1 : 0;
}

inline void Init(int abortAfter) {
    g_abortAfter = abortAfter;
    g_progressCalls = 0;
    // The "properties" verb would start the desktop's file manager.
    StandInShellExecuteSucceeds(FALSE);
    FsInit(1, Progress, nullptr, nullptr);
}

} // namespace fuzz
