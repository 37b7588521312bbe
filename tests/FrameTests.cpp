// The plugin's boundary: exports, the small exports, FsInit and the module's
// resources.
#include <cstring>
#include <string>

#include "TestSupport.h"
#include "resources/ResourceIds.h"

TEST(Exports, AllSixteenResolveByUndecoratedName) {
    for (const char* name : kExportNames) {
        EXPECT_NE(GetProcAddress(Plugin().module, name), nullptr) << name;
    }
    // 32-bit stdcall names must not leak their decoration into the table.
    EXPECT_EQ(GetProcAddress(Plugin().module, "FsInit@16"), nullptr);
    EXPECT_EQ(GetProcAddress(Plugin().module, "_FsInit@16"), nullptr);
    EXPECT_EQ(GetProcAddress(Plugin().module, "DllMain"), nullptr);
}

TEST(SmallExports, ReportFactsAboutThePlugin) {
    EXPECT_TRUE(Plugin().LinksToLocalFiles());
    NameBuffer directory("\\C:\\data");
    Plugin().StatusInfo(directory.text, 0, 0); // does nothing, whatever it is told
    Plugin().StatusInfo(nullptr, 1, 5);
    EXPECT_STREQ(directory.text, "\\C:\\data");
}

TEST(GetLocalName, GivesTheLocalPathOfExactlyTheEntry) {
    const std::string data = kWindowsNames ? "C:\\data" : "/data";
    NameBuffer name(Remote(data + kSeparator + "x"));
    EXPECT_TRUE(Plugin().GetLocalName(name.text, MAX_PATH));
    EXPECT_EQ(std::string(name.text), data + kSeparator + "x");

    NameBuffer root(kWindowsNames ? "\\" : "/");
    EXPECT_TRUE(Plugin().GetLocalName(root.text, MAX_PATH));
    EXPECT_STREQ(root.text, kWindowsNames ? "" : "/");

    // A directory entry names its directory; one of a directory named "x."
    // ends in "x../". On Linux the folder's name ends in a separator, which
    // Double Commander's packer needs to pack it as a folder.
    NameBuffer entry(Remote(data + kSeparator + "a/b./"));
    EXPECT_TRUE(Plugin().GetLocalName(entry.text, MAX_PATH));
    EXPECT_EQ(std::string(entry.text),
              data + kSeparator + "a" + kSeparator + "b" + (kWindowsNames ? "" : "/"));

    // Windows would open "x." and "con.txt" as other files, so the host must
    // fetch them through FsGetFile; on Linux they are names like any other.
    for (const char* tricky : {"a/x../", "x. ", "con.txt"}) {
        NameBuffer odd(Remote(data + kSeparator + tricky));
        EXPECT_EQ(Plugin().GetLocalName(odd.text, MAX_PATH), kWindowsNames ? FALSE : TRUE)
            << tricky;
    }
}

TEST(GetLocalName, WritesOnlyWithinTheGivenCapacity) {
    char tiny[4] = {'\\', 'a', 'b', '\0'};
    EXPECT_TRUE(Plugin().GetLocalName(tiny, 1));
    EXPECT_EQ(std::string(tiny, 4), std::string("\\ab\0", 4));
    EXPECT_TRUE(Plugin().GetLocalName(tiny, 0));
    EXPECT_TRUE(Plugin().GetLocalName(nullptr, MAX_PATH));

    // A 259-character name in a full buffer: nothing is read or written past it.
    std::string local = kWindowsNames ? std::string(258, 'n') : "/" + std::string(258, 'n');
    NameBuffer longest(Remote(local));
    EXPECT_TRUE(Plugin().GetLocalName(longest.text, MAX_PATH));
    EXPECT_EQ(std::string(longest.text), local);

    // A name without its NUL inside the capacity is refused untouched.
    char unterminated[6] = {'/', 'a', 'b', 'c', 'd', 'e'};
    EXPECT_FALSE(Plugin().GetLocalName(unterminated, 6));
    EXPECT_EQ(std::string(unterminated, 6), "/abcde");
}

TEST(GetDefRootName, CopiesTheRootNameOnlyWhenItFits) {
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    Plugin().GetDefRootName(buffer, 9);
    EXPECT_STREQ(buffer, "Quenfold");

    std::memset(buffer, 'X', sizeof buffer);
    Plugin().GetDefRootName(buffer, 8);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(buffer[1], 'X');

    std::memset(buffer, 'X', sizeof buffer);
    Plugin().GetDefRootName(buffer, 0);
    EXPECT_EQ(buffer[0], 'X');
    Plugin().GetDefRootName(buffer, -1);
    EXPECT_EQ(buffer[0], 'X');
}

namespace {
int g_firstCalls = 0;
int g_secondCalls = 0;
int g_secondPluginNumber = 0;
int WINAPI FirstProgress(int, char*, char*, int) {
    ++g_firstCalls;
    return 1;
}
int WINAPI SecondProgress(int pluginNumber, char*, char*, int) {
    ++g_secondCalls;
    g_secondPluginNumber = pluginNumber;
    return 1;
}
} // namespace

TEST(Init, ReturnsZeroAndEachCallReplacesTheStoredValues) {
    EXPECT_EQ(Plugin().Init(3, FirstProgress, nullptr, nullptr), 0);
    EXPECT_EQ(Plugin().Init(5, SecondProgress, nullptr, nullptr), 0);
    NameBuffer from("\\C:\\a.txt"), to("\\C:\\b.txt");
    EXPECT_EQ(Plugin().RenMovFile(from.text, to.text, TRUE, FALSE, nullptr), FS_FILE_USERABORT);
    EXPECT_EQ(g_firstCalls, 0);
    EXPECT_EQ(g_secondCalls, 1);
    EXPECT_EQ(g_secondPluginNumber, 5);

    // Without a progress callback nothing is aborted and nothing calls through null.
    EXPECT_EQ(Plugin().Init(0, nullptr, nullptr, nullptr), 0);
    ScratchDir scratch;
    scratch.MakeFile("a.txt", 3);
    NameBuffer source(Remote(scratch / "a.txt")), target(Remote(scratch / "b.txt"));
    EXPECT_EQ(Plugin().RenMovFile(source.text, target.text, FALSE, FALSE, nullptr), FS_FILE_OK);
    EXPECT_TRUE(scratch.Exists("b.txt"));
}

#ifdef _WIN32
namespace {
// The version the resource must carry, from the header it is made from.
const DWORD kVersionHigh = (QUENFOLD_VERSION_MAJOR << 16) | QUENFOLD_VERSION_MINOR;
const DWORD kVersionLow = (QUENFOLD_VERSION_PATCH << 16) | QUENFOLD_VERSION_BUILD;
const WORD kRussian = MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT);

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroup {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

std::string VersionString(const std::string& data, const char* key) {
    char* value = nullptr;
    UINT length = 0;
    std::string path = std::string("\\StringFileInfo\\041904b0\\") + key;
    if (!VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return "<missing>";
    }
    return value;
}
} // namespace

TEST(Resources, IconGroupsHoldOneImageEachUnderRussian) {
    struct Expected {
        int id, size;
    } groups[] = {{103, 32}, {104, 16}, {105, 32}};
    for (const Expected& group : groups) {
        HRSRC found =
            FindResourceExA(Plugin().module, RT_GROUP_ICON, MAKEINTRESOURCEA(group.id), kRussian);
        ASSERT_NE(found, nullptr) << "icon group " << group.id;
        const IconGroup* data =
            static_cast<const IconGroup*>(LockResource(LoadResource(Plugin().module, found)));
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->count, 1) << group.id;
        EXPECT_EQ(data->entries[0].width, group.size) << group.id;
        EXPECT_EQ(data->entries[0].height, group.size) << group.id;
        EXPECT_EQ(data->entries[0].bitCount, 8) << group.id << ": 256 colours";
    }
}

TEST(Resources, VersionResourceDescribesThePlugin) {
    EXPECT_NE(FindResourceExA(Plugin().module, RT_VERSION, MAKEINTRESOURCEA(1), kRussian), nullptr);
    char file[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(Plugin().module, file, sizeof file), 0u);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(file, 0, size, &data[0]));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, kVersionHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, kVersionLow);
    EXPECT_EQ(fixed->dwProductVersionMS, kVersionHigh);
    EXPECT_EQ(fixed->dwProductVersionLS, kVersionLow);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileFlags, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0419);
    EXPECT_EQ(translation[1], 0x04B0);

    EXPECT_EQ(VersionString(data, "FileVersion"), QUENFOLD_VERSION_TEXT);
    EXPECT_EQ(VersionString(data, "ProductVersion"), QUENFOLD_VERSION_TEXT);
    EXPECT_EQ(VersionString(data, "FileDescription"),
              "Quenfold file system plugin for Total Commander");
    EXPECT_EQ(VersionString(data, "ProductName"),
              "Quenfold file system plugin for Total Commander");
    EXPECT_EQ(VersionString(data, "OriginalFilename"), "Quenfold.wfx");
}
#endif
