// dorvak-reiserfs-cli: the reader's core without a display, for scripts,
// tests and benchmarks. Reads disks and images; never writes to them.
#include "cli/commands.h"

#include <cstring>
#include <iostream>

namespace {

struct Command {
    const char* name;
    int (*run)(dorvak::cli::Args&);
    const char* usage;
};

const Command kCommands[] = {
    {"disks", dorvak::cli::cmdDisks, "disks [IMAGE...]"},
    {"volumes", dorvak::cli::cmdVolumes, "volumes SOURCE"},
    {"search", dorvak::cli::cmdSearch, "search SOURCE [--start S] [--end E] [--run N]"},
    {"list", dorvak::cli::cmdList,
     "list SOURCE [--volume N | --start-sector S] [--extensive] [--quiet]"},
    {"find", dorvak::cli::cmdFind,
     "find SOURCE PATTERN [--volume N | --start-sector S] [--extensive]"},
    {"recover", dorvak::cli::cmdRecover,
     "recover SOURCE DEST [--volume N | --start-sector S] [--extensive] [--path /A/B ...]\n"
     "          [--duplicates rename|overwrite|skip] [--deleted include|only|exclude]\n"
     "          [--retries N] [--sectors-per-read N] [--quiet]"},
};

int usage() {
    std::cerr << "Usage: dorvak-reiserfs-cli COMMAND ...\n";
    for (const auto& c : kCommands)
        std::cerr << "  " << c.usage << "\n";
    return dorvak::cli::kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc < 2) return usage();
    for (const auto& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            dorvak::cli::Args args(argc, argv, 2);
            try {
                return c.run(args);
            } catch (const std::bad_alloc&) {
                std::cerr << "Out of memory, close other applications and run again\n";
                return dorvak::cli::kExitFatal;
            }
        }
    }
    return usage();
}
