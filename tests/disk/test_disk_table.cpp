#include "disk/disk_table.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace dorvak;
namespace fs = std::filesystem;

namespace {

// A fake /sys/block: each disk a folder with "size" and "device/model".
class FakeSysfs {
public:
    FakeSysfs()
        : root_(fs::temp_directory_path() / ("dorvak-sysfs-" + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(root_ / "block");
        fs::create_directories(root_ / "dev");
    }
    ~FakeSysfs() { fs::remove_all(root_); }
    void disk(const std::string& name, std::uint64_t sectors, const std::string& model,
              bool usb = false) {
        fs::path real = root_ / "devices" / (usb ? "usb1/1-1" : "pci0") / name;
        fs::create_directories(real / "device");
        std::ofstream(real / "size") << sectors << "\n";
        std::ofstream(real / "device/model") << model << "   \n";
        fs::create_directory_symlink(real, root_ / "block" / name);
    }
    // A device-mapper device: dm/name and dm/uuid as the kernel shows them.
    void mapper(const std::string& node, const std::string& name, const std::string& uuid,
                std::uint64_t sectors) {
        fs::path real = root_ / "devices/virtual/block" / node;
        fs::create_directories(real / "dm");
        std::ofstream(real / "size") << sectors << "\n";
        std::ofstream(real / "dm/name") << name << "\n";
        std::ofstream(real / "dm/uuid") << uuid << "\n";
        fs::create_directory_symlink(real, root_ / "block" / node);
    }
    // An md array; `name`, when given, is its /dev/md/NAME link.
    void array(const std::string& node, std::uint64_t sectors, const std::string& name = "") {
        fs::path real = root_ / "devices/virtual/block" / node;
        fs::create_directories(real / "md");
        std::ofstream(real / "size") << sectors << "\n";
        std::ofstream(real / "md/level") << "raid1\n";
        fs::create_directory_symlink(real, root_ / "block" / node);
        if (name.empty()) return;
        fs::create_directories(root_ / "dev/md");
        fs::create_symlink("../" + node, root_ / "dev/md" / name);
    }
    std::string block() const { return (root_ / "block").string(); }
    std::string dev() const { return (root_ / "dev").string(); }

private:
    fs::path root_;
};

} // namespace

TEST(DiskTable, ListsDisksWithMediaInOrderAndSkipsVirtualOnes) {
    FakeSysfs sys;
    sys.disk("sdb", 2048 * 100, "Second Disk");
    sys.disk("sda", 16065000, "WDC WD80");
    sys.disk("sdc", 0, "Card Reader");
    sys.disk("sdd", 4096, "Stick", true);
    sys.disk("loop0", 1000, "");
    sys.disk("dm-0", 1000, "");
    sys.disk("zram0", 1000, "");
    DiskTable table;
    table.EnumerateDisks(sys.block(), sys.dev());
    ASSERT_EQ(table.diskCount, 3);
    EXPECT_EQ(table.diskSlotCount, 4u);
    EXPECT_EQ(table.disk(0)->model, "WDC WD80");
    EXPECT_EQ(table.disk(0)->totalSectors, 16065000u);
    EXPECT_EQ(table.disk(0)->cylinders, 1000u);
    EXPECT_EQ(table.disk(0)->heads, 255u);
    EXPECT_EQ(table.disk(0)->sectorsPerTrack, 63u);
    EXPECT_EQ(DiskTable::capacityText(*table.disk(0)), "7844 MB ( Approx )");
    EXPECT_EQ(table.disk(1)->model, "Second Disk");
    // The media-less reader takes a slot but no number; the next disk is 2.
    EXPECT_EQ(table.slots[2].model, "Media missing or not inserted");
    EXPECT_EQ(table.disk(2)->model, "USB Device");
    EXPECT_EQ(table.disk(3), nullptr);
}

TEST(DiskTable, DisksOfTwoTebibytesAndMoreKeepTheirWholeSize) {
    FakeSysfs sys;
    const std::uint64_t sectors = std::uint64_t(6) << 31; // 6 TiB
    sys.disk("sda", sectors, "Big");
    DiskTable table;
    table.EnumerateDisks(sys.block(), sys.dev());
    ASSERT_EQ(table.diskCount, 1);
    EXPECT_EQ(table.disk(0)->totalSectors, sectors);
    EXPECT_EQ(DiskTable::capacityText(*table.disk(0)),
              std::to_string(sectors / 2048) + " MB ( Approx )");
}

TEST(DiskTable, ImagesAreAppendedAndTheTableStaysWithinItsBounds) {
    FakeSysfs sys;
    for (int i = 0; i < 12; ++i)
        sys.disk("sd" + std::string(1, char('a' + i)), 2048, "D");
    DiskTable table;
    table.EnumerateDisks(sys.block(), sys.dev());
    EXPECT_EQ(table.diskCount, DiskTable::kReadableDisks);
    const auto image = fs::temp_directory_path() / "dorvak-table-image.img";
    std::ofstream(image) << std::string(4096, 'x');
    const IoResult<> full = table.addImage(image.string());
    ASSERT_FALSE(full);
    EXPECT_NE(full.error().text.find("full"), std::string::npos);

    DiskTable fresh;
    const IoResult<> added = fresh.addImage(image.string());
    ASSERT_TRUE(added) << added.error().text;
    EXPECT_EQ(fresh.disk(0)->model, "dorvak-table-image.img");
    EXPECT_EQ(fresh.disk(0)->totalSectors, 8u);
    const IoResult<> missing = fresh.addImage("/nonexistent.img");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().text.find("/nonexistent.img"), std::string::npos);
    fs::remove(image);
}

// LVM volumes, dm-crypt mappings, other mappings and md arrays follow the
// physical disks, by their /dev/mapper and /dev/md names, as whole volumes.
// LVM's hidden layers and devices without a size are not listed.
TEST(DiskTable, StackedDevicesFollowThePhysicalDisksByTheirNames) {
    FakeSysfs sys;
    const std::string lvm = "LVM-" + std::string(64, 'a');
    sys.array("md127", 4000, "backup");
    sys.array("md1", 3000);
    sys.array("md2", 0); // inactive
    sys.mapper("dm-3", "vg0-pool_tdata", lvm + "-tdata", 1000);
    sys.mapper("dm-2", "vg0-root", lvm, 2000);
    sys.mapper("dm-0", "luks-1234", "CRYPT-LUKS2-1234-luks-1234", 1500);
    sys.mapper("dm-1", "mpatha", "mpath-3600", 500);
    sys.disk("sda", 16065000, "WDC WD80");
    DiskTable table;
    table.EnumerateDisks(sys.block(), sys.dev());
    struct Want {
        std::string path, kind;
        std::uint64_t sectors;
    };
    const std::vector<Want> want = {{"/mapper/luks-1234", "crypt", 1500},
                                    {"/mapper/mpatha", "device-mapper", 500},
                                    {"/mapper/vg0-root", "lvm", 2000},
                                    {"/md1", "md", 3000},
                                    {"/md/backup", "md", 4000}};
    ASSERT_EQ(table.diskCount, 1 + want.size());
    EXPECT_EQ(table.disk(0)->kind, "disk");
    EXPECT_FALSE(table.disk(0)->wholeVolume);
    for (std::size_t i = 0; i < want.size(); ++i) {
        const DiskInfo* d = table.disk(std::uint32_t(i + 1));
        EXPECT_EQ(d->path, sys.dev() + want[i].path) << i;
        EXPECT_EQ(d->model, d->path);
        EXPECT_EQ(d->kind, want[i].kind) << d->path;
        EXPECT_EQ(d->totalSectors, want[i].sectors) << d->path;
        EXPECT_TRUE(d->wholeVolume) << d->path;
    }
}
