// The versions an Extensive mount finds of a file written in small appends
// and then deleted: the plain name goes to the newest complete version, and
// the versions that begin a newer one fold into it.
#include "browse/copy_out.h"
#include "browse/versions.h"
#include "browse_fixtures.h"

#include <gtest/gtest.h>

namespace dorvak::test {
namespace {

constexpr std::uint32_t kBs = 4096;

// Stale leaves only (the live tree holds the root folder): drone.wav
// (object 10) caught at 8192 bytes, at 16384, and at 20000 with one item of
// four blocks' worth missing; other.bin (object 11) at 100 bytes and at 200
// bytes that begin differently.
struct Versions {
    VolumeBuilder b{kBs, 64};
    std::uint32_t root = 0;
    std::vector<std::uint8_t> drone = pattern(5 * kBs, 10);
    std::vector<std::uint8_t> otherOld = pattern(100, 11), otherNew = pattern(200, 12);
    Versions() {
        root = b.alloc();
        const std::uint32_t live = b.alloc();
        const std::uint32_t data = b.alloc(5);
        for (std::uint32_t i = 0; i < 5; ++i)
            b.data(data + i, drone, i * kBs);
        b.internal(root, {live});
        b.leaf(live, LeafBuilder(kBs).folder(1, 2));
        auto version = [&](std::uint64_t size, std::uint32_t mtime, std::uint32_t blocks) {
            std::vector<std::uint32_t> list;
            for (std::uint32_t i = 0; i < blocks; ++i)
                list.push_back(data + i);
            LeafBuilder l(kBs);
            l.directory(1, 2, {{2, 10, "drone.wav"}})
                .file(2, 10, size, mtime)
                .indirect(2, 10, 1, list);
            b.leaf(b.alloc(), l);
        };
        version(8192, 100, 2);
        version(16384, 200, 4);
        version(20000, 300, 1);
        for (const auto& [bytes, mtime] : {std::pair(&otherOld, 50u), std::pair(&otherNew, 60u)}) {
            LeafBuilder l(kBs);
            l.directory(1, 2, {{2, 11, "other.bin"}})
                .file(2, 11, bytes->size(), mtime)
                .direct(2, 11, 1, std::string(bytes->begin(), bytes->end()));
            b.leaf(b.alloc(), l);
        }
        b.superblock(root);
    }
};

std::vector<std::pair<std::string, std::uint64_t>> listed(const Catalog& c) {
    std::vector<std::pair<std::string, std::uint64_t>> out;
    for (std::uint32_t i : c.childFiles(kRootObjectId))
        out.emplace_back(c.FileList()[i].name.str(), c.FileList()[i].size);
    return out;
}

} // namespace

TEST(Versions, PlainNameGoesToTheNewestCompleteVersionAndPrefixesFold) {
    Versions v;
    auto m = mountBuilt(v.b, v.root, RecoveryMode::Extensive);
    EXPECT_TRUE(HasVersions(m->catalog));
    FileContents contents(m->reader, m->volume, m->catalog, &m->live);
    std::atomic<bool> stop{false};
    EXPECT_EQ(SettleVersions(contents, m->catalog, true, stop).folded, 1u);
    using L = std::vector<std::pair<std::string, std::uint64_t>>;
    EXPECT_EQ(
        listed(m->catalog),
        (L{{"drone.wav", 16384}, {"drone.wav", 20000}, {"other.bin", 200}, {"other.bin", 100}}));
    ScratchDir dest;
    CopyRequests requests;
    CopyOut copy(m->reader, m->volume, m->catalog, &m->live, RecoverySettings{}, requests);
    copy.RecoverAll(dest.str());
    EXPECT_EQ(readFile(dest.path() / "drone.wav"),
              std::string(v.drone.begin(), v.drone.begin() + 16384));
    EXPECT_EQ(readFile(dest.path() / "other.bin"),
              std::string(v.otherNew.begin(), v.otherNew.end()));
    EXPECT_EQ(readFile(dest.path() / "other (1).bin"),
              std::string(v.otherOld.begin(), v.otherOld.end()));
}

// Versions are the same object under the same name in the same folder. An
// Extensive catalog knows when every object came once; the second file of
// one must still be seen.
TEST(Versions, HasVersionsNeedsTheSameFolderObjectAndName) {
    for (const RecoveryMode mode : {RecoveryMode::Normal, RecoveryMode::Extensive}) {
        Catalog c;
        c.recoveryMode = mode;
        c.AddFile("a", 2, 12, 0, 0, 1, 2);
        c.AddFile("a", 2, 11, 0, 0, 1, 2);
        EXPECT_FALSE(HasVersions(c));
        c.AddFile("a", 3, 10, 0, 0, 1, 2);
        c.AddFile("b", 2, 10, 0, 0, 1, 2);
        EXPECT_FALSE(HasVersions(c));
        c.AddFile("a", 3, 10, 0, 0, 2, 2);
        EXPECT_TRUE(HasVersions(c));
        Catalog once;
        once.recoveryMode = mode;
        once.AddFile("a", 2, 12, 0, 0, 1, 2);
        once.AddFile("a", 2, 12, 5, 0, 2, 2); // a second version of the only object
        EXPECT_TRUE(HasVersions(once));
    }
}

TEST(Versions, WithoutFoldingEveryVersionStaysListedNewestCompleteFirst) {
    Versions v;
    auto m = mountBuilt(v.b, v.root, RecoveryMode::Extensive);
    FileContents contents(m->reader, m->volume, m->catalog, &m->live);
    std::atomic<bool> stop{false};
    EXPECT_EQ(SettleVersions(contents, m->catalog, false, stop).folded, 0u);
    const auto l = listed(m->catalog);
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[0], std::pair(std::string("drone.wav"), std::uint64_t(16384)));
    EXPECT_EQ(l[1], std::pair(std::string("drone.wav"), std::uint64_t(8192)));
}

} // namespace dorvak::test
