// Writes starting inputs for the fuzz targets: small volumes whose trees the
// mount reads in full (a root node over leaves with every item type), so the
// fuzzer mutates real structures instead of searching for them.
#include "common/volume_builder.h"

#include <fstream>
#include <string>

using namespace dorvak::test;

namespace {

void save(const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Fuzz input layout: block size selector, root block (u32), then the blocks.
std::vector<std::uint8_t> volumeSeed(std::uint32_t blockSize, std::uint8_t selector) {
    LeafBuilder a(blockSize), b(blockSize);
    a.folder(1, 2).directory(1, 2, {{1, 2, "."}, {0, 1, ".."}, {2, 10, "docs"}, {2, 11, "a.txt"}});
    a.folder(2, 10).directory(2, 10,
                              {{2, 10, "."}, {1, 2, ".."}, {10, 12, "b.bin"}, {3, 40, "moved"}});
    b.file(2, 11, 5).direct(2, 11, 1, "hello").file(10, 12, 3 * blockSize);
    b.indirect(10, 12, 1, {5, 0, 6}).folder(50, 60).directory(50, 60, {{60, 61, "orphan"}});
    std::vector<std::uint8_t> seed{selector, 1, 0, 0, 0};
    const auto root = internalNode(blockSize, 2, {2, 3});
    std::vector<std::uint8_t> blank(blockSize, 0);
    seed.insert(seed.end(), blank.begin(), blank.end());
    seed.insert(seed.end(), root.begin(), root.end());
    const auto la = a.build(), lb = b.build();
    seed.insert(seed.end(), la.begin(), la.end());
    seed.insert(seed.end(), lb.begin(), lb.end());
    return seed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 1;
    const std::string mountDir = argv[1], volumesDir = argv[2];
    save(mountDir, "seed-512", volumeSeed(512, 0));
    save(mountDir, "seed-1024", volumeSeed(1024, 1));
    save(mountDir, "seed-4096", volumeSeed(4096, 2));
    // A disk: MBR with a primary and an extended chain, one superblock.
    DiskImage disk(300 * 512);
    writePartitionTable(disk, 0, {{0x83, 1, 200}, {0x05, 210, 80}});
    writePartitionTable(disk, 210, {{0x83, 5, 10}, {0x05, 20, 1}});
    writeSuperblock(disk, 0, 512, 200, 140, 2);
    disk.put16(140 * 512, 1);
    disk.put16(140 * 512 + 2, 1);
    save(volumesDir, "seed-disk", disk.data);
    return 0;
}
