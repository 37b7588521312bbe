// Permissions as the file managers on Linux see and set them, and the wait
// for the desktop's opener, which the host does on its main thread.
#include <string>

#include "TestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "StandInControl.h"

namespace {
unsigned ModeOf(const std::string& path) {
    struct stat info = {};
    lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}
} // namespace
#endif

namespace {
int Execute(const std::string& remoteName, const char* verb) {
    return Plugin().ExecuteFile(nullptr, NameBuffer(remoteName).text, NameBuffer(verb).text);
}
} // namespace

// "chmod" and an octal mode up to 07777, nothing else. A directory entry's
// permissions are its folder's; a link has none of its own. Windows has no
// permission bits: every chmod answers an error there.
TEST(UnixMode, ChmodSetsExactlyAnOctalModeAndNothingElse) {
    ScratchDir scratch;
    scratch.MakeFile("d/f", 1);
    struct Case {
        const char *name, *verb;
        int result;
        const char* changed; // d/f starts at 0600, d at 0700
        unsigned mode;
    } accepted[] = {{"d/f", "chmod 640", FS_EXEC_OK, "d/f", 0640},
                    {"d/f", "CHMOD   4711", FS_EXEC_OK, "d/f", 04711},
                    {"d/f", "chmod 7777", FS_EXEC_OK, "d/f", 07777},
                    {"d./", "chmod 0750", FS_EXEC_OK, "d", 0750},
                    {"link", "chmod 644", FS_EXEC_ERROR, "d/f", 0600}};
    std::vector<Case> cases(std::begin(accepted), std::end(accepted));
    for (const char* verb : {"chmod", "chmod ", "chmod 648", "chmod 10000", "chmod 644 x",
                             "chmod 644 ", "chmod +w", "chmod -R 644", "chmodx 644"}) {
        cases.push_back({"d/f", verb, FS_EXEC_ERROR, "d/f", 0600});
    }
#ifndef _WIN32
    symlink("d/f", (scratch / "link").c_str());
#endif
    for (const Case& row : cases) {
#ifndef _WIN32
        chmod((scratch / "d/f").c_str(), 0600);
        chmod((scratch / "d").c_str(), 0700);
#endif
        EXPECT_EQ(Execute(Remote(scratch.Path() + kSeparator + row.name), row.verb),
                  kWindowsNames ? FS_EXEC_ERROR : row.result)
            << row.name << ": " << row.verb;
#ifndef _WIN32
        EXPECT_EQ(ModeOf(scratch / row.changed), row.mode) << row.name << ": " << row.verb;
#endif
    }
}

#ifndef _WIN32
// The file manager takes a name's kind from the mode's type bits alone.
TEST(UnixMode, EachKindOfEntryIsListedWithTheModeTheHostShows) {
    ScratchDir scratch;
    scratch.MakeFile("plain.txt", 3);
    scratch.MakeFile("sub/in.txt", 5);
    chmod((scratch / "plain.txt").c_str(), 0644);
    chmod((scratch / "sub").c_str(), 0750);
    symlink("sub", (scratch / "sublink").c_str());
    symlink("plain.txt", (scratch / "filelink").c_str());
    symlink("nowhere", (scratch / "dangling").c_str());
    const DWORD kLink = S_IFLNK | 0777, kArchive = FILE_ATTRIBUTE_ARCHIVE;
    std::vector<Entry> expected = {
        {"dangling", 0, kArchive, kLink},
        {"filelink", 3, kArchive, kLink},
        {"plain.txt", 3, kArchive, S_IFREG | 0644},
        {"sub/in.txt", 5, kArchive, S_IFREG | 0644},
        {"sub./", 5, 0, S_IFREG | 0750},
        {"sublink", 0, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, kLink},
    };
    std::vector<Entry> entries = ListAll(scratch.Path());
    ASSERT_EQ(entries, expected) << "a directory link is never walked";
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].reserved0, expected[i].reserved0) << entries[i].name;
        EXPECT_EQ(entries[i].attributes, expected[i].attributes | FILE_ATTRIBUTE_UNIX_MODE)
            << entries[i].name;
    }
}

// Read-only is the write bits, given back as chmod +w does; hidden is a
// leading dot, which no attribute changes; system has no meaning; a link has
// no permissions of its own.
TEST(UnixMode, SetAttrDoesOnlyWhatLinuxCanAndSaysSo) {
    ScratchDir scratch;
    scratch.MakeFile("f.txt", 1);
    scratch.MakeFile(".dot", 1);
    symlink("f.txt", (scratch / "link").c_str());
    const DWORD kReadOnly = FILE_ATTRIBUTE_READONLY, kHidden = FILE_ATTRIBUTE_HIDDEN;
    struct Case {
        const char* name;
        mode_t umask;
        unsigned before;
        DWORD attributes;
        BOOL result;
        unsigned after; // of .dot for .dot, else of f.txt
    } cases[] = {
        {"f.txt", 022, 0664, kReadOnly, TRUE, 0444},
        {"f.txt", 002, 0444, 0, TRUE, 0664},
        {"f.txt", 0277, 0400, 0, TRUE, 0600},
        {"f.txt", 002, 0600, 0, TRUE, 0600},
        {"f.txt", 022, 0644, kHidden, FALSE, 0644},
        {"f.txt", 022, 0644, FILE_ATTRIBUTE_SYSTEM, FALSE, 0644},
        {".dot", 022, 0644, kHidden | kReadOnly, TRUE, 0444},
        {"link", 022, 0644, kReadOnly, FALSE, 0644},
    };
    for (const Case& row : cases) {
        std::string file = scratch / (row.name[0] == '.' ? ".dot" : "f.txt");
        chmod(file.c_str(), row.before);
        mode_t saved = umask(row.umask);
        BOOL result = Plugin().SetAttr(NameBuffer(scratch / row.name).text, row.attributes);
        umask(saved);
        EXPECT_EQ(result, row.result) << row.name << " " << row.attributes;
        EXPECT_EQ(ModeOf(file), row.after) << row.name << " " << row.attributes;
    }
}

// An opener that runs the program to its end is left to it after seconds; one
// that cannot open the file leaves the opening to the host.
TEST(UnixMode, OpenWaitsForTheDesktopOnlySeconds) {
    ScratchDir scratch;
    scratch.MakeFile("bin/xdg-open", 0);
    std::ofstream(scratch / "bin/xdg-open")
        << "#!/bin/sh\ncase $1 in *slow) sleep 4 ;; *) exit 3 ;; esac\n";
    chmod((scratch / "bin/xdg-open").c_str(), 0755);
    std::string path = getenv("PATH");
    setenv("PATH", (scratch / "bin:" + path).c_str(), 1);
    StandInShellExecuteAsksDesktop();
    for (auto [name, result] : {std::pair{"slow", FS_EXEC_OK}, {"cannot", FS_EXEC_YOURSELF}}) {
        scratch.MakeFile(name, 1);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Execute(scratch / name, "open"), result) << name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)) << name;
    }
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "no child left behind";
    StandInShellExecuteSucceeds(FALSE);
    setenv("PATH", path.c_str(), 1);
}
#endif
