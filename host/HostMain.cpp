// quenfold-host: loads the plugin as Total Commander does and drives it from
// the command line.
#include <cstdio>
#include <cstring>

#include "host/Commands.h"

namespace {

const char kUsage[] =
    "usage: quenfold-host [--plugin FILE] [--abort] [--quiet] COMMAND [ARGS]\n"
    "\n"
    "Paths are local paths; the host turns each into the plugin's name for it\n"
    "(a backslash in front), as the file manager does.\n"
    "\n"
    "commands:\n"
    "  info                          root name, links to local files, version\n"
    "  list DIR                      list DIR flat (Ctrl+C aborts)\n"
    "  get PATH LOCAL [--overwrite] [--move] [--resume]\n"
    "                                copy (or move) an entry out to LOCAL\n"
    "  copy OLD NEW [--overwrite]    copy an entry inside the plugin\n"
    "  move OLD NEW [--overwrite]    rename or move an entry inside the plugin\n"
    "  delete PATH                   delete a file\n"
    "  rmdir PATH                    remove an empty directory\n"
    "  attr PATH ATTRIBUTES          set attributes (a number, 0x.. for hex)\n"
    "  time PATH [--creation S] [--access S] [--write S]\n"
    "                                set times, S in seconds since 1970 (UTC)\n"
    "  exec PATH VERB                execute a verb (open, properties)\n"
    "  icon PATH [--small] [--background]\n"
    "                                ask for an entry's icon\n"
    "\n"
    "options:\n"
    "  --plugin FILE   the plugin to load (default: " QUENFOLD_PLUGIN_FILE " beside this program)\n"
    "  --abort         the progress callback answers \"abort\"\n"
    "  --quiet         no live progress line while listing\n"
    "\n"
    "exit status: 0 success, 1 the plugin reported a failure, 2 usage, 3 no plugin\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

struct Command {
    const char* name;
    int (*run)(PluginApi& api, int argc, char** argv);
};

const Command kCommands[] = {
    {"info", RunInfo},    {"list", RunList},     {"get", RunGet},         {"copy", RunCopy},
    {"move", RunMove},    {"delete", RunDelete}, {"rmdir", RunRemoveDir}, {"attr", RunSetAttr},
    {"time", RunSetTime}, {"exec", RunExecute},  {"icon", RunIcon},
};

int Dispatch(PluginApi& api, const char* name, int argc, char** argv) {
    for (const Command& command : kCommands) {
        if (std::strcmp(command.name, name) == 0) {
            return command.run(api, argc, argv);
        }
    }
    std::fprintf(stderr, "quenfold-host: unknown command '%s'\n", name);
    return Usage();
}

} // namespace

int main(int argc, char** argv) {
    g_options.pluginFile = QUENFOLD_PLUGIN_FILE;
    int next = 1;
    for (; next < argc && argv[next][0] == '-' && argv[next][1] == '-'; ++next) {
        if (std::strcmp(argv[next], "--plugin") == 0 && next + 1 < argc) {
            g_options.pluginFile = argv[++next];
        } else if (std::strcmp(argv[next], "--abort") == 0) {
            g_options.abort = true;
        } else if (std::strcmp(argv[next], "--quiet") == 0) {
            g_options.quiet = true;
        } else if (std::strcmp(argv[next], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else {
            std::fprintf(stderr, "quenfold-host: unknown option '%s'\n", argv[next]);
            return Usage();
        }
    }
    if (next >= argc) {
        return Usage();
    }
    PluginApi api;
    if (!LoadPluginOrReport(g_options.pluginFile, &api)) {
        return kExitNoPlugin;
    }
    int result = Dispatch(api, argv[next], argc - next - 1, argv + next + 1);
    UnloadPlugin(&api);
    return result;
}
