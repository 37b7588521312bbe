// Permissions as the file managers on Linux see and set them: the mode each
// kind of entry is listed with, "chmod" through FsExecuteFile, and what
// FsSetAttr does with attributes that are only partly Linux's.
#include <string>

#include "TestSupport.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "StandInControl.h"
#endif

namespace {

#ifndef _WIN32
unsigned ModeOf(const std::string& path) {
    struct stat info = {};
    lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}
#endif

class UnixModeTest : public ::testing::Test {
  protected:
    void SetUp() override { InitPlugin(); }
    std::string R(const std::string& relative) const {
        return Remote(scratch.Path() + kSeparator + relative);
    }
    int Execute(const std::string& relative, const char* verb) {
        return Plugin().ExecuteFile(nullptr, NameBuffer(R(relative)).text, NameBuffer(verb).text);
    }
    ScratchDir scratch;
};

} // namespace

// Windows has no permission bits: every chmod answers an error there.
TEST_F(UnixModeTest, ChmodSetsExactlyAnOctalModeAndNothingElse) {
    struct Case {
        const char* verb;
        int result;
        unsigned mode; // of the file after the call, which starts at 0600
    } cases[] = {
        {"chmod 640", FS_EXEC_OK, 0640},      {"CHMOD 0755", FS_EXEC_OK, 0755},
        {"chmod   4711", FS_EXEC_OK, 04711},  {"chmod 7777", FS_EXEC_OK, 07777},
        {"chmod", FS_EXEC_ERROR, 0600},       {"chmod ", FS_EXEC_ERROR, 0600},
        {"chmod 648", FS_EXEC_ERROR, 0600},   {"chmod 10000", FS_EXEC_ERROR, 0600},
        {"chmod 644 x", FS_EXEC_ERROR, 0600}, {"chmod 644 ", FS_EXEC_ERROR, 0600},
        {"chmod +w", FS_EXEC_ERROR, 0600},    {"chmod -R 644", FS_EXEC_ERROR, 0600},
        {"chmod644", FS_EXEC_ERROR, 0600},    {"chmodx 644", FS_EXEC_ERROR, 0600},
    };
    for (const Case& row : cases) {
        scratch.MakeFile("f.txt", 1);
#ifdef _WIN32
        EXPECT_EQ(Execute("f.txt", row.verb), FS_EXEC_ERROR) << row.verb;
#else
        chmod((scratch / "f.txt").c_str(), 0600);
        EXPECT_EQ(Execute("f.txt", row.verb), row.result) << row.verb;
        EXPECT_EQ(ModeOf(scratch / "f.txt"), row.mode) << row.verb;
#endif
    }
}

#ifndef _WIN32
TEST_F(UnixModeTest, ChmodActsOnADirectoryEntrysFolderAndNeverThroughALink) {
    scratch.MakeFile("d/in.txt", 1);
    EXPECT_EQ(Execute("d./", "chmod 750"), FS_EXEC_OK);
    EXPECT_EQ(ModeOf(scratch / "d"), 0750u);
    chmod((scratch / "d/in.txt").c_str(), 0600);
    symlink("d/in.txt", (scratch / "link").c_str());
    symlink("d", (scratch / "dirlink").c_str());
    EXPECT_EQ(Execute("link", "chmod 644"), FS_EXEC_ERROR);
    EXPECT_EQ(Execute("dirlink", "chmod 700"), FS_EXEC_ERROR);
    EXPECT_EQ(ModeOf(scratch / "d/in.txt"), 0600u);
    EXPECT_EQ(ModeOf(scratch / "d"), 0750u);
    EXPECT_EQ(Execute("missing", "chmod 644"), FS_EXEC_ERROR);
}

// The file manager takes a name's kind from the mode's type bits alone.
TEST_F(UnixModeTest, EachKindOfEntryIsListedWithTheModeTheHostShows) {
    scratch.MakeFile("tree/plain.txt", 3);
    scratch.MakeFile("tree/run.sh", 4);
    scratch.MakeFile("tree/sub/in.txt", 5);
    chmod((scratch / "tree/plain.txt").c_str(), 0644);
    chmod((scratch / "tree/run.sh").c_str(), 0755);
    chmod((scratch / "tree/sub").c_str(), 0750);
    symlink("sub", (scratch / "tree/sublink").c_str());
    symlink("plain.txt", (scratch / "tree/filelink").c_str());
    symlink("nowhere", (scratch / "tree/dangling").c_str());
    const DWORD kLink = S_IFLNK | 0777;
    const DWORD kDirectoryLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    struct Expected {
        const char* name;
        DWORD mode;
        DWORD attributes; // besides FILE_ATTRIBUTE_UNIX_MODE
    } expected[] = {
        {"dangling", kLink, FILE_ATTRIBUTE_ARCHIVE},
        {"filelink", kLink, FILE_ATTRIBUTE_ARCHIVE},
        {"plain.txt", S_IFREG | 0644, FILE_ATTRIBUTE_ARCHIVE},
        {"run.sh", S_IFREG | 0755, FILE_ATTRIBUTE_ARCHIVE},
        {"sub/in.txt", S_IFREG | 0644, FILE_ATTRIBUTE_ARCHIVE},
        {"sub./", S_IFREG | 0750, 0},
        {"sublink", kLink, kDirectoryLink},
    };
    std::vector<Entry> entries = ListAll(R("tree"));
    ASSERT_EQ(entries.size(), std::size(expected)) << "a directory link is never walked";
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].name, expected[i].name);
        EXPECT_EQ(entries[i].reserved0, expected[i].mode) << entries[i].name;
        EXPECT_EQ(entries[i].attributes, expected[i].attributes | FILE_ATTRIBUTE_UNIX_MODE)
            << entries[i].name;
    }
    EXPECT_EQ(entries[5].size, 5u) << "a directory entry keeps its total";
}

// Read-only is the write bits; hidden is a leading dot, which no attribute
// changes; system has no meaning; a link has no permissions of its own.
TEST_F(UnixModeTest, SetAttrDoesOnlyWhatLinuxCanAndSaysSo) {
    scratch.MakeFile("f.txt", 1);
    scratch.MakeFile(".dot", 1);
    symlink("f.txt", (scratch / "link").c_str());
    struct Case {
        const char* name;
        mode_t umask;
        unsigned before;
        DWORD attributes;
        BOOL result;
        unsigned after; // of f.txt, or of .dot
    } cases[] = {
        {"f.txt", 022, 0664, FILE_ATTRIBUTE_READONLY, TRUE, 0444},
        {"f.txt", 022, 0444, FILE_ATTRIBUTE_NORMAL, TRUE, 0644},
        {"f.txt", 002, 0444, FILE_ATTRIBUTE_ARCHIVE, TRUE, 0664},
        {"f.txt", 0277, 0400, FILE_ATTRIBUTE_NORMAL, TRUE, 0600},
        {"f.txt", 002, 0600, FILE_ATTRIBUTE_NORMAL, TRUE, 0600},
        {"f.txt", 022, 0644, FILE_ATTRIBUTE_HIDDEN, FALSE, 0644},
        {"f.txt", 022, 0644, FILE_ATTRIBUTE_SYSTEM, FALSE, 0644},
        {".dot", 022, 0644, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, TRUE, 0444},
        {".dot", 022, 0644, FILE_ATTRIBUTE_READONLY, FALSE, 0644},
        {"link", 022, 0644, FILE_ATTRIBUTE_READONLY, FALSE, 0644},
        {"link", 022, 0444, FILE_ATTRIBUTE_NORMAL, TRUE, 0444},
    };
    for (const Case& row : cases) {
        std::string file = scratch / (row.name[0] == '.' ? ".dot" : "f.txt");
        chmod(file.c_str(), row.before);
        mode_t saved = umask(row.umask);
        SetLastError(0);
        BOOL result = Plugin().SetAttr(NameBuffer(R(row.name)).text, row.attributes);
        umask(saved);
        EXPECT_EQ(result, row.result) << row.name << " " << row.attributes;
        EXPECT_EQ(ModeOf(file), row.after) << row.name << " " << row.attributes;
    }
}

// A session bus that takes the connection and never answers: the host's
// main thread gets its answer within seconds, and no child is left behind.
TEST_F(UnixModeTest, PropertiesNeverWaitsLongForTheDesktop) {
    std::string socketPath = scratch / "bus";
    int bus = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(bus, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(bus, 4), 0);
    std::string saved =
        getenv("DBUS_SESSION_BUS_ADDRESS") ? getenv("DBUS_SESSION_BUS_ADDRESS") : "";
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socketPath).c_str(), 1);
    StandInShellExecuteAsksDesktop();
    scratch.MakeFile("f.txt", 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Execute("f.txt", "properties"), FS_EXEC_ERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "the child was reaped";
    StandInShellExecuteSucceeds(FALSE);
    saved.empty() ? unsetenv("DBUS_SESSION_BUS_ADDRESS")
                  : setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
    close(bus);
}

// Enter in Double Commander without an association of its own: the desktop's
// opener gets the file itself, and the host its answer within seconds even
// from an opener that runs the program to its end; a directory entry's
// folder goes back to the host to enter.
TEST_F(UnixModeTest, OpenHandsTheFileItselfToTheDesktop) {
    scratch.MakeDir("bin");
    std::string opener = scratch / "bin/xdg-open";
    FILE* script = fopen(opener.c_str(), "w");
    fputs("#!/bin/sh\nprintf %s \"$1\" > \"${0%/*}/opened\"\n"
          "case \"$1\" in *slow*) sleep 4 ;; *fail*) exit 3 ;; esac\n",
          script);
    fclose(script);
    chmod(opener.c_str(), 0755);
    std::string path = getenv("PATH");
    setenv("PATH", (scratch / "bin:" + path).c_str(), 1);
    StandInShellExecuteAsksDesktop();
    for (auto [name, result] : {std::pair{"f.txt", FS_EXEC_OK},
                                {"slow.txt", FS_EXEC_OK},
                                {"fail.txt", FS_EXEC_YOURSELF}}) {
        scratch.MakeFile(name, 1);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Execute(name, "open"), result) << name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << name;
        EXPECT_EQ(scratch.Read("bin/opened"), scratch / name);
    }
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "no child left behind";
    scratch.MakeDir("d");
    NameBuffer entry(R("d./"));
    EXPECT_EQ(Plugin().ExecuteFile(nullptr, entry.text, NameBuffer("open").text), FS_EXEC_SYMLINK);
    EXPECT_EQ(std::string(entry.text), scratch / "d");
    StandInShellExecuteSucceeds(FALSE);
    setenv("PATH", path.c_str(), 1);
}
#endif
