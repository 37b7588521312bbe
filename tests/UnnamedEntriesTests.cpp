// The Windows edition's walk over names the host's code page cannot hold,
// driven here through an enumeration served from memory: Wine makes a short
// name for every such name, and only a volume without short names (common on
// Windows) has names that cannot be given at all. Such a name is not listed,
// but its bytes count in every directory above it.
#include <cstdint>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "listing/SearchState.h"
#include "wide/WideEnumeration.h"

namespace {

const DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;

wide::Entry File(std::wstring name, uint64_t size, std::wstring shortName = L"") {
    return {std::move(name), std::move(shortName), FILE_ATTRIBUTE_ARCHIVE, 0, size};
}

wide::Entry Folder(std::wstring name, std::wstring shortName = L"") {
    return {std::move(name), std::move(shortName), kFolder, 0, 0};
}

// Every listed name with its size, walked from `root` through `tree`.
std::map<std::string, uint64_t> Walk(const wide::Tree& tree, const char* root) {
    wide::Serve(&tree);
    std::map<std::string, uint64_t> listed;
    SearchState* state = CreateSearchState(root);
    EXPECT_NE(state, nullptr);
    WIN32_FIND_DATAA record;
    while (state != nullptr && WalkStep(state, &record)) {
        uint64_t size = (static_cast<uint64_t>(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
        EXPECT_TRUE(listed.emplace(record.cFileName, size).second) << record.cFileName;
    }
    if (state != nullptr) {
        DestroySearchState(state);
    }
    EXPECT_EQ(wide::OpenEnumerations(), 0) << "every enumeration closed";
    wide::Serve(nullptr);
    return listed;
}

} // namespace

TEST(UnnamedEntries, CountInEveryTotalAboveThemAndAreNotListed) {
    const wide::Tree tree = {
        {L"C:\\tree", {Folder(L"listed"), File(L"top.txt", 1)}},
        {L"C:\\tree\\listed", {File(L"a.txt", 3), File(L"日本.txt", 7), Folder(L"zł")}},
        {L"C:\\tree\\listed\\zł", {File(L"f", 2), Folder(L"sub"), Folder(L"ソ")}},
        {L"C:\\tree\\listed\\zł\\sub", {File(L"g", 3)}},
        {L"C:\\tree\\listed\\zł\\ソ", {}},
    };
    std::map<std::string, uint64_t> expected = {
        {"listed/a.txt", 3},
        {"listed./", 3 + 7 + 5},
        {"top.txt", 1},
    };
    EXPECT_EQ(Walk(tree, "C:\\tree"), expected);
}

TEST(UnnamedEntries, ShortNamesStillStandInForTheNamesTheyBelongTo) {
    const wide::Tree tree = {
        {L"C:\\tree", {File(L"zł.txt", 4, L"ZL~1.TXT"), Folder(L"表", L"7D1A~1")}},
        {L"C:\\tree\\表", {File(L"in.txt", 6), File(L"ソ.txt", 7)}},
    };
    std::map<std::string, uint64_t> expected = {
        {"ZL~1.TXT", 4},
        {"7D1A~1/in.txt", 6},
        {"7D1A~1./", 6 + 7},
    };
    EXPECT_EQ(Walk(tree, "C:\\tree"), expected);
}

// A drive's root gives no "." first, so the first name the enumeration opens
// with may be one it cannot give; links beneath an unnamed folder count by
// their own size and are not followed; a folder beneath it that cannot be
// opened counts nothing, as in the listing.
TEST(UnnamedEntries, FirstNameOfADriveAndWhatLiesBeneathAreCountedAsTheListingCounts) {
    wide::Entry link = Folder(L"j");
    link.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    link.reparseTag = FILE_ATTRIBUTE_REPARSE_TAG_SYMLINK;
    link.size = 0;
    wide::Entry fileLink = File(L"l", 11);
    fileLink.reparseTag = FILE_ATTRIBUTE_REPARSE_TAG_SYMLINK;
    const wide::Tree tree = {
        {L"C:\\", {Folder(L"日本"), Folder(L"ok")}},
        {L"C:\\日本", {link, fileLink, Folder(L"closed"), Folder(L"d")}},
        {L"C:\\日本\\j", {File(L"outside", 1000)}},
        {L"C:\\日本\\d", {Folder(L"e")}},
        {L"C:\\日本\\d\\e", {File(L"deep", 5)}},
        {L"C:\\ok", {File(L"x", 2)}},
    };
    std::map<std::string, uint64_t> expected = {{"ok/x", 2}, {"ok./", 2}};
    EXPECT_EQ(Walk(tree, "C:\\"), expected);

    // The same folder one level down, found by FindNextExact.
    const wide::Tree nested = {
        {L"C:\\t", {Folder(L"a")}},
        {L"C:\\t\\a", {File(L"b", 1), Folder(L"日本")}},
        {L"C:\\t\\a\\日本", {link, fileLink, Folder(L"closed"), Folder(L"d")}},
        {L"C:\\t\\a\\日本\\d", {Folder(L"e")}},
        {L"C:\\t\\a\\日本\\d\\e", {File(L"deep", 5)}},
    };
    expected = {{"a/b", 1}, {"a./", 1 + 11 + 5}};
    EXPECT_EQ(Walk(nested, "C:\\t"), expected);
}

// Three files of 2^63-1 bytes (sparse ones can be that big): every total
// above them stops at 2^64-1 instead of wrapping, beneath a folder that cannot
// be named too.
TEST(UnnamedEntries, TotalsStopAtTheLargestSizeInsteadOfWrapping) {
    const uint64_t huge = INT64_MAX, most = UINT64_MAX;
    const std::vector<wide::Entry> three = {File(L"1", huge), File(L"2", huge), File(L"3", huge)};
    const wide::Tree tree = {
        {L"C:\\t", {Folder(L"a"), Folder(L"u")}},
        {L"C:\\t\\a", {Folder(L"b"), File(L"x", 1)}},
        {L"C:\\t\\a\\b", three},
        {L"C:\\t\\u", {Folder(L"日本")}},
        {L"C:\\t\\u\\日本", three},
    };
    std::map<std::string, uint64_t> expected = {{"a/b/1", huge}, {"a/b/2", huge}, {"a/b/3", huge},
                                                {"a/b./", most}, {"a/x", 1},      {"a./", most},
                                                {"u./", most}};
    EXPECT_EQ(Walk(tree, "C:\\t"), expected);
}
