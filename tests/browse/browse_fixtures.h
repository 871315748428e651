#pragma once
// Shared pieces of the browse tests: an in-memory disk with bad sectors, a
// mount of a crafted volume (with the liveness pass), and a scratch folder.

#include "browse/liveness.h"
#include "common/memory_source.h"
#include "common/tree_builder.h"
#include "reiserfs/mount.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace dorvak::test {

struct MountedVolume {
    SectorReader reader;
    VolumeInfo volume;
    Catalog catalog;
    LiveState live;
    MemorySource* source = nullptr;
};

inline std::unique_ptr<MountedVolume> mountBuilt(const VolumeBuilder& b, std::uint32_t rootBlock,
                                                 RecoveryMode mode,
                                                 std::set<std::uint64_t> bad = {}) {
    auto m = std::make_unique<MountedVolume>();
    auto source = std::make_unique<MemorySource>(b.image.data, std::move(bad));
    m->source = source.get();
    m->reader.openSource(std::move(source));
    m->volume.name = "ReiserFS - 0";
    m->volume.sectorsPerBlock = b.sectorsPerBlock();
    m->volume.rootBlock = rootBlock;
    m->volume.sectorCount = std::uint64_t(b.blockCount()) * b.sectorsPerBlock();
    std::atomic<bool> stop{false};
    VolumeMount mount(m->reader, m->volume, m->catalog, stop);
    mount.MountSelectedVolume(mode);
    m->live = liveStateOf(mount, m->catalog);
    return m;
}

// A fresh folder under the system's temporary folder, removed afterwards
// (remove_all does not follow links).
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dorvak-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline std::string str(const std::vector<std::uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

// Every path below `root`, relative, sorted, without following links.
inline std::vector<std::string> listTree(const std::filesystem::path& root) {
    std::vector<std::string> out;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it)
        out.push_back(std::filesystem::relative(it->path(), root).string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace dorvak::test
