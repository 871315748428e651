#include "disk/read_ahead.h"

#include "disk/sector_reader.h"
#include "disk/sector_source.h"

#include <new>
#include <system_error>

namespace dorvak {
std::unique_ptr<ReadAhead> ReadAhead::start(SectorReader& reader, std::uint64_t firstSector,
                                            std::uint64_t endSector, std::uint32_t runSectors) {
    auto* file = dynamic_cast<FileSectorSource*>(reader.source());
    if (!file || file->isBlockDevice() || reader.rescueMap() || runSectors == 0 ||
        firstSector >= endSector || endSector > file->sizeBytes() / kSectorSize)
        return nullptr;
    std::unique_ptr<ReadAhead> ahead(
        new ReadAhead(reader, *file, firstSector, endSector, runSectors));
    try {
        for (Slot& slot : ahead->slots_)
            slot.bytes = PageBuffer(std::size_t(runSectors) * kSectorSize);
    } catch (const std::bad_alloc&) {
        return nullptr; // read the ordinary way
    }
    try {
        ahead->thread_ = std::thread([p = ahead.get()] { p->readRuns(); });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return ahead;
}

ReadAhead::ReadAhead(SectorReader& reader, SectorSource& source, std::uint64_t firstSector,
                     std::uint64_t endSector, std::uint32_t runSectors)
    : reader_(reader), source_(source), endSector_(endSector), runSectors_(runSectors),
      nextSector_(firstSector), slots_(kSlots) {}

ReadAhead::~ReadAhead() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

// The thread: each run in turn into the next free slot. A run that fails is
// marked so and left to the caller; the ones after it are still read.
void ReadAhead::readRuns() {
    std::uint64_t sector = nextSector_;
    for (std::size_t at = 0; sector < endSector_; at = (at + 1) % kSlots) {
        Slot& slot = slots_[at];
        {
            std::unique_lock lock(mutex_);
            if (slot.filled) {
                // Every slot is full: this thread waits for half of them to
                // be free, so that the caller wakes it once every few runs
                // and not for each (a wake-up costs about what a run's
                // tests do). The caller frees them in the order they were
                // filled, so this one is free by then.
                readerWaits_ = true;
                changed_.wait(lock, [&] { return stop_ || filled_ <= kSlots / 2; });
                readerWaits_ = false;
            }
            if (stop_) return;
        }
        const auto count = std::uint32_t(std::min<std::uint64_t>(runSectors_, endSector_ - sector));
        const bool whole =
            source_
                .readAt(sector * kSectorSize, slot.bytes.data(), std::size_t(count) * kSectorSize)
                .ok();
        std::lock_guard lock(mutex_);
        slot.firstSector = sector;
        slot.count = count;
        slot.whole = whole;
        slot.filled = true;
        ++filled_;
        if (callerWaits_) changed_.notify_all();
        sector += count;
    }
}

std::span<const std::uint8_t> ReadAhead::next(std::uint64_t firstSector, std::uint32_t count) {
    std::unique_lock lock(mutex_);
    if (holding_) {
        // The run handed over last is done with: its slot is free again.
        slots_[taken_].filled = false;
        --filled_;
        taken_ = (taken_ + 1) % kSlots;
        holding_ = false;
        if (readerWaits_ && filled_ <= kSlots / 2) changed_.notify_all();
    }
    const std::uint64_t runEnd = std::min<std::uint64_t>(nextSector_ + runSectors_, endSector_);
    if (firstSector != nextSector_ || nextSector_ >= endSector_ || count != runEnd - nextSector_) {
        // Out of turn: the rest is the caller's to read.
        nextSector_ = endSector_;
        stop_ = true;
        changed_.notify_all();
        return {};
    }
    Slot& slot = slots_[taken_];
    if (!slot.filled) {
        callerWaits_ = true;
        changed_.wait(lock, [&] { return slot.filled; });
        callerWaits_ = false;
    }
    holding_ = true;
    nextSector_ = runEnd;
    if (!slot.whole || reader_.anyKnownBad(firstSector, count)) return {};
    reader_.count(firstSector * kSectorSize, std::size_t(count) * kSectorSize);
    return {slot.bytes.data(), std::size_t(count) * kSectorSize};
}

} // namespace dorvak
