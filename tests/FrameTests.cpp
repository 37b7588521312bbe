// The plugin's boundary: exports, the small exports, FsInit and the module's
// resources.
#include <cstdio>
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
    // Double Commander wraps each operation in FsStatusInfo, which must leave
    // the operation and the host's buffers as they are.
    EXPECT_EQ(Plugin().Init(0, nullptr, nullptr, nullptr), 0);
    ScratchDir scratch;
    scratch.MakeFile("a.txt", 3);
    NameBuffer source(Remote(scratch / "a.txt")), target(Remote(scratch / "b.txt"));
    NameBuffer directory(Remote(scratch.Path()));
    Plugin().StatusInfo(directory.text, 0, 7);
    EXPECT_EQ(Plugin().RenMovFile(source.text, target.text, FALSE, FALSE, nullptr), FS_FILE_OK);
    Plugin().StatusInfo(nullptr, 1, 7);
    EXPECT_TRUE(scratch.Exists("b.txt"));
    EXPECT_EQ(std::string(directory.text), Remote(scratch.Path()));
}

#ifdef _WIN32
namespace {

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

// A text of the version resource, found through the language and code page
// that the resource itself declares, as Explorer finds it.
std::string VersionText(const std::string& data, const char* key) {
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < 4) {
        return "<no translation>";
    }
    char path[64];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                  translation[1], key);
    char* value = nullptr;
    if (!VerQueryValueA(data.data(), path, reinterpret_cast<void**>(&value), &length)) {
        return "<missing>";
    }
    return value;
}

} // namespace

// Each icon is one 256-colour drawing at the size the plugin loads it and the
// host shows it, so that nothing is scaled or another drawing picked.
TEST(Resources, EachIconIsOneDrawingAtTheSizeItIsShown) {
    struct Case {
        int id, size;
    } cases[] = {{IDI_PLUGIN, 32}, {IDI_DIRECTORY_SMALL, 16}, {IDI_DIRECTORY_BIG, 32}};
    for (const Case& c : cases) {
        HRSRC found = FindResourceA(Plugin().module, MAKEINTRESOURCEA(c.id), RT_GROUP_ICON);
        ASSERT_NE(found, nullptr) << "icon group " << c.id;
        const IconGroup* group =
            static_cast<const IconGroup*>(LockResource(LoadResource(Plugin().module, found)));
        ASSERT_NE(group, nullptr) << c.id;
        EXPECT_EQ(group->count, 1) << c.id;
        EXPECT_EQ(group->entries[0].width, c.size) << c.id;
        EXPECT_EQ(group->entries[0].height, c.size) << c.id;
        EXPECT_EQ(group->entries[0].bitCount, 8) << c.id;
    }
}

// What Explorer's details show: the numbers of the version the sources carry,
// and the same version in the text, found through the resource's own language.
TEST(Resources, VersionReadsAlikeInNumbersAndText) {
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
    EXPECT_EQ(fixed->dwFileVersionMS,
              static_cast<DWORD>((QUENFOLD_VERSION_MAJOR << 16) | QUENFOLD_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS,
              static_cast<DWORD>((QUENFOLD_VERSION_PATCH << 16) | QUENFOLD_VERSION_BUILD));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileFlags, 0u) << "no debug or pre-release build";

    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%lu, %lu, %lu, %lu",
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
    EXPECT_EQ(VersionText(data, "FileVersion"), numbers);
    EXPECT_EQ(VersionText(data, "ProductVersion"), numbers);
    EXPECT_NE(VersionText(data, "FileDescription"), "<missing>");
}
#endif
