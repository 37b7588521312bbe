// The file operations with names and flags of every shape, against a small
// fixture in the scratch directory that is laid out anew for every input.
#include "FuzzSupport.h"

#include <fstream>

#include "PlatformNames.h"
#include "StandInControl.h"

namespace {

void LayFixture(const std::string& root) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root, error)) {
        fs::remove_all(entry.path(), error);
    }
    fs::create_directories(root + "/d/e", error);
    std::ofstream(root + "/a.txt") << "aaaa";
    std::ofstream(root + "/d/b.txt") << "bb";
    std::ofstream(root + "/d/e/c.exe") << "c";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    uint8_t operation = data[0], flags = data[1], abortAt = data[2];
    std::string names(reinterpret_cast<const char*>(data + 3), size - 3);
    size_t split = names.find('\0');
    std::string first = names.substr(0, split);
    std::string second = split == std::string::npos ? "" : names.substr(split + 1);
    second = second.substr(0, second.find('\0'));
    if (fuzz::ClimbsOut(first) || fuzz::ClimbsOut(second)) {
        return 0;
    }
    const std::string root = fuzz::Scratch();
    LayFixture(root);
    fuzz::Init(abortAt < 2 ? abortAt : -1);
    // Short names as the host might pass them, which the plugin refuses before
    // any platform call, and names below the fixture. Nothing else: as root, a
    // raw name could reach any file of the machine.
    const std::string prefix = kRemoteNamePrefix + root + "/";
    bool shortName = (flags & 0x80) != 0 && first.size() < kShortestOperableName;
    fuzz::HostBuffer one(shortName ? first : prefix + first);
    fuzz::HostBuffer two(prefix + second);
    fuzz::HostBuffer local(root + "/" + second);
    FILETIME time = {static_cast<DWORD>(flags) << 20, 0x01D00000};
    switch (operation % 7) {
    case 0:
        FsGetFile(one.text, local.text, flags & 7, nullptr);
        break;
    case 1:
        FsRenMovFile(one.text, two.text, flags & 1, (flags >> 1) & 1, nullptr);
        break;
    case 2:
        FsDeleteFile(one.text);
        break;
    case 3:
        FsRemoveDir(one.text);
        break;
    case 4:
        FsSetAttr(one.text, flags & 0x27);
        break;
    case 5:
        FsSetTime(one.text, flags & 1 ? &time : nullptr, flags & 2 ? &time : nullptr,
                  flags & 4 ? &time : nullptr);
        break;
    default:
        FsExecuteFile(nullptr, one.text, two.text + prefix.size());
        break;
    }
    if (StandInOpenFiles() != 0) {
        std::abort(); // FsSetTime must close what it opened
    }
    return 0;
}
