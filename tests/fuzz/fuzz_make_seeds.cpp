// Writes starting inputs for the fuzz targets: small volumes whose trees the
// mount reads in full (a root node over leaves with every item type), so the
// fuzzer mutates real structures instead of searching for them. Given the
// folder of the kernel-made images, it adds volumes made of real leaves: the
// first leaves of a kernel-made volume's live tree under a new root node.
//
//     fuzz_make_seeds MOUNT_CORPUS VOLUMES_CORPUS [IMAGES_DIR]
//
// The saved-scan target's seeds go to fuzz_scan beside MOUNT_CORPUS.
#include "common/gpt_builder.h"
#include "common/volume_builder.h"
#include "disk/sector_source.h"
#include "fuzz_bodies.h"
#include "reiserfs/mount.h"
#include "volume/partition_walk.h"

#include <fstream>
#include <string>
#include <tuple>

using namespace dorvak::test;

namespace {

void save(const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Real leaves of `image` (a whole volume) under a root at block 1; empty when
// the image cannot be read.
std::vector<std::uint8_t> realLeavesSeed(const std::string& image, std::uint32_t blockSize,
                                         std::uint8_t selector, std::size_t leaves) {
    dorvak::SectorReader reader;
    auto source = dorvak::FileSectorSource::open(image);
    if (!source) return {};
    reader.openSource(std::move(*source));
    dorvak::VolumeTable table;
    dorvak::WalkPartitionTables(reader, table);
    if (table.volumeCount == 0) return {};
    dorvak::Catalog catalog;
    std::atomic<bool> stop{false};
    dorvak::VolumeMount mount(reader, table.records[0], catalog, stop);
    mount.WalkTree();
    std::vector<std::uint32_t> children;
    std::vector<std::uint8_t> seed{selector, 1, 0, 0, 0};
    std::vector<std::uint8_t> blocks;
    for (std::uint64_t sector : mount.liveLeaves()) {
        if (children.size() == leaves) break;
        std::vector<std::uint8_t> block(blockSize);
        reader.ReadSectors(sector, blockSize / 512, block.data());
        blocks.insert(blocks.end(), block.begin(), block.end());
        children.push_back(std::uint32_t(2 + children.size()));
    }
    if (children.empty()) return {};
    const std::vector<std::uint8_t> blank(blockSize, 0);
    const auto root = internalNode(blockSize, 2, children);
    seed.insert(seed.end(), blank.begin(), blank.end());
    seed.insert(seed.end(), root.begin(), root.end());
    seed.insert(seed.end(), blocks.begin(), blocks.end());
    return seed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 1;
    const std::string mountDir = argv[1], volumesDir = argv[2];
    save(mountDir, "seed-512", dorvak::fuzz::craftedVolume(512, 0));
    save(mountDir, "seed-1024", dorvak::fuzz::craftedVolume(1024, 1));
    save(mountDir, "seed-4096", dorvak::fuzz::craftedVolume(4096, 2));
    // Saved scans of those volumes, beside the mount's corpus.
    const std::string scanDir = mountDir + "/../fuzz_scan";
    for (std::uint8_t selector : {std::uint8_t(0), std::uint8_t(2), std::uint8_t(0x82)})
        save(scanDir, "seed-" + std::to_string(selector), dorvak::fuzz::savedScanSeed(selector));
    // A disk: MBR with a primary and an extended chain, one superblock.
    DiskImage disk(300 * 512);
    writePartitionTable(disk, 0, {{0x83, 1, 200}, {0x05, 210, 80}});
    writePartitionTable(disk, 210, {{0x83, 5, 10}, {0x05, 20, 1}});
    writeSuperblock(disk, 0, 512, 200, 140, 2);
    disk.put16(140 * 512, 1);
    disk.put16(140 * 512 + 2, 1);
    save(volumesDir, "seed-disk", disk.data);
    // A GPT disk of four entries, one volume, so that mutations reach past
    // the CRC checks.
    DiskImage gptDisk(400 * 512);
    GptLayout layout;
    layout.entryCount = 4;
    layout.parts[1] = {40, 380, u"seed"};
    writeGpt(gptDisk, layout);
    writeSuperblock(gptDisk, 40, 512, 200, 140, 2);
    save(volumesDir, "seed-gpt", gptDisk.data);
    if (argc == 4) {
        const std::string images = argv[3];
        int made = 0;
        for (auto [name, bs, selector, count] :
             {std::tuple{"v512.img", 512u, std::uint8_t(0), std::size_t(20)},
              std::tuple{"v1024.img", 1024u, std::uint8_t(1), std::size_t(30)},
              std::tuple{"v4096.img", 4096u, std::uint8_t(2), std::size_t(12)}}) {
            auto seed = realLeavesSeed(images + "/" + name, bs, selector, count);
            if (seed.empty()) continue;
            save(mountDir, std::string("real-") + name, seed);
            ++made;
        }
        if (made == 0) return 2; // the images were asked for and none could be read
    }
    return 0;
}
