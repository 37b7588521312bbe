// Shared by the tests: the loaded plugin, a recording progress callback,
// scratch directories and small helpers for names and listings.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/PluginLoader.h"

// Where the checks differ by platform: Windows takes both separators, drops
// trailing dots and spaces and names the host's paths "\C:\..."; Linux takes
// names byte for byte and the host passes the local path itself.
#ifdef _WIN32
const char kSeparator = '\\';
const bool kWindowsNames = true;
#else
const char kSeparator = '/';
const bool kWindowsNames = false;
#endif

// The plugin, loaded once per test program like the file manager loads it.
PluginApi& Plugin();

struct ProgressCall {
    int pluginNumber;
    std::string source;
    std::string target;
    int percent;
};

// Records every progress call; answers "abort" from call number `abortFrom`
// (counting from 0) on, or never when it is negative. `during`, when set,
// runs at each call with its number: another program acting meanwhile.
struct ProgressRecorder {
    std::vector<ProgressCall> calls;
    int abortFrom = -1;
    std::function<void(size_t)> during;
};
extern ProgressRecorder g_progress;
int WINAPI RecordProgress(int pluginNumber, char* source, char* target, int percent);

// FsInit with the recorder and plugin number 7; clears what was recorded.
void InitPlugin(int abortFrom = -1);

// A host-owned 260-byte name buffer, as the file manager passes them.
struct NameBuffer {
    char text[MAX_PATH];
    explicit NameBuffer(const std::string& value);
};

// FsGetFile and FsRenMovFile with their names in host-owned buffers.
int GetFile(const std::string& remote, const std::string& local, int flags);
int RenMov(const std::string& from, const std::string& to, bool move, bool overwrite);

// The RemoteName the host gives a local path, and back.
std::string Remote(const std::string& localPath);
std::string LocalOf(const std::string& remoteName);

// A fresh directory under the temporary directory, removed with everything in
// it at the end of the test.
class ScratchDir {
  public:
    ScratchDir();
    // The same under `base` instead, a folder of another volume.
    explicit ScratchDir(const std::string& base);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    // The local path of `relative`, whose "/" become the platform's separator.
    std::string operator/(const std::string& relative) const;
    void MakeDir(const std::string& relative) const;
    // A file of `size` bytes; large sizes are sparse (nothing is written).
    void MakeFile(const std::string& relative, uint64_t size = 0, char fill = 'x') const;
    bool Exists(const std::string& relative) const;
    // The path the platform takes literally for `relative` (in UTF-8).
    std::filesystem::path Native(const std::string& relative) const;
    std::string Read(const std::string& relative) const;

  private:
    std::string path_;
};

// Whether the platform's copy calls its progress routine while it copies:
// Windows' CopyFileEx and the Linux layer do; Wine 8's never does, nor heeds
// a cancel, so under Wine only the calls the plugin makes itself are seen.
bool CopiesReportProgress();

// Creates `path` with `length` characters, by adding a subdirectory of the
// needed length under the scratch directory.
std::string PathOfLength(const ScratchDir& scratch, size_t length);

struct Entry {
    std::string name;
    uint64_t size;
    DWORD attributes;
    DWORD reserved0 = 0; // the Unix mode of a record that carries one
    bool operator==(const Entry& other) const { return name == other.name && size == other.size; }
};
void PrintTo(const Entry& entry, std::ostream* out);

// Lists `remote` to the end through the plugin and closes the listing.
std::vector<Entry> ListAll(const std::string& remote);

// Open enumerations of this process: natively the stand-in's count, under
// Windows all of the process's handles (compare two readings).
int OpenEnumerations();
