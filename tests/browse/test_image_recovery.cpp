// Recovery of the kernel-made images: every regular file comes out with the
// size, SHA-256 and time of its manifest, in Normal and Extensive mode; older
// versions and deleted files of deleted.img come out with their own bytes
// unless their blocks were reused.
#include "browse/copy_out.h"
#include "browse_fixtures.h"
#include "common/printers.h"
#include "manifest.h"
#include "reiserfs/journal.h"
#include "sha256.h"
#include "test_images.h"
#include "volume/partition_walk.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unordered_set>

namespace dorvak::test {
namespace {

namespace fs = std::filesystem;

struct ImageCase {
    std::string image;    // file in the images folder
    std::string manifest; // its manifest
    std::uint32_t volume; // in the order the partition walk finds them
};

std::ostream& operator<<(std::ostream& os, const ImageCase& c) {
    return os << c.manifest;
}

struct Recovered {
    std::unique_ptr<Mounted> m;
    CopySummary summary;
};

std::unique_ptr<Recovered> recoverImage(const ImageCase& c, RecoveryMode mode,
                                        const fs::path& dest) {
    auto r = std::make_unique<Recovered>();
    r->m = mountImage(testImage(c.image), c.volume, mode);
    CopyRequests requests;
    r->summary = CopyOut(r->m->reader, r->m->volume, r->m->catalog, &r->m->live, {}, requests)
                     .RecoverAll(dest);
    return r;
}

// Digest of a file; coreutils for the huge sparse one, whose gigabytes of
// holes would take minutes through a sanitized digest.
std::string digestOf(const fs::path& file, std::uint64_t size) {
    if (size < (std::uint64_t(1) << 30)) return sha256FileHex(file);
    const std::string command = "sha256sum '" + file.string() + "'";
    std::string out(64, '\0');
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return "popen failed";
    const std::size_t got = std::fread(out.data(), 1, out.size(), p);
    ::pclose(p);
    out.resize(got);
    return out;
}

// The 4 KiB-aligned pieces of files (a last piece may be shorter).
std::vector<std::string> pieces(const std::vector<fs::path>& files) {
    std::vector<std::string> out;
    for (const auto& f : files) {
        const std::string bytes = readFile(f);
        for (std::size_t at = 0; at < bytes.size(); at += 4096)
            out.push_back(bytes.substr(at, 4096));
    }
    return out;
}

// Evidence that a deleted file's block now holds a live file's bytes: one of
// its pieces begins with a live file's piece of 64 bytes or more.
bool sharesABlock(const fs::path& file, const std::vector<std::string>& livePieces) {
    for (const std::string& mine : pieces({file}))
        for (const std::string& live : livePieces)
            if (live.size() >= 64 && mine.compare(0, live.size(), live) == 0) return true;
    return false;
}

class ImageRecovery : public ::testing::TestWithParam<std::tuple<ImageCase, RecoveryMode>> {};

TEST_P(ImageRecovery, EveryFileComesOutAsItsManifestSays) {
    const auto& [c, mode] = GetParam();
    DORVAK_SKIP_WITHOUT_IMAGE(c.image);
    const auto entries = readManifest(testImage(c.manifest));
    ScratchDir dest;
    auto r = recoverImage(c, mode, dest.path());
    ASSERT_TRUE(r);
    const CopySummary& s = r->summary;
    ASSERT_TRUE(s.fatalError.empty()) << s.fatalError;
    EXPECT_TRUE(s.damaged.empty()) << s.damaged.front().catalogPath;
    EXPECT_TRUE(s.failed.empty()) << s.failed.front().catalogPath << ": "
                                  << s.failed.front().reason;
    if (mode == RecoveryMode::Normal) {
        EXPECT_TRUE(s.renamed.empty());
    }

    std::map<std::uint32_t, std::set<ino_t>> linkedCopies; // inode on the volume → here
    std::size_t files = 0;
    for (const ManifestEntry& e : entries) {
        const fs::path out = dest.str() + e.path;
        SCOPED_TRACE(e.path);
        if (e.kind == "dir") {
            EXPECT_TRUE(fs::is_directory(fs::symlink_status(out)));
            continue;
        }
        if (e.kind == "symlink") {
            EXPECT_EQ(fs::read_symlink(out).string().size(), e.size);
            continue;
        }
        if (e.kind != "file") {
            EXPECT_FALSE(fs::exists(fs::symlink_status(out))); // devices, FIFOs: skipped
            continue;
        }
        ++files;
        struct stat st {};
        ASSERT_EQ(::lstat(out.c_str(), &st), 0) << "not recovered";
        // Every name of a file with several links, as links to one copy.
        if (e.nlink > 1) linkedCopies[e.inode].insert(st.st_ino);
        ASSERT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(std::uint64_t(st.st_size), e.size);
        EXPECT_EQ(st.st_mtime, e.mtime);
        if (e.size > (std::uint64_t(1) << 32)) {
            // Holes stay holes: a few blocks of data, not gigabytes of zeros.
            EXPECT_LT(std::uint64_t(st.st_blocks) * 512, std::uint64_t(1) << 20);
            if (mode == RecoveryMode::Extensive) continue; // digest checked in Normal mode
        }
        EXPECT_EQ(digestOf(out, e.size), e.sha256);
    }
    for (const auto& [inode, copies] : linkedCopies)
        EXPECT_EQ(copies.size(), 1u) << "inode " << inode << " came out as separate copies";
    EXPECT_GT(files, 0u);
}

const ImageCase kImages[] = {
    {"v4096.img", "v4096.manifest.jsonl", 0},
    {"v1024.img", "v1024.manifest.jsonl", 0},
    {"v512.img", "v512.manifest.jsonl", 0},
    {"v35.img", "v35.manifest.jsonl", 0},
    {"moved.img", "moved.manifest.jsonl", 0},
    {"deleted.img", "deleted.manifest.jsonl", 0},
    {"part-disk.img", "part-disk.p2.manifest.jsonl", 0},
    {"part-disk.img", "part-disk.p5.manifest.jsonl", 1},
    {"part-disk.img", "part-disk.p6.manifest.jsonl", 2},
};

INSTANTIATE_TEST_SUITE_P(
    Images, ImageRecovery,
    ::testing::Combine(::testing::ValuesIn(kImages),
                       ::testing::Values(RecoveryMode::Normal, RecoveryMode::Extensive)),
    [](const auto& info) {
        std::string name = std::get<0>(info.param).manifest;
        name = name.substr(0, name.find(".manifest"));
        for (char& ch : name)
            if (ch == '.' || ch == '-') ch = '_';
        return name + (std::get<1>(info.param) == RecoveryMode::Normal ? "_Normal" : "_Extensive");
    });

// Each older version and deleted file of deleted.img is in the catalog and
// comes out, beside the live file of its name, with its own size; its bytes
// are the recorded ones unless one of its blocks now holds a live file's data.
TEST(ImageRecovery, DeletedAndOlderVersionsComeOutWithTheirOwnBytes) {
    DORVAK_SKIP_WITHOUT_IMAGE("deleted.img");
    const auto history = readManifest(testImage("deleted.history.jsonl"));
    const auto live = readManifest(testImage("deleted.manifest.jsonl"));
    ScratchDir dest;
    auto r = recoverImage({"deleted.img", "", 0}, RecoveryMode::Extensive, dest.path());
    ASSERT_TRUE(r);
    ASSERT_TRUE(r->summary.fatalError.empty()) << r->summary.fatalError;

    std::vector<fs::path> liveFiles;
    for (const auto& e : live)
        if (e.kind == "file") liveFiles.push_back(dest.str() + e.path);
    const auto livePieces = pieces(liveFiles);

    std::size_t versions = 0, intact = 0;
    for (const ManifestEntry& h : history) {
        if (h.kind != "file") continue;
        ++versions;
        SCOPED_TRACE(h.path + " " + h.event + " " + std::to_string(h.size));
        // The candidates: the name itself and its numbered alternatives.
        const fs::path folder = dest.str() + h.parentPath();
        const std::string name = h.name(), stem = name.substr(0, name.rfind('.')),
                          ext = name.rfind('.') == std::string::npos ? ""
                                                                     : name.substr(name.rfind('.'));
        std::vector<fs::path> sized;
        for (int n = 0; n < 10; ++n) {
            const fs::path p = folder / (n ? stem + " (" + std::to_string(n) + ")" + ext : name);
            if (fs::is_regular_file(fs::symlink_status(p)) && fs::file_size(p) == h.size)
                sized.push_back(p);
        }
        ASSERT_FALSE(sized.empty()) << "no output of this size";
        bool match = false;
        for (const auto& p : sized)
            match |= sha256FileHex(p) == h.sha256;
        if (match) {
            ++intact;
            continue;
        }
        bool reused = false;
        for (const auto& p : sized)
            reused |= sharesABlock(p, livePieces);
        EXPECT_TRUE(reused) << "bytes differ, and no block of them belongs to a live file";
    }
    EXPECT_GT(versions, 0u);
    EXPECT_GT(intact, versions / 2);
    // Deleted entries are marked; live ones are not.
    std::size_t deleted = 0;
    for (const auto& f : r->m->catalog.FileList())
        deleted += f.deleted;
    EXPECT_GE(deleted, versions);
}

// deleted.img was changed after a remount, so its journal holds committed
// copies of live leaves. With the sectors of such a leaf unreadable, the
// mount takes the journal's copy and every file comes out whole.
TEST(ImageRecovery, UnreadableLiveLeafIsReadFromItsJournalCopy) {
    DORVAK_SKIP_WITHOUT_IMAGE("deleted.img");
    const auto manifest = readManifest(testImage("deleted.manifest.jsonl"));
    const std::string image = readFile(testImage("deleted.img"));
    // A live leaf that the journal holds a copy of.
    auto healthy = mountImage(testImage("deleted.img"), 0, RecoveryMode::Extensive);
    const VolumeInfo volume = healthy->volume;
    std::atomic<bool> stop{false};
    const JournalIndex journal = JournalIndex::read(healthy->reader, volume, stop);
    std::set<std::uint64_t> bad;
    for (std::uint64_t sector : healthy->live.leafSectors) {
        const std::uint64_t block = (sector - volume.startSector) / volume.sectorsPerBlock;
        if (!bad.empty() || !journal.copyOf(block)) continue;
        for (std::uint32_t i = 0; i < volume.sectorsPerBlock; ++i)
            bad.insert(sector + i);
    }
    ASSERT_FALSE(bad.empty()) << "no live leaf has a journal copy";

    for (const RecoveryMode mode : {RecoveryMode::Normal, RecoveryMode::Extensive}) {
        SCOPED_TRACE(mode == RecoveryMode::Normal ? "Normal" : "Extensive");
        Mounted m;
        m.reader.openSource(std::make_unique<MemorySource>(
            std::vector<std::uint8_t>(image.begin(), image.end()), bad));
        m.volume = volume;
        detail::runMount(m, mode, {});
        EXPECT_EQ(m.result.nodesFromJournal, 1u);
        ScratchDir dest;
        CopyRequests requests;
        const CopySummary s =
            CopyOut(m.reader, m.volume, m.catalog, &m.live, {}, requests).RecoverAll(dest.path());
        EXPECT_TRUE(s.damaged.empty() && s.failed.empty() && s.fatalError.empty());
        std::size_t files = 0;
        for (const ManifestEntry& e : manifest) {
            if (e.kind != "file") continue;
            ++files;
            EXPECT_EQ(sha256FileHex(dest.str() + e.path), e.sha256) << e.path;
        }
        EXPECT_GT(files, 0u);
    }
}

} // namespace
} // namespace dorvak::test
