// Every listed name means exactly the file it shows. A tree of names that the
// platform could mistake for one another (trailing dots and spaces, best-fit
// look-alikes, double-byte names whose second byte is "\", case and
// backslashes on Linux) is listed, and every entry is copied out and deleted
// through the plugin: each operation must reach its own file and no other.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// The listing's names are in the host's code page; the fixture's in UTF-8.
std::string AnsiToUtf8(const std::string& ansi) {
#ifdef _WIN32
    std::wstring wide(ansi.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide.data(),
                                     static_cast<int>(wide.size()));
    std::string utf8(4 * ansi.size() + 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), length, utf8.data(),
                        static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8.c_str();
#else
    return ansi;
#endif
}

// Relative UTF-8 paths of files whose content is their own path. Windows
// cannot hold some of the Linux names (it takes "\" for a separator and one
// of "Case" and "case"), and Linux has no device names.
std::vector<std::string> TrickyFiles() {
    std::vector<std::string> files = {
        "b", "b.", "b ", "c/in.txt", "c./own.txt", "zł.txt", "zl.txt", "表/ソ.txt", "ソ表.txt",
    };
    if (!kWindowsNames) {
        files.insert(files.end(), {"back\\slash", "Case", "case", "dir./inside", "dir/x"});
    }
    return files;
}

bool IsDirectoryEntry(const std::string& name) {
    return name.size() >= 2 && name.compare(name.size() - 2, 2, "./") == 0;
}

// The real UTF-8 path of a listed directory entry, found through a file
// listed beneath it: the file's real path cut to the entry's depth.
std::string RealDirectory(const std::string& entryName,
                          const std::map<std::string, std::string>& reachedBy) {
    std::string prefix = entryName.substr(0, entryName.size() - 2) + "/"; // "a/b./" -> "a/b/"
    size_t depth = static_cast<size_t>(std::count(prefix.begin(), prefix.end(), '/'));
    for (const auto& [file, listedName] : reachedBy) {
        if (listedName.rfind(prefix, 0) == 0) {
            size_t cut = 0;
            for (size_t i = 0; i < depth; ++i) {
                cut = file.find('/', cut) + 1;
            }
            return file.substr(0, cut - 1);
        }
    }
    return "";
}

class ExactNamesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitPlugin();
        for (const std::string& file : TrickyFiles()) {
            fs::create_directories(scratch.Native(file).parent_path());
            std::ofstream(scratch.Native(file), std::ios::binary) << file;
        }
    }
    std::string R(const std::string& ansiName) const {
        return Remote(scratch.Path() + kSeparator + ansiName);
    }
    std::set<std::string> Remaining() const {
        std::set<std::string> remaining;
        for (const std::string& file : TrickyFiles()) {
            if (scratch.Exists(file)) {
                remaining.insert(file);
            }
        }
        return remaining;
    }

    ScratchDir scratch;
    ScratchDir out;
};

} // namespace

TEST_F(ExactNamesTest, EveryOperationOnAListedNameReachesExactlyThatFile) {
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    ASSERT_FALSE(entries.empty());
    std::vector<std::string> fixture = TrickyFiles();

    // Copy every file entry out: its content names the file it reached.
    std::map<std::string, std::string> reachedBy; // fixture file -> listed name
    for (const Entry& entry : entries) {
        if (IsDirectoryEntry(entry.name)) {
            continue;
        }
        NameBuffer remote(R(entry.name)), local(out / "copy");
        ASSERT_EQ(Plugin().GetFile(remote.text, local.text, FS_COPYFLAGS_OVERWRITE, nullptr),
                  FS_FILE_OK)
            << entry.name;
        std::string reached = out.Read("copy");
        std::string shown = AnsiToUtf8(entry.name);
        EXPECT_TRUE(reachedBy.emplace(reached, entry.name).second)
            << entry.name << " and " << reachedBy[reached] << " both reach " << reached;
        EXPECT_EQ(entry.size, reached.size()) << entry.name;
        if (shown != reached) {
            // Only a short name may stand in for a name the code page cannot
            // hold, and it must not look like any other file.
            EXPECT_TRUE(kWindowsNames) << entry.name << " reached " << reached;
            EXPECT_EQ(std::count(fixture.begin(), fixture.end(), shown), 0)
                << entry.name << " looks like another file but reached " << reached;
        }
    }
    if (!kWindowsNames) {
        EXPECT_EQ(reachedBy.size(), fixture.size()) << "Linux lists every name as it is";
    }

    // A directory entry carries the size of exactly its own directory's files.
    for (const Entry& entry : entries) {
        if (IsDirectoryEntry(entry.name)) {
            std::string real = RealDirectory(entry.name, reachedBy);
            ASSERT_FALSE(real.empty()) << entry.name;
            uint64_t size = 0;
            for (const std::string& file : fixture) {
                size += file.rfind(real + "/", 0) == 0 ? file.size() : 0;
            }
            EXPECT_EQ(entry.size, size) << entry.name << " is " << real;
        }
    }

    // Delete the files one by one: each delete takes exactly its own file.
    std::set<std::string> remaining = Remaining();
    for (const auto& [file, listedName] : reachedBy) {
        NameBuffer remote(R(listedName));
        ASSERT_TRUE(Plugin().DeleteFile(remote.text)) << listedName;
        remaining.erase(file);
        EXPECT_EQ(Remaining(), remaining) << "deleting " << listedName;
    }
    // Then the directories, deepest first as listed: each removes its own.
    std::map<std::string, std::string> realDirectories;
    for (const Entry& entry : entries) {
        if (IsDirectoryEntry(entry.name)) {
            realDirectories[entry.name] = RealDirectory(entry.name, reachedBy);
        }
    }
    std::vector<std::string> directories;
    for (const Entry& entry : entries) {
        if (IsDirectoryEntry(entry.name)) {
            directories.push_back(entry.name);
        }
    }
    for (size_t i = 0; i < directories.size(); ++i) {
        const std::string& real = realDirectories[directories[i]];
        NameBuffer remote(R(directories[i]));
        EXPECT_TRUE(Plugin().RemoveDir(remote.text)) << directories[i];
        EXPECT_FALSE(scratch.Exists(real)) << directories[i];
        for (size_t later = i + 1; later < directories.size(); ++later) {
            EXPECT_TRUE(scratch.Exists(realDirectories[directories[later]]))
                << "removing " << directories[i] << " took " << directories[later];
        }
    }
    EXPECT_TRUE(Remaining().empty());
}

TEST_F(ExactNamesTest, RenamesAndAttributesReachTheTrailingDotName) {
    ASSERT_TRUE(scratch.Exists("b.")) << "the platform cannot hold b.";
    EXPECT_EQ(Plugin().RenMovFile(NameBuffer(R("b.")).text, NameBuffer(R("moved")).text, TRUE,
                                  FALSE, nullptr),
              FS_FILE_OK);
    EXPECT_EQ(scratch.Read("moved"), "b.");
    EXPECT_EQ(scratch.Read("b"), "b");
    EXPECT_EQ(Plugin().RenMovFile(NameBuffer(R("b ")).text, NameBuffer(R("b.")).text, FALSE, FALSE,
                                  nullptr),
              FS_FILE_OK);
    EXPECT_EQ(scratch.Read("b."), "b ");
    EXPECT_EQ(scratch.Read("b"), "b");

    EXPECT_TRUE(Plugin().SetAttr(NameBuffer(R("b.")).text, FILE_ATTRIBUTE_READONLY));
    if (!kWindowsNames) {
        // Linux deletes read-only files as well, so the bits tell it there.
        auto writable = [&](const char* name) {
            return (std::filesystem::status(scratch.Native(name)).permissions() &
                    std::filesystem::perms::owner_write) != std::filesystem::perms::none;
        };
        EXPECT_FALSE(writable("b.")) << "b. became read-only";
        EXPECT_TRUE(writable("b")) << "b itself stays writable";
    }
    EXPECT_TRUE(Plugin().DeleteFile(NameBuffer(R("b")).text)) << "b itself stays writable";
    // Windows refuses to delete a read-only file; Linux deletes it as rm does.
    EXPECT_EQ(Plugin().DeleteFile(NameBuffer(R("b.")).text), kWindowsNames ? FALSE : TRUE)
        << "b. became read-only";
    EXPECT_EQ(Plugin().SetAttr(NameBuffer(R("b.")).text, 0), kWindowsNames ? TRUE : FALSE);
}
