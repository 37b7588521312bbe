// A directory entry ("a/b./") is a file to the file managers: they copy, move
// and delete it with the file calls, after its contents, which the listing
// puts before it. So each call does to the folder alone what a selection
// taken whole in list order needs, and never reaches into its contents; only
// a rename, of a folder that nothing stands in the way of, takes them along.
#pragma once

#include <windows.h>

// Copies (or, with the move flag, moves) the directory entry of `remoteName`,
// whose folder is `source`, out to the local name the host chose: the folder
// is made there, or found there already, and no data is copied. A move then
// removes the source folder, which must be empty by then; otherwise it is
// refused and nothing is changed. Reports the end of the transfer to the host
// as a file's transfer does. Returns a host file result code: a write error
// when the target folder cannot be made.
int GetDirectoryEntry(char* remoteName, const char* source, char* localName, int copyFlags);

// Copies the directory entry whose folder is `source` to the folder `target`
// inside the namespace: the folder is made there (with the folders above it
// that are missing), or found there already, and no data is copied, so that a
// selection copied in list order between two panels of the plugin comes out
// whole, empty folders included. Returns a host file result code: not found
// when the source is no folder, a write error when the target folder cannot
// be made.
int CopyDirectoryEntry(const char* source, const char* target);

// Moves the directory entry whose folder is `source` to the folder `target`
// inside the namespace. Where nothing stands at the target, the folder is
// renamed there with its contents, as a rename of a folder does (the folders
// above the target that are missing are made). Where a folder stands there
// already, the entry's contents went there before it, in list order: the
// emptied source folder is removed. A source folder that still holds
// something is never merged into the target, and nothing at the target is
// ever replaced, whatever the overwrite flag: that is "exists", and nothing
// changes. False with the last error: ERROR_FILE_NOT_FOUND when the source
// is no folder, an "exists" error where something is in the way.
bool MoveDirectoryEntry(const char* source, const char* target);
