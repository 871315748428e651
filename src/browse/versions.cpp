#include "browse/versions.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string_view>

namespace dorvak {
namespace {

// Versions are compared byte for byte in memory; a file larger than this is
// ordered but never folded.
constexpr std::uint64_t kMaxCompared = 64ull << 20;

class Collect : public ContentSink {
public:
    explicit Collect(std::vector<std::uint8_t>& out) : out_(out) {}
    bool write(std::uint64_t at, const std::uint8_t* data, std::size_t n) override {
        if (out_.size() < at + n) out_.resize(std::size_t(at + n));
        std::memcpy(out_.data() + at, data, n);
        return true;
    }
    bool proceed(std::uint64_t) override { return true; }

private:
    std::vector<std::uint8_t>& out_;
};

struct Version {
    std::uint32_t index;
    bool complete = false;
    bool read = false;
    std::vector<std::uint8_t> bytes;
};

bool complete(FileContents& contents, const CatalogEntry& f) {
    for (const FileContents::Segment& s : contents.layout(f))
        if (!s.item) return false;
    return true;
}

// The versions of one file (same object, same name) in a folder's list.
void settleGroup(FileContents& contents, Catalog& catalog, std::vector<Version>& group, bool fold,
                 VersionCounts& counts) {
    auto entry = [&](const Version& v) -> const CatalogEntry& {
        return catalog.FileList()[v.index];
    };
    for (Version& v : group)
        v.complete = complete(contents, entry(v));
    // The first: the live version, else the newest complete one.
    auto rank = [&](const Version& v) {
        const CatalogEntry& e = entry(v);
        return std::tuple(!e.deleted, v.complete, e.modifiedTime, e.size);
    };
    std::stable_sort(group.begin(), group.end(),
                     [&](const Version& a, const Version& b) { return rank(a) > rank(b); });
    if (!fold) return;
    auto bytesOf = [&](Version& v) -> const std::vector<std::uint8_t>& {
        if (!v.read) {
            v.read = true;
            std::vector<Damage> damage;
            Collect sink(v.bytes);
            if (contents.copy(entry(v), sink, damage) != ContentResult::Done) v.bytes.clear();
            v.bytes.resize(std::size_t(entry(v).size));
        }
        return v.bytes;
    };
    for (Version& v : group) {
        const CatalogEntry& e = entry(v);
        if (!e.deleted || e.size > kMaxCompared) continue;
        for (Version& w : group) {
            const CatalogEntry& n = entry(w);
            if (&w == &v || !w.complete || n.folded || n.size <= e.size ||
                n.modifiedTime < e.modifiedTime || n.size > kMaxCompared)
                continue;
            const auto& older = bytesOf(v);
            const auto& newer = bytesOf(w);
            if (std::equal(older.begin(), older.end(), newer.begin())) {
                catalog.fold(v.index);
                ++counts.folded;
                break;
            }
        }
    }
    for (Version& v : group) {
        v.bytes = {};
        v.read = false;
    }
}

// Whether two of `files` are versions of one file (the same object under
// the same name). Most folders have none, and telling that costs a sort of
// the folder's files, not a map node each.
bool hasVersions(const Catalog& catalog, const std::vector<std::uint32_t>& files) {
    std::vector<std::uint32_t> sorted(files);
    const auto key = [&](std::uint32_t i) {
        return std::pair(catalog.FileList()[i].objectId, catalog.FileList()[i].name.view());
    };
    std::sort(sorted.begin(), sorted.end(),
              [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
    return std::adjacent_find(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) {
               return key(a) == key(b);
           }) != sorted.end();
}

} // namespace

bool HasVersions(const Catalog& catalog) {
    if (catalog.oneFilePerObject()) return false;
    // One 64-bit key per file from its folder, object and name, sorted;
    // files with equal keys are compared in full (a key may collide).
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keys;
    keys.reserve(catalog.FileList().size());
    for (std::uint32_t i = 0; i < catalog.FileList().size(); ++i) {
        const CatalogEntry& f = catalog.FileList()[i];
        const std::uint64_t ids =
            (std::uint64_t(f.parentId) << 32 | f.objectId) * 0x9E3779B97F4A7C15ull;
        keys.emplace_back(ids ^ std::hash<std::string_view>()(f.name.view()), i);
    }
    std::sort(keys.begin(), keys.end());
    for (std::size_t i = 0; i < keys.size(); ++i)
        for (std::size_t j = i + 1; j < keys.size() && keys[j].first == keys[i].first; ++j) {
            const CatalogEntry& a = catalog.FileList()[keys[i].second];
            const CatalogEntry& b = catalog.FileList()[keys[j].second];
            if (a.parentId == b.parentId && a.objectId == b.objectId && a.name == b.name)
                return true;
        }
    return false;
}

VersionCounts SettleVersions(FileContents& contents, Catalog& catalog, bool fold,
                             const std::atomic<bool>& stop) {
    return SettleVersions([&]() -> FileContents& { return contents; }, catalog, fold, stop);
}

VersionCounts SettleVersions(const std::function<FileContents&()>& contents, Catalog& catalog,
                             bool fold, const std::atomic<bool>& stop) {
    VersionCounts counts;
    std::vector<std::uint32_t> keys{kRootObjectId};
    for (const CatalogEntry& f : catalog.FolderList())
        keys.push_back(f.objectId);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    for (std::uint32_t key : keys) {
        if (stop) break;
        const std::vector<std::uint32_t>& files = catalog.childFiles(key);
        if (!hasVersions(catalog, files)) continue;
        // Groups by (object, name), placed where their first version was.
        std::map<std::pair<std::uint32_t, std::string_view>, std::size_t> groupOf;
        std::vector<std::vector<Version>> groups;
        for (std::uint32_t i : files) {
            const CatalogEntry& f = catalog.FileList()[i];
            auto [at, added] = groupOf.try_emplace({f.objectId, f.name.view()}, groups.size());
            if (added) groups.emplace_back();
            groups[at->second].push_back(Version{i});
        }
        if (groups.size() == files.size()) continue; // one version of everything
        std::vector<std::uint32_t> order;
        for (std::vector<Version>& group : groups) {
            if (group.size() > 1 && !catalog.carvedFile(catalog.FileList()[group[0].index]))
                settleGroup(contents(), catalog, group, fold, counts);
            for (const Version& v : group)
                if (!catalog.FileList()[v.index].folded) order.push_back(v.index);
        }
        catalog.setChildFiles(key, std::move(order));
    }
    return counts;
}

} // namespace dorvak
