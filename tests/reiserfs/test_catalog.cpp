#include "reiserfs/catalog.h"
#include "reiserfs/key_map.h"
#include "reiserfs/mount.h"
#include "reiserfs/structures.h"

#include "common/volume_builder.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

using namespace dorvak;
using namespace dorvak::test;

namespace {

// Feeds crafted leaves to a catalog through the leaf decoder.
struct Feed {
    SectorReader reader;
    VolumeInfo volume{};
    Catalog catalog;
    std::atomic<bool> stop{false};
    VolumeMount mount{reader, volume, catalog, stop};
    explicit Feed(RecoveryMode mode = RecoveryMode::Normal) { catalog.recoveryMode = mode; }
    Feed& leaf(const LeafBuilder& b) {
        const auto block = b.build();
        mount.ProcessLeaf(0, block, true);
        return *this;
    }
    std::vector<std::string> fileNames() const {
        std::vector<std::string> n;
        for (const auto& f : catalog.FileList())
            n.push_back(f.name.str());
        return n;
    }
    std::vector<std::string> folderNames() const {
        std::vector<std::string> n;
        for (const auto& f : catalog.FolderList())
            n.push_back(f.name.str());
        return n;
    }
};

} // namespace

TEST(Catalog, NamesAndStatDataJoinWhicheverComesFirst) {
    Feed f;
    f.leaf(LeafBuilder(4096).file(2, 10, 29, 500)); // stat first
    f.leaf(LeafBuilder(4096).directory(1, 2, {{2, 10, "a.txt"}, {2, 11, "b.txt"}}));
    f.leaf(LeafBuilder(4096).file(2, 11, 7, 600)); // stat after
    ASSERT_EQ(f.fileNames(), (std::vector<std::string>{"a.txt", "b.txt"}));
    const auto& a = f.catalog.FileList()[0];
    EXPECT_EQ(a.size, 29u);
    EXPECT_EQ(a.modifiedTime, 500u);
    EXPECT_EQ(a.parentId, 2u);
    EXPECT_EQ(a.fileNumber, 1u);
    EXPECT_EQ(f.catalog.FileList()[1].fileNumber, 2u);
    EXPECT_EQ(f.catalog.fileCount(), 2u);
}

TEST(Catalog, DisorderedNamePositionsVoidTheWholeItem) {
    LeafBuilder b(4096);
    b.directory(1, 2, {{2, 10, "one"}, {2, 11, "two"}, {2, 12, "three"}});
    auto block = b.build();
    // Entry 2's name ("three", 5 bytes) moved 6 bytes up: above entry 1's name
    // yet still inside the item, so only the ordering rule can reject it.
    auto head = ReadItemHead(block, 0);
    const std::size_t entry2 = head->itemLocation + 32 + 12;
    block[entry2] = std::uint8_t(block[entry2] + 6);
    Feed f;
    f.mount.ProcessLeaf(0, block, true);
    f.leaf(LeafBuilder(4096).file(2, 10, 1).file(2, 11, 1).file(2, 12, 1));
    EXPECT_TRUE(f.catalog.FileList().empty());
}

TEST(Catalog, MovedEntriesBelongToTheListingFolderAndTheRestOfTheItemIsKept) {
    // Folder 20 lists "g" whose key says it was created in folder 30, then "h".
    Feed f;
    f.leaf(LeafBuilder(4096)
               .folder(2, 20)
               .directory(1, 2, {{2, 20, "b"}})
               .directory(2, 20, {{30, 40, "g"}, {20, 41, "h"}})
               .file(30, 40, 5)
               .file(20, 41, 6));
    ASSERT_EQ(f.fileNames(), (std::vector<std::string>{"g", "h"}));
    EXPECT_EQ(f.catalog.FileList()[0].parentId, 20u);
    EXPECT_EQ(f.catalog.FileList()[0].keyDirId, 30u);
    EXPECT_EQ(f.catalog.FileList()[1].parentId, 20u);
}

TEST(Catalog, EntryCountLimitIsOneThousand) {
    for (std::uint32_t count : {1000u, 1001u}) {
        std::vector<DirName> names;
        for (std::uint32_t i = 0; i < count; ++i)
            names.push_back({2, 100 + i, "f"});
        Feed f;
        // Too big for a leaf: decode the directory item straight from a buffer.
        LeafBuilder b(65536);
        b.directory(1, 2, names);
        std::vector<std::uint8_t> body = b.items[0].body;
        f.catalog.AddDirectoryItem(count, 0, body, body.size(), 2);
        for (std::uint32_t i = 0; i < count; ++i) {
            LeafBuilder s(4096);
            s.file(2, 100 + i, 1);
            const auto block = s.build();
            f.mount.ProcessLeaf(0, block, true);
        }
        EXPECT_EQ(f.catalog.fileCount(), count == 1000 ? 1000u : 0u) << count;
    }
}

TEST(Catalog, DotEntriesAndEmptyNamesAreNeverObjects) {
    Feed f;
    f.leaf(
        LeafBuilder(4096)
            .directory(1, 2,
                       {{1, 2, "."}, {0, 1, ".."}, {2, 10, std::string("\0\0", 2)}, {2, 11, "ok"}})
            .file(1, 2, 1)
            .file(0, 1, 1)
            .file(2, 10, 1)
            .file(2, 11, 1));
    EXPECT_EQ(f.fileNames(), std::vector<std::string>{"ok"});
}

TEST(Catalog, NamesStopAtZeroAndAtTwoHundredFiftyFiveBytes) {
    Feed f;
    const std::string longName(300, 'n');
    f.leaf(LeafBuilder(4096)
               .directory(1, 2, {{2, 10, longName}, {2, 11, std::string("pad\0\0\0", 6)}})
               .file(2, 10, 1)
               .file(2, 11, 1));
    ASSERT_EQ(f.catalog.FileList().size(), 2u);
    EXPECT_EQ(f.catalog.FileList()[0].name, std::string(255, 'n'));
    EXPECT_EQ(f.catalog.FileList()[1].name, "pad");
}

// Every name of a file with several links is listed, whichever comes first;
// a file with one link joins one name (a second one is damage).
TEST(Catalog, NormalModeListsEveryNameOfAHardLinkedFile) {
    Feed f;
    f.leaf(LeafBuilder(4096)
               .directory(1, 2, {{2, 10, "first"}, {2, 10, "second"}, {2, 11, "one"}, {2, 11, "x"}})
               .file(2, 10, 3)
               .links(3)
               .file(2, 11, 4)
               .links(1));
    f.leaf(LeafBuilder(4096).directory(2, 30, {{2, 10, "third"}, {2, 10, "fourth"}}));
    EXPECT_EQ(f.fileNames(), (std::vector<std::string>{"first", "second", "one", "third"}));
    EXPECT_EQ(f.catalog.fileCount(), 4u);
    EXPECT_EQ(f.catalog.pendingNameCount(), 2u); // "x" and the fourth name of a 3-link file
}

TEST(Catalog, FirstFolderPerObjectIdWins) {
    Feed f(RecoveryMode::Extensive);
    f.leaf(LeafBuilder(4096).folder(2, 20, 1).directory(1, 2, {{2, 20, "old"}}));
    f.leaf(LeafBuilder(4096).folder(2, 20, 2).directory(1, 2, {{2, 20, "new"}}));
    EXPECT_EQ(f.folderNames(), std::vector<std::string>{"old"});
    EXPECT_EQ(f.catalog.folderCount(), 1u);
}

// A version is a size and a time: a file edited in place keeps its size.
TEST(Catalog, ExtensiveModeListsEachVersionOfAFileOnce) {
    Feed f(RecoveryMode::Extensive);
    f.leaf(LeafBuilder(4096).file(2, 10, 10, 100).directory(1, 2, {{2, 10, "v"}}));
    f.leaf(LeafBuilder(4096).file(2, 10, 10, 100).directory(1, 2, {{2, 10, "v"}}));
    EXPECT_EQ(f.catalog.fileCount(), 1u);
    // A newer stat data met after the name still joins it (many to many).
    f.leaf(LeafBuilder(4096).file(2, 10, 20, 100));
    f.leaf(LeafBuilder(4096).file(2, 10, 10, 200)); // same size, edited later
    ASSERT_EQ(f.catalog.fileCount(), 3u);
    EXPECT_EQ(f.catalog.FileList()[1].size, 20u);
    EXPECT_EQ(f.catalog.FileList()[2].size, 10u);
    EXPECT_EQ(f.catalog.FileList()[2].modifiedTime, 200u);
    // The same version under a second key (damage) is not listed again, and
    // the names on either side of it keep their bytes.
    f.leaf(LeafBuilder(4096)
               .directory(1, 2, {{2, 11, "w"}, {3, 10, "v"}})
               .file(2, 11, 5, 100)
               .file(3, 10, 10, 200));
    f.leaf(LeafBuilder(4096).directory(1, 2, {{2, 12, "x"}}).file(2, 12, 6, 100));
    ASSERT_EQ(f.catalog.fileCount(), 5u);
    EXPECT_EQ(f.catalog.FileList()[3].name, "w");
    EXPECT_EQ(f.catalog.FileList()[4].name, "x");
}

// Extensive joins find a key by its object id first: keys that share one
// (an id used again after a deletion, or damage), and ids past those held
// that way, must join and wait as any other.
TEST(Catalog, ExtensiveKeysSharingAnObjectIdJoinEachTheirOwn) {
    Feed f(RecoveryMode::Extensive);
    const std::uint32_t far = (1u << 22) + 5;
    f.leaf(LeafBuilder(4096).directory(1, 2, {{2, 10, "a"}, {3, 10, "b"}, {2, far, "c"}}));
    f.leaf(LeafBuilder(4096).file(3, 10, 30).file(2, 10, 20).file(2, far, 40));
    // Stat data that no name reaches, under a held id and a shared one.
    f.leaf(LeafBuilder(4096).file(2, 11, 50).file(4, 10, 60).file(4, far, 70));
    // A second name of the shared id's other key joins its stat data too.
    f.leaf(LeafBuilder(4096).directory(1, 2, {{3, 10, "b2"}}));
    std::vector<std::pair<std::string, std::uint64_t>> files;
    for (const auto& e : f.catalog.FileList())
        files.emplace_back(e.name.str(), e.size);
    EXPECT_EQ(files, (std::vector<std::pair<std::string, std::uint64_t>>{
                         {"b", 30}, {"a", 20}, {"c", 40}, {"b2", 30}}));
    std::vector<std::uint64_t> lost;
    for (const auto& s : f.catalog.namelessStats())
        lost.push_back(s.size);
    EXPECT_EQ(lost, (std::vector<std::uint64_t>{50, 60, 70}));
}

TEST(Catalog, OrphanFoldersGetNumberedLostParentsUnderTheRoot) {
    Feed f;
    f.leaf(LeafBuilder(4096)
               .folder(50, 60)
               .folder(50, 61)
               .folder(70, 71)
               .directory(50, 50, {{50, 60, "x"}, {50, 61, "y"}})
               .directory(70, 70, {{70, 71, "z"}}));
    f.catalog.FindLostFolders(f.stop);
    f.catalog.BuildFolderTree();
    ASSERT_EQ(f.folderNames(), (std::vector<std::string>{"x", "y", "z", "Dir0", "Dir1"}));
    EXPECT_EQ(f.catalog.folderCount(), 5u);
    const auto& dir0 = f.catalog.FolderList()[3];
    EXPECT_EQ(dir0.objectId, 50u);
    EXPECT_EQ(dir0.parentId, 2u);
    EXPECT_EQ(dir0.modifiedTime, 0u);
    std::string path;
    ASSERT_TRUE(f.catalog.folderPath(61, path));
    EXPECT_EQ(path, "/Dir0/y");
}

TEST(Catalog, FilesWhoseFolderIsMissingGetALostFolderToo) {
    Feed f;
    // Folder x and file a lost folder 50; files b and c lost 80, d lost 90;
    // e lies in the root.
    f.leaf(LeafBuilder(4096)
               .folder(50, 60)
               .file(50, 61, 1)
               .file(80, 81, 2)
               .file(80, 82, 3)
               .file(90, 91, 4)
               .file(2, 92, 5)
               .directory(50, 50, {{50, 60, "x"}, {50, 61, "a"}})
               .directory(80, 80, {{80, 81, "b"}, {80, 82, "c"}})
               .directory(90, 90, {{90, 91, "d"}})
               .directory(1, 2, {{2, 92, "e"}}));
    f.catalog.FindLostFolders(f.stop);
    f.catalog.BuildFolderTree();
    EXPECT_EQ(f.folderNames(), (std::vector<std::string>{"x", "Dir0", "Dir1", "Dir2"}));
    EXPECT_EQ(f.catalog.folderCount(), 4u);
    for (const auto& [file, path] : std::vector<std::pair<std::size_t, std::string>>{
             {0, "/Dir0"}, {1, "/Dir1"}, {2, "/Dir1"}, {3, "/Dir2"}, {4, ""}}) {
        std::string at;
        EXPECT_TRUE(f.catalog.folderPath(f.catalog.FileList()[file].parentId, at)) << file;
        EXPECT_EQ(at, path) << f.catalog.FileList()[file].name;
    }
    EXPECT_EQ(f.catalog.childFiles(80).size(), 2u);
    EXPECT_EQ(f.catalog.childFolders(2).size(), 3u);
    const auto& dir1 = f.catalog.FolderList()[2];
    EXPECT_EQ(dir1.objectId, 80u);
    EXPECT_EQ(dir1.modifiedTime, 0u);
    EXPECT_NE(dir1.treeItem, 0u);
}

TEST(Catalog, FolderTreeIsNumberedDepthFirstAndCannotLoop) {
    Feed f;
    f.catalog.AddFolder("a", 2, 10, 0, 2);
    f.catalog.AddFolder("b", 2, 11, 0, 2);
    f.catalog.AddFolder("a1", 10, 12, 0, 10);
    f.catalog.AddFolder("root-again", 2, 2, 0, 2); // damage: a folder that is the root
    f.catalog.AddFolder("c1", 13, 14, 0, 13);      // cycle 13 <-> 14, unreachable
    f.catalog.AddFolder("c2", 14, 13, 0, 14);
    f.catalog.BuildFolderTree();
    const auto& l = f.catalog.FolderList();
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[0].treeItem, 1u);
    EXPECT_EQ(l[2].treeItem, 2u); // a1 right after its parent
    EXPECT_EQ(l[1].treeItem, 3u);
    EXPECT_EQ(l[3].treeItem, 4u);
    EXPECT_EQ(l[4].treeItem, 0u);
    EXPECT_EQ(l[5].treeItem, 0u);
    EXPECT_EQ(f.catalog.treeFillCount(), 4u);
}

TEST(Catalog, AnEmptyCatalogCountsOneFolderAfterTheTree) {
    Feed f;
    f.catalog.BuildFolderTree();
    EXPECT_EQ(f.catalog.folderCount(), 1u);
    EXPECT_EQ(f.catalog.treeFillCount(), 0u);
}

TEST(Catalog, OneKeyRepeatedWithoutEndCannotMultiplyTheJoins) {
    // A hostile volume naming one key in every leaf, each time with another
    // name and another size: the versions kept per key are bounded.
    Feed f(RecoveryMode::Extensive);
    for (std::uint32_t i = 0; i < 2000; ++i)
        f.leaf(LeafBuilder(4096)
                   .directory(1, 2, {{2, 10, "v" + std::to_string(i)}})
                   .file(2, 10, i + 1));
    EXPECT_EQ(f.catalog.fileCount(), 256u * 64u);
}

// Several megabytes of names wait for their stat data; most then join, so the
// bytes of waiting names are copied into a fresh arena, and the names still
// waiting (and, in Extensive mode, a second name of a file that had joined)
// must come out whole.
TEST(Catalog, NamesWaitingAcrossTheirArenasRenewalKeepTheirBytes) {
    constexpr std::uint32_t kNames = 16000, kPerLeaf = 16, kLate = 500;
    auto nameOf = [](std::uint32_t id) {
        std::string n = "name-" + std::to_string(id) + "-";
        return n + std::string(200 - n.size(), char('a' + id % 26));
    };
    for (RecoveryMode mode : {RecoveryMode::Normal, RecoveryMode::Extensive}) {
        SCOPED_TRACE(int(mode));
        Feed f(mode);
        auto names = [&](std::uint32_t from, std::uint32_t to) {
            for (std::uint32_t id = from; id < to; id += kPerLeaf) {
                std::vector<DirName> batch;
                for (std::uint32_t k = id; k < std::min(to, id + kPerLeaf); ++k)
                    batch.push_back({2, 100 + k, nameOf(k)});
                f.leaf(LeafBuilder(4096).directory(1, 2, batch));
            }
        };
        auto stats = [&](std::uint32_t from, std::uint32_t to) {
            for (std::uint32_t id = from; id < to;) {
                LeafBuilder b(4096);
                for (std::uint32_t k = 0; k < 50 && id < to; ++k, ++id)
                    b.file(2, 100 + id, id, 7);
                f.leaf(b);
            }
        };
        names(0, kNames);              // 3.2 MB of names wait
        stats(0, kNames - kLate);      // all but the last ones join
        names(kNames, kNames + kLate); // more names: the arena is renewed
        f.leaf(LeafBuilder(4096).directory(1, 2, {{2, 105, "second name"}}));
        stats(kNames - kLate, kNames + kLate);
        const auto& list = f.catalog.FileList();
        ASSERT_EQ(list.size(), kNames + kLate + (mode == RecoveryMode::Extensive ? 1 : 0));
        for (const auto& e : list) {
            if (e.name == "second name") {
                EXPECT_EQ(e.objectId, 105u);
                continue;
            }
            ASSERT_EQ(e.name, nameOf(e.objectId - 100));
            EXPECT_EQ(e.size, e.objectId - 100);
        }
    }
}

// The joins' key map against a node-based one, through long runs of keys
// that come and go: an erase that shifted a probe chain wrongly would lose a
// key further along it or find one that is gone.
TEST(KeyMap, AgreesWithAMapThroughInsertsAndErases) {
    KeyMap map;
    std::unordered_map<std::uint64_t, std::uint32_t> model;
    std::mt19937_64 random(23);
    for (int step = 0; step < 200000; ++step) {
        // Few distinct keys, so that chains are long and wrap around the end.
        const std::uint64_t key =
            objectKey(std::uint32_t(random() % 3), std::uint32_t(random() % 700));
        std::uint32_t* code = map.find(key);
        auto known = model.find(key);
        ASSERT_EQ(code != nullptr, known != model.end()) << "step " << step;
        if (code) {
            ASSERT_EQ(*code, known->second) << "step " << step;
        }
        if (random() % 2 == 0 && !code) {
            map.insert(key, std::uint32_t(step));
            model.emplace(key, std::uint32_t(step));
        } else if (code) {
            map.erase(key);
            model.erase(known);
        }
        ASSERT_EQ(map.size(), model.size());
    }
    std::size_t visited = 0;
    map.forEach([&](std::uint64_t key, std::uint32_t code) {
        ++visited;
        EXPECT_EQ(model.at(key), code);
    });
    EXPECT_EQ(visited, model.size());
}
