// A whole session as the file manager drives one: list, copy out, rename,
// replace, set times and attributes, delete, remove, icons, an aborted listing
// and a fresh one; then the tree on disk and the process's handles are checked.
#include <filesystem>
#include <map>
#include <string>

#include "TestSupport.h"

namespace {

std::map<std::string, uintmax_t> FilesOnDisk(const std::string& root) {
    std::map<std::string, uintmax_t> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        std::string relative = std::filesystem::relative(item.path(), root).generic_string();
        files[relative] = item.is_directory() ? 0 : item.file_size();
    }
    return files;
}

std::string Name(const std::string& root, const std::string& entry) {
    return Remote(root + kSeparator + entry);
}

} // namespace

TEST(Session, AWholeSessionLeavesExactlyTheExpectedTree) {
    ScratchDir scratch;
    scratch.MakeFile("tree/a/b/report.txt", 6, 'r');
    scratch.MakeFile("tree/a/notes.txt", 3, 'n');
    scratch.MakeFile("tree/c/old.txt", 4, 'o');
    scratch.MakeFile("tree/c/target.txt", 5, 't');
    scratch.MakeFile("tree/e/only.txt", 1);
    scratch.MakeFile("tree/app/tool.exe", 2);
    for (int i = 0; i < 1200; ++i) {
        scratch.MakeFile("tree/bulk/" + std::to_string(100000 + i));
    }
    scratch.MakeDir("out");
    const std::string root = scratch / "tree";
    InitPlugin();
    // The shell keeps a few handles of its own after its first icon lookup;
    // make that lookup before counting.
    HICON warmUp = nullptr;
    NameBuffer program(Name(root, "app/tool.exe"));
    ASSERT_EQ(Plugin().ExtractCustomIcon(program.text, FS_ICONFLAG_BACKGROUND, &warmUp),
              FS_ICON_EXTRACTED_DESTROY);
    DestroyIcon(warmUp);
    int handlesBefore = OpenEnumerations();

    std::vector<Entry> listed = ListAll(Remote(root));
    ASSERT_EQ(listed.size(), 1200u + 6 + 6);
    EXPECT_EQ(listed.back(), (Entry{"e./", 1, 0}));

    NameBuffer out(scratch / "out/report.txt");
    EXPECT_EQ(Plugin().GetFile(NameBuffer(Name(root, "a/b/report.txt")).text, out.text, 0, nullptr),
              FS_FILE_OK);
    EXPECT_EQ(Plugin().RenMovFile(NameBuffer(Name(root, "a/notes.txt")).text,
                                  NameBuffer(Name(root, "a/renamed.txt")).text, TRUE, FALSE,
                                  nullptr),
              FS_FILE_OK);
    EXPECT_EQ(Plugin().RenMovFile(NameBuffer(Name(root, "c/old.txt")).text,
                                  NameBuffer(Name(root, "c/target.txt")).text, TRUE, TRUE, nullptr),
              FS_FILE_OK);
    FILETIME written = {0x12345600, 0x01D00000};
    NameBuffer renamed(Name(root, "a/renamed.txt"));
    EXPECT_TRUE(Plugin().SetTime(renamed.text, nullptr, nullptr, &written));
    EXPECT_TRUE(Plugin().SetAttr(renamed.text, FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(Plugin().SetAttr(renamed.text, 0));
    EXPECT_TRUE(Plugin().DeleteFile(NameBuffer(Name(root, "e/only.txt")).text));
    EXPECT_TRUE(Plugin().RemoveDir(NameBuffer(Name(root, "e./")).text));

    int delayed = 0;
    for (const Entry& entry : ListAll(Remote(root))) {
        for (int flags : {FS_ICONFLAG_SMALL, FS_ICONFLAG_SMALL | FS_ICONFLAG_BACKGROUND}) {
            NameBuffer name(Name(root, entry.name));
            HICON icon = nullptr;
            int result = Plugin().ExtractCustomIcon(name.text, flags, &icon);
            if (result == FS_ICON_DELAYED) {
                ++delayed;
            }
            bool directory = entry.name.back() == '/';
            if (result == FS_ICON_EXTRACTED_DESTROY && !directory) {
                DestroyIcon(icon);
            }
            if ((flags & FS_ICONFLAG_BACKGROUND) == 0 && result != FS_ICON_DELAYED) {
                break; // the host asks again only for delayed icons
            }
        }
    }
    EXPECT_EQ(delayed, 1) << "app/tool.exe";

    InitPlugin(0);
    std::vector<Entry> aborted = ListAll(Remote(root));
    EXPECT_LT(aborted.size(), 1200u);
    InitPlugin();
    std::vector<Entry> again = ListAll(Remote(root));
    EXPECT_EQ(again.size(), 1200u + 5 + 4);

    std::map<std::string, uintmax_t> files = FilesOnDisk(root);
    std::map<std::string, uintmax_t> expected = {{"a", 0},
                                                 {"a/b", 0},
                                                 {"a/b/report.txt", 6},
                                                 {"a/renamed.txt", 3},
                                                 {"c", 0},
                                                 {"c/target.txt", 4},
                                                 {"app", 0},
                                                 {"app/tool.exe", 2},
                                                 {"bulk", 0}};
    for (int i = 0; i < 1200; ++i) {
        expected["bulk/" + std::to_string(100000 + i)] = 0;
    }
    EXPECT_EQ(files, expected);
    EXPECT_EQ(scratch.Read("out/report.txt"), "rrrrrr");
    EXPECT_EQ(OpenEnumerations(), handlesBefore) << "a handle was left open";
}
