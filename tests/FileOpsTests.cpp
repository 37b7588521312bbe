// Transfers, renames, maintenance and shell verbs on real local files.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

#include <shellapi.h>

#ifndef _WIN32
#include "StandInControl.h"
#endif

namespace {

const DWORD kSentinel = 0xdeadbeef;

class FileOpsTest : public ::testing::Test {
  protected:
    void SetUp() override { InitPlugin(); }

    // Names as the host composes them: the listed directory and the entry's
    // name from the listing, "/" separators included.
    std::string R(const std::string& relative) const {
        return Remote(scratch.Path() + kSeparator + relative);
    }

    ScratchDir scratch;
};

// Reads an entry's times as the platform reports them.
WIN32_FIND_DATAA Stat(const std::string& path) {
    WIN32_FIND_DATAA record;
    std::memset(&record, 0, sizeof record);
    HANDLE found = FindFirstFileA(path.c_str(), &record);
    EXPECT_NE(found, INVALID_HANDLE_VALUE) << path;
    if (found != INVALID_HANDLE_VALUE) {
        FindClose(found);
    }
    return record;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

} // namespace

TEST_F(FileOpsTest, ResumeIsRefusedBeforeAnythingElse) {
    scratch.MakeFile("a.txt", 3);
    SetLastError(kSentinel);
    struct Case {
        const char* what;
        int result;
    } cases[] = {
        {"a file", GetFile(R("a.txt"), scratch / "out.txt", FS_COPYFLAGS_RESUME)},
        {"the root, moved", GetFile("\\", "", FS_COPYFLAGS_RESUME | FS_COPYFLAGS_MOVE)},
        {"no names", Plugin().GetFile(nullptr, nullptr, FS_COPYFLAGS_RESUME, nullptr)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, FS_FILE_NOTSUPPORTED) << c.what;
    }
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_TRUE(g_progress.calls.empty());
    EXPECT_FALSE(scratch.Exists("out.txt"));
}

TEST_F(FileOpsTest, NamesShorterThanTheShortestPathAreRefusedFirst) {
    // "\C:" is the shortest name Windows operates on, "/x" the shortest on Linux.
    std::vector<std::string> tooShort = {"", kWindowsNames ? "\\" : "/"};
    if (kWindowsNames) {
        tooShort.push_back("\\C");
    }
    SetLastError(kSentinel);
    for (const std::string& name : tooShort) {
        NameBuffer buffer(name), verb("open");
        // Calls in the order written: a braced list is evaluated left to right.
        struct Case {
            const char* operation;
            int result, expected;
        } cases[] = {
            {"get", GetFile(name, scratch / "out.txt", 0), FS_FILE_NOTFOUND},
            {"rename from", RenMov(name, R("b"), true, false), FS_FILE_NOTFOUND},
            {"copy to", RenMov(R("a"), name, false, false), FS_FILE_NOTFOUND},
            {"delete", Plugin().DeleteFile(buffer.text), FALSE},
            {"remove directory", Plugin().RemoveDir(buffer.text), FALSE},
            {"attributes", Plugin().SetAttr(buffer.text, 0), FALSE},
            {"times", Plugin().SetTime(buffer.text, nullptr, nullptr, nullptr), FALSE},
            {"execute", Plugin().ExecuteFile(nullptr, buffer.text, verb.text), FS_EXEC_ERROR},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(c.result, c.expected) << c.operation << " '" << name << "'";
        }
    }
    EXPECT_EQ(Plugin().RenMovFile(nullptr, nullptr, FALSE, FALSE, nullptr), FS_FILE_NOTFOUND);
    EXPECT_FALSE(Plugin().DeleteFile(nullptr));
    EXPECT_EQ(GetLastError(), kSentinel) << "a platform call was made";
    EXPECT_TRUE(g_progress.calls.empty());
}

TEST_F(FileOpsTest, CopyOutReportsProgressWithTheHostsNames) {
    scratch.MakeFile("a/b/report.txt", 6, 'r');
    std::string remote = R("a/b/report.txt");
    std::string local = scratch / "out.txt";
    EXPECT_EQ(GetFile(remote, local, 0), FS_FILE_OK);
    EXPECT_EQ(scratch.Read("out.txt"), "rrrrrr");
    EXPECT_TRUE(scratch.Exists("a/b/report.txt"));
    ASSERT_EQ(g_progress.calls.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(g_progress.calls[i].pluginNumber, 7);
        EXPECT_EQ(g_progress.calls[i].source, remote) << "the RemoteName, backslash and all";
        EXPECT_EQ(g_progress.calls[i].target, local);
    }
    EXPECT_EQ(g_progress.calls[0].percent, 0);
    EXPECT_EQ(g_progress.calls[1].percent, 100);
}

TEST_F(FileOpsTest, CopyOutOntoAnExistingFileNeedsOverwrite) {
    scratch.MakeFile("new.txt", 3, 'n');
    scratch.MakeFile("old.txt", 5, 'o');
    // In order: each case starts from what the one before it left.
    struct Case {
        const char *source, *target;
        int flags, result;
        const char* targetAfter;
    } cases[] = {
        {"new.txt", "old.txt", 0, FS_FILE_EXISTS, "ooooo"},
        {"new.txt", "old.txt", FS_COPYFLAGS_OVERWRITE, FS_FILE_OK, "nnn"},
        {"missing.txt", "x.txt", 0, FS_FILE_NOTFOUND, "(none)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetFile(R(c.source), scratch / c.target, c.flags), c.result) << c.source;
        std::string after = scratch.Exists(c.target) ? scratch.Read(c.target) : "(none)";
        EXPECT_EQ(after, c.targetAfter) << c.source;
    }
}

TEST_F(FileOpsTest, MoveOutWithOverwriteReplacesTheTargetInOneStep) {
    scratch.MakeFile("tree/f.txt", 4, 'f');
    scratch.MakeFile("local.txt", 9, 'l');
    EXPECT_EQ(
        GetFile(R("tree/f.txt"), scratch / "local.txt", FS_COPYFLAGS_MOVE | FS_COPYFLAGS_OVERWRITE),
        FS_FILE_OK);
    EXPECT_EQ(scratch.Read("local.txt"), "ffff");
    EXPECT_FALSE(scratch.Exists("tree/f.txt"));

    // A move that fails leaves the user's target as it was.
    EXPECT_EQ(GetFile(R("tree/gone.txt"), scratch / "local.txt",
                      FS_COPYFLAGS_MOVE | FS_COPYFLAGS_OVERWRITE),
              FS_FILE_NOTFOUND);
    EXPECT_EQ(scratch.Read("local.txt"), "ffff");
}

// The platform says "already exists" (183) here, not "file exists" (80); the
// host must still hear "exists", so that it offers to overwrite.
TEST_F(FileOpsTest, MovingOntoAnExistingFileWithoutOverwriteIsExists) {
    scratch.MakeFile("a.txt", 1, 'a');
    scratch.MakeFile("b.txt", 1, 'b');
    SetLastError(0);
    struct Case {
        const char* operation;
        int result;
        DWORD lastError; // as the platform left it
    } cases[] = {
        {"move out", GetFile(R("a.txt"), scratch / "b.txt", FS_COPYFLAGS_MOVE), GetLastError()},
        {"rename", RenMov(R("a.txt"), R("b.txt"), true, false), GetLastError()},
        {"copy inside", RenMov(R("a.txt"), R("b.txt"), false, false), GetLastError()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, FS_FILE_EXISTS) << c.operation << ", last error " << c.lastError;
    }
    EXPECT_EQ(cases[0].lastError, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(scratch.Read("a.txt"), "a");
    EXPECT_EQ(scratch.Read("b.txt"), "b");
}

TEST_F(FileOpsTest, AbortTouchesNoFile) {
    scratch.MakeFile("a.txt", 1);
    InitPlugin(0);
    EXPECT_EQ(RenMov(R("a.txt"), R("b.txt"), true, true), FS_FILE_USERABORT);
    EXPECT_EQ(GetFile(R("a.txt"), scratch / "c.txt", FS_COPYFLAGS_MOVE), FS_FILE_USERABORT);
    EXPECT_TRUE(scratch.Exists("a.txt"));
    EXPECT_FALSE(scratch.Exists("b.txt"));
    EXPECT_FALSE(scratch.Exists("c.txt"));
    ASSERT_EQ(g_progress.calls.size(), 2u);
    EXPECT_EQ(g_progress.calls[0].source, R("a.txt"));
    EXPECT_EQ(g_progress.calls[0].target, R("b.txt"));
}

TEST_F(FileOpsTest, RenameInsideMapsPlatformErrors) {
    scratch.MakeFile("a.txt", 1, 'a');
    scratch.MakeFile("b.txt", 1, 'b');
    scratch.MakeDir("dir");
    // In order: each case starts from what the one before it left.
    struct Case {
        const char *from, *to;
        bool move, overwrite;
        int result;
    } cases[] = {
        {"a.txt", "b.txt", false, false, FS_FILE_EXISTS},
        {"vanished.txt", "c.txt", true, false, FS_FILE_NOTFOUND},
        {"dir", "d.txt", false, false, FS_FILE_NOTFOUND}, // a copy of a directory
        {"a.txt", "b.txt", false, true, FS_FILE_OK},
        {"a.txt", "dir/moved.txt", true, false, FS_FILE_OK},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RenMov(R(c.from), R(c.to), c.move, c.overwrite), c.result)
            << c.from << " to " << c.to;
    }
    EXPECT_EQ(scratch.Read("b.txt"), "a");
    EXPECT_FALSE(scratch.Exists("a.txt"));
    EXPECT_EQ(scratch.Read("dir/moved.txt"), "a");
    EXPECT_EQ(g_progress.calls.size(), std::size(cases)) << "one call before each, none after";
}

TEST_F(FileOpsTest, MovingAFileOntoItselfKeepsIt) {
    scratch.MakeFile("d/f.txt", 4, 'k');
    EXPECT_EQ(RenMov(R("d/f.txt"), R("d/f.txt"), true, true), FS_FILE_OK);
    EXPECT_EQ(scratch.Read("d/f.txt"), "kkkk");
    EXPECT_EQ(
        GetFile(R("d/f.txt"), scratch / "d/f.txt", FS_COPYFLAGS_MOVE | FS_COPYFLAGS_OVERWRITE),
        FS_FILE_OK);
    EXPECT_EQ(scratch.Read("d/f.txt"), "kkkk");
#ifdef _WIN32
    EXPECT_EQ(RenMov(R("d/f.txt"), R("d/F.TXT"), true, true), FS_FILE_OK);
    EXPECT_EQ(scratch.Read("d/F.TXT"), "kkkk");
#endif
    // A directory entry names its directory: moving one onto the other keeps both.
    EXPECT_EQ(RenMov(R("d./"), R("d"), true, true), FS_FILE_OK);
    EXPECT_TRUE(scratch.Exists("d"));
}

TEST_F(FileOpsTest, DeleteAndRemoveDirectory) {
    scratch.MakeFile("tree/x.txt", 1);
    scratch.MakeDir("tree/empty");
    EXPECT_FALSE(Plugin().DeleteFile(NameBuffer(R("tree")).text)) << "a directory is no file";
    EXPECT_TRUE(Plugin().DeleteFile(NameBuffer(R("tree/x.txt")).text));
    EXPECT_FALSE(scratch.Exists("tree/x.txt"));
    EXPECT_FALSE(Plugin().DeleteFile(NameBuffer(R("tree/x.txt")).text));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    scratch.MakeFile("tree/y.txt", 1);
    EXPECT_FALSE(Plugin().RemoveDir(NameBuffer(R("tree")).text));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(Plugin().RemoveDir(NameBuffer(R("tree/empty./")).text)) << "a directory entry";
    EXPECT_FALSE(scratch.Exists("tree/empty"));
}

TEST_F(FileOpsTest, SetAttrZeroMeansNormal) {
    scratch.MakeFile("a.txt", 1);
    NameBuffer name(R("a.txt"));
    EXPECT_TRUE(Plugin().SetAttr(name.text, FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(GetFileAttributesA((scratch / "a.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(Plugin().SetAttr(name.text, 0));
    EXPECT_EQ(GetFileAttributesA((scratch / "a.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_FALSE(Plugin().SetAttr(NameBuffer(R("missing")).text, 0));
}

TEST_F(FileOpsTest, SetTimeChangesOnlyTheTimesGiven) {
    scratch.MakeFile("a.txt", 1);
    std::string path = scratch / "a.txt";
    WIN32_FIND_DATAA before = Stat(path);
    FILETIME written = {0x12345600, 0x01D00000}; // in 2014
    NameBuffer name(R("a.txt"));
    EXPECT_TRUE(Plugin().SetTime(name.text, nullptr, nullptr, &written));
    WIN32_FIND_DATAA after = Stat(path);
    EXPECT_TRUE(SameTime(after.ftLastWriteTime, written));
    EXPECT_TRUE(SameTime(after.ftLastAccessTime, before.ftLastAccessTime));

    FILETIME accessed = {0x22345600, 0x01D10000};
    EXPECT_TRUE(Plugin().SetTime(name.text, nullptr, &accessed, nullptr));
    after = Stat(path);
    EXPECT_TRUE(SameTime(after.ftLastAccessTime, accessed));
    EXPECT_TRUE(SameTime(after.ftLastWriteTime, written));

    EXPECT_FALSE(Plugin().SetTime(NameBuffer(R("missing")).text, nullptr, nullptr, &written));
#ifndef _WIN32
    EXPECT_EQ(StandInOpenFiles(), 0);
#endif
}

TEST_F(FileOpsTest, ExecuteHandsOpenBackAndRunsOnlyProperties) {
    scratch.MakeDir("a/b");
    NameBuffer entry(R("a/b./"));
    for (const char* verb : {"open", "OPEN", "Open"}) {
        NameBuffer text(verb);
        NameBuffer opened(R("a/b./"));
        // Linux hands a directory entry's folder back to the host to enter.
        EXPECT_EQ(Plugin().ExecuteFile(nullptr, opened.text, text.text),
                  kWindowsNames ? FS_EXEC_YOURSELF : FS_EXEC_SYMLINK)
            << verb;
    }
    for (const char* verb : {"opened", "propertie", "", "properties "}) {
        NameBuffer text(verb);
        EXPECT_EQ(Plugin().ExecuteFile(nullptr, entry.text, text.text), FS_EXEC_ERROR) << verb;
    }
    EXPECT_EQ(Plugin().ExecuteFile(nullptr, entry.text, nullptr), FS_EXEC_ERROR);

    NameBuffer verb("Properties");
#ifdef _WIN32
    // Headless Wine has no desktop for the dialog, and says so at once.
    EXPECT_EQ(Plugin().ExecuteFile(nullptr, entry.text, verb.text), FS_EXEC_ERROR);
#else
    // The desktop is not asked here: a test must open no dialog.
    HWND window = reinterpret_cast<HWND>(0x1234);
    StandInShellExecuteSucceeds(FALSE);
    EXPECT_EQ(Plugin().ExecuteFile(window, entry.text, verb.text), FS_EXEC_ERROR);
    StandInShellExecuteSucceeds(TRUE);
    EXPECT_EQ(Plugin().ExecuteFile(window, entry.text, verb.text), FS_EXEC_OK);
    StandInShellExecuteSucceeds(FALSE);
    ShellExecuteRecord record;
    StandInLastShellExecute(&record);
    EXPECT_EQ(record.mask, static_cast<unsigned long>(SEE_MASK_INVOKEIDLIST))
        << "needed by the verb";
    EXPECT_EQ(record.show, SW_SHOW);
    EXPECT_EQ(record.window, window);
    EXPECT_STREQ(record.verb, "Properties") << "the verb exactly as the host passed it";
    EXPECT_EQ(std::string(record.file), scratch / "a/b") << "the entry's own directory";
#endif
}

// The host builds a copy's target from the entry's listed name, so the target
// may lie in folders that do not exist yet.
TEST_F(FileOpsTest, NestedEntriesGoOutIntoFoldersMadeForThem) {
    scratch.MakeFile("tree/a/b/report.txt", 6, 'r');
    std::string target = scratch.Path() + kSeparator + "out" + kSeparator + "a/b/report.txt";
    EXPECT_EQ(GetFile(R("tree/a/b/report.txt"), target, 0), FS_FILE_OK);
    EXPECT_EQ(scratch.Read("out/a/b/report.txt"), "rrrrrr");

    // Moves and renames inside the namespace too.
    EXPECT_EQ(RenMov(R("tree/a/b/report.txt"), R("moved/x/report.txt"), true, false), FS_FILE_OK);
    EXPECT_EQ(scratch.Read("moved/x/report.txt"), "rrrrrr");
    EXPECT_FALSE(scratch.Exists("tree/a/b/report.txt"));

    // Nothing is made for a source that is not there.
    std::string nowhere = scratch.Path() + kSeparator + "none" + kSeparator + "a/gone.txt";
    EXPECT_EQ(GetFile(R("tree/gone.txt"), nowhere, 0), FS_FILE_NOTFOUND);
    EXPECT_EQ(RenMov(R("tree/gone.txt"), R("none2/gone.txt"), false, false), FS_FILE_NOTFOUND);
    EXPECT_FALSE(scratch.Exists("none"));
    EXPECT_FALSE(scratch.Exists("none2"));

    // A folder copied inside the namespace is made as a folder, its contents
    // left to their own entries; a move takes the folder whole.
    scratch.MakeDir("tree/d");
    scratch.MakeFile("tree/d/in.txt", 2, 'i');
    EXPECT_EQ(RenMov(R("tree/d./"), R("made/d./"), false, false), FS_FILE_OK);
    EXPECT_TRUE(std::filesystem::is_directory(scratch.Native("made/d")));
    EXPECT_FALSE(scratch.Exists("made/d/in.txt"));
    EXPECT_EQ(scratch.Read("tree/d/in.txt"), "ii");
    EXPECT_EQ(RenMov(R("tree/d./"), R("made/d./"), false, false), FS_FILE_OK) << "already there";
    EXPECT_EQ(RenMov(R("tree/gone./"), R("made/gone./"), false, false), FS_FILE_NOTFOUND);
    EXPECT_FALSE(scratch.Exists("made/gone"));
    scratch.MakeFile("made/file", 4, 'k');
    EXPECT_EQ(RenMov(R("tree/d./"), R("made/file./"), false, true), FS_FILE_WRITEERROR);
    EXPECT_EQ(scratch.Read("made/file"), "kkkk") << "a file is never replaced by a folder";
    EXPECT_EQ(RenMov(R("tree/d./"), R("moved/d"), true, false), FS_FILE_OK);
    EXPECT_EQ(scratch.Read("moved/d/in.txt"), "ii");
    EXPECT_FALSE(scratch.Exists("tree/d"));
}

TEST_F(FileOpsTest, TimesAreSetOnDirectoryEntriesAndReadOnlyFiles) {
    FILETIME written = {0x12345600, 0x01D00000}; // in 2014
    scratch.MakeDir("dir");
    EXPECT_TRUE(Plugin().SetTime(NameBuffer(R("dir./")).text, nullptr, nullptr, &written));
    EXPECT_TRUE(SameTime(Stat(scratch / "dir").ftLastWriteTime, written));

    scratch.MakeFile("locked.txt", 1);
    ASSERT_TRUE(Plugin().SetAttr(NameBuffer(R("locked.txt")).text, FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(Plugin().SetTime(NameBuffer(R("locked.txt")).text, nullptr, nullptr, &written));
    EXPECT_TRUE(SameTime(Stat(scratch / "locked.txt").ftLastWriteTime, written));
    EXPECT_TRUE(Plugin().SetAttr(NameBuffer(R("locked.txt")).text, 0));
#ifdef _WIN32
    // Another program holding the file open does not stop it either.
    HANDLE held = CreateFileA((scratch / "dir").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_TRUE(Plugin().SetTime(NameBuffer(R("dir./")).text, nullptr, nullptr, &written));
    CloseHandle(held);
#else
    EXPECT_EQ(StandInOpenFiles(), 0);
#endif
}

namespace {

// Double Commander declares FsRenMovFile's flags as one-byte Booleans and
// leaves garbage above the lowest byte; these came from it.
const BOOL kDirtyFalse = 0x38ea5600;
const BOOL kDirtyTrue = 0x54001f01;

} // namespace

TEST_F(FileOpsTest, RenameFlagsCountOnlyTheirLowestByte) {
    scratch.MakeFile("my file.txt", 2, 'm');
    scratch.MakeFile("root.txt", 3, 'r');
    NameBuffer mine(R("my file.txt")), root(R("root.txt")), copy(R("copy.txt"));
    EXPECT_EQ(Plugin().RenMovFile(mine.text, root.text, kDirtyTrue, kDirtyFalse, nullptr),
              FS_FILE_EXISTS)
        << "a garbage false is no overwrite";
    EXPECT_EQ(Plugin().RenMovFile(mine.text, root.text, kDirtyFalse, kDirtyFalse, nullptr),
              FS_FILE_EXISTS);
    EXPECT_EQ(scratch.Read("root.txt"), "rrr");
    EXPECT_EQ(Plugin().RenMovFile(mine.text, copy.text, kDirtyFalse, kDirtyFalse, nullptr),
              FS_FILE_OK);
    EXPECT_EQ(scratch.Read("my file.txt"), "mm") << "a garbage false is no move";
    EXPECT_EQ(scratch.Read("copy.txt"), "mm");

    EXPECT_EQ(Plugin().RenMovFile(mine.text, root.text, kDirtyTrue, kDirtyTrue, nullptr),
              FS_FILE_OK);
    EXPECT_EQ(scratch.Read("root.txt"), "mm");
    EXPECT_FALSE(scratch.Exists("my file.txt"));
}

// Double Commander reads a BOOL result as its lowest byte.
TEST_F(FileOpsTest, BooleanResultsAreExactlyZeroOrOne) {
    FILETIME written = {0x12345600, 0x01D00000};
    scratch.MakeFile("d/f.txt", 1);
    scratch.MakeDir("gone");
    EXPECT_EQ(Plugin().LinksToLocalFiles(), TRUE);
    EXPECT_EQ(Plugin().SetAttr(NameBuffer(R("d/f.txt")).text, FILE_ATTRIBUTE_READONLY), TRUE);
    EXPECT_EQ(Plugin().SetAttr(NameBuffer(R("d/f.txt")).text, 0), TRUE);
    EXPECT_EQ(Plugin().SetTime(NameBuffer(R("d/f.txt")).text, nullptr, nullptr, &written), TRUE);
    WIN32_FIND_DATAA record;
    HANDLE search = Plugin().FindFirst(NameBuffer(Remote(scratch.Path())).text, &record);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Plugin().FindNext(search, &record), TRUE);
    Plugin().FindClose(search);
    EXPECT_EQ(Plugin().DeleteFile(NameBuffer(R("d/f.txt")).text), TRUE);
    EXPECT_EQ(Plugin().DeleteFile(NameBuffer(R("d./")).text), TRUE);
    EXPECT_EQ(Plugin().RemoveDir(NameBuffer(R("gone")).text), TRUE);
    EXPECT_EQ(Plugin().RemoveDir(NameBuffer(R("gone")).text), FALSE);
    EXPECT_EQ(Plugin().DeleteFile(NameBuffer(R("d./")).text), FALSE);
}

// The file managers take a directory entry for a file and delete a selection
// in list order, where every folder follows its contents.
TEST_F(FileOpsTest, DeletingDirectoryEntriesInListOrderRemovesTheTree) {
    scratch.MakeFile("tree/a/b/report.txt", 4);
    scratch.MakeFile("tree/a/g", 1);
    scratch.MakeDir("tree/a/c");
    scratch.MakeDir("tree/empty");
    std::string tree = scratch / "tree";

    SetLastError(kSentinel);
    EXPECT_FALSE(Plugin().DeleteFile(NameBuffer(R("tree/a./")).text)) << "a folder not empty";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(scratch.Exists("tree/a/b/report.txt"));
    EXPECT_TRUE(scratch.Exists("tree/a/c"));

    std::vector<Entry> entries = ListAll(Remote(tree));
    ASSERT_EQ(entries.size(), 6u);
    for (const Entry& entry : entries) {
        EXPECT_TRUE(Plugin().DeleteFile(NameBuffer(Remote(tree + kSeparator + entry.name)).text))
            << entry.name;
    }
    EXPECT_TRUE(ListAll(Remote(tree)).empty());
    EXPECT_TRUE(scratch.Exists("tree")) << "the listed folder itself is no entry";
}

TEST_F(FileOpsTest, CopyingDirectoryEntriesOutMakesTheirFolders) {
    scratch.MakeFile("tree/a/b/report.txt", 6, 'r');
    scratch.MakeDir("tree/a/empty");
    std::string tree = scratch / "tree";
    std::string out = scratch / "out";
    scratch.MakeDir("out");
    // The host names each target after the entry, "./" and all
    // ("C:\out\a/b./" on Windows, "/home/u/out/a/b./" on Linux).
    for (int round = 0; round < 2; ++round) {
        for (const Entry& entry : ListAll(Remote(tree))) {
            bool folder = entry.name.back() == '/';
            EXPECT_EQ(
                GetFile(Remote(tree + kSeparator + entry.name), out + kSeparator + entry.name, 0),
                folder || round == 0 ? FS_FILE_OK : FS_FILE_EXISTS)
                << entry.name << " in round " << round << ": a folder already there will do";
        }
    }
    EXPECT_EQ(scratch.Read("out/a/b/report.txt"), "rrrrrr");
    EXPECT_TRUE(scratch.Exists("out/a/empty"));
    EXPECT_EQ(ListAll(Remote(out)), ListAll(Remote(tree)));

    // Alone, an entry makes its folder, the folders above it, and no more.
    g_progress.calls.clear();
    EXPECT_EQ(GetFile(R("tree/a./"), scratch / "alone/x/a./", 0), FS_FILE_OK);
    ASSERT_EQ(g_progress.calls.size(), 2u);
    EXPECT_EQ(g_progress.calls[1].percent, 100);
    EXPECT_EQ(g_progress.calls[1].target, scratch / "alone/x/a./");
    EXPECT_EQ(ListAll(Remote(scratch / "alone")),
              std::vector<Entry>({{"x/a./", 0, 0}, {"x./", 0, 0}}));
    // Double Commander names a lone entry's target with the entry twice over.
    EXPECT_EQ(GetFile(R("tree/a/b./"), scratch / "twice/a/b./a/b./", 0), FS_FILE_OK);
    EXPECT_EQ(ListAll(Remote(scratch / "twice")),
              std::vector<Entry>({{"a/b./", 0, 0}, {"a./", 0, 0}}));
    EXPECT_EQ(GetFile(R("tree/a./"), scratch / "renamed", 0), FS_FILE_OK)
        << "a target without the entry's suffix is the folder's name";
    EXPECT_TRUE(scratch.Exists("renamed"));

    // A file in the way stays; so does everything when the source is no folder.
    scratch.MakeFile("blocker", 2, 'b');
    EXPECT_EQ(GetFile(R("tree/a./"), scratch / "blocker./", FS_COPYFLAGS_OVERWRITE),
              FS_FILE_WRITEERROR);
    EXPECT_EQ(scratch.Read("blocker"), "bb");
    EXPECT_EQ(GetFile(R("tree/missing./"), scratch / "none/missing./", 0), FS_FILE_NOTFOUND);
    EXPECT_EQ(GetFile(R("blocker./"), scratch / "none/blocker./", 0), FS_FILE_NOTFOUND);
    EXPECT_EQ(GetFile(R("tree/a./"), scratch / "none/./", 0), FS_FILE_WRITEERROR);
    EXPECT_FALSE(scratch.Exists("none"));
}

TEST_F(FileOpsTest, MovingADirectoryEntryOutTakesOnlyAnEmptyFolder) {
    scratch.MakeFile("tree/a/f.txt", 1);
    SetLastError(kSentinel);
    EXPECT_EQ(GetFile(R("tree/a./"), scratch / "out/a./", FS_COPYFLAGS_MOVE), FS_FILE_READERROR);
    EXPECT_FALSE(scratch.Exists("out")) << "nothing made for a refused move";
    EXPECT_TRUE(scratch.Exists("tree/a/f.txt"));

    scratch.MakeDir("out/a");
    EXPECT_EQ(GetFile(R("tree/a./"), scratch / "out/a./", FS_COPYFLAGS_MOVE), FS_FILE_READERROR);
    EXPECT_TRUE(scratch.Exists("out/a")) << "a folder that was there stays";

    // In list order the contents go first, and then the folder can follow.
    EXPECT_EQ(GetFile(R("tree/a/f.txt"), scratch / "out/a/f.txt", FS_COPYFLAGS_MOVE), FS_FILE_OK);
    EXPECT_EQ(GetFile(R("tree/a./"), scratch / "out/a./", FS_COPYFLAGS_MOVE), FS_FILE_OK);
    EXPECT_FALSE(scratch.Exists("tree/a"));
    EXPECT_TRUE(scratch.Exists("out/a/f.txt"));

    // Onto itself, an empty folder stays.
    scratch.MakeDir("tree/e");
    EXPECT_EQ(GetFile(R("tree/e./"), scratch / "tree/e./", FS_COPYFLAGS_MOVE), FS_FILE_OK);
    EXPECT_TRUE(scratch.Exists("tree/e"));
}

TEST_F(FileOpsTest, RemovingADirectoryLinkKeepsWhatItPointsTo) {
#ifdef _WIN32
    // Wine makes no directory links; Windows' RemoveDirectory removes a link
    // itself, which the Linux layer does as well, proved here natively.
    GTEST_SKIP() << "no directory link can be made under Wine";
#else
    scratch.MakeFile("target/inside.txt", 3, 'i');
    std::filesystem::create_directory_symlink(scratch / "target", scratch / "dlink");
    EXPECT_TRUE(Plugin().RemoveDir(NameBuffer(R("dlink")).text));
    EXPECT_FALSE(std::filesystem::is_symlink(scratch.Native("dlink")));
    EXPECT_EQ(scratch.Read("target/inside.txt"), "iii");

    // A link to a file is no directory to remove.
    std::filesystem::create_symlink(scratch / "target/inside.txt", scratch / "flink");
    SetLastError(kSentinel);
    EXPECT_FALSE(Plugin().RemoveDir(NameBuffer(R("flink")).text));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_TRUE(std::filesystem::is_symlink(scratch.Native("flink")));
#endif
}

TEST_F(FileOpsTest, DeletingAReadOnlyFileFollowsThePlatform) {
    scratch.MakeFile("locked.txt", 1);
    NameBuffer name(R("locked.txt"));
    ASSERT_TRUE(Plugin().SetAttr(name.text, FILE_ATTRIBUTE_READONLY));
    SetLastError(kSentinel);
    // Windows refuses until the attribute is cleared; Linux deletes as rm does.
    EXPECT_EQ(Plugin().DeleteFile(name.text), kWindowsNames ? FALSE : TRUE);
    EXPECT_EQ(GetLastError(), kWindowsNames ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : kSentinel);
    EXPECT_EQ(scratch.Exists("locked.txt"), kWindowsNames);
    if (kWindowsNames) {
        EXPECT_TRUE(Plugin().SetAttr(name.text, 0));
    }
}
