// The host builds a transfer's target from the entry's listed name, so copying
// "a/b/report.txt" out to D:\out names D:\out\a/b/report.txt, whose folders do
// not exist yet.
#pragma once

#include <windows.h>

#include <cstddef>

// The folders created for one target, deepest last, so that a transfer that
// still fails can take them away again.
struct CreatedFolders {
    char path[260];
    size_t cuts[130]; // each created folder is `path` up to one of these
    size_t count;
};

// Whether a folder (or a link to one) stands at `path`.
bool IsDirectory(const char* path);

// Creates the folders of `target` that are missing beneath the deepest one that
// exists; true when they all stand there now, whoever made them. Only those
// this call made are recorded. False, having created nothing, when no
// ancestor exists, the path does not fit or a folder cannot be made.
bool CreateMissingFolders(const char* target, CreatedFolders* created);

// Makes the folder `folder`, whose parent exists. Another program, or another
// copy running beside this one, may have made it first: a folder standing
// there counts as made, and `*created` says whether this call made it, so
// that no one takes away a folder someone else made. Anything else standing
// there is a failure, ERROR_ALREADY_EXISTS.
bool EnsureFolder(const char* folder, bool* created);

// Removes the folders CreateMissingFolders made, deepest first, while empty.
void RemoveCreatedFolders(const CreatedFolders& created);

// Runs `attempt`; where it fails because a folder of `target` is missing and
// `worth` says folders would help, makes the missing folders and runs it
// again, taking them away when that fails too. Another transfer that fails at
// the same moment may take away a folder this one counted on, so a folder
// missing again is made once more. False with the attempt's last error.
template <typename Attempt, typename Worth>
bool WithMissingFolders(const char* target, Attempt attempt, Worth worth) {
    if (attempt()) {
        return true;
    }
    DWORD error = GetLastError();
    for (int round = 0; round < 2 && error == ERROR_PATH_NOT_FOUND && worth(); ++round) {
        CreatedFolders created;
        if (!CreateMissingFolders(target, &created)) {
            break;
        }
        if (attempt()) {
            return true;
        }
        error = GetLastError();
        RemoveCreatedFolders(created);
    }
    SetLastError(error);
    return false;
}
