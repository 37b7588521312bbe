// Listing a tree flat through FsFindFirst, FsFindNext and FsFindClose.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "StandInControl.h"
#endif

namespace {

const uint64_t kGiB = 1024ull * 1024 * 1024;

// "f10000" and the like; formatted by hand, which also keeps GCC 12's
// -Wrestrict false positive on string concatenation away.
std::string Numbered(const char* prefix, int number) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%d", prefix, number);
    return text;
}

std::vector<Entry> Entries(std::initializer_list<Entry> entries) {
    return entries;
}

// Holds one listing open so that a test can drive it step by step.
struct Listing {
    HANDLE search;
    WIN32_FIND_DATAA record;
    explicit Listing(const std::string& remote) {
        NameBuffer path(remote);
        search = Plugin().FindFirst(path.text, &record);
    }
    ~Listing() {
        if (search != INVALID_HANDLE_VALUE) {
            Plugin().FindClose(search);
        }
    }
    bool Next() { return Plugin().FindNext(search, &record) != FALSE; }
    std::string Name() const { return record.cFileName; }
};

class ListingTest : public ::testing::Test {
  protected:
    void SetUp() override { InitPlugin(); }
    ScratchDir scratch;
};

} // namespace

TEST_F(ListingTest, FilesComeUnderRelativeNamesAndDirectoriesAfterTheirContents) {
    scratch.MakeFile("a/b/f", 10);
    scratch.MakeFile("a/g", 5);
    scratch.MakeFile("x", 1);
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    EXPECT_EQ(
        entries,
        Entries({{"a/b/f", 10, 0}, {"a/b./", 10, 0}, {"a/g", 5, 0}, {"a./", 15, 0}, {"x", 1, 0}}));
    for (const Entry& entry : entries) {
        EXPECT_EQ(entry.attributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << entry.name;
    }
}

TEST_F(ListingTest, NestedEmptyDirectoriesComeDeepestFirst) {
    scratch.MakeDir("a/b/c");
    EXPECT_EQ(ListAll(Remote(scratch.Path())),
              Entries({{"a/b/c./", 0, 0}, {"a/b./", 0, 0}, {"a./", 0, 0}}));

    ScratchDir only;
    only.MakeDir("e");
    EXPECT_EQ(ListAll(Remote(only.Path())), Entries({{"e./", 0, 0}}));
}

TEST_F(ListingTest, NothingToListIsRefused) {
    int before = OpenEnumerations();
    for (const std::string& path : {std::string("\\"), std::string(""), Remote(scratch.Path()),
                                    Remote(scratch / "no-such-dir")}) {
        NameBuffer name(path);
        WIN32_FIND_DATAA record;
        std::memset(&record, 0x5A, sizeof record);
        EXPECT_EQ(Plugin().FindFirst(name.text, &record), INVALID_HANDLE_VALUE) << path;
        if (path.size() <= 1) { // refused before the walk: the record is all zeros
            WIN32_FIND_DATAA zero;
            std::memset(&zero, 0, sizeof zero);
            EXPECT_EQ(std::memcmp(&record, &zero, sizeof record), 0) << path;
        }
    }
    EXPECT_EQ(Plugin().FindFirst(nullptr, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenEnumerations(), before) << "a refused listing keeps nothing open";
}

// The directory, a separator and the all-names mask ("\\*.*" on Windows, "/*"
// on Linux) must fit in 259 characters.
const size_t kLongestListedPath = kWindowsNames ? 255 : 257;

TEST_F(ListingTest, ListedPathMayHave255CharactersButNot256) {
    // The plugin sets no last error of its own: a refused path leaves the
    // sentinel, an accepted one reaches the platform, which sets it.
    WIN32_FIND_DATAA record;
    NameBuffer fits(Remote(PathOfLength(scratch, kLongestListedPath)));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Plugin().FindFirst(fits.text, &record), INVALID_HANDLE_VALUE);
    EXPECT_NE(GetLastError(), 0xdeadbeefu) << "the longest path was not tried";

    NameBuffer tooLong(Remote(PathOfLength(scratch, kLongestListedPath + 1)));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Plugin().FindFirst(tooLong.text, &record), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "a path one longer reached the platform";
}

TEST_F(ListingTest, ListsA255CharacterDirectory) {
    std::string directory = PathOfLength(scratch, kLongestListedPath);
    std::filesystem::path native = directory;
#ifdef _WIN32
    native = "\\\\?\\" + directory;
#endif
    std::error_code error;
    std::filesystem::create_directories(native / "f", error);
    if (error) {
        GTEST_SKIP() << "the platform cannot create " << directory.size() << " characters";
    }
    EXPECT_EQ(ListAll(Remote(directory)), Entries({{"f./", 0, 0}}));
}

TEST_F(ListingTest, DirectoryLinkIsAFileEntryThatIsNotWalked) {
#ifdef _WIN32
    // Wine's CreateSymbolicLinkA makes no link, so ctest makes one on the
    // Unix side beforehand: <fixture>/tree/j -> <fixture>/target.
    const char* fixture = std::getenv("QUENFOLD_LINK_FIXTURE");
    if (fixture == nullptr) {
        GTEST_SKIP() << "run through ctest, which makes the directory link";
    }
    std::string tree = std::string(fixture) + "\\tree";
#else
    scratch.MakeFile("target/inside.txt", 4);
    scratch.MakeDir("tree");
    std::filesystem::create_directory_symlink(scratch / "target", scratch / "tree/j");
    std::string tree = scratch / "tree";
#endif
    Listing listing(Remote(tree));
    ASSERT_NE(listing.search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(listing.Name(), "j");
    EXPECT_NE(listing.record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(listing.record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_FALSE(listing.Next()) << "the link's target is not walked";
}

TEST_F(ListingTest, DanglingLinkIsListedAsALinkAndCanBeDeleted) {
#ifdef _WIN32
    // Windows lists a dangling link as the link it is; Wine lists none, so
    // this is proven natively.
    GTEST_SKIP() << "Wine does not list dangling links";
#else
    scratch.MakeFile("d/f", 3);
    std::filesystem::create_symlink(scratch / "no-such-target", scratch / "d/gone");
    scratch.MakeDir("only");
    std::filesystem::create_symlink(scratch / "no-such-target", scratch / "only/gone");
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    EXPECT_EQ(entries, Entries({{"d/f", 3, 0},
                                {"d/gone", 0, 0},
                                {"d./", 3, 0},
                                {"only/gone", 0, 0},
                                {"only./", 0, 0}}));
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[1].reserved0, static_cast<DWORD>(S_IFLNK | 0777)) << "shown as a link";
    EXPECT_EQ(entries[1].attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

    // The listed link can be deleted, and then its folder removed.
    NameBuffer link(Remote(scratch / "only/gone"));
    EXPECT_TRUE(Plugin().DeleteFile(link.text));
    std::error_code error;
    EXPECT_FALSE(std::filesystem::is_symlink(scratch / "only/gone", error));
    NameBuffer folder(Remote(scratch / "only"));
    EXPECT_TRUE(Plugin().RemoveDir(folder.text));
    EXPECT_FALSE(scratch.Exists("only"));
#endif
}

TEST_F(ListingTest, NamesOfAFolderThatCannotBeSearchedAreListedWithWhatIsKnown) {
#ifdef _WIN32
    GTEST_SKIP() << "a folder readable but not searchable is a POSIX permission";
#else
    // "u" may be read but not searched: its names are known, nothing else.
    // Root passes every permission, so the listing runs in a child process
    // that has given its privileges up.
    scratch.MakeFile("u/x", 5);
    scratch.MakeFile("u/s/deep", 9);
    std::filesystem::create_symlink("x", scratch / "u/l");
    std::filesystem::permissions(scratch.Path(), std::filesystem::perms::all);
    std::filesystem::permissions(scratch / "u", std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::group_read |
                                                    std::filesystem::perms::others_read);
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(channel[0]);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(2);
        }
        std::string report;
        for (const Entry& entry : ListAll(Remote(scratch.Path()))) {
            report += entry.name + " " + std::to_string(entry.size) + " " +
                      std::to_string(entry.attributes) + (S_ISLNK(entry.reserved0) ? " link" : "") +
                      "\n";
        }
        ssize_t written = write(channel[1], report.data(), report.size());
        _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 3);
    }
    close(channel[1]);
    std::string report;
    char buffer[512];
    ssize_t got;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::filesystem::permissions(scratch / "u", std::filesystem::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    ASSERT_EQ(WEXITSTATUS(status), 0);
    // The link as a link (by its mode: what it points to is not known), the
    // folder as a folder that cannot be opened (empty), the file as a file:
    // all of size 0, since nothing more can be known. "u" itself, whose owner
    // may not write it, is read-only. Each carries a Unix mode, as every Linux
    // record does.
    auto text = [](DWORD attributes) {
        return std::to_string(attributes | FILE_ATTRIBUTE_UNIX_MODE);
    };
    std::string link = text(FILE_ATTRIBUTE_ARCHIVE) + " link";
    std::string file = text(FILE_ATTRIBUTE_ARCHIVE);
    std::string folder = text(FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(report, "u/l 0 " + link + "\nu/s./ 0 " + text(0) + "\nu/x 0 " + file + "\nu./ 0 " +
                          folder + "\n");
#endif
}

TEST_F(ListingTest, SizesAddUpAcrossBothHalves) {
    scratch.MakeFile("d/one", 3 * kGiB);
    scratch.MakeFile("d/two", 3 * kGiB);
    scratch.MakeFile("d/three", 7);
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries.back(), (Entry{"d./", 6 * kGiB + 7, 0}));
}

TEST_F(ListingTest, DotNamesAreNeverEntries) {
    scratch.MakeFile("d/.hidden", 2);
#ifndef _WIN32
    scratch.MakeFile("d/...", 3); // Windows drops trailing dots: no such name there
#endif
    for (const Entry& entry : ListAll(Remote(scratch.Path()))) {
        EXPECT_NE(entry.name, "d/.");
        EXPECT_NE(entry.name, "d/..");
        EXPECT_NE(entry.name, ".");
        EXPECT_NE(entry.name, "..");
    }
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
#ifdef _WIN32
    EXPECT_EQ(entries, Entries({{"d/.hidden", 2, 0}, {"d./", 2, 0}}));
#else
    EXPECT_EQ(entries, Entries({{"d/...", 3, 0}, {"d/.hidden", 2, 0}, {"d./", 5, 0}}));
#endif
}

TEST_F(ListingTest, RootWithATrailingSeparatorListsTheSame) {
    scratch.MakeFile("a/f", 1);
    std::string withSeparator = scratch.Path() + kSeparator;
    EXPECT_EQ(ListAll(Remote(withSeparator)), Entries({{"a/f", 1, 0}, {"a./", 1, 0}}));
}

TEST_F(ListingTest, SubdirectoryThatCannotBeOpenedIsListedEmpty) {
    scratch.MakeFile("a.txt", 1);
    scratch.MakeFile("locked/inner.txt", 9);
    scratch.MakeFile("z.txt", 2);
#ifdef _WIN32
    // Wine reads a small directory at once; the subdirectory vanishes before
    // the walk descends into it, so opening it fails.
    Listing listing(Remote(scratch.Path()));
    ASSERT_EQ(listing.Name(), "a.txt");
    std::filesystem::rename(scratch / "locked", scratch / "..moved");
    std::vector<std::string> names;
    std::vector<uint64_t> sizes;
    while (listing.Next()) {
        names.push_back(listing.Name());
        sizes.push_back(listing.record.nFileSizeLow);
    }
    std::filesystem::remove_all(scratch / "..moved");
    EXPECT_EQ(names, (std::vector<std::string>{"locked./", "z.txt"}));
    EXPECT_EQ(sizes, (std::vector<uint64_t>{0, 2}));
#else
    StandInSetFault("FindFirstFileA", "/locked", ERROR_ACCESS_DENIED);
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    StandInSetFault(nullptr, nullptr, 0);
    EXPECT_EQ(entries, Entries({{"a.txt", 1, 0}, {"locked./", 0, 0}, {"z.txt", 2, 0}}));
#endif
}

TEST_F(ListingTest, NamesThatDoNotFitAreSkippedAndTheWalkGoesOn) {
    // A subdirectory chain that makes the current directory 250 characters
    // long: its pattern still fits, but a 100-character file name inside
    // makes a relative name longer than 259.
    std::string prefix = scratch.Path() + kSeparator;
    size_t room = 250 - prefix.size();
    std::string deep = std::string(room / 2, 'd') + "/" + std::string(room - room / 2 - 1, 'e');
    scratch.MakeFile("a.txt", 1);
    scratch.MakeFile(deep + "/short", 4);
    scratch.MakeFile(deep + "/" + std::string(100, 'L'), 8);
    scratch.MakeFile("z.txt", 2);
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    std::string first = deep.substr(0, deep.find('/'));
    EXPECT_EQ(entries, Entries({{"a.txt", 1, 0},
                                {deep + "/short", 4, 0},
                                {deep + "./", 12, 0},
                                {first + "./", 12, 0},
                                {"z.txt", 2, 0}}));
}

TEST_F(ListingTest, SubdirectoryPast260CharactersIsEnteredAndCounted) {
    // The chain directory has 255 characters; its subdirectory "xxxxx" makes a
    // path of 261, which the walk still enters, so that its file is listed
    // under its relative name and counted in both totals above it.
    std::string prefix = scratch.Path() + kSeparator;
    std::string chain = std::string(255 - prefix.size(), 'c');
    scratch.MakeFile(chain + "/xxxxx/inside", 3);
    scratch.MakeFile(chain + "/y", 1);
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    EXPECT_EQ(entries, Entries({{chain + "/xxxxx/inside", 3, 0},
                                {chain + "/xxxxx./", 3, 0},
                                {chain + "/y", 1, 0},
                                {chain + "./", 4, 0}}));
}

TEST_F(ListingTest, ProgressIsConsultedEveryThousandFiles) {
    for (int i = 0; i < 2500; ++i) {
        scratch.MakeFile(Numbered("f", 10000 + i));
    }
    Listing listing(Remote(scratch.Path()));
    ASSERT_NE(listing.search, INVALID_HANDLE_VALUE);
    int entries = 1;
    std::vector<int> consultedAt;
    while (true) {
        size_t before = g_progress.calls.size();
        if (!listing.Next()) {
            break;
        }
        if (g_progress.calls.size() != before) {
            consultedAt.push_back(entries);
        }
        ++entries;
    }
    EXPECT_EQ(entries, 2500);
    EXPECT_EQ(consultedAt, (std::vector<int>{1000, 2000}));
    ASSERT_EQ(g_progress.calls.size(), 2u);
    EXPECT_EQ(g_progress.calls[0].source, "Dirs: 0");
    EXPECT_EQ(g_progress.calls[0].target, "Files: 1000");
    EXPECT_EQ(g_progress.calls[0].percent, 0);
    EXPECT_EQ(g_progress.calls[0].pluginNumber, 7);
    EXPECT_EQ(g_progress.calls[1].target, "Files: 2000");
    EXPECT_FALSE(listing.Next()) << "the end stays the end";
    EXPECT_FALSE(listing.Next());
}

TEST_F(ListingTest, CountersStartAtZeroForEveryListing) {
    scratch.MakeDir("e");
    scratch.MakeFile("f.txt");
    for (int round = 0; round < 2; ++round) {
        g_progress.calls.clear();
        Listing listing(Remote(scratch.Path()));
        ASSERT_EQ(listing.Name(), "e./");
        EXPECT_TRUE(listing.Next());
        ASSERT_EQ(g_progress.calls.size(), 1u) << "round " << round;
        EXPECT_EQ(g_progress.calls[0].source, "Dirs: 1");
        EXPECT_EQ(g_progress.calls[0].target, "Files: 0");
    }
}

TEST_F(ListingTest, AbortStopsTheListingAndCloseReleasesEveryEnumeration) {
    for (int i = 0; i < 1001; ++i) {
        scratch.MakeFile(Numbered("a/b/c/f", 10000 + i));
    }
    InitPlugin(0);
    int before = OpenEnumerations();
    {
        Listing listing(Remote(scratch.Path()));
        ASSERT_NE(listing.search, INVALID_HANDLE_VALUE);
        int steps = 1;
        while (listing.Next()) {
            ++steps;
        }
        EXPECT_EQ(steps, 1000) << "aborted at the first consultation";
        EXPECT_EQ(g_progress.calls.size(), 1u);
        EXPECT_EQ(OpenEnumerations() - before, 4) << "root, a, b and c stay open until close";
    }
    EXPECT_EQ(OpenEnumerations(), before);

    // The next listing counts from zero again.
    InitPlugin();
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    EXPECT_EQ(entries.size(), 1004u);
    ASSERT_EQ(g_progress.calls.size(), 1u);
    EXPECT_EQ(g_progress.calls[0].target, "Files: 1000");
}

// The file manager may list in its transfer thread beside the panel's listing;
// each listing counts for itself, and closing one resets nothing of another.
TEST_F(ListingTest, InterleavedListingsKeepTheirOwnCounts) {
    for (int i = 0; i < 1000; ++i) {
        scratch.MakeFile(Numbered("one/f", 10000 + i));
    }
    ScratchDir other;
    other.MakeDir("e1");
    other.MakeDir("e2");
    other.MakeFile("f", 1);
    Listing big(Remote(scratch / "one"));
    for (int i = 1; i < 1000; ++i) {
        ASSERT_TRUE(big.Next());
    }
    {
        Listing small(Remote(other.Path()));
        while (small.Next()) {
        }
    }
    g_progress.calls.clear();
    EXPECT_FALSE(big.Next()) << "the 1000th file was the last";
    ASSERT_EQ(g_progress.calls.size(), 1u);
    EXPECT_EQ(g_progress.calls[0].source, "Dirs: 0");
    EXPECT_EQ(g_progress.calls[0].target, "Files: 1000");

    // A directory of the second listing, finished in the middle of the first,
    // carries only its own size.
    Listing first(Remote(other.Path()));
    Listing second(Remote(scratch.Path()));
    EXPECT_EQ(first.Name(), "e1./");
    EXPECT_TRUE(second.Next());
    EXPECT_TRUE(first.Next());
    EXPECT_EQ(first.Name(), "e2./");
    EXPECT_EQ(first.record.nFileSizeLow, 0u);
}

TEST_F(ListingTest, BadHandlesAreRefused) {
    WIN32_FIND_DATAA record;
    EXPECT_FALSE(Plugin().FindNext(INVALID_HANDLE_VALUE, &record));
    EXPECT_FALSE(Plugin().FindNext(nullptr, &record));
    EXPECT_EQ(Plugin().FindClose(INVALID_HANDLE_VALUE), 0);
    EXPECT_EQ(Plugin().FindClose(nullptr), 0);
}
