#pragma once
// ReadAhead: the runs of a pass that reads an image file from one sector to
// another in order, each read on a thread of its own while the caller looks
// at the run before. In the page cache a read is a copy that the kernel
// makes, and the pass then costs about the longer of the copies and the
// caller's own work instead of both.
//
// Only whole runs read without a fault are handed over. A run that could not
// be, or that holds a sector the reader knows it cannot read, is the
// caller's to read with SectorReader::ReadSectors, which retries, records
// the bad sectors and zero-fills them: the thread never retries anything.

#include "disk/page_buffer.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace dorvak {

class SectorReader;
class SectorSource;

class ReadAhead {
public:
    // Runs of `runSectors` sectors from `firstSector` to `endSector` (the
    // last one shorter). Null for a device (its bad sectors are the
    // reader's to retry, one request at a time), an image container, a
    // reader under a rescue map, or when no thread could be started.
    static std::unique_ptr<ReadAhead> start(SectorReader& reader, std::uint64_t firstSector,
                                            std::uint64_t endSector, std::uint32_t runSectors);
    ~ReadAhead(); // stops the thread, which ends its read in hand first
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The bytes of the next run, which must begin at `firstSector` and hold
    // `count` sectors, counted by the reader as one request; valid until
    // the next call. Empty when it was not read whole: read it the ordinary
    // way. Runs are taken in order; one asked for out of turn is empty too.
    std::span<const std::uint8_t> next(std::uint64_t firstSector, std::uint32_t count);

private:
    ReadAhead(SectorReader& reader, SectorSource& source, std::uint64_t firstSector,
              std::uint64_t endSector, std::uint32_t runSectors);
    void readRuns();

    // A run's bytes, and what the thread made of its read.
    struct Slot {
        PageBuffer bytes;
        std::uint64_t firstSector = 0;
        std::uint32_t count = 0;
        bool filled = false;
        bool whole = false;
    };
    static constexpr std::size_t kSlots = 8;

    SectorReader& reader_;
    SectorSource& source_;
    const std::uint64_t endSector_;
    const std::uint32_t runSectors_;
    std::uint64_t nextSector_; // the caller's next run
    std::vector<Slot> slots_;
    std::size_t taken_ = 0; // the caller's slot
    bool holding_ = false;  // the caller holds slots_[taken_]
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::size_t filled_ = 0;   // slots filled and not yet given back
    bool readerWaits_ = false; // the thread waits for free slots
    bool callerWaits_ = false; // the caller waits for its run
    std::thread thread_;
};

} // namespace dorvak
