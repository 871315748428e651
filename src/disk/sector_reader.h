#pragma once
// SectorReader: the one open disk and the only way the rest of the program
// reads it. A run of sectors is read in one request; when that fails the run
// is read again sector by sector, each sector tried `badSectorRetries` times,
// so one bad sector costs a few single-sector requests and the rest of the run
// still arrives. A sector that cannot be read at all is handed back as zeros
// (never as whatever the buffer held before, which could pose as disk data)
// and, when the caller asks, its number is reported.
//
// On a failing disk every try costs the drive's timeout, so a sector that
// could not be read is remembered for as long as the source stays open: later
// runs read around it, and it reads as zeros (and is reported) at no cost.
//
// Reads are positioned (pread), so the reader holds no file position and
// several threads may read at once.

#include "disk/mapped_file.h"
#include "disk/rescue_map.h"
#include "disk/sector_source.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace dorvak {

inline constexpr std::uint32_t kSectorSize = 512;

// Cylinder/head/sector of the legacy BIOS access mode: a fixed translation of
// 16 heads and 63 sectors per track, whatever the disk's real geometry.
struct ChsAddress {
    std::uint32_t cylinder;
    std::uint32_t head;
    std::uint32_t sector; // 1 to 63
};
ChsAddress chsFromLinear(std::uint32_t firstSectorLow);

// What the reader asked of its source since it was opened: requests, bytes,
// and seeks (requests that do not start where the previous one ended; the
// first request is one). On a rotating disk the seeks cost most.
struct ReadStats {
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    std::uint64_t seeks = 0;
};

class SectorReader {
public:
    // Tries per sector in the fallback (1 to 10 from the settings). Written by
    // the settings dialog while a worker may be reading, hence atomic.
    std::atomic<std::uint16_t> badSectorRetries{3};

    SectorReader() = default;
    SectorReader(const SectorReader&) = delete;
    SectorReader& operator=(const SectorReader&) = delete;

    // Opens `path` read-only as the disk (a device, a raw image, or an image
    // container told by its content); a disk still open is closed first.
    // On failure the reader has no disk, every read fails, and the error
    // says why; its code is errno when the file itself could not be opened
    // (a front end that can ask for rights looks for isPermissionError()).
    IoResult<> OpenSelectedDisk(const std::string& path);
    // Reads through a descriptor opened elsewhere (a privileged service
    // handed it out); `path` names the disk.
    IoResult<> openDescriptor(UniqueFd fd, const std::string& path);
    // Uses an already-open source (tests, or a source the caller built).
    void openSource(std::unique_ptr<SectorSource> source);
    void CloseDisk();
    bool isOpen() const { return diskHandle != nullptr; }
    // The open source itself, for a job that makes its own requests (the
    // imaging); nullptr when closed.
    SectorSource* source() const { return diskHandle.get(); }
    const std::string& diskPath() const { return path_; }
    // Size of the open disk in sectors (0 when unknown or closed).
    std::uint64_t totalSectors() const;
    // The device's logical sector size; 0 for an image or when closed.
    std::uint32_t logicalSectorSize() const;
    // The open disk's image container ("raw", "qcow2", ...: SectorSource).
    const char* formatName() const;

    // Reads `count` sectors from `firstSector` into `buffer` (count × 512
    // bytes). Succeeds when the whole run, or on the fallback the last
    // sector attempted, was read; else the error is that of the last request
    // that failed. With no disk open the buffer is left untouched. Sectors
    // that could not be read are zero-filled and, if `unreadable` is given,
    // appended to it: the buffer is data either way.
    IoResult<> ReadSectors(std::uint64_t firstSector, std::uint32_t count, void* buffer,
                           std::vector<std::uint64_t>* unreadable = nullptr);

    // Runs of an image file may be taken from a mapping of it a piece at a
    // time instead of read whole (see MappedFile): a scan that looks at a
    // few bytes of most blocks then copies only those. True when the run of
    // `count` sectors from `firstSector` can be, and then it counts as one
    // request, as ReadSectors would count it. False for a device, an image
    // container, under a rescue map or with a sector of the run known to be
    // unreadable: read the run with ReadSectors.
    bool beginMappedRun(std::uint64_t firstSector, std::uint32_t count);
    // Copies `length` bytes at byte `offset` of the source from a run begun
    // with beginMappedRun. False when a page could not be read: read the
    // run with ReadSectors instead, which finds the bad sectors.
    bool copyMapped(std::uint64_t offset, void* out, std::size_t length) const {
        return mapped_ && mapped_->copy(offset, out, length);
    }
    // The bytes at `offset` of the run begun last, in place, when its pages
    // were all read in as it began; else null (copy them). Check
    // mappedPagesLost() after using them.
    const std::uint8_t* viewMapped(std::uint64_t offset, std::size_t length) const {
        if (!mappedRunResident_ || offset < mappedRunOffset_ ||
            offset - mappedRunOffset_ > mappedRunLength_ ||
            length > mappedRunLength_ - (offset - mappedRunOffset_))
            return nullptr;
        return mapped_->view(offset, length);
    }
    // A page viewed in place was dropped and could not be read again: it
    // read as zeros. From then on runs are read the ordinary way.
    bool mappedPagesLost() const { return mapped_ && mapped_->lost(); }

    // Reads the run of `count` sectors from `firstSector` in one request (so
    // counted), keeping only the bytes `pieces` name (see RunPiece): a walk
    // that wants some blocks of a run copies those alone. An image file
    // only: false for a device, an image container, under a rescue map,
    // with a sector of the run known to be unreadable, or when the request
    // failed: read the run with ReadSectors, which finds the bad sectors.
    bool readPieces(std::uint64_t firstSector, std::uint32_t count,
                    std::span<const RunPiece> pieces);

    // A map of the open source (from an imaging run): sectors it does not
    // mark read ("+") are never read and count as unreadable. Closing the
    // disk drops it.
    void setRescueMap(std::shared_ptr<const RescueMap> map);
    const RescueMap* rescueMap() const { return map_.get(); }

    // Sectors of the open source that could not be read.
    std::uint64_t unreadableSectorCount() const;
    ReadStats stats() const;

private:
    friend class ReadAhead; // counts the runs it reads, asks for known bad sectors
    // Reads a run that holds no known unreadable sector: whole, else sector
    // by sector. Fails as the last sector's tries did.
    IoResult<> readRun(std::uint64_t firstSector, std::uint32_t count, unsigned char* out,
                       std::vector<std::uint64_t>* unreadable);
    bool knownBad(std::uint64_t sector) const;
    // Every request to the source goes through here, to be counted.
    IoResult<> readAt(std::uint64_t offset, void* buffer, std::size_t length);
    bool anyKnownBad(std::uint64_t firstSector, std::uint32_t count) const;

    mutable std::mutex badMutex_;
    std::set<std::uint64_t> badSectors_;
    std::shared_ptr<const RescueMap> map_;
    mutable std::mutex statsMutex_;
    ReadStats stats_;
    std::uint64_t nextOffset_ = ~std::uint64_t(0); // where the last request ended
    void count(std::uint64_t offset, std::size_t length);
    std::unique_ptr<SectorSource> diskHandle;
    std::unique_ptr<MappedFile> mapped_; // of an image file, when it could be mapped
    std::uint64_t mappedRunOffset_ = 0, mappedRunLength_ = 0; // the last run begun
    bool mappedRunResident_ = false;                          // its pages all read in: viewable
    std::string path_;
};

} // namespace dorvak
