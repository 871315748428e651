// recover: copy files and folders of a volume out to a destination folder.
#include "cli/commands.h"

#include "browse/versions.h"

#include "browse/copy_out.h"
#include "browse/destination_check.h"
#include "browse/liveness.h"
#include "cli/progress_bar.h"
#include "cli/recover_plan.h"
#include "cli/recover_report.h"
#include "cli/scan_mount.h"
#include "reiserfs/mount.h"
#include "reiserfs/structures.h"

#include <iostream>
#include <unordered_map>
#include <unordered_set>

namespace dorvak::cli {
namespace {

// Each --path as the list command prints it: "/A/B" for a folder, "/A/B/f"
// for a file. Every entry of that path is taken (an Extensive mount may list
// several). "/" is everything. One pass over the catalog whatever the number
// of paths; each folder's path is built once, from its parent's. Names are
// matched as list prints them: converted when an encoding is chosen.
bool resolvePaths(const Catalog& c, std::vector<std::string> paths, RecoverySelection& sel,
                  bool& all, const NameDecoder& decoder) {
    // The name as list prints it (valid until the next call).
    std::string convertedName;
    const auto shown = [&](std::string_view name) -> std::string_view {
        if (!decoder.chosen()) return name;
        convertedName = decoder.converted(name);
        return convertedName;
    };
    std::unordered_map<std::string, bool> wanted; // path -> found
    // The last components of the wanted paths, looked up by an entry's name.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>()(s);
        }
    };
    std::unordered_set<std::string, NameHash, std::equal_to<>> names;
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
            if (unreachable.count(key) || i < 0 || c.FolderList()[i].treeItem == 0 ||
                chain.size() > c.FolderList().size()) {
                unreachable.insert(chain.begin(), chain.end());
                return nullptr;
            }
            chain.push_back(key);
            key = c.FolderList()[i].parentId;
        }
        const std::string* path = &known[key];
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            path = &(known[*it] = childPath(*path, shown(c.FolderList()[c.folderIndex(*it)].name)));
        return path;
    };
    auto take = [&](const std::string* parent, std::string_view name) {
        if (!parent) return false;
        std::string full = *parent;
        appendPathName(full, shown(name));
        if (names.find(std::string_view(full).substr(parent->size() + 1)) == names.end())
            return false;
        auto it = wanted.find(full);
        if (it == wanted.end()) return false;
        it->second = true;
        return true;
    };
    for (std::size_t i = 0; i < c.FolderList().size() && !wanted.empty(); ++i) {
        const CatalogEntry& f = c.FolderList()[i];
        if (f.treeItem && folderPath(f.objectId) && take(folderPath(f.parentId), f.name))
            sel.folders.push_back(i);
    }
    for (std::size_t i = 0; i < c.FileList().size() && !wanted.empty(); ++i)
        if (!c.FileList()[i].folded &&
            take(folderPath(c.FileList()[i].parentId), c.FileList()[i].name))
            sel.files.push_back(i);
    for (const std::string& p : paths) {
        if (p == "/" || wanted[p]) continue;
        std::cerr << "No folder or file at " << jsonString(p) << " in this volume\n";
        return false;
    }
    return true;
}

// The volume's paths in a summary as list prints them (the written paths are
// converted already).
void convertPaths(CopySummary& s, const NameDecoder& names) {
    if (!names.chosen()) return;
    for (auto* list : {&s.written, &s.renamed, &s.skipped, &s.damaged, &s.failed})
        for (FileReport& r : *list)
            r.catalogPath = names.convertedPath(r.catalogPath);
}

void printRanges(const std::vector<Damage>& damage) {
    const char* sep = "";
    for (const Damage& d : damage) {
        if (d.range.begin == d.range.end)
            std::cout << sep << "from byte " << d.range.begin << " (" << damageText(d.kind) << ")";
        else
            std::cout << sep << "bytes " << d.range.begin << " to " << d.range.end - 1 << " ("
                      << damageText(d.kind) << ")";
        sep = "; ";
    }
}

void printSummary(const CopySummary& s) {
    std::cout << "Files written: " << s.filesWritten << "\n";
    if (s.carvedWritten) std::cout << "Carved files written: " << s.carvedWritten << "\n";
    std::cout << "Bytes written: " << s.bytesWritten << "\nRenamed: " << s.renamed.size() << "\n";
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
    for (const auto& r : s.failed) {
        std::cout << "  " << jsonString(r.catalogPath) << ": " << r.reason;
        if (!r.target.empty()) std::cout << " (target " << jsonString(r.target) << ")";
        std::cout << "\n";
    }
    if (s.stopped) std::cout << "Stopped: files not listed as written were not recovered\n";
}

void printList(const char* title, const std::vector<FileReport>& list) {
    std::cout << title << ": " << list.size() << "\n";
    for (const auto& r : list)
        std::cout << "  " << jsonString(r.catalogPath) << " -> " << jsonString(r.writtenPath)
                  << "\n";
}

// What a dry run found: everything that would be written, by name.
void printPlan(const RecoveryPlan& plan) {
    const CopySummary& s = plan.summary;
    std::cout << "Dry run: nothing was written\nFolders to create: " << plan.newFolders.size()
              << "\n";
    for (const auto& f : plan.newFolders)
        std::cout << "  " << jsonString(f) << "\n";
    printList("Files to write", s.written);
    std::cout << "Bytes to write: " << s.bytesWritten << "\n";
    printList("Renamed", s.renamed);
    std::cout << "Skipped: " << s.skipped.size() << "\n";
    for (const auto& r : s.skipped)
        std::cout << "  " << jsonString(r.catalogPath) << ": " << r.reason << "\n";
    std::cout << "Failed: " << s.failed.size() << "\n";
    for (const auto& r : s.failed)
        std::cout << "  " << jsonString(r.catalogPath) << ": " << r.reason << "\n";
}

// Tree nodes the mount passed over, in the words list uses: below them may
// lie folders and files that a Normal mount never reached.
void printSkippedNodes(const ReportContext& context) {
    if (context.nodesFromJournal != 0)
        std::cout << kNodesFromJournalText << context.nodesFromJournal << "\n";
    if (context.nodesSkipped == 0) return;
    std::cout << "Damaged or repeated tree nodes skipped: " << context.nodesSkipped << "\n";
    if (context.normalMode) std::cout << kExtensiveAdvice << "\n";
}

// The exit status of a summary, after its report is written when asked for.
int finish(const RecoverOptions& options, const CopySummary& summary, ReportContext context,
           const StopOnSignal& signal) {
    // A Normal mount that skipped nodes may have missed files.
    const bool missing = context.normalMode && context.nodesSkipped != 0;
    int status = summary.whole() && !missing ? kExitOk : kExitPartial;
    if (!summary.fatalError.empty()) {
        std::cerr << summary.fatalError << "\n";
        status = kExitFatal;
    }
    if (options.reportFile) {
        context.source = options.mount.source;
        context.destination = options.destination;
        context.dryRun = options.dryRun;
        std::string error;
        if (!writeReport(*options.reportFile, summary, context, error)) {
            std::cerr << error << "\n";
            status = kExitFatal;
        }
    }
    return status == kExitFatal ? status : signal.exitStatus(status);
}

} // namespace

int cmdRecover(const RecoverOptions& options) {
    const RecoverySettings& settings = options.settings;
    const std::string& destination = options.destination;

    SectorReader reader;
    reader.badSectorRetries = settings.badSectorRetries;
    if (!openSource(reader, options.mount.source, options.mount.map)) return kExitFatal;
    // Before the mount, which may take long: the copy-out checks again.
    if (const std::string refused = destinationOnSourceDisk(options.mount.source, destination);
        !refused.empty()) {
        std::cerr << refused << "\n";
        return kExitFatal;
    }
    VolumeChoice choice = options.mount.volume;
    if (!chooseSavedVolume(reader, options.mount, choice)) return kExitFatal;
    auto volume = chooseVolume(reader, choice);
    if (!volume) return kExitFatal;

    // Ctrl-C and SIGTERM stop the mount, or the copy-out after its current
    // read: the file being written is removed, never left half written.
    StopOnSignal signal;
    Catalog catalog;
    std::atomic<bool> stop{false};
    ProgressBar bar(options.progress);
    MountProgress mountProgress(bar, signal, *volume);
    signal.watch(&stop);
    auto run = mountCatalog(reader, *volume, catalog, options.mount, stop, mountProgress);
    signal.watch(nullptr);
    bar.finish();
    if (!run) return kExitFatal;
    const MountResult& mounted = run->result;
    if (run->loaded && mounted.stopped) {
        // What a stopped scan holds would be written as if it were the volume.
        std::cerr << "recover does not copy out of a partial scan: add --extensive to go on "
                     "with it first\n";
        return kExitFatal;
    }
    CopySummary summary;
    ReportContext context;
    context.nodesSkipped = mounted.nodesSkipped;
    context.nodesFromJournal = mounted.nodesFromJournal;
    context.normalMode = catalog.recoveryMode == RecoveryMode::Normal;
    if (signal.interrupted()) {
        // A partial catalog would write a partial tree as if it were whole.
        summary.stopped = true;
        printSummary(summary);
        return finish(options, summary, context, signal);
    }
    const NameDecoder names = nameDecoderFor(options.mount.nameEncoding);
    proposeNameEncoding(catalog, names);
    const LiveState& live = run->live;
    if (catalog.recoveryMode == RecoveryMode::Extensive && run->versions && HasVersions(catalog)) {
        FileContents contents(reader, *volume, catalog, &live);
        SettleVersions(contents, catalog, true, stop);
    }
    RecoverySelection selection;
    bool all = options.paths.empty();
    if (!resolvePaths(catalog, options.paths, selection, all, names)) return kExitFatal;
    const NameDecoder* written = names.chosen() ? &names : nullptr;
    if (options.dryRun) {
        RecoveryPlan plan = planRecovery(catalog, settings, destination, all, selection, written);
        convertPaths(plan.summary, names);
        printPlan(plan);
        printSkippedNodes(context);
        context.newFolders = &plan.newFolders;
        return finish(options, plan.summary, context, signal);
    }

    CopyRequests requests;
    bar.setStatus("Saving the data please wait");
    bar.setCounts({});
    bar.beginPhase();
    CopyProgress progress(bar, signal);
    signal.watch(&requests.stopSavingRequested);
    CopyOut copy(reader, *volume, catalog, &live, settings, requests, progress);
    copy.listWritten = options.reportFile.has_value();
    copy.nameDecoder = written;
    summary = all ? copy.RecoverAll(destination) : copy.RecoverSelected(destination, selection);
    convertPaths(summary, names);
    signal.watch(nullptr);
    bar.finish();
    printSummary(summary);
    printSkippedNodes(context);
    std::cout << "Unreadable sector(s): " << reader.unreadableSectorCount() << "\n";
    if (options.progress.stats) printReadStats(reader, &mounted);
    return finish(options, summary, context, signal);
}

} // namespace dorvak::cli
