#include "TestSupport.h"

#include "PlatformNames.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifndef _WIN32
#include "StandInControl.h"
#include <unistd.h>
#else
#include <process.h>
#endif

namespace fs = std::filesystem;

ProgressRecorder g_progress;

PluginApi& Plugin() {
    static PluginApi api = [] {
        PluginApi loaded;
        if (!LoadPluginOrReport(QUENFOLD_PLUGIN_FILE, &loaded)) {
            std::abort();
        }
        return loaded;
    }();
    return api;
}

int WINAPI RecordProgress(int pluginNumber, char* source, char* target, int percent) {
    int index = static_cast<int>(g_progress.calls.size());
    g_progress.calls.push_back({pluginNumber, source, target, percent});
    if (g_progress.during) {
        g_progress.during(static_cast<size_t>(index));
    }
    return g_progress.abortFrom >= 0 && index >= g_progress.abortFrom ? 1 : 0;
}

void InitPlugin(int abortFrom) {
    g_progress = ProgressRecorder();
    g_progress.abortFrom = abortFrom;
    Plugin().Init(7, RecordProgress, nullptr, nullptr);
}

NameBuffer::NameBuffer(const std::string& value) {
    std::memset(text, 0, sizeof text);
    EXPECT_LT(value.size(), sizeof text) << value;
    std::memcpy(text, value.c_str(), std::min(value.size(), sizeof text - 1));
}

int GetFile(const std::string& remote, const std::string& local, int flags) {
    NameBuffer from(remote), to(local);
    return Plugin().GetFile(from.text, to.text, flags, nullptr);
}

int RenMov(const std::string& from, const std::string& to, bool move, bool overwrite) {
    NameBuffer oldName(from), newName(to);
    return Plugin().RenMovFile(oldName.text, newName.text, move, overwrite, nullptr);
}

std::string Remote(const std::string& localPath) {
    return kRemoteNamePrefix + localPath;
}

std::string LocalOf(const std::string& remoteName) {
    return remoteName.substr(sizeof kRemoteNamePrefix - 1);
}

namespace {

// Paths of the scratch trees as the platform takes them literally: on Windows
// with the \\?\ prefix, so that long paths and names such as "b." work.
// Relative names come in UTF-8.
fs::path Long(const std::string& path) {
    std::string literal = path;
#ifdef _WIN32
    if (literal.rfind("\\\\?\\", 0) != 0) {
        literal = "\\\\?\\" + literal;
    }
#endif
    return fs::path(std::u8string(literal.begin(), literal.end()));
}

// Removes a whole tree, read-only files and paths past MAX_PATH included
// (Windows takes those only through its wide functions). Links are removed,
// never followed.
#ifdef _WIN32
void RemoveTreeWide(const std::wstring& prefixed) {
    WIN32_FIND_DATAW record;
    HANDLE found = FindFirstFileW((prefixed + L"\\*").c_str(), &record);
    if (found != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = record.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            std::wstring child = prefixed + L"\\" + name;
            bool directory = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool link = (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (directory && !link) {
                RemoveTreeWide(child);
            } else if (directory) {
                RemoveDirectoryW(child.c_str());
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(found, &record));
        FindClose(found);
    }
    RemoveDirectoryW(prefixed.c_str());
}
#endif

void RemoveTree(const std::string& path) {
#ifdef _WIN32
    RemoveTreeWide(L"\\\\?\\" + fs::path(path).wstring());
#else
    std::error_code error;
    // Read-only files must become writable before they go.
    for (auto it = fs::recursive_directory_iterator(path, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, error);
    }
    fs::remove_all(path, error);
#endif
}

} // namespace

ScratchDir::ScratchDir() : ScratchDir(fs::temp_directory_path().string()) {}

ScratchDir::ScratchDir(const std::string& folder) {
    static int counter = 0;
#ifdef _WIN32
    int pid = _getpid();
#else
    int pid = getpid();
#endif
    std::string base = folder;
    while (!base.empty() && (base.back() == '\\' || base.back() == '/')) {
        base.pop_back();
    }
    // Wine reuses small process ids from run to run, so a random part keeps a
    // killed run's leftovers from ever being taken for a fresh directory.
    static const unsigned runId = std::random_device()() % 1000000;
    path_ = base + kSeparator + "qf" + std::to_string(pid) + "_" + std::to_string(runId) + "_" +
            std::to_string(counter++);
    fs::create_directories(Long(path_));
}

ScratchDir::~ScratchDir() {
    RemoveTree(path_);
}

std::string ScratchDir::operator/(const std::string& relative) const {
    std::string local = relative;
    for (char& c : local) {
        if (c == '/') {
            c = kSeparator;
        }
    }
    return path_ + kSeparator + local;
}

void ScratchDir::MakeDir(const std::string& relative) const {
    fs::create_directories(Long(*this / relative));
}

void ScratchDir::MakeFile(const std::string& relative, uint64_t size, char fill) const {
    fs::path path = Long(*this / relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    ASSERT_TRUE(out.good()) << path.string();
    if (size <= 4096) {
        out << std::string(static_cast<size_t>(size), fill);
        return;
    }
    out.close();
    fs::resize_file(path, size);
}

fs::path ScratchDir::Native(const std::string& relative) const {
    return Long(*this / relative);
}

bool ScratchDir::Exists(const std::string& relative) const {
    std::error_code error;
    return fs::exists(Long(*this / relative), error);
}

std::string ScratchDir::Read(const std::string& relative) const {
    std::ifstream in(Long(*this / relative), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool CopiesReportProgress() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
#else
    return true;
#endif
}

std::string PathOfLength(const ScratchDir& scratch, size_t length) {
    size_t base = scratch.Path().size() + 1;
    EXPECT_GT(length, base + 1);
    std::string name(length - base, 'p');
    return scratch / name;
}

void PrintTo(const Entry& entry, std::ostream* out) {
    *out << "{" << entry.name << ", " << entry.size << ", 0x" << std::hex << entry.attributes
         << std::dec << "}";
}

std::vector<Entry> ListAll(const std::string& remote) {
    std::vector<Entry> entries;
    NameBuffer path(remote);
    WIN32_FIND_DATAA record;
    HANDLE search = Plugin().FindFirst(path.text, &record);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        uint64_t size = (static_cast<uint64_t>(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
        entries.push_back({record.cFileName, size, record.dwFileAttributes, record.dwReserved0});
    } while (Plugin().FindNext(search, &record));
    Plugin().FindClose(search);
    return entries;
}

#ifdef _WIN32
namespace {
// The system-wide handle table, as ntdll reports it; Wine fills it from the
// wineserver, so an enumeration's directory handle shows up there.
struct HandleEntry {
    ULONG ownerProcess;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ULONG access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
typedef LONG(WINAPI* QuerySystemInformation)(int, PVOID, ULONG, PULONG);
const int kSystemHandleInformation = 16;
} // namespace
#endif

int OpenEnumerations() {
#ifdef _WIN32
    static std::vector<char> buffer(1 << 22);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    ULONG length = 0;
    if (query == nullptr || query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &length) != 0) {
        ADD_FAILURE() << "cannot read the handle table";
        return -1;
    }
    const HandleTable* table = reinterpret_cast<const HandleTable*>(buffer.data());
    int handles = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        handles += table->entries[i].ownerProcess == GetCurrentProcessId() ? 1 : 0;
    }
    return handles;
#else
    return StandInOpenEnumerations();
#endif
}
