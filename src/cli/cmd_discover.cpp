// disks, volumes and search: what the disk list and volume discovery find.
#include "cli/commands.h"

#include "disk/disk_table.h"
#include "volume/partition_search.h"
#include "volume/partition_walk.h"

#include <iostream>

namespace dorvak::cli {
namespace {

void printVolume(const VolumeInfo& v, std::uint32_t index) {
    std::cout << "{\"index\":" << index << ",\"name\":" << jsonString(v.name)
              << ",\"startSector\":" << v.startSector << ",\"sectorCount\":" << v.sectorCount
              << ",\"sectorsPerBlock\":" << v.sectorsPerBlock << ",\"rootBlock\":" << v.rootBlock;
    // A volume of a GPT entry also carries the entry's name and type.
    if (!v.typeGuid.empty())
        std::cout << ",\"gptName\":" << jsonString(v.partitionName)
                  << ",\"typeGuid\":" << jsonString(v.typeGuid);
    std::cout << "}\n";
}

} // namespace

int cmdDisks(Args& args) {
    if (auto bad = args.unknownOption()) {
        std::cerr << "Unknown option " << *bad << "\n";
        return kExitUsage;
    }
    DiskTable table;
    table.EnumerateDisks();
    int status = kExitOk;
    for (const auto& image : args.rest()) {
        std::string error;
        if (!table.addImage(image, &error)) {
            std::cerr << error << "\n";
            status = kExitFatal;
        }
    }
    for (std::uint32_t slot = 0, number = 0; slot < table.diskSlotCount; ++slot) {
        const DiskInfo& d = table.slots[slot];
        std::cout << "{\"number\":" << (d.hasMedia ? std::to_string(number++) : "null")
                  << ",\"model\":" << jsonString(d.model)
                  << ",\"capacity\":" << jsonString(DiskTable::capacityText(d))
                  << ",\"cylinders\":" << d.cylinders << ",\"heads\":" << d.heads
                  << ",\"sectorsPerTrack\":" << d.sectorsPerTrack
                  << ",\"totalSectors\":" << d.totalSectors << ",\"path\":" << jsonString(d.path)
                  << ",\"kind\":" << jsonString(d.kind) << "}\n";
    }
    return status;
}

int cmdVolumes(Args& args) {
    if (auto bad = args.unknownOption(); bad || args.rest().size() != 1) {
        std::cerr << "Usage: dorvak-reiserfs-cli volumes SOURCE\n";
        return kExitUsage;
    }
    SectorReader reader;
    if (!openSource(reader, args.rest()[0])) return kExitFatal;
    VolumeTable table;
    const PartitionWalkResult walked = isStackedDevice(args.rest()[0])
                                           ? ProbeWholeVolume(reader, table)
                                           : WalkPartitionTables(reader, table);
    if (!walked.note.empty()) std::cerr << walked.note << "\n";
    for (std::uint32_t i = 0; i < table.volumeCount; ++i)
        printVolume(table.records[i], i);
    if (table.volumeCount == 0) std::cerr << "No ReiserFS volume found\n";
    return kExitOk;
}

int cmdSearch(Args& args) {
    const bool quiet = args.flag("--quiet");
    const bool stats = args.flag("--stats");
    auto start = args.option("--start");
    auto end = args.option("--end");
    auto run = args.option("--run");
    if (auto bad = args.unknownOption(); bad || args.rest().size() != 1) {
        std::cerr << "Usage: dorvak-reiserfs-cli search SOURCE [--start S] [--end E] [--run N]\n";
        return kExitUsage;
    }
    SectorReader reader;
    if (!openSource(reader, args.rest()[0])) return kExitFatal;
    SearchRange range;
    range.scanEndSector = reader.totalSectors();
    std::uint64_t n = 0;
    if (start && !parseNumber(*start, range.scanStartSector)) {
        std::cerr << "Not a sector number: " << *start << "\n";
        return kExitUsage;
    }
    if (end && !parseNumber(*end, range.scanEndSector)) {
        std::cerr << "Not a sector number: " << *end << "\n";
        return kExitUsage;
    }
    if (run) {
        if (!parseNumber(*run, n) || n < 1 || n > 100) {
            std::cerr << "The run length must be 1 to 100 sectors\n";
            return kExitUsage;
        }
        range.sectorsPerRead = std::uint32_t(n);
    }
    if (range.scanEndSector <= range.scanStartSector) {
        std::cerr << "The end sector must be greater than the start sector\n";
        return kExitUsage;
    }
    VolumeTable table;
    std::atomic<bool> stop{false};
    TerminalProgress progress(quiet);
    std::uint32_t printed = 0;
    SearchPartitions(reader, table, range, stop, progress, [&](const VolumeInfo& v) {
        progress.finish();
        printVolume(v, printed++);
        std::cout.flush();
    });
    progress.finish();
    if (stats) printReadStats(reader);
    std::cerr << "Partition(s) Found: " << table.volumeCount << "\n";
    return kExitOk;
}

} // namespace dorvak::cli
