// Copies and moves that never destroy what they replace: the new file is
// written under a temporary name in the target's folder and takes the
// target's name in one step only once it is complete. A failure, a full disk
// or an abort leaves the old target and the source as they were, and nothing
// else behind. The host's progress callback hears the copy as it goes.
#pragma once

#include "plugin/PluginContext.h"

// The names the host gave the transfer, which its progress callback is shown.
struct HostNames {
    const char* source;
    const char* target;
};

// Copies `source` to `target` (over it when `overwrite`), or moves it. False
// with the platform's last error; ERROR_REQUEST_ABORTED when the user aborted
// during the copy.
BOOL SafeTransfer(const char* source, const char* target, bool move, bool overwrite,
                  const HostNames& names);
