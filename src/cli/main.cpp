// dorvak-reiserfs-cli: the reader's core without a display, for scripts,
// tests and benchmarks. Reads disks and images; never writes to them.
//
// The command line is parsed with CLI11 into the option records of
// commands.h. Help and --version exit 0; a usage error prints the message and
// the command's usage on stderr and exits 1.
#include "cli/commands.h"
#include "reiserfs/mount.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <map>
#include <new>

#ifndef DORVAK_VERSION
#define DORVAK_VERSION "0"
#endif

namespace dorvak::cli {
namespace {

constexpr const char* kProgram = "dorvak-reiserfs-cli";

void addProgressOptions(CLI::App& cmd, ProgressOptions& o) {
    auto* quiet = cmd.add_flag("-q,--quiet", o.quiet, "Show no progress");
    cmd.add_flag("--progress", o.forced, "Show progress on stderr even when it is not a terminal")
        ->excludes(quiet);
    cmd.add_flag("--stats", o.stats,
                 "Print the read requests, bytes and seeks made, as one JSON line on stderr");
}

// --map on every command that reads a source.
void addMapOption(CLI::App& cmd, std::optional<std::string>& map) {
    cmd.add_option("--map", map,
                   "The map an imaging run (image, or GNU ddrescue) wrote for SOURCE: "
                   "sectors it does not mark read are not read, and count as unreadable")
        ->type_name("MAPFILE");
}

void addMountOptions(CLI::App& cmd, MountOptions& o) {
    cmd.add_option("SOURCE", o.source, "Block device or disk or partition image")->required();
    addMapOption(cmd, o.map);
    auto* volume = cmd.add_option("--volume", o.volume.index,
                                  "Volume N of the partition tables (0 by default)")
                       ->check(CLI::NonNegativeNumber)
                       ->type_name("N");
    cmd.add_option("--start-sector", o.volume.startSector,
                   "Probe the volume that starts at sector S instead")
        ->check(CLI::NonNegativeNumber)
        ->type_name("S")
        ->excludes(volume);
    cmd.add_flag("--extensive", o.extensive,
                 "Also test every block for a leaf: brings back deleted files, files no "
                 "name reaches (Lost Files) and files found by their format in unused "
                 "blocks (Carved Files)");
    cmd.add_flag("--no-carve{false}", o.carve, "An Extensive mount without Carved Files");
    cmd.add_option("--name-encoding", o.nameEncoding,
                   "Read names that are not UTF-8 as ENC (KOI8-R, CP1251, CP932, GB18030...: "
                   "the names iconv knows); names are printed and written in UTF-8")
        ->type_name("ENC")
        ->check(
            CLI::Validator([](std::string& encoding) { return nameEncodingCheck(encoding); }, ""));
    cmd.add_option("--save-scan", o.saveScan,
                   "Write what the Extensive scan found to FILE (also a stopped scan, which "
                   "--load-scan FILE --extensive goes on with)")
        ->type_name("FILE");
    cmd.add_option("--load-scan", o.loadScan,
                   "Read the catalog from FILE, saved by --save-scan of this volume, instead of "
                   "scanning; with --extensive a stopped scan goes on where it stopped")
        ->type_name("FILE");
    cmd.add_option("--read-ahead", o.readAheadMiB,
                   "MiB of leaves the tree walk may hold ahead of their turn; past it, it "
                   "reads some again at their turn or a level a window at a time (" +
                       std::to_string(kDefaultReadAheadMiB) + ")")
        ->check(CLI::Range(1, 65536))
        ->type_name("MIB");
}

void addSearch(CLI::App& app, SearchOptions& o) {
    auto* cmd = app.add_subcommand("search", "Scan a sector range for ReiserFS superblocks");
    cmd->add_option("SOURCE", o.source, "Block device or disk image")->required();
    addMapOption(*cmd, o.map);
    cmd->add_option("--start", o.start, "First sector of the range (0)")
        ->check(CLI::NonNegativeNumber)
        ->type_name("S");
    cmd->add_option("--end", o.end, "Sector after the range (the end of the source)")
        ->check(CLI::NonNegativeNumber)
        ->type_name("E");
    cmd->add_option("--run", o.run, "Sectors in one read, 1 to 100 (60)")
        ->check(CLI::Range(1, 100))
        ->type_name("N");
    addProgressOptions(*cmd, o.progress);
}

void addList(CLI::App& app, ListOptions& o) {
    auto* cmd = app.add_subcommand("list", "Mount a volume and print its folders, then its files");
    addMountOptions(*cmd, o.mount);
    cmd->add_option("--path", o.path, "List only this folder, as list prints it (/A/B)")
        ->type_name("/A/B");
    cmd->add_option("--depth", o.depth,
                    "Levels below the folder to list (1: its own folders and files)")
        ->check(CLI::Range(1u, 0xFFFFFFFFu))
        ->type_name("N");
    cmd->add_flag("--deleted", o.deletedOnly,
                  "Only what an Extensive mount marks deleted (implies --extensive)");
    cmd->add_flag("--all-versions", o.mount.allVersions,
                  "Also the versions of a file that begin a newer version of it (an Extensive "
                  "mount leaves them out: the file caught while it was written)");
    addProgressOptions(*cmd, o.progress);
}

void addFind(CLI::App& app, FindOptions& o) {
    auto* cmd = app.add_subcommand(
        "find", "Print the files whose names match PATTERN (* and ?, letter case ignored)");
    addMountOptions(*cmd, o.mount);
    cmd->add_option("PATTERN", o.pattern, "Name pattern")->required();
    addProgressOptions(*cmd, o.progress);
}

void addRecover(CLI::App& app, RecoverOptions& o) {
    auto* cmd = app.add_subcommand("recover", "Copy files and folders of a volume out into DEST");
    addMountOptions(*cmd, o.mount);
    cmd->add_option("DEST", o.destination, "Existing folder to write into")->required();
    cmd->add_option("--path", o.paths, "Recover this folder or file only (repeatable)")
        ->type_name("/A/B")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    const std::map<std::string, std::uint16_t> duplicates{
        {"rename", 1}, {"overwrite", 2}, {"skip", 3}};
    cmd->add_option("--duplicates", o.settings.duplicatePolicy,
                    "A name that exists at the destination: rename (default), overwrite, skip")
        ->transform(CLI::CheckedTransformer(duplicates))
        ->type_name("POLICY");
    const std::map<std::string, std::uint16_t> deleted{{"include", 1}, {"only", 2}, {"exclude", 3}};
    cmd->add_option("--deleted", o.settings.deletedPolicy,
                    "Deleted files: include (default), only, exclude")
        ->transform(CLI::CheckedTransformer(deleted))
        ->type_name("POLICY");
    cmd->add_option("--retries", o.settings.badSectorRetries, "Tries per bad sector, 1 to 10 (3)")
        ->check(CLI::Range(1, 10))
        ->type_name("N");
    cmd->add_option("--sectors-per-read", o.settings.sectorsPerRead,
                    "Sectors in one read, 1 to 100 (60)")
        ->check(CLI::Range(1, 100))
        ->type_name("N");
    cmd->add_flag("--dry-run", o.dryRun,
                  "Print what would be written (folders, files, bytes, new names); write nothing");
    cmd->add_option("--report", o.reportFile, "Also write the summary as one JSON document to FILE")
        ->type_name("FILE");
    addProgressOptions(*cmd, o.progress);
}

void addImage(CLI::App& app, ImageOptions& o) {
    auto* cmd = app.add_subcommand(
        "image", "Copy SOURCE (or one volume of it) into the image file IMAGE, good areas first, "
                 "keeping a GNU ddrescue map of what was read; run it again to resume");
    cmd->add_option("SOURCE", o.source, "Block device or disk image to copy")->required();
    cmd->add_option("IMAGE", o.image, "Image file to write (new, or the one MAPFILE belongs to)")
        ->required();
    cmd->add_option("--map", o.map,
                    "Map of the run: created when missing, resumed when it exists; positions "
                    "count from the first byte of IMAGE")
        ->required()
        ->type_name("MAPFILE");
    cmd->add_option("--volume", o.volume, "Copy volume N of the partition tables only")
        ->check(CLI::NonNegativeNumber)
        ->type_name("N");
    cmd->add_option("--retries", o.retries, "Tries per bad sector in the last pass, 1 to 10 (3)")
        ->check(CLI::Range(1, 10))
        ->type_name("N");
    addProgressOptions(*cmd, o.progress);
}

// `help [COMMAND]`: the help of the program or of one command, on stdout.
int showHelp(CLI::App& app, const std::string& topic) {
    if (topic.empty()) {
        std::cout << app.help();
        return kExitOk;
    }
    for (const CLI::App* cmd : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (cmd->get_name() == topic) {
            std::cout << cmd->help(kProgram);
            return kExitOk;
        }
    }
    std::cerr << "No command " << topic << "\n\n" << app.help();
    return kExitUsage;
}

// A usage error: the message, then the usage of the command it concerns.
int usageError(CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
    const auto chosen = app.get_subcommands();
    if (chosen.empty() && argc > 1 && argv[1][0] != '-')
        std::cerr << kProgram << ": no command " << argv[1] << "\n\n";
    else
        std::cerr << kProgram << ": " << e.what() << "\n\n";
    if (chosen.empty())
        std::cerr << app.help();
    else
        std::cerr << chosen.back()->help(kProgram);
    return kExitUsage;
}

int run(int argc, char** argv) {
    CLI::App app{"Finds ReiserFS volumes on disks and disk images, lists what they hold and "
                 "copies it out. Sources are only ever read.",
                 kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " DORVAK_VERSION);
    app.require_subcommand(1);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.footer("Exit status: 0 success (also when nothing was found), 1 usage error,\n"
               "2 the source, the volume or the destination cannot be used, 3 recover left\n"
               "files damaged, skipped or failed, or image left bad sectors, 130 and 143\n"
               "stopped by SIGINT and SIGTERM.\n"
               "See dorvak-reiserfs-cli(1).");

    DisksOptions disks;
    auto* disksCmd = app.add_subcommand("disks", "The disk list, one JSON object per line");
    disksCmd->add_option("IMAGE", disks.images, "Disk image files to add to the list");
    disksCmd
        ->add_option("--map", disks.map,
                     "The map an imaging run wrote for the one IMAGE given: its line names it")
        ->type_name("MAPFILE");

    VolumesOptions volumes;
    auto* volumesCmd =
        app.add_subcommand("volumes", "ReiserFS volumes of the partition tables of SOURCE");
    volumesCmd->add_option("SOURCE", volumes.source, "Block device or disk image")->required();
    addMapOption(*volumesCmd, volumes.map);

    SearchOptions search;
    addSearch(app, search);
    ListOptions list;
    addList(app, list);
    FindOptions find;
    addFind(app, find);
    RecoverOptions recover;
    addRecover(app, recover);
    ImageOptions imageOptions;
    addImage(app, imageOptions);

    std::string topic;
    auto* helpCmd = app.add_subcommand("help", "Show the help of the program or of COMMAND");
    helpCmd->add_option("COMMAND", topic, "A command");

    try {
        app.parse(argc, argv);
        if (list.deletedOnly) list.mount.extensive = true;
        for (const MountOptions* m : {&list.mount, &find.mount, &recover.mount})
            if (m->saveScan && !m->extensive && !m->loadScan)
                throw CLI::ValidationError("--save-scan",
                                           "saves an Extensive scan: add --extensive");
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usageError(app, e, argc, argv);
    }

    if (*helpCmd) return showHelp(app, topic);
    if (*disksCmd) return cmdDisks(disks);
    if (*volumesCmd) return cmdVolumes(volumes);
    if (app.got_subcommand("search")) return cmdSearch(search);
    if (app.got_subcommand("list")) return cmdList(list);
    if (app.got_subcommand("find")) return cmdFind(find);
    if (app.got_subcommand("image")) return cmdImage(imageOptions);
    return cmdRecover(recover);
}

} // namespace
} // namespace dorvak::cli

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    try {
        return dorvak::cli::run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::cerr << dorvak::kOutOfMemoryText << "\n";
        return dorvak::kOutOfMemoryExitStatus;
    }
}
