// A directory entry ("a/b./") is a file to the file managers: they copy, move
// and delete it with the file calls, after its contents, which the listing
// puts before it. So each call does to the folder alone what a selection
// taken whole in list order needs, and never reaches into its contents.
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
