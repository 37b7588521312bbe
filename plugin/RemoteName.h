// The one place where a RemoteName becomes a path. The host names an entry by
// its listed directory and the entry's name from the listing ("a/b/report.txt",
// or "a/b./" for the directory a/b). The path handed to the platform is the
// host's local path with a directory entry's "./" taken off and every "/" of
// the listing turned into the platform's separator, in the platform's exact
// form, so that a name means exactly the file the listing showed.
#pragma once

#include <cstddef>

#include "PlatformNames.h"

// The path the platform's file functions take for `remoteName`. False, with
// the last error set, when it does not fit in `capacity` or cannot be exact.
bool PlatformPathOf(const char* remoteName, char* path, size_t capacity);

// The path of a directory to list, for the walker.
bool WalkRootOf(const char* remoteName, char* path, size_t capacity);

// The ordinary local path, for the host to open itself. False when the
// platform would read it as another file.
bool HostLocalPathOf(const char* remoteName, char* path, size_t capacity);

// Whether `remoteName` is a directory entry of the listing ("a/b./"): the
// file managers treat it as a file and hand it to the file calls.
bool IsDirectoryEntryName(const char* remoteName);

// The file operations accept nothing shorter than the shortest absolute path.
bool IsOperableRemoteName(const char* remoteName);

// The plugin's own root lists nothing.
bool IsPluginRoot(const char* remoteName);
