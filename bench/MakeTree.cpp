// Generates a reproducible tree for the listing benchmark: DIRS directories
// hung at random under each other up to DEPTH levels, FILES files spread over
// them with sparse random sizes up to 1 MiB. With --name-length N the
// directories get names of N characters and hang mostly under the newest
// one, so that the tree runs deep: with 60 characters and 25 levels its paths
// pass 1,500 characters.
// usage: quenfold-maketree ROOT [--files N] [--dirs N] [--depth N] [--seed N] [--name-length N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: quenfold-maketree ROOT [--files N] [--dirs N] [--depth N] [--seed N] "
                     "[--name-length N]\n");
        return 2;
    }
    long files = 100000, dirs = 10000, depth = 6, seed = 1, nameLength = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        long value = std::strtol(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--files") == 0)
            files = value;
        else if (std::strcmp(argv[i], "--dirs") == 0)
            dirs = value;
        else if (std::strcmp(argv[i], "--depth") == 0)
            depth = value;
        else if (std::strcmp(argv[i], "--seed") == 0)
            seed = value;
        else if (std::strcmp(argv[i], "--name-length") == 0)
            nameLength = value;
    }
    std::mt19937_64 random(static_cast<uint64_t>(seed));
    fs::path root = argv[1];
    fs::create_directories(root);
    struct Dir {
        fs::path path;
        long level;
    };
    std::vector<Dir> all = {{root, 0}};
    for (long i = 0; i < dirs; ++i) {
        const Dir* parent;
        do {
            bool underNewest = nameLength > 0 && random() % 4 != 0;
            parent = underNewest ? &all.back() : &all[random() % all.size()];
        } while (parent->level >= depth);
        std::string name = "d" + std::to_string(i);
        if (static_cast<long>(name.size()) < nameLength) {
            name.append(static_cast<size_t>(nameLength) - name.size(), 'n');
        }
        Dir child{parent->path / name, parent->level + 1};
        fs::create_directory(child.path);
        all.push_back(child);
    }
    for (long i = 0; i < files; ++i) {
        fs::path file = all[random() % all.size()].path / ("f" + std::to_string(i) + ".dat");
        std::ofstream(file).close();
        fs::resize_file(file, random() % (1 << 20));
    }
    std::printf("%ld files in %ld directories, at most %ld deep, under %s\n", files, dirs, depth,
                root.string().c_str());
    return 0;
}
