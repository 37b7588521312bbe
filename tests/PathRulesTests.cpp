// The path rules of each platform, checked against the platform itself: under
// Wine the Windows rules (both separators, trailing dots and spaces dropped,
// doubled separators tolerated), natively Linux names taken byte for byte.
#include <cstring>
#include <string>

#include "TestSupport.h"

namespace {

std::string Join(const ScratchDir& scratch, const std::string& tail) {
    return scratch.Path() + kSeparator + tail;
}

bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace

TEST(PathRules, BothSeparatorsTrailingDotsAndDoubledSeparators) {
    ScratchDir scratch;
    scratch.MakeFile("a/b/f.txt", 1);
    enum Kind { kNothing, kDirectory, kFile };
    struct Row {
        const char* tail;
        Kind onWindows;
        Kind onLinux;
    } rows[] = {
        {"a/b", kDirectory, kDirectory},  {"a\\b", kDirectory, kNothing},
        {"a/b./", kDirectory, kNothing},  {"a/b.", kDirectory, kNothing},
        {"a./b/f.txt", kFile, kNothing},  {"a//b\\\\f.txt", kFile, kNothing},
        {"a/b/f.txt.", kFile, kNothing},  {"a/b/f.txt ", kFile, kNothing},
        {"a/b/", kDirectory, kDirectory}, {"a//b//f.txt", kFile, kFile},
    };
    for (const Row& row : rows) {
        std::string path = Join(scratch, row.tail);
        Kind expected = kWindowsNames ? row.onWindows : row.onLinux;
        EXPECT_EQ(IsDirectory(path), expected == kDirectory) << row.tail;
        EXPECT_EQ(IsFile(path), expected == kFile) << row.tail;
    }
    EXPECT_FALSE(IsFile(Join(scratch, "a/b/f.tx")));
}

TEST(PathRules, AllNamesPatternMatchesNamesWithoutADot) {
    ScratchDir scratch;
    scratch.MakeFile("plain", 1);
    scratch.MakeFile("with.dot", 1);
    WIN32_FIND_DATAA record;
    HANDLE found =
        FindFirstFileA((scratch.Path() + (kWindowsNames ? "\\*.*" : "/*")).c_str(), &record);
    ASSERT_NE(found, INVALID_HANDLE_VALUE);
    std::string names;
    do {
        names += std::string(record.cFileName) + " ";
    } while (FindNextFileA(found, &record));
    FindClose(found);
    EXPECT_EQ(names, ". .. plain with.dot ") << "dot names first, then name order";
}

TEST(PathRules, MissingThingsAndRefusalsCarryWindowsErrors) {
    ScratchDir scratch;
    scratch.MakeFile("f.txt", 1);
    scratch.MakeDir("d");
    WIN32_FIND_DATAA record;
    SetLastError(0);
    EXPECT_EQ(FindFirstFileA(Join(scratch, kWindowsNames ? "missing\\*.*" : "missing/*").c_str(),
                             &record),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA(Join(scratch, "d").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileA(Join(scratch, "gone.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(CopyFileA(Join(scratch, "d").c_str(), Join(scratch, "e").c_str(), TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(CopyFileA(Join(scratch, "f.txt").c_str(), Join(scratch, "f.txt").c_str(), FALSE))
        << "copying a file onto itself must not truncate it";
    EXPECT_EQ(scratch.Read("f.txt"), "x");
    EXPECT_FALSE(MoveFileA(Join(scratch, "f.txt").c_str(), Join(scratch, "d").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(MoveFileExA(Join(scratch, "f.txt").c_str(), Join(scratch, "f.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(scratch.Read("f.txt"), "x");
}
