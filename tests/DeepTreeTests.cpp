// Listing trees whose paths run past 260 characters: every directory is
// walked to the bottom, every entry whose relative name fits the record is
// listed, and every file counts in each total above it, listed or not.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct LevelFile {
    std::string name;
    uint64_t size;
};

// One directory of a chain: its name and its files. The files' names sort
// before the next level's directory, so that any enumeration order that
// sorts gives the files first.
struct Level {
    std::string directory;
    std::vector<LevelFile> files;
};

std::string Numbered(const char* prefix, int number, int width) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%0*d", prefix, width, number);
    return text;
}

// `depth` nested directories named `prefix` and a number, `width` digits,
// each holding "a" and "b" of sizes that tell the levels apart.
std::vector<Level> Chain(int depth, const char* prefix, int width) {
    std::vector<Level> levels;
    for (int i = 1; i <= depth; ++i) {
        levels.push_back({Numbered(prefix, i, width),
                          {{"a", static_cast<uint64_t>(i)}, {"b", 1000ull * i + 7}}});
    }
    return levels;
}

// The listing a chain must give, worked out on its own: each directory after
// its contents with the total beneath it; a name of 260 characters or more
// (the "./" of a directory included) is left out, its size still counted.
uint64_t ExpectedFrom(const std::vector<Level>& levels, size_t at, const std::string& parent,
                      std::vector<Entry>* out) {
    if (at == levels.size()) {
        return 0;
    }
    const Level& level = levels[at];
    std::string relative = parent + level.directory + "/";
    uint64_t total = 0;
    for (const LevelFile& file : level.files) {
        std::string name = relative + file.name;
        if (name.size() < MAX_PATH) {
            out->push_back({name, file.size, 0});
        }
        total += file.size;
    }
    total += ExpectedFrom(levels, at + 1, relative, out);
    std::string entry = parent + level.directory + "./";
    if (entry.size() < MAX_PATH) {
        out->push_back({entry, total, 0});
    }
    return total;
}

std::vector<Entry> Expected(const std::vector<Level>& levels) {
    std::vector<Entry> entries;
    ExpectedFrom(levels, 0, "", &entries);
    return entries;
}

uint64_t TotalOf(const std::vector<Level>& levels) {
    uint64_t total = 0;
    for (const Level& level : levels) {
        for (const LevelFile& file : level.files) {
            total += file.size;
        }
    }
    return total;
}

size_t FileCount(const std::vector<Level>& levels) {
    return levels.size() * 2;
}

// Lays a chain out below `base` (an existing directory). Windows takes long
// paths in the \\?\ form the scratch helpers use; Linux takes at most 4,096
// bytes per call, so there the chain is made relative to open directories.
class LaidOutChain {
  public:
    LaidOutChain(const std::string& base, const std::vector<Level>& levels)
        : base_(base), levels_(levels) {}

    void Make() const {
#ifdef _WIN32
        std::string path = base_;
        for (const Level& level : levels_) {
            path += "\\" + level.directory;
            std::filesystem::create_directories("\\\\?\\" + path);
            for (const LevelFile& file : level.files) {
                std::filesystem::path name = "\\\\?\\" + path + "\\" + file.name;
                std::FILE* out = _wfopen(name.c_str(), L"wb");
                ASSERT_NE(out, nullptr) << path.size();
                std::string bytes(static_cast<size_t>(file.size), 'x');
                std::fwrite(bytes.data(), 1, bytes.size(), out);
                std::fclose(out);
            }
        }
#else
        int directory = open(base_.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(directory, 0) << base_;
        for (const Level& level : levels_) {
            ASSERT_EQ(mkdirat(directory, level.directory.c_str(), 0755), 0);
            int inner = openat(directory, level.directory.c_str(), O_RDONLY | O_DIRECTORY);
            close(directory);
            directory = inner;
            ASSERT_GE(directory, 0);
            for (const LevelFile& file : level.files) {
                int out = openat(directory, file.name.c_str(), O_CREAT | O_WRONLY, 0644);
                ASSERT_GE(out, 0);
                std::string bytes(static_cast<size_t>(file.size), 'x');
                ASSERT_EQ(write(out, bytes.data(), bytes.size()),
                          static_cast<ssize_t>(bytes.size()));
                close(out);
            }
        }
        close(directory);
#endif
    }
    // The scratch directory's own removal takes paths of any length on
    // Windows; Linux removes the chain here, from the bottom up.
    ~LaidOutChain() {
#ifndef _WIN32
        std::vector<int> directories{open(base_.c_str(), O_RDONLY | O_DIRECTORY)};
        for (const Level& level : levels_) {
            int inner = openat(directories.back(), level.directory.c_str(), O_RDONLY | O_DIRECTORY);
            if (inner < 0) {
                break;
            }
            directories.push_back(inner);
        }
        for (size_t i = directories.size(); i-- > 1;) {
            for (const LevelFile& file : levels_[i - 1].files) {
                unlinkat(directories[i], file.name.c_str(), 0);
            }
            close(directories[i]);
            unlinkat(directories[i - 1], levels_[i - 1].directory.c_str(), AT_REMOVEDIR);
        }
        close(directories[0]);
#endif
    }

    size_t DeepestPathLength() const {
        size_t length = base_.size();
        for (const Level& level : levels_) {
            length += 1 + level.directory.size();
        }
        return length + 2; // and a file's name
    }

  private:
    std::string base_;
    std::vector<Level> levels_;
};

class DeepTreeTest : public ::testing::Test {
  protected:
    void SetUp() override { InitPlugin(); }
    ScratchDir scratch;
};

} // namespace

TEST_F(DeepTreeTest, EveryLevelBelowALongListedPathIsListedWithItsTotal) {
    // A listed folder of 200 characters holding ten nested folders of 9
    // characters, two files each: the deeper half lies past 260 characters.
    std::string root = PathOfLength(scratch, 200);
    scratch.MakeDir(root.substr(scratch.Path().size() + 1));
    std::vector<Level> levels = Chain(10, "level", 4);
    LaidOutChain chain(root, levels);
    ASSERT_NO_FATAL_FAILURE(chain.Make());
    ASSERT_GT(chain.DeepestPathLength(), 300u);
    std::vector<Entry> entries = ListAll(Remote(root));
    std::vector<Entry> expected = Expected(levels);
    ASSERT_EQ(expected.size(), 30u) << "every name of this tree fits the record";
    EXPECT_EQ(entries, expected);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(), (Entry{"level0001./", TotalOf(levels), 0}));
}

TEST_F(DeepTreeTest, NamesTooLongForTheRecordAreCountedButNotListed) {
    // Thirty levels of 9 characters: relative names pass 259 characters near
    // the bottom. Those are left out, and every total above still has them.
    std::vector<Level> levels = Chain(30, "nest", 5);
    LaidOutChain chain(scratch.Path(), levels);
    ASSERT_NO_FATAL_FAILURE(chain.Make());
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    std::vector<Entry> expected = Expected(levels);
    ASSERT_LT(expected.size(), FileCount(levels) + levels.size()) << "some names must not fit";
    ASSERT_GT(expected.size(), 40u);
    EXPECT_EQ(entries, expected);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(), (Entry{"nest00001./", TotalOf(levels), 0}));
    for (const Entry& entry : entries) {
        EXPECT_LT(entry.name.size(), static_cast<size_t>(MAX_PATH));
    }
}

// Wine hands every path to Linux, which takes at most 4,096 bytes in one call;
// Windows itself and the Linux edition walk far deeper.
const size_t kDeepestTestedPath = kWindowsNames ? 3000 : 9000;

TEST_F(DeepTreeTest, WalksPathsOfThousandsOfCharacters) {
    // Levels of 60 characters, so that few relative names fit, yet every byte
    // beneath counts in the top total.
    int depth = static_cast<int>((kDeepestTestedPath - scratch.Path().size()) / 61);
    std::vector<Level> levels = Chain(depth, std::string(55, 'd').c_str(), 5);
    LaidOutChain chain(scratch.Path(), levels);
    ASSERT_NO_FATAL_FAILURE(chain.Make());
    ASSERT_GT(chain.DeepestPathLength(), kDeepestTestedPath - 62);
    int before = OpenEnumerations();
    std::vector<Entry> entries = ListAll(Remote(scratch.Path()));
    EXPECT_EQ(entries, Expected(levels));
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().size, TotalOf(levels));
    EXPECT_EQ(OpenEnumerations(), before) << "every level's enumeration is closed";
}
