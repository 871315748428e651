#include "disk/mapped_file.h"
#include "disk/read_ahead.h"
#include "disk/sector_reader.h"

#include "common/memory_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace dorvak;
using dorvak::test::MemorySource;

namespace {

std::vector<std::uint8_t> numberedSectors(std::size_t count) {
    std::vector<std::uint8_t> bytes(count * 512);
    for (std::size_t s = 0; s < count; ++s)
        std::fill_n(bytes.begin() + s * 512, 512, std::uint8_t(s + 1));
    return bytes;
}

// Writes `bytes` as the whole file at `path`.
bool writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    return !out.fail();
}

struct Fixture {
    SectorReader reader;
    MemorySource* source;
    explicit Fixture(std::size_t sectors = 16) {
        auto s = std::make_unique<MemorySource>(numberedSectors(sectors));
        source = s.get();
        reader.openSource(std::move(s));
    }
};

} // namespace

TEST(SectorReader, BadSectorInARunCostsExactlyTheRetriesAndReadsAsZeros) {
    Fixture f;
    f.source->bad = {5};
    f.reader.badSectorRetries = 4;
    std::vector<std::uint8_t> buf(8 * 512, 0x77);
    std::vector<std::uint64_t> unreadable;
    EXPECT_TRUE(f.reader.ReadSectors(2, 8, buf.data(), &unreadable)); // last sector readable
    // One whole-run request, then one try for each good sector and four for the bad one.
    EXPECT_EQ(f.source->requests, 1 + 7 + 4);
    for (int i = 0; i < 8; ++i) {
        const std::uint8_t want = i == 3 ? 0 : std::uint8_t(2 + i + 1);
        EXPECT_EQ(buf[i * 512], want) << "sector " << 2 + i;
        EXPECT_EQ(buf[i * 512 + 511], want) << "sector " << 2 + i;
    }
    EXPECT_EQ(unreadable, std::vector<std::uint64_t>{5});
}

// A failing drive spends its timeout on every try: each unreadable sector is
// tried once per opened source, then reads as zeros without a request.
TEST(SectorReader, AnUnreadableSectorCostsItsRetriesOncePerSource) {
    Fixture f;
    f.source->bad = {5};
    f.reader.badSectorRetries = 4;
    std::vector<std::uint8_t> buf(8 * 512, 0x77);
    std::vector<std::uint64_t> unreadable;
    f.reader.ReadSectors(2, 8, buf.data(), &unreadable);
    EXPECT_EQ(f.source->requests, 1 + 7 + 4);
    f.source->requests = 0;
    unreadable.clear();
    std::fill(buf.begin(), buf.end(), 0x77);
    EXPECT_TRUE(f.reader.ReadSectors(2, 8, buf.data(), &unreadable));
    EXPECT_EQ(f.source->requests, 2); // the sectors before it and those after it
    EXPECT_EQ(unreadable, std::vector<std::uint64_t>{5});
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(buf[i * 512 + 100], i == 3 ? 0 : std::uint8_t(2 + i + 1)) << "sector " << 2 + i;
    EXPECT_FALSE(f.reader.ReadSectors(5, 1, buf.data()));
    EXPECT_EQ(f.source->requests, 2);
    EXPECT_EQ(f.reader.unreadableSectorCount(), 1u);

    f.reader.openSource(std::make_unique<MemorySource>(numberedSectors(16)));
    EXPECT_EQ(f.reader.unreadableSectorCount(), 0u); // another source starts afresh
}

// Requests, bytes and seeks: a request that does not start where the last
// one ended is a seek, the first one included.
TEST(SectorReader, CountsRequestsBytesAndSeeks) {
    Fixture f;
    std::vector<std::uint8_t> buf(8 * 512);
    f.reader.ReadSectors(0, 4, buf.data());
    f.reader.ReadSectors(4, 4, buf.data());
    EXPECT_EQ(f.reader.stats().seeks, 1u);
    f.reader.ReadSectors(10, 2, buf.data());
    f.reader.ReadSectors(1, 1, buf.data());
    const ReadStats s = f.reader.stats();
    EXPECT_EQ(s.requests, 4u);
    EXPECT_EQ(s.bytes, 11u * 512);
    EXPECT_EQ(s.seeks, 3u);
}

TEST(SectorReader, ResultFollowsTheLastSectorOfTheRun) {
    Fixture f;
    f.source->bad = {9};
    std::vector<std::uint8_t> buf(4 * 512);
    EXPECT_FALSE(f.reader.ReadSectors(6, 4, buf.data()));
    EXPECT_EQ(buf[0], 7);
}

TEST(SectorReader, NoRetriesMeansNothingIsReadAfterTheFailedRun) {
    Fixture f;
    f.source->bad = {3};
    f.reader.badSectorRetries = 0;
    std::vector<std::uint8_t> buf(4 * 512, 0x55);
    EXPECT_FALSE(f.reader.ReadSectors(1, 4, buf.data()));
    EXPECT_EQ(f.source->requests, 1);
    // Nothing was read, so nothing stale may pose as data.
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](auto b) { return b == 0; }));
}

TEST(SectorReader, NoDiskLeavesTheBufferAsItWas) {
    SectorReader reader;
    std::vector<std::uint8_t> buf(512, 0x42);
    EXPECT_FALSE(reader.ReadSectors(0, 1, buf.data()));
    EXPECT_EQ(buf[0], 0x42);
    EXPECT_EQ(buf[511], 0x42);
}

TEST(SectorReader, ReadsPastTheEndFailAndHugeSectorNumbersDoNotWrap) {
    Fixture f(4);
    std::vector<std::uint8_t> buf(2 * 512);
    EXPECT_FALSE(f.reader.ReadSectors(3, 2, buf.data()));
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(buf[512], 0);
    // 2^55 × 512 overflows 64 bits: must fail, not wrap to a low offset.
    EXPECT_FALSE(f.reader.ReadSectors(std::uint64_t(1) << 55, 1, buf.data()));
    EXPECT_EQ(buf[0], 0);
}

TEST(SectorReader, ImageFileBeyondTwoTebibytesIsReadAtSectorsAbove2To32) {
    const auto path = std::filesystem::temp_directory_path() / "dorvak-sparse-3t.img";
    const std::uint64_t sector = (std::uint64_t(1) << 32) + 5;
    {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        if (::ftruncate(fd, off_t(3) << 40) != 0) {
            ::close(fd);
            std::filesystem::remove(path);
            GTEST_SKIP() << "this file system does not hold a 3 TiB sparse file";
        }
        const char mark[] = "beyond 2 TiB";
        ASSERT_EQ(::pwrite(fd, mark, sizeof mark, off_t(sector * 512)), ssize_t(sizeof mark));
        ::close(fd);
    }
    SectorReader reader;
    const IoResult<> opened = reader.OpenSelectedDisk(path.string());
    ASSERT_TRUE(opened) << opened.error().text;
    EXPECT_EQ(reader.totalSectors(), (std::uint64_t(3) << 40) / 512);
    std::vector<char> buf(512);
    EXPECT_TRUE(reader.ReadSectors(sector, 1, buf.data()));
    EXPECT_STREQ(buf.data(), "beyond 2 TiB");
    // The same low 32 bits, without the high half, is a different place.
    EXPECT_TRUE(reader.ReadSectors(5, 1, buf.data()));
    EXPECT_EQ(buf[0], 0);
    std::filesystem::remove(path);
}

// An image cut short after it was opened: its mapping still spans the old
// size, and touching a page past the new end raises SIGBUS. The reader's
// copy from the mapping must fail there (the caller then reads the sectors
// the ordinary way), not end the process.
TEST(SectorReader, MappedCopyOfAnImageCutShortFailsInsteadOfCrashing) {
    const auto path = std::filesystem::temp_directory_path() / "dorvak-cut-short.img";
    const auto bytes = numberedSectors(64);
    ASSERT_TRUE(writeFile(path, bytes));
    SectorReader reader;
    const IoResult<> opened = reader.OpenSelectedDisk(path.string());
    ASSERT_TRUE(opened) << opened.error().text;
    ASSERT_TRUE(reader.beginMappedRun(0, 64)) << "a plain image file is mapped";
    std::vector<std::uint8_t> out(1024);
    ASSERT_TRUE(reader.copyMapped(3 * 512, out.data(), 512));
    EXPECT_EQ(out[0], 4);
    ASSERT_EQ(::truncate(path.c_str(), 8 * 512), 0);
    EXPECT_TRUE(reader.copyMapped(7 * 512, out.data(), 512)) << "still in the file";
    EXPECT_FALSE(reader.copyMapped(60 * 512, out.data(), 512)) << "past its new end";
    EXPECT_FALSE(reader.copyMapped(62 * 512, out.data(), 1024)) << "and again";
    // The ordinary read of the same sector fails and reads as zeros.
    EXPECT_FALSE(reader.ReadSectors(60, 1, out.data()));
    EXPECT_EQ(out[0], 0);
    std::filesystem::remove(path);
}

// A run read in place: its pages are read in as it begins, so that a run
// with a page that cannot be read is refused before anyone looks at it; a
// page dropped later that cannot come back reads as zeros instead of ending
// the process, and from then on the mapping is not used.
TEST(SectorReader, MappedRunReadInPlaceRefusesOrZeroFillsLostPages) {
    const auto path = std::filesystem::temp_directory_path() / "dorvak-in-place.img";
    const auto bytes = numberedSectors(64); // eight pages
    ASSERT_TRUE(writeFile(path, bytes));
    SectorReader reader;
    ASSERT_TRUE(reader.OpenSelectedDisk(path.string()));
    ASSERT_TRUE(reader.beginMappedRun(8, 48));
    const volatile std::uint8_t* in = reader.viewMapped(9 * 512, 2 * 512);
    ASSERT_NE(in, nullptr) << "a run read in";
    EXPECT_EQ(in[0], 10);
    EXPECT_EQ(in[512], 11);
    EXPECT_EQ(reader.viewMapped(7 * 512, 512), nullptr) << "before the run";
    EXPECT_EQ(reader.viewMapped(55 * 512, 2 * 512), nullptr) << "across its end";

    ASSERT_EQ(::truncate(path.c_str(), 16 * 512), 0);
    EXPECT_FALSE(reader.beginMappedRun(32, 32)) << "a run with pages past the end";
    EXPECT_FALSE(reader.mappedPagesLost());
    ASSERT_TRUE(reader.beginMappedRun(0, 16));
    in = reader.viewMapped(0, 16 * 512);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in[15 * 512], 16);
    // A page of an earlier run read in place after it was lost: zeros.
    ASSERT_TRUE(writeFile(path, numberedSectors(64)));
    ASSERT_TRUE(reader.beginMappedRun(0, 64));
    in = reader.viewMapped(40 * 512, 512);
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(::truncate(path.c_str(), 16 * 512), 0);
    EXPECT_EQ(in[0], 0);
    EXPECT_EQ(in[511], 0);
    EXPECT_TRUE(reader.mappedPagesLost());
    EXPECT_FALSE(reader.beginMappedRun(0, 8)) << "the mapping is no longer used";
    std::vector<std::uint8_t> out(512);
    EXPECT_TRUE(reader.ReadSectors(3, 1, out.data()));
    EXPECT_EQ(out[0], 4);
    std::filesystem::remove(path);
}

// Runs read on a second thread come whole and in turn, each counted as one
// request; a run that came short, and every run asked for out of turn, is
// handed over empty for the reader to read itself, and nothing waits for a
// run that will never come.
TEST(ReadAhead, HandsOverWholeRunsInTurnAndLeavesTheRestToTheReader) {
    const auto path = std::filesystem::temp_directory_path() / "dorvak-read-ahead.img";
    ASSERT_TRUE(writeFile(path, numberedSectors(64)));
    SectorReader reader;
    ASSERT_TRUE(reader.OpenSelectedDisk(path.string()));
    EXPECT_EQ(ReadAhead::start(reader, 0, 65, 16), nullptr) << "past the end of the file";
    {
        auto ahead = ReadAhead::start(reader, 4, 60, 16);
        ASSERT_NE(ahead, nullptr);
        for (std::uint64_t first = 4; first < 60; first += 16) {
            const auto count = std::uint32_t(std::min<std::uint64_t>(16, 60 - first));
            const auto run = ahead->next(first, count);
            ASSERT_EQ(run.size(), count * 512u) << first;
            EXPECT_EQ(run.front(), first + 1);
            EXPECT_EQ(run.back(), first + count);
        }
        EXPECT_TRUE(ahead->next(60, 16).empty()) << "past its last run";
        const ReadStats s = reader.stats();
        EXPECT_EQ(s.requests, 4u);
        EXPECT_EQ(s.bytes, 56u * 512);
        EXPECT_EQ(s.seeks, 1u);
    }
    {
        auto ahead = ReadAhead::start(reader, 0, 64, 16);
        ASSERT_NE(ahead, nullptr);
        EXPECT_FALSE(ahead->next(0, 16).empty());
        EXPECT_TRUE(ahead->next(32, 16).empty()) << "out of turn";
        EXPECT_TRUE(ahead->next(16, 16).empty()) << "and every run after it";
    }
    // Cut short after the reader learnt its size: the runs it no longer
    // holds whole come empty.
    ASSERT_EQ(::truncate(path.c_str(), 24 * 512), 0);
    {
        auto ahead = ReadAhead::start(reader, 0, 64, 16);
        ASSERT_NE(ahead, nullptr);
        EXPECT_EQ(ahead->next(0, 16).size(), 16u * 512);
        for (std::uint64_t first = 16; first < 64; first += 16)
            EXPECT_TRUE(ahead->next(first, 16).empty()) << first;
    }
    SectorReader memory;
    memory.openSource(std::make_unique<MemorySource>(numberedSectors(64)));
    EXPECT_EQ(ReadAhead::start(memory, 0, 64, 16), nullptr) << "no image file";
    std::filesystem::remove(path);
}

// A file read in place (a saved scan) and cut short while mapped: the pages
// past the new end read as zeros instead of ending the process, and the
// mapping says it lost some, for the reader to throw away what it read.
TEST(MappedBytes, AFileCutShortWhileMappedReadsAsZerosAndSaysSo) {
    const auto path = std::filesystem::temp_directory_path() / "dorvak-cut-short.scan";
    const auto bytes = numberedSectors(64); // 32 KiB: eight pages
    ASSERT_TRUE(writeFile(path, bytes));
    for (int round = 0; round < 2; ++round) { // the second takes the slot the first gave back
        int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        auto mapped = MappedBytes::map(fd, bytes.size());
        ::close(fd);
        ASSERT_TRUE(mapped);
        const volatile std::uint8_t* data = mapped->data();
        EXPECT_EQ(data[5 * 512], 6);
        EXPECT_FALSE(mapped->lost());
        if (round == 1) break;
        ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
        EXPECT_EQ(data[3 * 512], 4) << "still in the file";
        EXPECT_EQ(data[40 * 512], 0) << "past its new end";
        EXPECT_EQ(data[63 * 512 + 511], 0);
        EXPECT_TRUE(mapped->lost());
        mapped.reset();
        ASSERT_TRUE(writeFile(path, bytes));
    }
    std::filesystem::remove(path);
}

// A run read in pieces: each piece gets exactly its bytes, in stretches of
// more pieces than one vectored read takes, the whole run counts as one
// request, and what cannot be read that way (pieces out of order or past
// the run, a run past the end of the file, a source that is no file) says
// so, for the caller to read the run the ordinary way.
TEST(SectorReader, RunReadInPiecesFillsOnlyThePiecesAndRefusesWhatItCannotRead) {
    const auto path = std::filesystem::temp_directory_path() / "dorvak-pieces.img";
    const auto bytes = numberedSectors(2100);
    ASSERT_TRUE(writeFile(path, bytes));
    SectorReader reader;
    ASSERT_TRUE(reader.OpenSelectedDisk(path.string()));
    // Sectors 10 and 12 apart, then 1,100 neighbours (sectors 20 to 1119)
    // as half-sector pieces: 2,200 vectors, more than one read takes.
    std::vector<std::uint8_t> out(2 * 512 + 1100 * 512, 0xCC);
    std::vector<RunPiece> pieces{{0, 512, out.data()}, {2 * 512, 512, out.data() + 512}};
    for (std::size_t i = 0; i < 2200; ++i)
        pieces.push_back({10 * 512 + i * 256, 256, out.data() + 1024 + i * 256});
    ASSERT_TRUE(reader.readPieces(10, 1110, pieces));
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[511], 11);
    EXPECT_EQ(out[512], 13);
    for (std::size_t s = 0; s < 1100; ++s)
        ASSERT_EQ(out[1024 + s * 512 + 300], std::uint8_t(21 + s)) << "sector " << 20 + s;
    EXPECT_EQ(reader.stats().requests, 1u);
    EXPECT_EQ(reader.stats().bytes, 1110u * 512);

    std::uint8_t one[512];
    const std::vector<RunPiece> backwards{{512, 512, one}, {0, 512, one}};
    EXPECT_FALSE(reader.readPieces(0, 4, backwards));
    const std::vector<RunPiece> pastTheRun{{3 * 512, 1024, one}};
    EXPECT_FALSE(reader.readPieces(0, 4, pastTheRun));
    const std::vector<RunPiece> last{{512, 512, one}};
    EXPECT_FALSE(reader.readPieces(2099, 2, last)) << "the file ends at sector 2100";
    std::filesystem::remove(path);

    Fixture memory;
    const std::vector<RunPiece> first{{0, 512, one}};
    EXPECT_FALSE(memory.reader.readPieces(0, 1, first)) << "not a file: read the ordinary way";
}

// One error shape for every failure: the errno that caused it (what a front
// end tests, as for a permission) and the text it shows as it stands.
TEST(SectorReader, FailuresCarryTheirErrnoAndTheTextToShow) {
    SectorReader reader;
    const IoResult<> missing = reader.OpenSelectedDisk("/nonexistent/disk.img");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_EQ(missing.error().text,
              std::string("Cannot open /nonexistent/disk.img: ") + std::strerror(ENOENT));
    EXPECT_FALSE(reader.isOpen());
    const IoResult<> folder = reader.OpenSelectedDisk("/");
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().code, EISDIR);
    EXPECT_EQ(folder.error().text, "Cannot read /: it is a directory");
    std::vector<std::uint8_t> buf(2 * 512);
    EXPECT_EQ(reader.ReadSectors(0, 1, buf.data()).error().code, EBADF); // nothing open

    // A read fails as its last request did: the source's errno, or none for
    // sectors past the end.
    Fixture f(4);
    f.source->bad = {2};
    EXPECT_EQ(f.reader.ReadSectors(1, 2, buf.data()).error().code, EIO);
    EXPECT_EQ(f.reader.ReadSectors(2, 1, buf.data()).error().code, EIO); // known bad now
    EXPECT_EQ(f.reader.ReadSectors(3, 2, buf.data()).error().code, 0);
}

TEST(SectorReader, LegacyTranslationUsesSixteenHeadsOfSixtyThreeSectors) {
    struct Case {
        std::uint32_t lba, c, h, s;
    };
    for (auto [lba, c, h, s] : {Case{0, 0, 0, 1}, Case{62, 0, 0, 63}, Case{63, 0, 1, 1},
                                Case{1008, 1, 0, 1}, Case{1007, 0, 15, 63}}) {
        const ChsAddress a = chsFromLinear(lba);
        EXPECT_EQ(a.cylinder, c) << lba;
        EXPECT_EQ(a.head, h) << lba;
        EXPECT_EQ(a.sector, s) << lba;
    }
}
