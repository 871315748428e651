// Which devices share a disk, read from a sysfs tree laid out as the kernel's.
#include "browse/destination_check.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/sysmacros.h>

namespace dorvak {
namespace {

namespace fs = std::filesystem;

class FakeSys : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "dorvak-sys-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        paths.sys = root.string();
        // sdb with partitions sdb1 and sdb3, sdc alone, dm-0 on sdb3, dm-1 on
        // dm-0 (a volume inside an encrypted partition), md0 on sdc and sdb1.
        for (const char* d :
             {"devices/sdb/sdb1", "devices/sdb/sdb3", "devices/sdc", "devices/dm-0/slaves",
              "devices/dm-1/slaves", "devices/md0/slaves", "dev/block"})
            fs::create_directories(root / d);
        for (const char* p : {"devices/sdb/sdb1/partition", "devices/sdb/sdb3/partition"})
            std::ofstream(root / p) << "1\n";
        fs::create_directory_symlink("../../sdb/sdb3", root / "devices/dm-0/slaves/sdb3");
        fs::create_directory_symlink("../../dm-0", root / "devices/dm-1/slaves/dm-0");
        fs::create_directory_symlink("../../sdc", root / "devices/md0/slaves/sdc");
        fs::create_directory_symlink("../../sdb/sdb1", root / "devices/md0/slaves/sdb1");
        link(8, 16, "sdb");
        link(8, 17, "sdb/sdb1");
        link(8, 19, "sdb/sdb3");
        link(8, 32, "sdc");
        link(253, 0, "dm-0");
        link(253, 1, "dm-1");
        link(9, 0, "md0");
    }
    void TearDown() override { fs::remove_all(root); }
    void link(unsigned ma, unsigned mi, const std::string& to) {
        fs::create_directory_symlink("../../devices/" + to,
                                     root / "dev/block" /
                                         (std::to_string(ma) + ":" + std::to_string(mi)));
    }
    bool share(dev_t a, dev_t b) const {
        const auto x = underlyingDisks(a, paths), y = underlyingDisks(b, paths);
        for (const auto& d : x)
            if (y.count(d)) return true;
        return false;
    }
    fs::path root;
    SystemPaths paths;
};

TEST_F(FakeSys, PartitionsAndStackedDevicesShareTheirDisk) {
    const dev_t sdb = makedev(8, 16), sdb1 = makedev(8, 17), sdb3 = makedev(8, 19),
                sdc = makedev(8, 32), dm0 = makedev(253, 0), dm1 = makedev(253, 1),
                md0 = makedev(9, 0);
    EXPECT_TRUE(share(sdb3, sdb3));
    EXPECT_TRUE(share(sdb3, sdb1)); // another partition of the same disk
    EXPECT_TRUE(share(sdb, sdb3));
    EXPECT_TRUE(share(sdb3, dm0));
    EXPECT_TRUE(share(sdb, dm1)); // two device-mapper levels down
    EXPECT_TRUE(share(sdc, md0));
    EXPECT_TRUE(share(sdb1, md0));
    EXPECT_FALSE(share(sdc, sdb3));
    EXPECT_FALSE(share(sdc, dm1));
    EXPECT_TRUE(underlyingDisks(makedev(0, 42), paths).empty()); // unknown to sysfs
}

TEST(DestinationCheck, ImageFilesNeverConflict) {
    const fs::path tmp = fs::temp_directory_path();
    EXPECT_EQ(destinationOnSourceDisk("/proc/self/exe", tmp.string()), "");
}

} // namespace
} // namespace dorvak
