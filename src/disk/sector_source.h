#pragma once
// Where sectors come from: a block device or a disk image file, read with
// positioned reads only. The interface is deliberately tiny so that tests can
// put a fault-injecting source in front of the reader.

#include "disk/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dorvak {

class SectorSource {
public:
    virtual ~SectorSource() = default;
    // One request: reads exactly `length` bytes at byte `offset`. A short read
    // (end of the source) or an I/O error is a failure.
    virtual bool readAt(std::uint64_t offset, void* buffer, std::size_t length) = 0;
    // Size of the source in bytes (0 when unknown).
    virtual std::uint64_t sizeBytes() const = 0;
};

// A device or image file opened read-only. Never writes.
class FileSectorSource final : public SectorSource {
public:
    // Opens `path` with O_RDONLY; on failure returns nullptr and sets `error`
    // to a message naming the path and the reason.
    static std::unique_ptr<FileSectorSource> open(const std::string& path, std::string* error);
    FileSectorSource(const FileSectorSource&) = delete;
    FileSectorSource& operator=(const FileSectorSource&) = delete;

    bool readAt(std::uint64_t offset, void* buffer, std::size_t length) override;
    std::uint64_t sizeBytes() const override { return size_; }

private:
    FileSectorSource(UniqueFd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}
    UniqueFd fd_;
    std::uint64_t size_;
};

} // namespace dorvak
