#include "plugin/PluginContext.h"

PluginContext g_context = {};

bool UserAborted(const char* sourceName, const char* targetName, int percent) {
    ProgressCallback progress = g_context.progress;
    if (progress == nullptr) {
        return false;
    }
    // The callback's parameters are not const in the host's interface, but the
    // host only reads them.
    return progress(g_context.pluginNumber, const_cast<char*>(sourceName),
                    const_cast<char*>(targetName), percent) != 0;
}
