#include "disk/imaging.h"

#include "common/memory_source.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

using namespace dorvak;
using dorvak::test::MemorySource;
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSectors = 2048; // 1 MiB

std::vector<std::uint8_t> pattern() {
    std::vector<std::uint8_t> bytes(kSectors * 512);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i / 512 * 7 + i % 251 + 1);
    return bytes;
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Stops the run after a number of requests, as Ctrl-C would.
class StoppingSource : public MemorySource {
public:
    StoppingSource(std::vector<std::uint8_t> bytes, std::set<std::uint64_t> bad,
                   std::atomic<bool>& stop, int after)
        : MemorySource(std::move(bytes), std::move(bad)), stop_(stop), after_(after) {}
    IoResult<> readAt(std::uint64_t offset, void* buffer, std::size_t length) override {
        if (requests + 1 >= after_) stop_ = true;
        return MemorySource::readAt(offset, buffer, length);
    }

private:
    std::atomic<bool>& stop_;
    int after_;
};

struct ImagingRun {
    fs::path dir = fs::temp_directory_path() / ("dorvak-imaging-" + std::to_string(::getpid()));
    fs::path image = dir / "disk.img";
    fs::path map = dir / "disk.map";
    std::atomic<bool> stop{false};
    ImagingSink sink;
    ImagingRun() {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~ImagingRun() { fs::remove_all(dir); }
    ImagingResult copy(SectorSource& source, std::uint32_t retries = 3) {
        ImagingOptions options;
        options.size = source.sizeBytes();
        options.retries = retries;
        options.saveInterval = std::chrono::milliseconds(50);
        stop = false;
        return DiskImager(source, options, stop, sink).run(image.string(), map.string());
    }
};

// Per sector: requests that covered it, and those of them that read.
struct Coverage {
    std::map<std::uint64_t, int> tried, read, single;
};
Coverage coverage(const MemorySource& s) {
    Coverage c;
    for (const auto& [offset, length] : s.reads) {
        bool ok = true;
        for (std::uint64_t x = offset / 512; x < (offset + length) / 512; ++x)
            ok = ok && !s.bad.count(x);
        for (std::uint64_t x = offset / 512; x < (offset + length) / 512; ++x) {
            ++c.tried[x];
            if (ok) ++c.read[x];
            if (length == 512) ++c.single[x];
        }
    }
    return c;
}

} // namespace

TEST(DiskImager, AHealthySourceIsCopiedWholeInLargeRequestsUnderAOneLineMap) {
    ImagingRun run;
    MemorySource source(pattern());
    const ImagingResult r = run.copy(source);
    ASSERT_TRUE(r.ok()) << r.outcome.error().text;
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(readFile(run.image), pattern());
    auto map = RescueMap::load(run.map.string());
    ASSERT_TRUE(map) << map.error().text;
    ASSERT_EQ(map->blocks().size(), 1u);
    EXPECT_EQ(map->blocks()[0].status, kFinished);
    EXPECT_EQ(map->currentStatus, kFinished);
    EXPECT_EQ(source.requests, int(kSectors * 512 / (64 * 1024)));
}

TEST(DiskImager, GoodSectorsAreReadOnceAndBadOnesAtMostTheirRetries) {
    ImagingRun run;
    const std::set<std::uint64_t> bad = {100, 101, 700, 1500, 1501, 1502, 1503, 2047};
    MemorySource source(pattern(), bad);
    const ImagingResult r = run.copy(source, 4);
    ASSERT_TRUE(r.ok()) << r.outcome.error().text;
    EXPECT_EQ(r.status.badBytes, bad.size() * 512);
    const Coverage c = coverage(source);
    for (std::uint64_t s = 0; s < kSectors; ++s) {
        if (bad.count(s)) {
            EXPECT_EQ(c.read.count(s), 0u);
            // One large and one small request, then the retries alone.
            EXPECT_EQ(c.single.at(s), 4) << "sector " << s;
            EXPECT_LE(c.tried.at(s), 4 + 2) << "sector " << s;
        } else {
            EXPECT_EQ(c.read.at(s), 1) << "sector " << s;
        }
    }
    // Image: the source with zeros for the bad sectors; the map says which.
    std::vector<std::uint8_t> want = pattern();
    for (std::uint64_t s : bad)
        std::fill_n(want.begin() + std::ptrdiff_t(s * 512), 512, 0);
    EXPECT_EQ(readFile(run.image), want);
    auto map = RescueMap::load(run.map.string());
    ASSERT_TRUE(map) << map.error().text;
    for (std::uint64_t s = 0; s < kSectors; ++s)
        EXPECT_EQ(map->statusAt(s * 512), bad.count(s) ? kBadSector : kFinished) << s;
}

TEST(DiskImager, AStoppedRunResumesFromItsMapAndReadsNothingTwice) {
    ImagingRun run;
    const std::set<std::uint64_t> bad = {300, 301, 1200};
    StoppingSource first(pattern(), bad, run.stop, 9);
    ImagingResult r = run.copy(first);
    ASSERT_TRUE(r.ok()) << r.outcome.error().text;
    EXPECT_TRUE(r.stopped);
    EXPECT_GT(r.status.untried, 0u);

    MemorySource second(pattern(), bad);
    r = run.copy(second);
    ASSERT_TRUE(r.ok()) << r.outcome.error().text;
    EXPECT_TRUE(r.resumed);
    EXPECT_EQ(r.status.badBytes, 3u * 512);
    const Coverage a = coverage(first), b = coverage(second);
    auto reads = [](const Coverage& c, std::uint64_t s) {
        return c.read.count(s) ? c.read.at(s) : 0;
    };
    for (std::uint64_t s = 0; s < kSectors; ++s) {
        if (!bad.count(s)) {
            EXPECT_EQ(reads(a, s) + reads(b, s), 1) << "sector " << s;
        }
    }
    std::vector<std::uint8_t> want = pattern();
    for (std::uint64_t s : bad)
        std::fill_n(want.begin() + std::ptrdiff_t(s * 512), 512, 0);
    EXPECT_EQ(readFile(run.image), want);
}

TEST(DiskImager, NothingTheUserHoldsIsOverwrittenAndAForeignMapIsRefused) {
    ImagingRun run;
    MemorySource source(pattern());
    { std::ofstream(run.image) << "precious"; }
    ImagingResult r = run.copy(source);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.outcome.error().code, EEXIST);
    EXPECT_NE(r.outcome.error().text.find("exists: give its map"), std::string::npos)
        << r.outcome.error().text;
    EXPECT_EQ(readFile(run.image).size(), 8u);
    EXPECT_EQ(source.requests, 0);

    fs::remove(run.image);
    { std::ofstream(run.map) << "0 +\n0 0x100000 +\n"; }
    r = run.copy(source);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.outcome.error().text.find("belongs to an image that is not there"),
              std::string::npos)
        << r.outcome.error().text;

    { std::ofstream(run.image) << ""; }
    { std::ofstream(run.map) << "0 +\n0 0x200000 +\n"; } // twice the source
    r = run.copy(source);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.outcome.error().text.find("belongs to another run"), std::string::npos)
        << r.outcome.error().text;
    EXPECT_EQ(source.requests, 0);
}
