// Inside the plugin: how a RemoteName becomes the platform's path, and which
// listed names the walker enters.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "listing/SearchState.h"
#include "plugin/RemoteName.h"

namespace {

// The platform path of a RemoteName, or "refused".
std::string PathOf(const std::string& remoteName, size_t capacity = MAX_PATH) {
    char path[MAX_PATH];
    return PlatformPathOf(remoteName.c_str(), path, capacity) ? std::string(path) : "refused";
}

WIN32_FIND_DATAA Record(DWORD attributes, DWORD tag) {
    WIN32_FIND_DATAA record;
    std::memset(&record, 0, sizeof record);
    record.dwFileAttributes = attributes;
    record.dwReserved0 = tag;
    return record;
}

} // namespace

TEST(NameMapping, DirectoryEntriesNameTheirDirectoriesExactly) {
#ifdef _WIN32
    EXPECT_EQ(PathOf("\\C:\\data\\a/b/report.txt"), "\\\\?\\C:\\data\\a\\b\\report.txt");
    EXPECT_EQ(PathOf("\\C:\\data\\a/b./"), "\\\\?\\C:\\data\\a\\b");
    EXPECT_EQ(PathOf("\\C:\\data\\x../"), "\\\\?\\C:\\data\\x.") << "the directory named x.";
    EXPECT_EQ(PathOf("\\C:\\data\\b."), "\\\\?\\C:\\data\\b.");
    EXPECT_EQ(PathOf("\\C:\\\\data\\\\b"), "\\\\?\\C:\\data\\b") << "doubled separators";
    EXPECT_EQ(PathOf("\\C:\\"), "\\\\?\\C:\\");
    EXPECT_EQ(PathOf("\\\\\\srv\\share\\f."), "\\\\?\\UNC\\srv\\share\\f.");
    EXPECT_EQ(PathOf("\\C:\\data\\nul.txt"), "\\\\?\\C:\\data\\nul.txt");
    // Only Win32 parsing resolves "..", and it would drop the dot of "b.".
    EXPECT_EQ(PathOf("\\C:\\data\\..\\b"), "C:\\data\\..\\b");
    EXPECT_EQ(PathOf("\\C:\\data\\..\\b."), "refused");
    EXPECT_EQ(PathOf("\\rel\\b "), "refused");
#else
    EXPECT_EQ(PathOf("/data/a/b/report.txt"), "/data/a/b/report.txt");
    EXPECT_EQ(PathOf("/data/a/b./"), "/data/a/b");
    EXPECT_EQ(PathOf("/data/x../"), "/data/x.") << "the directory named x.";
    EXPECT_EQ(PathOf("/data/b. "), "/data/b. ");
    EXPECT_EQ(PathOf("/data/back\\slash"), "/data/back\\slash");
#endif
}

TEST(NameMapping, LongPathsStayExactOrAreRefused) {
    // 259 characters in all: the literal prefix no longer fits, so the
    // ordinary form is used where it means the same file, and refused where
    // it would not.
    std::string remote = std::string(kRemoteNamePrefix) + (kPathSeparator == '\\' ? "C:" : "");
    std::string plain = remote + kPathSeparator + std::string(258 - remote.size(), 'n');
    ASSERT_EQ(plain.size(), 259u);
    EXPECT_EQ(PathOf(plain), plain.substr(std::strlen(kRemoteNamePrefix)));
    std::string dotted = plain.substr(0, 258) + ".";
#ifdef _WIN32
    EXPECT_EQ(PathOf(dotted), "refused");
#else
    EXPECT_EQ(PathOf(dotted), dotted);
#endif
    EXPECT_EQ(PathOf(plain, 200), "refused");
}

TEST(WalkerRules, OnlyRealFoldersAreEntered) {
    const DWORD directory = FILE_ATTRIBUTE_DIRECTORY;
    const DWORD reparse = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_TRUE(IsFileEntry(Record(FILE_ATTRIBUTE_ARCHIVE, 0)));
    EXPECT_FALSE(IsFileEntry(Record(directory, 0)));
    // Junctions, directory links and mount points are listed, not followed.
    EXPECT_TRUE(IsFileEntry(Record(reparse, 0xA0000003))); // mount point / junction
    EXPECT_TRUE(IsFileEntry(Record(reparse, 0xA000000C))); // symbolic link
    EXPECT_TRUE(IsFileEntry(Record(reparse, 0)));          // unknown: taken for a link
    // Cloud placeholders and deduplicated folders are ordinary folders.
    EXPECT_FALSE(IsFileEntry(Record(reparse, 0x9000001A))); // OneDrive (cloud)
    EXPECT_FALSE(IsFileEntry(Record(reparse, 0x80000013))); // deduplication
    EXPECT_TRUE(IsFileEntry(Record(FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001A)))
        << "a cloud file is still a file";
}
