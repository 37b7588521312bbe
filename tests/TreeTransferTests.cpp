// Trees as the file managers transfer them: entry by entry in list order, and
// two copies at once into one folder that does not exist yet.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), {}};
}

} // namespace

TEST(TreeTransfer, ListOrderMovesAndCopiesAtOnce) {
    Plugin().Init(7, nullptr, nullptr, nullptr); // no recorder: two threads call at once
    const std::string tree = "t./ t/a./ t/a/b./ t/a/b/f.txt t/a/g.txt t/e./ ";
    const std::string cases[][3] = {
        // calls "form from to" (o copies out, c copies, m moves, M moves over), with two
        // copies at once 20 times; results; the names listed after, in order
        {"o t/a/g.txt o/n/m/l/g.txt o t/a/b/f.txt o/n/m/l/f.txt", "0 0",
         "o./ o/n./ o/n/m./ o/n/m/l./ o/n/m/l/f.txt o/n/m/l/g.txt " + tree},
        {"c t/a/b./ c/n/m/b./ c t/a/b/f.txt c/n/m/b/f.txt", "0 0",
         "c./ c/n./ c/n/m./ c/n/m/b./ c/n/m/b/f.txt " + tree},
        {"m t/a/b/f.txt u/a/b/f.txt m t/a/b./ u/a/b./ m t/a/g.txt u/a/g.txt m t/a./ u/a./",
         "0 0 0 0", "t./ t/e./ u./ u/a./ u/a/b./ u/a/b/f.txt u/a/g.txt"},
        {"m t/a./ t/c./ m t/e./ n/m/e./", "0 0",
         "n./ n/m./ n/m/e./ t./ t/c./ t/c/b./ t/c/b/f.txt t/c/g.txt"},
        {"m t/a./ t/e./ M t/a./ t/e./ M t/e./ t/a/g.txt m t/gone./ t/e./", "1 1 1 2", tree},
    };
    bool threads = std::getenv("QUENFOLD_EMULATED_32") == nullptr; // qemu: crashes with two
    for (const auto& [calls, results, listed] : cases) {
        for (int attempt = 0; attempt < (calls[0] == 'm' ? 1 : 20); ++attempt) {
            ScratchDir s;
            s.MakeFile("t/a/b/f.txt", 1);
            s.MakeFile("t/a/g.txt", 1);
            s.MakeDir("t/e");
            auto R = [&s](const std::string& listed) {
                return Remote(s.Path() + kSeparator + listed);
            };
            std::vector<std::string> w = Words(calls), said(w.size() / 3);
            std::atomic<int> waiting = calls[0] != 'm' && threads ? 2 : 0; // released together
            std::thread other;
            for (size_t i = 0; i < said.size(); ++i) {
                auto call = [&, i, form = w[3 * i], from = w[3 * i + 1], to = w[3 * i + 2]] {
                    for (--waiting; waiting > 0;) {
                    }
                    said[i] = std::to_string(
                        form == "o" ? GetFile(R(from), s / to, 0)
                                    : RenMov(R(from), R(to), form != "c", form == "M"));
                };
                i == 0 && waiting > 0 ? void(other = std::thread(call)) : call();
            }
            if (other.joinable()) {
                other.join();
            }
            std::vector<std::string> names;
            for (const Entry& entry : ListAll(Remote(s.Path()))) {
                names.push_back(entry.name);
            }
            std::sort(names.begin(), names.end());
            EXPECT_EQ(said, Words(results)) << calls << ", try " << attempt;
            EXPECT_EQ(names, Words(listed)) << calls << ", try " << attempt;
        }
    }
}
