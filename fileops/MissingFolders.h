// The host builds a transfer's target from the entry's listed name, so copying
// "a/b/report.txt" out to D:\out names D:\out\a/b/report.txt, whose folders do
// not exist yet.
#pragma once

#include <cstddef>

// The folders created for one target, deepest last, so that a transfer that
// still fails can take them away again.
struct CreatedFolders {
    char path[260];
    size_t cuts[130]; // each created folder is `path` up to one of these
    size_t count;
};

// Creates the folders of `target` that are missing beneath the deepest one that
// exists. False, having created nothing, when no ancestor exists or the path
// does not fit.
bool CreateMissingFolders(const char* target, CreatedFolders* created);

// Removes the folders CreateMissingFolders made, deepest first, while empty.
void RemoveCreatedFolders(const CreatedFolders& created);
