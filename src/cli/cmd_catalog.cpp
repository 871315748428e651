// list and find: mount a volume and print its catalog.
#include "cli/commands.h"

#include "browse/file_contents.h"
#include "browse/liveness.h"
#include "browse/name_match.h"
#include "browse/versions.h"
#include "cli/progress_bar.h"
#include "cli/recover_report.h"
#include "cli/scan_mount.h"
#include "reiserfs/mount.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iostream>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace dorvak::cli {
namespace {

struct Mounted {
    SectorReader reader;
    VolumeInfo volume;
    Catalog catalog;
    MountResult result;
    LiveState live;
    NameDecoder names;                   // --name-encoding
    std::uint64_t folded = 0;            // versions left out of the lists
    std::uint64_t savedUnreadable = 0;   // met by the scan a saved scan holds
    std::unique_ptr<FileContents> links; // made when the first link is listed
};

// Opens SOURCE, chooses the volume and mounts it; nullptr after printing why.
// Ctrl-C and SIGTERM stop the mount; what it found so far is kept.
std::unique_ptr<Mounted> mountVolume(const MountOptions& options,
                                     const ProgressOptions& progressOptions, StopOnSignal& signal) {
    auto mounted = std::make_unique<Mounted>();
    if (!openSource(mounted->reader, options.source, options.map)) return nullptr;
    VolumeChoice choice = options.volume;
    if (!chooseSavedVolume(mounted->reader, options, choice)) return nullptr;
    auto chosen = chooseVolume(mounted->reader, choice);
    if (!chosen) return nullptr;
    mounted->volume = *chosen;
    mounted->names = nameDecoderFor(options.nameEncoding);

    std::atomic<bool> stop{false};
    ProgressBar bar(progressOptions);
    MountProgress progress(bar, signal, mounted->volume);
    signal.watch(&stop);
    auto run =
        mountCatalog(mounted->reader, mounted->volume, mounted->catalog, options, stop, progress);
    signal.watch(nullptr);
    bar.finish();
    if (!run) return nullptr;
    mounted->result = run->result;
    mounted->live = std::move(run->live);
    mounted->savedUnreadable = run->savedUnreadable;
    if (mounted->catalog.recoveryMode == RecoveryMode::Extensive && !mounted->result.outOfMemory &&
        run->versions && HasVersions(mounted->catalog)) {
        FileContents contents(mounted->reader, mounted->volume, mounted->catalog, &mounted->live);
        mounted->folded =
            SettleVersions(contents, mounted->catalog, !options.allVersions, stop).folded;
    }
    // A signal after the last check still ends the command early.
    if (signal.interrupted()) mounted->result.stopped = true;
    proposeNameEncoding(mounted->catalog, mounted->names);
    return mounted;
}

// Rows of the listing, built in one buffer and written in blocks.
class RowWriter {
public:
    explicit RowWriter(Mounted& m) : m_(m), buffer_(kFlushBytes + kRowBytes) {}
    ~RowWriter() { flush(); }
    void folder(const CatalogEntry& f) {
        literal("{\"kind\":\"dir\",\"path\":");
        path(f, f.treeItem != 0);
        common(f, 0);
        literal(",\"treeItem\":");
        number(f.treeItem);
        end(f);
    }
    // A file row; a symbolic link also carries its target, read from the volume.
    void file(const CatalogEntry& f) {
        literal(f.fileType == FileType::Symlink   ? "{\"kind\":\"symlink\",\"path\":"
                : f.fileType == FileType::Special ? "{\"kind\":\"special\",\"path\":"
                                                  : "{\"kind\":\"file\",\"path\":");
        path(f, true);
        common(f, f.size);
        literal(",\"fileNumber\":");
        number(f.fileNumber);
        if (f.fileType == FileType::Symlink) {
            if (!m_.links)
                m_.links =
                    std::make_unique<FileContents>(m_.reader, m_.volume, m_.catalog, &m_.live);
            std::vector<Damage> damage;
            auto bytes = m_.links->readSmall(f, 4095, damage);
            literal(",\"target\":");
            if (bytes)
                appendText(*bytes, true);
            else
                literal("null");
        }
        end(f);
    }
    // Writes the rows held so far (before a summary, so that a terminal
    // shows them first).
    void flush() {
        std::cout.write(buffer_.data(), std::streamsize(used_));
        std::cout.flush();
        used_ = 0;
    }

private:
    // Room for `n` more characters at the end of the buffer.
    char* room(std::size_t n) {
        if (used_ + n > buffer_.size()) {
            flush();
            if (n > buffer_.size()) buffer_.resize(n);
        }
        return buffer_.data() + used_;
    }
    void literal(std::string_view s) {
        std::memcpy(room(s.size()), s.data(), s.size());
        used_ += s.size();
    }
    // `text` between quotes, or only the characters before the closing one.
    void json(std::string_view text, bool close = true) {
        char* at = room(2 + kJsonCharsPerByte * text.size());
        char* const start = at;
        if (close) *at++ = '"';
        at = putJsonChars(at, text);
        if (close) *at++ = '"';
        used_ += std::size_t(at - start);
    }
    // A folder's path is looked up and written as JSON once for the rows in
    // it (the files of a folder come in several runs); a row adds its own
    // name. Both are escaped alike, and no character sequence runs across
    // the "/" between them, so the row's path reads as it would escaped
    // whole.
    void path(const CatalogEntry& f, bool placed) {
        if (!parent_ || f.parentId != parentId_) {
            // Bounded: the paths of a deep tree of many folders add up.
            if (parents_.size() >= kParentsKept) parents_.clear();
            const auto [it, fresh] = parents_.try_emplace(f.parentId);
            if (fresh) {
                Parent& p = it->second;
                p.ok = m_.catalog.folderPath(f.parentId, p.path);
                appendJsonString(p.json, p.path);
                p.json.pop_back(); // the closing quote: the name follows
            }
            parent_ = &it->second;
            parentId_ = f.parentId;
        }
        if (!parent_->ok || !placed) {
            literal("null");
            return;
        }
        if (m_.names.chosen()) {
            full_.assign(parent_->path);
            appendPathName(full_, f.name);
            appendText(full_, true);
            return;
        }
        literal(parent_->json);
        char* at = room(2 + kJsonCharsPerByte * f.name.size());
        char* const start = at;
        *at++ = '/';
        at = putJsonChars(at, f.name, true);
        *at++ = '"';
        used_ += std::size_t(at - start);
    }
    // Names and paths as the bytes on disk, or converted from the chosen
    // encoding (--name-encoding).
    void appendText(std::string_view text, bool isPath) {
        if (!m_.names.chosen())
            json(text);
        else
            json(isPath ? m_.names.convertedPath(text) : m_.names.converted(text));
    }
    void common(const CatalogEntry& f, std::uint64_t size) {
        literal(",\"name\":");
        appendText(f.name, false);
        literal(",\"objectId\":");
        number(f.objectId);
        literal(",\"parentId\":");
        number(f.parentId);
        literal(",\"dirId\":");
        number(f.keyDirId);
        literal(",\"mtime\":");
        number(f.modifiedTime);
        literal(",\"size\":");
        number(size);
    }
    // Two digits at a time from the end, straight into the buffer: six
    // numbers a row. (Digits gathered on the stack and then copied whole
    // made each copy wait for the small stores before it.)
    void number(std::uint64_t v) {
        static constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324"
                                         "25262728293031323334353637383940414243444546474849"
                                         "50515253545556575859606162636465666768697071727374"
                                         "75767778798081828384858687888990919293949596979899";
        const std::size_t digits = digitCount(v);
        char* at = room(digits) + digits;
        for (; v >= 100; v /= 100)
            std::memcpy(at -= 2, kPairs + 2 * (v % 100), 2);
        if (v >= 10)
            std::memcpy(at - 2, kPairs + 2 * v, 2);
        else
            at[-1] = char('0' + v);
        used_ += digits;
    }
    static std::size_t digitCount(std::uint64_t v) {
        for (std::size_t n = 1;; n += 4, v /= 10000) {
            if (v < 10) return n;
            if (v < 100) return n + 1;
            if (v < 1000) return n + 2;
            if (v < 10000) return n + 3;
        }
    }
    void end(const CatalogEntry& f) {
        if (f.deleted) literal(",\"deleted\":true");
        if (const CarvedFile* carved = m_.catalog.carvedFile(f)) {
            literal(",\"carved\":");
            json(m_.catalog.carvedTypeName(*carved));
            if (carved->damaged) literal(",\"damaged\":true");
        }
        literal("}\n");
        if (used_ >= kFlushBytes) flush();
    }

    // Rows go out in blocks of this size: a listing of a large volume is
    // millions of rows, and a write of each cost as much as building it.
    // They are written into a plain buffer rather than appended to a string
    // piece by piece, which cost a third of the listing.
    static constexpr std::size_t kFlushBytes = 64 * 1024;
    static constexpr std::size_t kRowBytes = 8 * 1024; // most rows are far shorter

    Mounted& m_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::string full_; // the path of the row being built (--name-encoding)
    struct Parent {
        bool ok = false;  // reachable from the root
        std::string path; // as folderPath gives it
        std::string json; // `path` as JSON, the closing quote left off
    };
    static constexpr std::size_t kParentsKept = 4096;
    std::unordered_map<std::uint32_t, Parent> parents_;
    const Parent* parent_ = nullptr; // of the last row, by its id
    std::uint32_t parentId_ = 0;
};

// What one `list --path P --depth N` shows: indices into FolderList and
// FileList, in list order, of the entries 1 to N levels below P.
struct Subtree {
    std::vector<std::uint32_t> folders, files;
};

// The folders of the tree at `path` ("/" is the root, names as list prints
// them); an Extensive mount can hold more than one (a deleted folder beside a
// live one of the same name).
std::vector<std::uint32_t> foldersAt(const Catalog& c, std::string path, const NameDecoder& names) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path == "/" || path.empty()) return {kRootObjectId};
    std::vector<std::uint32_t> keys;
    std::string p;
    for (const auto& f : c.FolderList())
        if (f.treeItem && c.folderPath(f.objectId, p) &&
            (names.chosen() ? names.convertedPath(p) : p) == path)
            keys.push_back(f.objectId);
    return keys;
}

Subtree subtreeOf(const Catalog& c, const std::vector<std::uint32_t>& start, std::uint32_t depth) {
    Subtree out;
    std::unordered_set<std::uint32_t> seen(start.begin(), start.end());
    std::vector<std::uint32_t> level = start;
    for (std::uint32_t d = 0; d < depth && !level.empty(); ++d) {
        std::vector<std::uint32_t> next;
        for (std::uint32_t key : level) {
            const auto& files = c.childFiles(key);
            out.files.insert(out.files.end(), files.begin(), files.end());
            for (std::uint32_t i : c.childFolders(key)) {
                if (!seen.insert(c.FolderList()[i].objectId).second) continue; // a loop
                out.folders.push_back(i);
                next.push_back(c.FolderList()[i].objectId);
            }
        }
        level = std::move(next);
    }
    std::sort(out.folders.begin(), out.folders.end());
    std::sort(out.files.begin(), out.files.end());
    return out;
}

} // namespace

int cmdList(const ListOptions& options) {
    StopOnSignal signal;
    auto m = mountVolume(options.mount, options.progress, signal);
    if (!m) return signal.exitStatus(kExitFatal);
    const Catalog& c = m->catalog;
    const auto shown = [&](const CatalogEntry& e) {
        return !e.folded && (!options.deletedOnly || e.deleted);
    };
    std::uint64_t folders = 0, files = 0;
    RowWriter rows(*m);
    if (!options.path && !options.depth) {
        for (const auto& f : c.FolderList())
            if (shown(f)) rows.folder(f), ++folders;
        for (const auto& f : c.FileList())
            if (shown(f)) rows.file(f), ++files;
    } else {
        const std::vector<std::uint32_t> start = foldersAt(c, options.path.value_or("/"), m->names);
        if (start.empty()) {
            std::cerr << "No folder at " << jsonString(*options.path) << " in this volume\n";
            return signal.exitStatus(kExitFatal);
        }
        const Subtree t =
            subtreeOf(c, start, options.depth.value_or(options.path ? 1 : UINT32_MAX));
        for (std::uint32_t i : t.folders)
            if (shown(c.FolderList()[i])) rows.folder(c.FolderList()[i]), ++folders;
        for (std::uint32_t i : t.files)
            if (shown(c.FileList()[i])) rows.file(c.FileList()[i]), ++files;
    }
    rows.flush();
    if (!options.path && !options.depth && !options.deletedOnly) {
        // The whole catalog: the mount's own counts.
        folders = c.folderCount();
        files = c.fileCount() - m->folded;
    }
    if (m->result.stopped) std::cerr << "The mount was stopped; the list is partial\n";
    std::cerr << "Unreadable sector(s): " << m->reader.unreadableSectorCount() << "\n";
    if (m->savedUnreadable != 0)
        std::cerr << "Unreadable sector(s) met by the saved scan: " << m->savedUnreadable << "\n";
    if (options.progress.stats) printReadStats(m->reader, &m->result);
    std::cerr << "Folder(s) Found: " << folders << "\nFile(s) Found: " << files << "\n";
    if (m->result.nodesSkipped != 0)
        std::cerr << "Damaged or repeated tree nodes skipped: " << m->result.nodesSkipped << "\n";
    if (m->result.nodesFromJournal != 0)
        std::cerr << kNodesFromJournalText << m->result.nodesFromJournal << "\n";
    return signal.exitStatus(kExitOk);
}

int cmdFind(const FindOptions& options) {
    StopOnSignal signal;
    auto m = mountVolume(options.mount, options.progress, signal);
    if (!m) return signal.exitStatus(kExitFatal);
    const Catalog& c = m->catalog;
    // Letter case is ignored in the match only: the rows carry the names as
    // list prints them. A name is matched as it is printed.
    const std::string pattern = upperCase(options.pattern);
    const NameDecoder& names = m->names;
    std::uint32_t found = 0;
    RowWriter rows(*m);
    for (const auto& f : c.FileList()) {
        if (f.folded) continue;
        const std::string upper =
            names.chosen() ? upperCase(names.converted(f.name)) : upperCase(f.name);
        if (!NameMatches(upper, pattern)) continue;
        rows.file(f);
        ++found;
    }
    rows.flush();
    if (m->result.stopped) std::cerr << "The mount was stopped; the list is partial\n";
    std::cerr << "Files Found: " << found << "\n";
    return signal.exitStatus(kExitOk);
}

} // namespace dorvak::cli
