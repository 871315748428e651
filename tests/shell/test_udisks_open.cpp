// UdisksOpener against a mock udisks2 on a private bus (udisks_mock.py starts
// it and runs this program): a descriptor handed out by the service reads
// the disk, the older daemon's method is the fallback, and a refusal or an
// unknown device comes back as a message that says what to do.
#include "shell/udisks_open.h"

#include "disk/sector_reader.h"
#include "volume/partition_walk.h"

#include <QCoreApplication>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

using namespace dorvak;

namespace {

QString mockBus() {
    const char* bus = std::getenv("DORVAK_UDISKS_BUS");
    return bus ? QString::fromUtf8(bus) : QString();
}

std::string imagePath() {
    const char* image = std::getenv("DORVAK_UDISKS_IMAGE");
    return image ? image : "";
}

std::vector<std::uint64_t> walkStarts(SectorReader& reader) {
    VolumeTable table;
    WalkPartitionTables(reader, table);
    std::vector<std::uint64_t> starts;
    for (std::uint32_t i = 0; i < table.volumeCount; ++i)
        starts.push_back(table.records[i].startSector);
    return starts;
}

#define SKIP_WITHOUT_MOCK()                                                                        \
    if (mockBus().isEmpty()) GTEST_SKIP() << "run through udisks_mock.py"

} // namespace

TEST(UdisksOpener, TheServicesDescriptorReadsTheDiskLikeTheFileItself) {
    SKIP_WITHOUT_MOCK();
    SectorReader direct;
    ASSERT_TRUE(direct.OpenSelectedDisk(imagePath()));
    const auto want = walkStarts(direct);
    ASSERT_FALSE(want.empty());

    // Block.OpenDevice, and Block.OpenForBackup where the daemon is older.
    for (const char* device : {"/dev/sdz", "/dev/sdx"}) {
        SCOPED_TRACE(device);
        UdisksOpener::Result opened = UdisksOpener(mockBus()).openReadOnly(device);
        ASSERT_TRUE(opened.ok()) << opened.error.toStdString();
        EXPECT_EQ(::fcntl(opened.fd.get(), F_GETFL) & O_ACCMODE, O_RDONLY);
        SectorReader reader;
        const IoResult<> described = reader.openDescriptor(std::move(opened.fd), device);
        ASSERT_TRUE(described) << described.error().text;
        EXPECT_EQ(reader.diskPath(), device);
        EXPECT_EQ(reader.totalSectors(), direct.totalSectors());
        EXPECT_EQ(walkStarts(reader), want);
    }
}

TEST(UdisksOpener, ARefusalOrAnUnknownDeviceSaysHowToRunWithRights) {
    SKIP_WITHOUT_MOCK();
    struct Case {
        const char* device;
        const char* bus;
        const char* reason;
    };
    for (const Case c : {Case{"/dev/sdy", nullptr, "permission was not granted"},
                         Case{"/dev/sdw", nullptr, "udisks2 does not know it"},
                         Case{"/dev/sdz", "unix:path=/nonexistent/bus", "bus is not available"}}) {
        const auto result = UdisksOpener(c.bus ? QString(c.bus) : mockBus()).openReadOnly(c.device);
        const std::string error = result.error.toStdString();
        EXPECT_FALSE(result.ok()) << c.device;
        EXPECT_NE(error.find(std::string("Cannot open ") + c.device + ": "), std::string::npos)
            << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_NE(error.find("pkexec dorvak-reiserfs"), std::string::npos) << error;
        EXPECT_NE(error.find("disk group"), std::string::npos) << error;
    }
}

TEST(UdisksOpener, ObjectPathsEscapeTheKernelName) {
    EXPECT_EQ(UdisksOpener::blockObjectPath("/nonexistent/sdb").toStdString(),
              "/org/freedesktop/UDisks2/block_devices/sdb");
    EXPECT_EQ(UdisksOpener::blockObjectPath("/nonexistent/mapper/vg0-root_1").toStdString(),
              "/org/freedesktop/UDisks2/block_devices/vg0_2droot_5f1");
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
