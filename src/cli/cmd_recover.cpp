// recover: copy files and folders of a volume out to a destination folder.
#include "cli/commands.h"

#include "browse/copy_out.h"
#include "browse/destination_check.h"
#include "browse/liveness.h"
#include "reiserfs/mount.h"
#include "reiserfs/structures.h"

#include <csignal>
#include <iostream>
#include <unordered_map>
#include <unordered_set>

namespace dorvak::cli {
namespace {

constexpr const char* kUsage =
    "Usage: dorvak-reiserfs-cli recover SOURCE DEST [--volume N | --start-sector S] "
    "[--extensive] [--path /A/B ...] [--duplicates rename|overwrite|skip] "
    "[--deleted include|only|exclude] [--retries N] [--sectors-per-read N] [--quiet]";

// Ctrl-C asks the copy-out to stop after the current request, so that no
// half-written file is left under its final name.
std::atomic<bool>* interruptFlag = nullptr;
extern "C" void onInterrupt(int) {
    if (interruptFlag) interruptFlag->store(true);
}

class BarProgress : public CopyProgressSink {
public:
    explicit BarProgress(TerminalProgress& bar) : bar_(bar) {}
    void copyProgress(const CopyProgressEvent& e) override {
        bar_.filesFound(std::uint32_t(e.filesDone));
        bar_.percent(e.bytesTotal ? unsigned(e.bytesDone * 100 / e.bytesTotal) : 0);
    }

private:
    TerminalProgress& bar_;
};

bool choice(const std::optional<std::string>& value, std::initializer_list<const char*> names,
            std::uint16_t& out, const char* option) {
    if (!value) return true;
    std::uint16_t n = 1;
    for (const char* name : names) {
        if (*value == name) {
            out = n;
            return true;
        }
        ++n;
    }
    std::cerr << "Unknown value for " << option << ": " << *value << "\n";
    return false;
}

bool ranged(const std::optional<std::string>& value, std::uint64_t low, std::uint64_t high,
            std::uint64_t& out, const char* option) {
    if (!value) return true;
    if (parseNumber(*value, out) && out >= low && out <= high) return true;
    std::cerr << option << " takes a number from " << low << " to " << high << "\n";
    return false;
}

bool readSettings(Args& args, RecoverySettings& s) {
    std::uint64_t retries = s.badSectorRetries, perRead = s.sectorsPerRead;
    const bool ok =
        choice(args.option("--duplicates"), {"rename", "overwrite", "skip"}, s.duplicatePolicy,
               "--duplicates") &&
        choice(args.option("--deleted"), {"include", "only", "exclude"}, s.deletedPolicy,
               "--deleted") &&
        ranged(args.option("--retries"), 1, 10, retries, "--retries") &&
        ranged(args.option("--sectors-per-read"), 1, 100, perRead, "--sectors-per-read");
    s.badSectorRetries = std::uint16_t(retries);
    s.sectorsPerRead = std::uint32_t(perRead);
    return ok;
}

// Each --path as the list command prints it: "/A/B" for a folder, "/A/B/f"
// for a file. Every entry of that path is taken (an Extensive mount may list
// several). "/" is everything. One pass over the catalog whatever the number
// of paths; each folder's path is built once, from its parent's.
bool resolvePaths(const Catalog& c, std::vector<std::string> paths, RecoverySelection& sel,
                  bool& all) {
    std::unordered_map<std::string, bool> wanted; // path -> found
    std::unordered_set<std::string> names;        // last components of the wanted paths
    for (std::string& p : paths) {
        while (p.size() > 1 && p.back() == '/')
            p.pop_back();
        if (p == "/") {
            all = true;
            continue;
        }
        wanted.emplace(p, false);
        names.insert(p.substr(p.rfind('/') + 1));
    }
    std::unordered_map<std::uint32_t, std::string> known{{kRootObjectId, ""}};
    std::unordered_set<std::uint32_t> unreachable;
    auto folderPath = [&](std::uint32_t key) -> const std::string* {
        std::vector<std::uint32_t> chain;
        while (!known.count(key)) {
            const long i = c.folderIndex(key);
            if (unreachable.count(key) || i < 0 || c.FolderList[i].treeItem == 0 ||
                chain.size() > c.FolderList.size()) {
                unreachable.insert(chain.begin(), chain.end());
                return nullptr;
            }
            chain.push_back(key);
            key = c.FolderList[i].parentId;
        }
        const std::string* path = &known[key];
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            path = &(known[*it] = *path + "/" + c.FolderList[c.folderIndex(*it)].name);
        return path;
    };
    auto take = [&](const std::string* parent, const std::string& name) {
        if (!parent || !names.count(name)) return false;
        auto it = wanted.find(*parent + "/" + name);
        if (it == wanted.end()) return false;
        it->second = true;
        return true;
    };
    for (std::size_t i = 0; i < c.FolderList.size() && !wanted.empty(); ++i) {
        const CatalogEntry& f = c.FolderList[i];
        if (f.treeItem && folderPath(f.objectId) && take(folderPath(f.parentId), f.name))
            sel.folders.push_back(i);
    }
    for (std::size_t i = 0; i < c.FileList.size() && !wanted.empty(); ++i)
        if (take(folderPath(c.FileList[i].parentId), c.FileList[i].name)) sel.files.push_back(i);
    for (const std::string& p : paths) {
        if (p == "/" || wanted[p]) continue;
        std::cerr << "No folder or file at " << jsonString(p) << " in this volume\n";
        return false;
    }
    return true;
}

void printRanges(const std::vector<Damage>& damage) {
    const char* sep = "";
    for (const Damage& d : damage) {
        std::cout << sep << "bytes " << d.range.begin << " to " << d.range.end - 1 << " ("
                  << damageText(d.kind) << ")";
        sep = "; ";
    }
}

void printSummary(const CopySummary& s) {
    std::cout << "Files written: " << s.filesWritten << "\nBytes written: " << s.bytesWritten
              << "\nRenamed: " << s.renamed.size() << "\n";
    for (const auto& r : s.renamed)
        std::cout << "  " << jsonString(r.catalogPath) << " -> " << jsonString(r.writtenPath)
                  << "\n";
    std::cout << "Skipped: " << s.skipped.size() << "\n";
    for (const auto& r : s.skipped)
        std::cout << "  " << jsonString(r.catalogPath) << ": " << r.reason << "\n";
    std::cout << "Damaged: " << s.damaged.size() << "\n";
    for (const auto& r : s.damaged) {
        std::cout << "  " << jsonString(r.catalogPath) << ": ";
        printRanges(r.damage);
        std::cout << "\n";
    }
    std::cout << "Failed: " << s.failed.size() << "\n";
    for (const auto& r : s.failed)
        std::cout << "  " << jsonString(r.catalogPath) << ": " << r.reason << "\n";
    if (s.stopped) std::cout << "Stopped: files not listed as written were not recovered\n";
}

} // namespace

int cmdRecover(Args& args) {
    const bool quiet = args.flag("--quiet");
    const bool extensive = args.flag("--extensive");
    const bool stats = args.flag("--stats");
    const auto paths = args.options("--path");
    RecoverySettings settings;
    if (!readSettings(args, settings)) return kExitUsage;
    const VolumeChoice choice = takeVolumeChoice(args);
    if (args.unknownOption() || args.rest().size() != 2) {
        std::cerr << kUsage << "\n";
        return kExitUsage;
    }
    const std::string source = args.rest()[0], destination = args.rest()[1];

    SectorReader reader;
    reader.badSectorRetries = settings.badSectorRetries;
    if (!openSource(reader, source)) return kExitFatal;
    // Before the mount, which may take long: the copy-out checks again.
    if (const std::string refused = destinationOnSourceDisk(source, destination);
        !refused.empty()) {
        std::cerr << refused << "\n";
        return kExitFatal;
    }
    auto volume = chooseVolume(reader, choice);
    if (!volume) return kExitFatal;

    Catalog catalog;
    std::atomic<bool> stop{false};
    TerminalProgress bar(quiet);
    VolumeMount mount(reader, *volume, catalog, stop, bar);
    if (mount.MountSelectedVolume(extensive ? RecoveryMode::Extensive : RecoveryMode::Normal)
            .outOfMemory) {
        std::cerr << kOutOfMemoryText << "\n";
        return kExitFatal;
    }
    const LiveState live = liveStateOf(mount, catalog);
    RecoverySelection selection;
    bool all = paths.empty();
    if (!resolvePaths(catalog, paths, selection, all)) return kExitFatal;

    CopyRequests requests;
    interruptFlag = &requests.stopSavingRequested;
    std::signal(SIGINT, onInterrupt);
    bar.status("Saving the data please wait");
    BarProgress progress(bar);
    CopyOut copy(reader, *volume, catalog, &live, settings, requests, progress);
    const CopySummary summary =
        all ? copy.RecoverAll(destination) : copy.RecoverSelected(destination, selection);
    std::signal(SIGINT, SIG_DFL);
    interruptFlag = nullptr;
    bar.finish();
    printSummary(summary);
    std::cout << "Unreadable sector(s): " << reader.unreadableSectorCount() << "\n";
    if (stats) printReadStats(reader);
    if (!summary.fatalError.empty()) {
        std::cerr << summary.fatalError << "\n";
        return kExitFatal;
    }
    return summary.whole() ? kExitOk : kExitPartial;
}

} // namespace dorvak::cli
