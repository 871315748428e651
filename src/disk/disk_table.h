#pragma once
// The disk table: the machine's physical disks, found once at start-up, plus
// any disk image files the user names, each with its geometry, capacity and
// model text. Disks without media take a slot but are not listed.

#include "disk/io_result.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace dorvak {

struct DiskInfo {
    std::uint32_t cylinders = 0;
    std::uint32_t heads = 0;
    std::uint32_t sectorsPerTrack = 0;
    // From the device's size, not from cylinders × heads × sectors: the
    // product undercounts real disks and wraps for disks of 2 TiB and more.
    std::uint64_t totalSectors = 0;
    std::string model;
    std::uint32_t int13Extensions = 0; // legacy BIOS mode only; always 0 here
    std::string path;                  // device or image file read as this disk
    bool hasMedia = false;
    // "disk", "image", or for a device stacked on disks: "lvm", "crypt",
    // "device-mapper", "md".
    std::string kind = "disk";
    // An LVM volume, md array or dm mapping holds a file system directly:
    // it is probed at sector 0 as one volume, not read for a table.
    bool wholeVolume = false;
    // The image container the sectors are read from: "raw" (devices and
    // plain images), "E01", "qcow2", "VHD", "VHDX" or "VMDK".
    std::string format = "raw";
};

// Whether `path` is a device-mapper device or an md array (by its device
// number under `sysDevBlock`, normally /sys/dev/block).
bool isStackedDevice(const std::string& path, const std::string& sysDevBlock = "/sys/dev/block");

class DiskTable {
public:
    static constexpr std::size_t kSlots = 32;
    static constexpr std::size_t kReadableDisks = 10;

    std::array<DiskInfo, kSlots> slots{};
    std::uint32_t diskSlotCount = 0; // slots filled so far
    std::uint16_t diskCount = 0;     // disks listed (with media)

    // Whole-disk block devices under `sysBlock` (normally /sys/block), opened
    // under `devRoot` for their geometry. Loop, RAM and zram entries are
    // skipped. Device-mapper devices (LVM, dm-crypt, others) and md arrays
    // follow the physical disks, named by their /dev/mapper or /dev/md name.
    void EnumerateDisks(const std::string& sysBlock = "/sys/block",
                        const std::string& devRoot = "/dev");
    // Appends an image file as a further disk; fails when it cannot be
    // opened or the table is full.
    IoResult<> addImage(const std::string& path);

    // Listed disk number → its slot (disks are numbered 0..diskCount-1 in the
    // order listed, whatever slots media-less disks took between them).
    const DiskInfo* disk(std::uint32_t number) const;
    // "N MB ( Approx )"
    static std::string capacityText(const DiskInfo& info);

private:
    bool addSlot(DiskInfo info);
    void addStacked(const std::string& sysBlock, const std::string& devRoot);
    std::vector<std::uint32_t> listed_;
};

} // namespace dorvak
