#pragma once
// Where sectors come from: a block device or a disk image file, read with
// positioned reads only. The interface is deliberately tiny so that tests can
// put a fault-injecting source in front of the reader.

#include "disk/io_result.h"
#include "disk/mapped_file.h"
#include "disk/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace dorvak {

// What the command line says when a device may not be read by this user.
inline constexpr const char* kPermissionDenied = "Permission denied: run it as root";
// EACCES or EPERM: the user lacks the rights, the device is there.
bool isPermissionError(int error);
// A request for bytes the source does not hold: no errno, as no system call
// failed.
IoError pastTheEnd();

// Part of a request that its caller wants: `length` bytes at `offset` from
// the request's first byte, into `into`.
struct RunPiece {
    std::size_t offset;
    std::size_t length;
    std::uint8_t* into;
};

class SectorSource {
public:
    virtual ~SectorSource() = default;
    // One request: reads exactly `length` bytes at byte `offset`. A short read
    // (end of the source) or an I/O error is a failure.
    virtual IoResult<> readAt(std::uint64_t offset, void* buffer, std::size_t length) = 0;
    // Size of the source in bytes (0 when unknown).
    virtual std::uint64_t sizeBytes() const = 0;
    // The logical sector size a block device reports, in which its partition
    // tables count; 0 when the source cannot say (an image file).
    virtual std::uint32_t logicalSectorSize() const { return 0; }
    // The container the sectors come out of: "raw" for a device or a plain
    // image file, else "E01", "qcow2", "VHD", "VHDX" or "VMDK".
    virtual const char* formatName() const { return "raw"; }
};

// A device or image file opened read-only. Never writes.
class FileSectorSource final : public SectorSource {
public:
    // Opens `path` with O_RDONLY; a failure's text names the path and the
    // reason.
    static IoResult<std::unique_ptr<FileSectorSource>> open(const std::string& path);
    // Reads through a descriptor opened elsewhere (one handed out by a
    // privileged service, for instance); `name` is used in messages only.
    static IoResult<std::unique_ptr<FileSectorSource>> fromFd(UniqueFd fd, const std::string& name);
    FileSectorSource(const FileSectorSource&) = delete;
    FileSectorSource& operator=(const FileSectorSource&) = delete;

    IoResult<> readAt(std::uint64_t offset, void* buffer, std::size_t length) override;
    // One request of `length` bytes at `offset` of which only the bytes that
    // `pieces` (ascending, apart, within the request) name are read, each
    // into its place: a run of scattered blocks in the page cache costs the
    // copies of the blocks alone. The whole request is still asked of the
    // disk at once. False when a read failed or came short: read it with
    // readAt to learn why.
    bool readPieces(std::uint64_t offset, std::size_t length, std::span<const RunPiece> pieces);
    std::uint64_t sizeBytes() const override { return size_; }
    std::uint32_t logicalSectorSize() const override { return sectorSize_; }
    bool isBlockDevice() const { return blockDevice_; }
    // A mapping of an image file (see MappedFile); null for a device, whose
    // bad sectors are the reader's to retry, or when it cannot be mapped.
    std::unique_ptr<MappedFile> mapImage() const;

private:
    FileSectorSource(UniqueFd fd, std::uint64_t size, std::uint32_t sectorSize, bool blockDevice)
        : fd_(std::move(fd)), size_(size), sectorSize_(sectorSize), blockDevice_(blockDevice) {}
    UniqueFd fd_;
    std::uint64_t size_;
    std::uint32_t sectorSize_;
    bool blockDevice_;
};

} // namespace dorvak
