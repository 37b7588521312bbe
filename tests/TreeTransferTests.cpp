// Trees as the file managers transfer them: entry by entry in list order, and
// two copies at once into one folder that does not exist yet.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Call {
    char form; // 'o' copy out, 'c' copy inside, 'm' move inside
    const char *from, *to;
    bool overwrite = false;
};

// Progress heard from two threads at once, which the recorder is not made for.
int WINAPI Continue(int, char*, char*, int) {
    return 0;
}

int Perform(const ScratchDir& s, const Call& c) {
    return c.form == 'o' ? GetFile(Remote(s / c.from), s / c.to, 0)
                         : RenMov(Remote(s / c.from), Remote(s / c.to), c.form == 'm', c.overwrite);
}

// The files and empty folders ("e/") under the scratch directory.
std::set<std::string> Left(const ScratchDir& s) {
    std::set<std::string> left;
    fs::path root = s.Native("t").parent_path();
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_directory() || fs::is_empty(e.path())) {
            left.insert(e.path().lexically_relative(root).generic_string() +
                        (e.is_directory() ? "/" : ""));
        }
    }
    return left;
}

} // namespace

TEST(TreeTransfer, ListOrderMovesAndCopiesAtOnce) {
    Plugin().Init(7, Continue, nullptr, nullptr);
    const std::set<std::string> tree = {"t/a/b/f.txt", "t/a/g.txt", "t/e/"};
    struct {
        int tries; // above 1: the two calls at once, on two threads
        std::vector<Call> calls;
        std::vector<int> results;
        std::set<std::string> left;
    } cases[] = {
        {20,
         {{'o', "t/a/g.txt", "o/n/m/l/g.txt"}, {'o', "t/a/b/f.txt", "o/n/m/l/f.txt"}},
         {0, 0},
         {"o/n/m/l/f.txt", "o/n/m/l/g.txt", "t/a/b/f.txt", "t/a/g.txt", "t/e/"}},
        {20,
         {{'c', "t/a/b./", "c/n/m/b./"}, {'c', "t/a/b/f.txt", "c/n/m/b/f.txt"}},
         {0, 0},
         {"c/n/m/b/f.txt", "t/a/b/f.txt", "t/a/g.txt", "t/e/"}},
        {1,
         {{'m', "t/a/b/f.txt", "m/a/b/f.txt"},
          {'m', "t/a/b./", "m/a/b./"},
          {'m', "t/a/g.txt", "m/a/g.txt"},
          {'m', "t/a./", "m/a./"}},
         {0, 0, 0, 0},
         {"m/a/b/f.txt", "m/a/g.txt", "t/e/"}},
        {1,
         {{'m', "t/a./", "t/c./"}, {'m', "t/e./", "n/m/e./"}},
         {0, 0},
         {"t/c/b/f.txt", "t/c/g.txt", "n/m/e/"}},
        {1,
         {{'m', "t/a./", "t/e./"},
          {'m', "t/a./", "t/e./", true},
          {'m', "t/e./", "t/a/g.txt", true},
          {'m', "t/gone./", "t/e./"}},
         {1, 1, 1, 2},
         tree},
    };
    // 32-bit Wine under qemu-user crashes with two busy threads.
    bool threads = std::getenv("QUENFOLD_EMULATED_32") == nullptr;
    for (const auto& c : cases) {
        for (int attempt = 0; attempt < c.tries; ++attempt) {
            ScratchDir s;
            s.MakeFile("t/a/b/f.txt", 1);
            s.MakeFile("t/a/g.txt", 1);
            s.MakeDir("t/e");
            std::vector<int> results(c.calls.size());
            std::atomic<int> waiting = c.tries > 1 && threads ? 2 : 0; // released together
            auto perform = [&](size_t i) {
                for (--waiting; waiting > 0;) {
                }
                results[i] = Perform(s, c.calls[i]);
            };
            std::thread other;
            for (size_t i = 0; i < c.calls.size(); ++i) {
                if (i == 0 && waiting > 0) {
                    other = std::thread(perform, i);
                } else {
                    perform(i);
                }
            }
            if (other.joinable()) {
                other.join();
            }
            EXPECT_EQ(results, c.results) << c.calls[0].to << ", try " << attempt;
            EXPECT_EQ(Left(s), c.left) << c.calls[0].to << ", try " << attempt;
        }
    }
}
