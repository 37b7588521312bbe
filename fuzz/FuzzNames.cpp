// Host buffers of every shape into the exports that take a name in place:
// FsGetLocalName, FsGetDefRootName, FsExtractCustomIcon and FsExecuteFile.
#include "FuzzSupport.h"

#include <shellapi.h>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    uint8_t operation = data[0];
    uint8_t argument = data[1];
    data += 2;
    size -= 2;
    char* buffer = new char[MAX_PATH];
    size_t copied = std::min(size, static_cast<size_t>(MAX_PATH));
    std::memcpy(buffer, data, copied);
    if (copied < MAX_PATH) {
        buffer[copied] = '\0'; // a full buffer stays unterminated: hostile too
    }
    fuzz::Init(-1);
    // Names here are the host's raw buffers, any path of the machine: "chmod"
    // is parsed and refused at the platform, which must change nothing.
    StandInFailCall("SetUnixPermissions", 1, ERROR_ACCESS_DENIED, TRUE);
    switch (operation % 4) {
    case 0:
        FsGetLocalName(buffer, argument % (MAX_PATH + 1));
        break;
    case 1: {
        char* exact = new char[argument];
        FsGetDefRootName(exact, argument);
        delete[] exact;
        break;
    }
    case 2: {
        HICON icon = nullptr;
        FsExtractCustomIcon(buffer, argument & 3, &icon);
        break;
    }
    default: {
        buffer[MAX_PATH - 1] = '\0';
        size_t split = strnlen(buffer, MAX_PATH);
        std::string verb(buffer + std::min(split + 1, static_cast<size_t>(MAX_PATH - 1)));
        fuzz::HostBuffer verbBuffer(verb);
        FsExecuteFile(nullptr, buffer, verbBuffer.text);
        break;
    }
    }
    delete[] buffer;
    return 0;
}
