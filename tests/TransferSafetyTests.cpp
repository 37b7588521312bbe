// Transfers the user trusts with their data: a full disk or an abort leaves
// the old target and the source as they were; long copies report progress;
// and on Linux what cp and mv keep is kept, links are replaced rather than
// written through, and nothing waits on a FIFO.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestSupport.h"

#ifndef _WIN32
#include "StandInControl.h"
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const uint64_t kMiB = 1 << 20;

// The folder of the tmpfs volume `name` that the test fixture mounted ("small"
// to fill, "other" to move across), or "" where none could be mounted.
std::string Volume(const char* name) {
    const char* volumes = std::getenv("QUENFOLD_VOLUMES");
    if (volumes == nullptr) {
        return "";
    }
    std::string path = std::string(volumes) + kSeparator + name;
    std::replace(path.begin(), path.end(), '/', kSeparator);
    std::error_code error;
    return fs::exists(fs::path(path) / ".quenfold-volume", error) ? path : "";
}

// `size` bytes of `fill` really written, so that a copy must allocate them.
void WriteData(const ScratchDir& dir, const std::string& relative, uint64_t size, char fill) {
    std::ofstream out(dir.Native(relative), std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.good()) << relative;
    std::string block(kMiB, fill);
    for (uint64_t left = size; left > 0;) {
        size_t part = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        out.write(block.data(), static_cast<std::streamsize>(part));
        left -= part;
    }
    ASSERT_TRUE(out.good()) << relative;
}

bool IsAll(const std::string& content, uint64_t size, char fill) {
    return content.size() == size &&
           std::all_of(content.begin(), content.end(), [fill](char c) { return c == fill; });
}

// What the folder holds, temporary files included, sorted.
std::vector<std::string> NamesIn(const ScratchDir& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.Path(), error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeHardLink(const std::string& existing, const std::string& name) {
#ifdef _WIN32
    return CreateHardLinkA(name.c_str(), existing.c_str(), nullptr) != FALSE;
#else
    return link(existing.c_str(), name.c_str()) == 0;
#endif
}

class TransferSafetyTest : public ::testing::Test {
  protected:
    void SetUp() override { InitPlugin(); }

    static std::string R(const ScratchDir& dir, const std::string& relative) {
        return Remote(dir / relative);
    }

    ScratchDir scratch;
};

// Percentages reported between the first and the last call: rising, below
// 100, with the host's names.
void ExpectRisingPercentages(const std::vector<ProgressCall>& calls, size_t end,
                             const std::string& source, const std::string& target) {
    for (size_t i = 1; i < end; ++i) {
        EXPECT_GT(calls[i].percent, calls[i - 1].percent) << "call " << i;
        EXPECT_LT(calls[i].percent, 100) << "call " << i;
        EXPECT_EQ(calls[i].pluginNumber, 7);
        EXPECT_EQ(calls[i].source, source);
        EXPECT_EQ(calls[i].target, target);
    }
}

#ifndef _WIN32
// Ends the program with a message should a call wait forever, so that a
// regression fails instead of hanging the run.
class HangGuard {
  public:
    explicit HangGuard(unsigned seconds) {
        std::signal(SIGALRM, [](int) {
            const char message[] = "\nTransferSafetyTests: a call hung (on a FIFO?)\n";
            ssize_t ignored = write(2, message, sizeof message - 1);
            (void)ignored;
            _exit(3);
        });
        alarm(seconds);
    }
    ~HangGuard() {
        alarm(0);
        std::signal(SIGALRM, SIG_DFL);
    }
};

struct stat StatOf(const std::string& path) {
    struct stat info;
    std::memset(&info, 0, sizeof info);
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
}

std::string LinkText(const std::string& path) {
    char text[256];
    ssize_t length = readlink(path.c_str(), text, sizeof text - 1);
    return length < 0 ? std::string() : std::string(text, static_cast<size_t>(length));
}

// Whether the file system of `dir` takes extended attributes of the user
// namespace (tmpfs does from Linux 6.6 on).
bool TakesUserAttributes(const ScratchDir& dir) {
    std::string probe = dir / ".xattr-probe";
    int file = open(probe.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    bool taken = file >= 0 && fsetxattr(file, "user.probe", "1", 1, 0) == 0;
    if (file >= 0) {
        close(file);
    }
    unlink(probe.c_str());
    return taken;
}

// Two folders on different file systems, or a reason to skip.
bool OnDifferentFileSystems(const ScratchDir& a, const ScratchDir& b) {
    struct stat first = StatOf(a.Path()), second = StatOf(b.Path());
    return first.st_dev != second.st_dev;
}
#endif

// The four ways a file reaches another name: out to a local name the host
// chooses, or inside the namespace; copied or moved.
enum class Form { CopyOut, MoveOut, CopyInside, MoveInside };
const Form kForms[] = {Form::CopyOut, Form::MoveOut, Form::CopyInside, Form::MoveInside};
const char* const kFormNames[] = {"copy-out", "move-out", "copy inside", "move inside"};

bool IsMove(Form form) {
    return form == Form::MoveOut || form == Form::MoveInside;
}

// Transfers the entry `source` (a RemoteName) to `name` in `there` by `form`.
int Transfer(Form form, const std::string& source, const ScratchDir& there, const std::string& name,
             bool overwrite) {
    if (form == Form::CopyOut || form == Form::MoveOut) {
        int flags =
            (IsMove(form) ? FS_COPYFLAGS_MOVE : 0) | (overwrite ? FS_COPYFLAGS_OVERWRITE : 0);
        return GetFile(source, there / name, flags);
    }
    return RenMov(source, Remote(there / name), IsMove(form), overwrite);
}

} // namespace

// The new content needs more room than the volume has left beside the old:
// every form fails as a write error and the volume holds what it held.
TEST_F(TransferSafetyTest, OverwriteOntoAFullVolumeKeepsTheOldTarget) {
    std::string small = Volume("small");
    if (small.empty()) {
        GTEST_SKIP() << "no small tmpfs volume could be mounted here";
    }
    const uint64_t kOld = 3 * kMiB / 2, kNew = 3 * kMiB; // on a 4 MiB volume
    WriteData(scratch, "new.bin", kNew, 'n');
    for (Form form : kForms) {
        SCOPED_TRACE(kFormNames[static_cast<int>(form)]);
        ScratchDir full(small);
        WriteData(full, "target.bin", kOld, 'o');
        EXPECT_EQ(Transfer(form, R(scratch, "new.bin"), full, "target.bin", true),
                  FS_FILE_WRITEERROR)
            << "the target's side is full";
        EXPECT_EQ(NamesIn(full), std::vector<std::string>({"target.bin"}))
            << "no partial or temporary file";
        EXPECT_TRUE(IsAll(full.Read("target.bin"), kOld, 'o'));
        EXPECT_TRUE(IsAll(scratch.Read("new.bin"), kNew, 'n'));
    }
}

TEST_F(TransferSafetyTest, LongCopiesReportTheirProgress) {
    const uint64_t kSize = 64 * kMiB;
    WriteData(scratch, "big.bin", kSize, 'b');
    std::string remote = R(scratch, "big.bin");
    std::string local = scratch / "out.bin";
    ASSERT_EQ(GetFile(remote, local, 0), FS_FILE_OK);
    EXPECT_TRUE(IsAll(scratch.Read("out.bin"), kSize, 'b'));
    const std::vector<ProgressCall>& calls = g_progress.calls;
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front().percent, 0);
    EXPECT_EQ(calls.back().percent, 100);
    // Under Wine only the plugin's own calls before and after the copy come.
    if (CopiesReportProgress()) {
        EXPECT_GT(calls.size(), 2u) << "calls while the data goes";
    } else {
        EXPECT_EQ(calls.size(), 2u);
    }
    ExpectRisingPercentages(calls, calls.size() - 1, remote, local);

    // Inside the namespace the copy's calls follow the one before it, and no
    // 100 % call comes after.
    g_progress.calls.clear();
    std::string copy = R(scratch, "copy.bin");
    ASSERT_EQ(RenMov(remote, copy, false, false), FS_FILE_OK);
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls.front().percent, 0);
    EXPECT_EQ(calls.size() > 1, CopiesReportProgress());
    ExpectRisingPercentages(calls, calls.size(), remote, copy);
}

// The first call comes before the copy and lets it start; the next, during
// the copy, answers "abort".
TEST_F(TransferSafetyTest, AbortDuringACopyLeavesEverythingAsItWas) {
    if (!CopiesReportProgress()) {
        GTEST_SKIP() << "Wine's copy never calls its progress routine, so nothing stops it "
                        "midway; the Linux layer, which keeps Windows' contract, shows it";
    }
    const uint64_t kSize = 64 * kMiB;
    WriteData(scratch, "big.bin", kSize, 'b');
    scratch.MakeFile("old.bin", 3, 'o');
    for (Form form : {Form::CopyOut, Form::CopyInside}) {
        for (bool over : {true, false}) {
            SCOPED_TRACE(std::string(kFormNames[static_cast<int>(form)]) + (over ? " over" : ""));
            InitPlugin(1);
            EXPECT_EQ(
                Transfer(form, R(scratch, "big.bin"), scratch, over ? "old.bin" : "new.bin", over),
                FS_FILE_USERABORT);
            ASSERT_EQ(g_progress.calls.size(), 2u);
            EXPECT_LT(g_progress.calls[1].percent, 100) << "stopped midway";
            EXPECT_EQ(NamesIn(scratch), std::vector<std::string>({"big.bin", "old.bin"}))
                << "no partial or temporary file";
            EXPECT_EQ(scratch.Read("old.bin"), "ooo");
        }
    }
    EXPECT_TRUE(IsAll(scratch.Read("big.bin"), kSize, 'b'));
}

TEST_F(TransferSafetyTest, AbortDuringAMoveAcrossVolumesKeepsTheSource) {
    std::string other = Volume("other");
    if (other.empty()) {
        GTEST_SKIP() << "no second tmpfs volume could be mounted here";
    }
    if (!CopiesReportProgress()) {
        GTEST_SKIP() << "Wine's move never calls its progress routine, so nothing stops it "
                        "midway; the Linux layer, which keeps Windows' contract, shows it";
    }
    ScratchDir there(other);
    const uint64_t kSize = 32 * kMiB; // more than one of the copy's chunks
    WriteData(scratch, "big.bin", kSize, 'b');
    there.MakeFile("old.bin", 3, 'o');
    for (Form form : {Form::MoveOut, Form::MoveInside}) {
        for (bool over : {true, false}) {
            SCOPED_TRACE(std::string(kFormNames[static_cast<int>(form)]) + (over ? " over" : ""));
            InitPlugin(1);
            EXPECT_EQ(
                Transfer(form, R(scratch, "big.bin"), there, over ? "old.bin" : "new.bin", over),
                FS_FILE_USERABORT);
            EXPECT_EQ(NamesIn(there), std::vector<std::string>({"old.bin"}))
                << "no partial or temporary file";
            EXPECT_EQ(there.Read("old.bin"), "ooo");
            EXPECT_TRUE(IsAll(scratch.Read("big.bin"), kSize, 'b'));
        }
    }
}

// A target with another name (a hard link) or that is a symbolic link has its
// name replaced, as mv and rsync do: what the other name or the link leads to
// keeps its data.
TEST_F(TransferSafetyTest, OverwritingALinkedTargetLeavesTheOtherFileAlone) {
    scratch.MakeFile("new.txt", 3, 'n');
    for (Form form : {Form::CopyOut, Form::CopyInside}) {
        std::string name = kFormNames[static_cast<int>(form)];
        std::string kept = "kept " + name, target = "target " + name;
        scratch.MakeFile(kept, 4, 'k');
        ASSERT_TRUE(MakeHardLink(scratch / kept, scratch / target));
        EXPECT_EQ(Transfer(form, R(scratch, "new.txt"), scratch, target, true), FS_FILE_OK) << name;
        EXPECT_EQ(scratch.Read(target), "nnn") << name;
        EXPECT_EQ(scratch.Read(kept), "kkkk") << name << ": the other name's data";
    }
#ifndef _WIN32
    // Wine makes no symbolic links; on Linux the link itself is replaced.
    ScratchDir outside;
    outside.MakeFile("elsewhere.txt", 5, 'e');
    for (Form form : {Form::CopyOut, Form::CopyInside}) {
        std::string link = std::string("link ") + kFormNames[static_cast<int>(form)];
        ASSERT_EQ(symlink((outside / "elsewhere.txt").c_str(), (scratch / link).c_str()), 0);
        EXPECT_EQ(Transfer(form, R(scratch, "new.txt"), scratch, link, true), FS_FILE_OK) << link;
        EXPECT_TRUE(S_ISREG(StatOf(scratch / link).st_mode)) << link;
        EXPECT_EQ(scratch.Read(link), "nnn") << link;
        EXPECT_EQ(outside.Read("elsewhere.txt"), "eeeee") << link << ": outside the listed tree";
    }
#endif
}

// A rename onto another name of the same file would do nothing and say it had.
TEST_F(TransferSafetyTest, MovingOntoAnotherNameOfTheSameFileIsNoSilentNothing) {
    scratch.MakeFile("a.txt", 3, 'a');
    ASSERT_TRUE(MakeHardLink(scratch / "a.txt", scratch / "b.txt"));
    EXPECT_EQ(RenMov(R(scratch, "a.txt"), R(scratch, "b.txt"), true, false), FS_FILE_EXISTS);
    EXPECT_EQ(GetFile(R(scratch, "a.txt"), scratch / "b.txt", FS_COPYFLAGS_MOVE), FS_FILE_EXISTS);
    EXPECT_EQ(scratch.Read("a.txt"), "aaa");
    EXPECT_EQ(scratch.Read("b.txt"), "aaa");

    // With overwrite the move is done: the file keeps only the target's name.
    EXPECT_EQ(RenMov(R(scratch, "a.txt"), R(scratch, "b.txt"), true, true), FS_FILE_OK);
    EXPECT_FALSE(scratch.Exists("a.txt"));
    EXPECT_EQ(scratch.Read("b.txt"), "aaa");

    // One name respelt is no other name, though the file has more than one
    // (Windows takes "C.txt" for "c.txt"): the rename is done, nothing goes.
    ASSERT_TRUE(MakeHardLink(scratch / "b.txt", scratch / "c.txt"));
    EXPECT_EQ(RenMov(R(scratch, "c.txt"), R(scratch, "C.txt"), true, true), FS_FILE_OK);
    // (Wine 8 keeps the old spelling, as for any rename that changes only case.)
    EXPECT_EQ(NamesIn(scratch).size(), 2u) << "both names stay";
    EXPECT_EQ(scratch.Read("C.txt"), "aaa");
    EXPECT_EQ(scratch.Read("b.txt"), "aaa");
}

TEST_F(TransferSafetyTest, NothingWaitsOnAFifoOrReadsADevice) {
#ifdef _WIN32
    GTEST_SKIP() << "FIFOs and device nodes are Linux's";
#else
    HangGuard guard(30);
    ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0644), 0);
    EXPECT_NE(GetFile(R(scratch, "fifo"), scratch / "out", 0), FS_FILE_OK);
    EXPECT_NE(RenMov(R(scratch, "fifo"), R(scratch, "copy"), false, false), FS_FILE_OK);
    // A device's endless data is not copied until the disk is full.
    EXPECT_NE(GetFile(Remote("/dev/zero"), scratch / "zero", 0), FS_FILE_OK);
    EXPECT_EQ(NamesIn(scratch), std::vector<std::string>({"fifo"}));

    FILETIME written = {0x12345600, 0x01D00000}; // in 2014
    EXPECT_TRUE(Plugin().SetTime(NameBuffer(R(scratch, "fifo")).text, nullptr, nullptr, &written));
    uint64_t ticks = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    struct stat info = StatOf(scratch / "fifo");
    EXPECT_EQ(static_cast<uint64_t>(info.st_mtim.tv_sec), ticks / 10000000u - 11644473600u);
    EXPECT_EQ(static_cast<uint64_t>(info.st_mtim.tv_nsec), ticks % 10000000u * 100u);
    EXPECT_EQ(StandInOpenFiles(), 0);
#endif
}

TEST_F(TransferSafetyTest, ACopyOfAnotherOwnersSetUserIdFileIsNoSetUserIdFile) {
#ifdef _WIN32
    GTEST_SKIP() << "set-user-id and set-group-id bits are Linux's";
#else
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root copies a file of another owner as itself";
    }
    scratch.MakeFile("program", 4, 'p');
    std::string program = scratch / "program";
    ASSERT_EQ(chown(program.c_str(), 12345, 12346), 0);
    ASSERT_EQ(chmod(program.c_str(), 06755), 0);
    ASSERT_EQ(GetFile(R(scratch, "program"), scratch / "out", 0), FS_FILE_OK);
    ASSERT_EQ(RenMov(R(scratch, "program"), R(scratch, "copy"), false, false), FS_FILE_OK);
    for (const char* name : {"out", "copy"}) {
        struct stat info = StatOf(scratch / name);
        EXPECT_EQ(info.st_uid, 0u) << name;
        EXPECT_EQ(info.st_mode & (S_ISUID | S_ISGID), 0u) << name;
        EXPECT_NE(info.st_mode & S_IXUSR, 0u) << name << ": still a program";
    }
#endif
}

TEST_F(TransferSafetyTest, MovesAcrossFileSystemsKeepModeOwnerTimesAndAttributes) {
#ifdef _WIN32
    GTEST_SKIP() << "modes, owners, nanosecond times and extended attributes are Linux's here";
#else
    std::string other = Volume("other");
    if (other.empty()) {
        GTEST_SKIP() << "no second tmpfs volume could be mounted here";
    }
    ScratchDir there(other);
    ASSERT_TRUE(OnDifferentFileSystems(scratch, there));
    bool attributes = TakesUserAttributes(there);
    bool root = geteuid() == 0;
    std::vector<std::string> moved;
    for (Form form : {Form::MoveOut, Form::MoveInside}) {
        SCOPED_TRACE(kFormNames[static_cast<int>(form)]);
        std::string name = std::string("private ") + kFormNames[static_cast<int>(form)];
        std::string source = scratch / name;
        scratch.MakeFile(name, 5, 'p');
        ASSERT_EQ(chmod(source.c_str(), 0640), 0);
        if (root) {
            ASSERT_EQ(chown(source.c_str(), 12345, 12346), 0);
        }
        ASSERT_EQ(setxattr(source.c_str(), "user.origin", "downloaded", 10, 0), 0);
        struct timespec times[2] = {{1400000000, 123456789}, {1500000000, 987654321}};
        ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
        struct stat before = StatOf(source);
        // Onto a world-readable file, which must not make the private one so.
        there.MakeFile(name, 9, 'o');
        ASSERT_EQ(chmod((there / name).c_str(), 0644), 0);

        ASSERT_EQ(Transfer(form, R(scratch, name), there, name, true), FS_FILE_OK);
        EXPECT_FALSE(scratch.Exists(name));
        struct stat after = StatOf(there / name); // before a read touches the access time
        EXPECT_EQ(there.Read(name), "ppppp");
        EXPECT_EQ(after.st_mode & 07777, 0640u);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(after.st_mtim.tv_sec, times[1].tv_sec);
        EXPECT_EQ(after.st_mtim.tv_nsec, times[1].tv_nsec);
        EXPECT_EQ(after.st_atim.tv_sec, times[0].tv_sec);
        EXPECT_EQ(after.st_atim.tv_nsec, times[0].tv_nsec);
        if (attributes) { // tmpfs before Linux 6.6 keeps no user attributes
            char value[32] = {};
            EXPECT_EQ(getxattr((there / name).c_str(), "user.origin", value, sizeof value), 10);
            EXPECT_STREQ(value, "downloaded");
        }
        moved.push_back(name);
        std::sort(moved.begin(), moved.end());
        EXPECT_EQ(NamesIn(there), moved) << "no temporary file";
    }
    if (root) {
        // The owner is kept, and so the set-user-id bit that speaks for it.
        scratch.MakeFile("program", 4, 'p');
        std::string program = scratch / "program";
        ASSERT_EQ(chown(program.c_str(), 12345, 12346), 0);
        ASSERT_EQ(chmod(program.c_str(), 04755), 0);
        // A program's file capabilities, which a change of owner clears.
        const unsigned char kCapability[20] = {0, 0, 0, 2, 0, 4, 0, 0}; // v2, cap_net_bind
        bool capabilities = setxattr(program.c_str(), "security.capability", kCapability,
                                     sizeof kCapability, 0) == 0;
        ASSERT_EQ(RenMov(R(scratch, "program"), R(there, "program"), true, false), FS_FILE_OK);
        struct stat info = StatOf(there / "program");
        EXPECT_EQ(info.st_uid, 12345u);
        EXPECT_EQ(info.st_mode & 07777, 04755u);
        unsigned char kept[20] = {};
        EXPECT_EQ(capabilities ? getxattr((there / "program").c_str(), "security.capability", kept,
                                          sizeof kept)
                               : 20,
                  20)
            << "the file capabilities";
    }
#endif
}

TEST_F(TransferSafetyTest, MovesAcrossFileSystemsTakeLinksAndFifosAsThemselves) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine makes no symbolic links and no FIFOs";
#else
    std::string other = Volume("other");
    if (other.empty()) {
        GTEST_SKIP() << "no second tmpfs volume could be mounted here";
    }
    ScratchDir there(other);
    ASSERT_TRUE(OnDifferentFileSystems(scratch, there));
    HangGuard guard(30);
    scratch.MakeFile("inside.txt", 3, 'i');
    ASSERT_EQ(symlink("inside.txt", (scratch / "link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere/at/all", (scratch / "dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0640), 0);

    EXPECT_EQ(RenMov(R(scratch, "link"), R(there, "link"), true, false), FS_FILE_OK);
    // Into a folder still to be made, as a file goes: the link is not followed.
    EXPECT_EQ(GetFile(R(scratch, "dangling"), there / "new/dangling", FS_COPYFLAGS_MOVE),
              FS_FILE_OK);
    ASSERT_EQ(rename((there / "new/dangling").c_str(), (there / "dangling").c_str()), 0);
    ASSERT_EQ(rmdir((there / "new").c_str()), 0);
    EXPECT_EQ(RenMov(R(scratch, "fifo"), R(there, "fifo"), true, false), FS_FILE_OK);
    EXPECT_EQ(NamesIn(scratch), std::vector<std::string>({"inside.txt"}));
    EXPECT_EQ(NamesIn(there), std::vector<std::string>({"dangling", "fifo", "link"}));
    EXPECT_TRUE(S_ISLNK(StatOf(there / "link").st_mode));
    EXPECT_EQ(LinkText(there / "link"), "inside.txt") << "the link's own text";
    EXPECT_TRUE(S_ISLNK(StatOf(there / "dangling").st_mode));
    EXPECT_EQ(LinkText(there / "dangling"), "nowhere/at/all");
    struct stat fifo = StatOf(there / "fifo");
    EXPECT_TRUE(S_ISFIFO(fifo.st_mode));
    EXPECT_EQ(fifo.st_mode & 07777, 0640u);
    EXPECT_EQ(StandInOpenFiles(), 0);
#endif
}

// The case that wrote through links before: a move across file systems with
// overwrite onto a hard link or a symbolic link.
TEST_F(TransferSafetyTest, MovesAcrossFileSystemsReplaceALinkedTargetsName) {
    std::string other = Volume("other");
    if (other.empty()) {
        GTEST_SKIP() << "no second tmpfs volume could be mounted here";
    }
    ScratchDir there(other);
    there.MakeFile("kept.txt", 4, 'k');
    ASSERT_TRUE(MakeHardLink(there / "kept.txt", there / "hard.txt"));
    scratch.MakeFile("one.txt", 3, '1');
    EXPECT_EQ(GetFile(R(scratch, "one.txt"), there / "hard.txt",
                      FS_COPYFLAGS_MOVE | FS_COPYFLAGS_OVERWRITE),
              FS_FILE_OK);
    EXPECT_EQ(there.Read("hard.txt"), "111");
    EXPECT_EQ(there.Read("kept.txt"), "kkkk") << "the other name's data";
    EXPECT_FALSE(scratch.Exists("one.txt"));
#ifndef _WIN32
    // Wine makes no symbolic links; on Linux the link itself is replaced.
    scratch.MakeFile("outside.txt", 5, 'e');
    ASSERT_EQ(symlink((scratch / "outside.txt").c_str(), (there / "soft").c_str()), 0);
    scratch.MakeFile("two.txt", 3, '2');
    EXPECT_EQ(RenMov(R(scratch, "two.txt"), R(there, "soft"), true, true), FS_FILE_OK);
    EXPECT_TRUE(S_ISREG(StatOf(there / "soft").st_mode));
    EXPECT_EQ(there.Read("soft"), "222");
    EXPECT_EQ(scratch.Read("outside.txt"), "eeeee") << "outside the listed tree";
#endif
}

TEST_F(TransferSafetyTest, SparseFilesStaySparse) {
#ifdef _WIN32
    GTEST_SKIP() << "a sparse file on Windows is one marked so, which Wine cannot make";
#else
    const off_t kSize = 256 * kMiB;
    std::string source = scratch / "sparse.bin";
    int file = open(source.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(pwrite(file, "head", 4, 0), 4);
    ASSERT_EQ(pwrite(file, "middle", 6, kSize / 2), 6);
    ASSERT_EQ(pwrite(file, "tail", 4, kSize - 4), 4);
    close(file);
    ASSERT_LT(StatOf(source).st_blocks * 512, 1 << 20) << "the file system makes no holes";

    auto expectSparseCopy = [&](const std::string& path, const char* form) {
        struct stat info = StatOf(path);
        EXPECT_EQ(info.st_size, kSize) << form;
        EXPECT_LT(info.st_blocks * 512, 1 << 20) << form << ": holes written out";
        char text[7] = {};
        int copy = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(copy, 0) << form;
        EXPECT_EQ(pread(copy, text, 4, 0), 4);
        EXPECT_STREQ(text, "head") << form;
        EXPECT_EQ(pread(copy, text, 6, kSize / 2), 6);
        EXPECT_STREQ(text, "middle") << form;
        EXPECT_EQ(pread(copy, text, 4, kSize - 4), 4);
        text[4] = '\0';
        EXPECT_STREQ(text, "tail") << form;
        close(copy);
    };
    ASSERT_EQ(GetFile(R(scratch, "sparse.bin"), scratch / "out.bin", 0), FS_FILE_OK);
    expectSparseCopy(scratch / "out.bin", "copy-out");

    std::string other = Volume("other");
    if (!other.empty()) { // 256 MiB written out would not fit on its 64 MiB
        ScratchDir there(other);
        ASSERT_EQ(RenMov(R(scratch, "out.bin"), R(there, "moved.bin"), true, false), FS_FILE_OK);
        expectSparseCopy(there / "moved.bin", "move across file systems");
    }
#endif
}

namespace {

// What another program, or the system, does to a transfer while it runs.
enum class Fault {
    SourceShrinks, // the source is cut short after the first chunk
    TargetTaken,   // a file appears at the target's name meanwhile
    SourceStays,   // the moved source cannot be removed
    TooBig,        // the file is larger than the target may grow (EFBIG)
};

// What the target's folder holds afterwards: "old" the old target kept,
// "new" the source's data, "theirs" what the other program made, "" nothing.
struct FaultCase {
    Form form;
    Fault fault;
    bool oldTarget;
    int result;
    const char* targetHolds;
};

const FaultCase kFaultCases[] = {
    {Form::CopyOut, Fault::SourceShrinks, true, FS_FILE_READERROR, "old"},
    {Form::CopyInside, Fault::SourceShrinks, true, FS_FILE_READERROR, "old"},
    {Form::MoveOut, Fault::SourceShrinks, true, FS_FILE_READERROR, "old"},
    {Form::MoveInside, Fault::SourceShrinks, false, FS_FILE_READERROR, ""},
    {Form::CopyOut, Fault::TargetTaken, false, FS_FILE_EXISTS, "theirs"},
    {Form::MoveInside, Fault::TargetTaken, false, FS_FILE_EXISTS, "theirs"},
    // A move whose source stays undoes its copy where nothing was replaced;
    // a replaced old target cannot come back, so the complete copy stays.
    {Form::MoveOut, Fault::SourceStays, false, FS_FILE_NOTFOUND, ""},
    {Form::MoveInside, Fault::SourceStays, true, FS_FILE_NOTFOUND, "new"},
    {Form::CopyOut, Fault::TooBig, true, FS_FILE_WRITEERROR, "old"},
    {Form::MoveInside, Fault::TooBig, false, FS_FILE_WRITEERROR, ""},
};

#ifndef _WIN32
// Lowers the largest file this process may write, so that writing past it
// fails with EFBIG (and no signal) until the end of the scope.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lowered = {bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, SIG_DFL);
    }

  private:
    struct rlimit saved_;
};
#endif

} // namespace

// Each fault strikes while the data goes, so it needs the progress routine
// and the Linux layer's injected failures: Wine's copy calls no routine.
TEST_F(TransferSafetyTest, AFaultMidwayLeavesTheOldFilesAsTheyWere) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine's copy never calls its progress routine, so nothing strikes midway; "
                    "the Linux layer, which keeps Windows' contract, shows it";
#else
    std::string other = Volume("other");
    if (other.empty()) {
        GTEST_SKIP() << "no second tmpfs volume could be mounted here";
    }
    const uint64_t kSize = 24 * kMiB, kShrunk = 4 * kMiB; // three of the copy's chunks
    for (const FaultCase& row : kFaultCases) {
        SCOPED_TRACE(std::string(kFormNames[static_cast<int>(row.form)]) + ", fault " +
                     std::to_string(static_cast<int>(row.fault)));
        ScratchDir here;
        ScratchDir there(IsMove(row.form) ? other : here.Path()); // moves across volumes
        WriteData(here, "src.bin", kSize, 's');
        if (row.oldTarget) {
            there.MakeFile("target.bin", 3, 'o');
        }
        InitPlugin();
        g_progress.during = [&](size_t call) {
            if (call != 1) {
                return;
            }
            if (row.fault == Fault::SourceShrinks) {
                ASSERT_EQ(truncate((here / "src.bin").c_str(), kShrunk), 0);
            } else if (row.fault == Fault::TargetTaken) {
                there.MakeFile("target.bin", 6, 't');
            }
        };
        if (row.fault == Fault::SourceStays) {
            StandInSetFault("DeleteFileA", "/src.bin", ERROR_ACCESS_DENIED);
        }
        int result;
        {
            FileSizeLimit limit(row.fault == Fault::TooBig ? 2 * kMiB : RLIM_INFINITY);
            result = Transfer(row.form, R(here, "src.bin"), there, "target.bin", row.oldTarget);
        }
        StandInSetFault(nullptr, nullptr, 0);
        g_progress.during = nullptr;
        EXPECT_EQ(result, row.result);
        std::string holds = row.targetHolds;
        std::vector<std::string> expected;
        if (!holds.empty()) {
            expected.push_back("target.bin");
        }
        EXPECT_EQ(NamesIn(there), expected) << "no partial or temporary file";
        std::string target = holds.empty() ? "" : there.Read("target.bin");
        if (holds == "old") {
            EXPECT_EQ(target, "ooo");
        } else if (holds == "theirs") {
            EXPECT_EQ(target, "tttttt");
        } else if (holds == "new") {
            EXPECT_TRUE(IsAll(target, kSize, 's'));
        }
        uint64_t sourceSize = row.fault == Fault::SourceShrinks ? kShrunk : kSize;
        EXPECT_TRUE(IsAll(here.Read("src.bin"), sourceSize, 's')) << "the source as it is";
    }
#endif
}

// A file that reports no size may still hold data, as /proc's files do.
TEST_F(TransferSafetyTest, AFileThatReportsNoSizeIsCopiedToItsEnd) {
#ifdef _WIN32
    GTEST_SKIP() << "files that report no size are Linux's /proc";
#else
    ASSERT_EQ(GetFile(Remote("/proc/self/status"), scratch / "status", 0), FS_FILE_OK);
    ASSERT_EQ(RenMov(Remote("/proc/self/status"), R(scratch, "copy"), false, false), FS_FILE_OK);
    for (const char* name : {"status", "copy"}) {
        EXPECT_EQ(scratch.Read(name).rfind("Name:", 0), 0u) << name;
    }
#endif
}

// The temporary beside a target near the host's 259 characters passes
// MAX_PATH; the target is never refused for its sake.
TEST_F(TransferSafetyTest, TargetsNearThePathLimitAreWritten) {
    scratch.MakeFile("src.txt", 3, 's');
    for (size_t length = 254; length <= 259; ++length) {
        ScratchDir dir;
        size_t folderLength = length - 2; // and a separator and a one-character name
        std::string folder(folderLength - dir.Path().size() - 1, 'f');
        dir.MakeDir(folder);
        std::string target = dir / (folder + "/t");
        ASSERT_EQ(target.size(), length);
        EXPECT_EQ(GetFile(R(scratch, "src.txt"), target, 0), FS_FILE_OK) << length;
        EXPECT_EQ(GetFile(R(scratch, "src.txt"), target, FS_COPYFLAGS_OVERWRITE), FS_FILE_OK)
            << length;
        // A RemoteName is the local path and a backslash on Windows: within
        // the host's 259 characters only up to 258 of path.
        if (Remote(target).size() < MAX_PATH) {
            EXPECT_EQ(RenMov(R(scratch, "src.txt"), Remote(target), false, true), FS_FILE_OK)
                << length;
        }
        EXPECT_EQ(dir.Read(folder + "/t"), "sss") << length;
        // Listed through the plugin, which reaches paths past MAX_PATH.
        std::vector<std::string> names;
        for (const Entry& entry : ListAll(Remote(dir.Path()))) {
            names.push_back(entry.name);
        }
        EXPECT_EQ(names, std::vector<std::string>({folder + "/t", folder + "./"}))
            << length << ": no temporary left";
    }
}

// A link is listed as an entry of its own, "not followed": its times are its
// own, and what it leads to, maybe outside the listed tree, keeps its own.
TEST_F(TransferSafetyTest, ALinksTimesAreItsOwn) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine makes no symbolic links";
#else
    ScratchDir outside;
    outside.MakeDir("folder");
    outside.MakeFile("file.txt", 3, 'f');
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    FILETIME written = {0x12345600, 0x01D00000}; // in 2014
    for (const char* target : {"folder", "file.txt"}) {
        std::string link = std::string("link-to-") + target;
        ASSERT_EQ(utimensat(AT_FDCWD, (outside / target).c_str(), old, 0), 0);
        ASSERT_EQ(symlink((outside / target).c_str(), (scratch / link).c_str()), 0);
        EXPECT_TRUE(
            Plugin().SetTime(NameBuffer(R(scratch, link)).text, nullptr, nullptr, &written));
        EXPECT_EQ(StatOf(outside / target).st_mtim.tv_sec, old[1].tv_sec) << target;
        EXPECT_EQ(StatOf(scratch / link).st_mtim.tv_sec, 1415965349) // the time given
            << link;
    }
    EXPECT_EQ(StandInOpenFiles(), 0);
#endif
}
