// disks, volumes and search: what the disk list and volume discovery find.
#include "cli/commands.h"

#include "cli/progress_bar.h"
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

int cmdDisks(const DisksOptions& options) {
    if (options.map && options.images.size() != 1) {
        std::cerr << "--map goes with one IMAGE\n";
        return kExitUsage;
    }
    // Loaded first, so that a map that cannot be used is said, not listed.
    if (options.map && !loadRescueMap(*options.map)) return kExitFatal;
    DiskTable table;
    table.EnumerateDisks();
    int status = kExitOk;
    std::uint32_t mappedSlot = UINT32_MAX;
    for (const auto& image : options.images) {
        if (auto added = table.addImage(image); !added) {
            std::cerr << added.error().text << "\n";
            status = kExitFatal;
        } else if (options.map) {
            mappedSlot = table.diskSlotCount - 1;
        }
    }
    for (std::uint32_t slot = 0, number = 0; slot < table.diskSlotCount; ++slot) {
        const DiskInfo& d = table.slots[slot];
        // The map an image is read through is named on its line.
        const std::string map =
            slot == mappedSlot ? ",\"map\":" + jsonString(*options.map) : std::string();
        std::cout << "{\"number\":" << (d.hasMedia ? std::to_string(number++) : "null")
                  << ",\"model\":" << jsonString(d.model)
                  << ",\"capacity\":" << jsonString(DiskTable::capacityText(d))
                  << ",\"cylinders\":" << d.cylinders << ",\"heads\":" << d.heads
                  << ",\"sectorsPerTrack\":" << d.sectorsPerTrack
                  << ",\"totalSectors\":" << d.totalSectors << ",\"path\":" << jsonString(d.path)
                  << ",\"kind\":" << jsonString(d.kind) << ",\"format\":" << jsonString(d.format)
                  << map << "}\n";
    }
    return status;
}

int cmdVolumes(const VolumesOptions& options) {
    SectorReader reader;
    if (!openSource(reader, options.source, options.map)) return kExitFatal;
    // The volumes of a container read the same as those of its raw image;
    // which container they came out of is said beside them.
    if (std::string_view(reader.formatName()) != "raw")
        std::cerr << "Image format: " << reader.formatName() << "\n";
    // What the map does not mark read was not read: a volume there is missed.
    if (options.map) std::cerr << "Read through the map " << *options.map << "\n";
    VolumeTable table;
    const PartitionWalkResult walked = isStackedDevice(options.source)
                                           ? ProbeWholeVolume(reader, table)
                                           : WalkPartitionTables(reader, table);
    if (!walked.note.empty()) std::cerr << walked.note << "\n";
    for (std::uint32_t i = 0; i < table.volumeCount; ++i)
        printVolume(table.records[i], i);
    if (table.volumeCount == 0) std::cerr << "No ReiserFS volume found\n";
    return kExitOk;
}

int cmdSearch(const SearchOptions& options) {
    SectorReader reader;
    if (!openSource(reader, options.source, options.map)) return kExitFatal;
    SearchRange range;
    range.scanStartSector = options.start.value_or(0);
    range.scanEndSector = options.end.value_or(reader.totalSectors());
    if (options.run) range.sectorsPerRead = *options.run;
    if (range.scanEndSector <= range.scanStartSector) {
        std::cerr << "The end sector must be greater than the start sector\n";
        return kExitUsage;
    }
    VolumeTable table;
    std::atomic<bool> stop{false};
    StopOnSignal signal;
    ProgressBar bar(options.progress);
    SearchProgress progress(bar, signal, range.scanStartSector);
    signal.watch(&stop);
    std::uint32_t printed = 0;
    SearchPartitions(reader, table, range, stop, progress, [&](const VolumeInfo& v) {
        bar.finish();
        printVolume(v, printed++);
        std::cout.flush();
    });
    signal.watch(nullptr);
    bar.finish();
    if (signal.interrupted()) std::cerr << "The search was stopped; the list is partial\n";
    if (options.progress.stats) printReadStats(reader);
    std::cerr << "Partition(s) Found: " << table.volumeCount << "\n";
    return signal.exitStatus(kExitOk);
}

} // namespace dorvak::cli
