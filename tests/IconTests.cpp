// FsExtractCustomIcon: directory icons, the delayed pass for programs,
// shortcuts and icon files, and the cache keys written into the name buffer.
#include <cstring>
#include <filesystem>
#include <string>

#include "TestSupport.h"

#include <shellapi.h>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

HICON const kUntouched = reinterpret_cast<HICON>(0x5A5A);

HICON SharedIcon(int id, int size) {
    return static_cast<HICON>(
        LoadImageA(Plugin().module, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_SHARED));
}

struct IconCall {
    int result;
    std::string buffer;
    HICON icon;
};

IconCall Extract(const std::string& name, int flags) {
    NameBuffer buffer(name);
    HICON icon = kUntouched;
    int result = Plugin().ExtractCustomIcon(buffer.text, flags, &icon);
    return {result, buffer.text, icon};
}

// The listing's "/" turned into the platform's separator, as the shell wants.
std::string WithBackslashes(std::string text) {
    for (char& c : text) {
        if (c == '/') {
            c = kSeparator;
        }
    }
    return text;
}

// A real program file: this test program itself.
std::string ThisProgram() {
    char self[MAX_PATH] = "";
#ifdef _WIN32
    GetModuleFileNameA(nullptr, self, sizeof self);
#else
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    self[length > 0 ? length : 0] = '\0';
#endif
    return self;
}

} // namespace

TEST(CustomIcon, DirectoryEntriesGetThePluginsIconsInEitherPass) {
    HICON small = SharedIcon(104, 16);
    HICON big = SharedIcon(105, 32);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(big, nullptr);
    EXPECT_NE(small, big);
    struct Case {
        int flags;
        HICON icon;
    } cases[] = {{FS_ICONFLAG_SMALL, small},
                 {0, big},
                 {FS_ICONFLAG_SMALL | FS_ICONFLAG_BACKGROUND, small},
                 {FS_ICONFLAG_BACKGROUND, big}};
    for (const Case& c : cases) {
        IconCall call = Extract("\\C:\\data\\a/b./", c.flags);
        EXPECT_EQ(call.result, FS_ICON_EXTRACTED_DESTROY) << c.flags;
        EXPECT_EQ(call.icon, c.icon) << c.flags;
        EXPECT_EQ(call.buffer, "quenfolddir") << c.flags;
    }
    EXPECT_EQ(Extract("/", 0).buffer, "quenfolddir");
}

TEST(CustomIcon, ForegroundPassDelaysOnlyProgramsShortcutsAndIconFiles) {
    for (const char* name : {"\\C:\\data\\a/tool.EXE", "\\C:\\x.lnk", "\\C:\\y.Ico", ".exe"}) {
        IconCall call = Extract(name, FS_ICONFLAG_SMALL);
        EXPECT_EQ(call.result, FS_ICON_DELAYED) << name;
        EXPECT_EQ(call.buffer, name) << "the buffer stays as it was";
        EXPECT_EQ(call.icon, kUntouched) << name;
    }
    for (const char* name :
         {"\\C:\\data\\notes.txt", "exe", "", "\\C:\\tool.exe.txt", "\\C:\\a.ex"}) {
        IconCall call = Extract(name, 0);
        EXPECT_EQ(call.result, FS_ICON_USEDEFAULT) << name;
        EXPECT_EQ(call.buffer, name);
        EXPECT_EQ(call.icon, kUntouched);
    }
}

TEST(CustomIcon, BackgroundPassAsksTheShellAndSharesKeysByIndex) {
    ScratchDir scratch;
    scratch.MakeDir("a");
    std::string program = Remote(scratch.Path() + kSeparator + "a/tool.exe");
    std::string other = Remote(scratch.Path() + kSeparator + "a/other.exe");
    std::filesystem::copy_file(ThisProgram(), scratch / "a/tool.exe");
    std::filesystem::copy_file(ThisProgram(), scratch / "a/other.exe");

    SHFILEINFOA expected = {};
    ASSERT_NE(SHGetFileInfoA(WithBackslashes(LocalOf(program)).c_str(), 0, &expected,
                             sizeof expected, SHGFI_ICON | SHGFI_SMALLICON),
              0u);
    DestroyIcon(expected.hIcon);

    IconCall first = Extract(program, FS_ICONFLAG_SMALL | FS_ICONFLAG_BACKGROUND);
    EXPECT_EQ(first.result, FS_ICON_EXTRACTED_DESTROY);
    EXPECT_NE(first.icon, kUntouched);
    EXPECT_NE(first.icon, nullptr);
    EXPECT_EQ(first.buffer, "quenfoldfile" + std::to_string(expected.iIcon));
    IconCall second = Extract(other, FS_ICONFLAG_SMALL | FS_ICONFLAG_BACKGROUND);
    EXPECT_EQ(second.buffer, first.buffer) << "same shell index, same key";
    IconCall big = Extract(program, FS_ICONFLAG_BACKGROUND);
    EXPECT_EQ(big.result, FS_ICON_EXTRACTED_DESTROY);
    for (HICON icon : {first.icon, second.icon, big.icon}) {
        if (icon != kUntouched && icon != nullptr) {
            DestroyIcon(icon); // the host's duty, done here for it
        }
    }

    std::string missing = Remote(scratch.Path() + kSeparator + "a/gone.exe");
    IconCall failed = Extract(missing, FS_ICONFLAG_BACKGROUND);
    EXPECT_EQ(failed.result, FS_ICON_USEDEFAULT);
    EXPECT_EQ(failed.icon, kUntouched);
    EXPECT_EQ(failed.buffer, missing) << "the buffer stays as it was";
}

// Windows reads "a./tool.exe" as a/tool.exe and drops a last dot or space:
// such a name gets the default, never the icon of the file it would reach.
TEST(CustomIcon, NamesThatWouldReachAnotherFileGetTheDefault) {
    ScratchDir scratch;
    scratch.MakeDir("a");
    std::filesystem::copy_file(ThisProgram(), scratch / "a/tool.exe");
    struct Case {
        const char* name;
        int result;
    } cases[] = {{"a/tool.exe", FS_ICON_EXTRACTED_DESTROY},
                 {"a./tool.exe", FS_ICON_USEDEFAULT},
                 {"a/tool.exe.", FS_ICON_USEDEFAULT},
                 {"a/tool.exe ", FS_ICON_USEDEFAULT}};
    for (const Case& c : cases) {
        std::string remote = Remote(scratch.Path() + kSeparator + c.name);
        IconCall call = Extract(remote, FS_ICONFLAG_BACKGROUND);
        EXPECT_EQ(call.result, c.result) << c.name;
        if (c.result == FS_ICON_USEDEFAULT) {
            EXPECT_EQ(call.icon, kUntouched) << c.name;
            EXPECT_EQ(call.buffer, remote) << c.name;
        } else if (call.icon != kUntouched && call.icon != nullptr) {
            DestroyIcon(call.icon);
        }
    }
}

TEST(CustomIcon, LongestNamesStayInsideTheBuffer) {
    std::string directory = "\\C:\\" + std::string(253, 'd') + "./"; // 259 characters
    ASSERT_EQ(directory.size(), 259u);
    EXPECT_EQ(Extract(directory, FS_ICONFLAG_SMALL).buffer, "quenfolddir");

    std::string program = "\\C:\\" + std::string(251, 'p') + ".exe";
    ASSERT_EQ(program.size(), 259u);
    EXPECT_EQ(Extract(program, 0).result, FS_ICON_DELAYED);
    IconCall background = Extract(program, FS_ICONFLAG_BACKGROUND);
    EXPECT_EQ(background.result, FS_ICON_USEDEFAULT);
    EXPECT_EQ(background.buffer, program);

    // A buffer the host forgot to terminate is left alone.
    char full[MAX_PATH];
    std::memset(full, 'z', sizeof full);
    HICON icon = kUntouched;
    EXPECT_EQ(Plugin().ExtractCustomIcon(full, FS_ICONFLAG_BACKGROUND, &icon), FS_ICON_USEDEFAULT);
    EXPECT_EQ(icon, kUntouched);
    EXPECT_EQ(Plugin().ExtractCustomIcon(nullptr, 0, &icon), FS_ICON_USEDEFAULT);
    NameBuffer name("\\C:\\a/");
    EXPECT_EQ(Plugin().ExtractCustomIcon(name.text, 0, nullptr), FS_ICON_USEDEFAULT);
}
