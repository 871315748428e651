#pragma once
// A sector source held in memory, with chosen sectors made unreadable and
// every request counted, for tests of the reader and everything above it.

#include "disk/sector_source.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace dorvak::test {

class MemorySource : public SectorSource {
public:
    explicit MemorySource(std::vector<std::uint8_t> bytes, std::set<std::uint64_t> badSectors = {})
        : bad(std::move(badSectors)), bytes_(std::move(bytes)) {}

    IoResult<> readAt(std::uint64_t offset, void* buffer, std::size_t length) override {
        ++requests;
        reads.emplace_back(offset, length);
        if (length == 512) ++singleSectorRequests;
        if (length > largest) largest = length;
        if (offset > bytes_.size() || length > bytes_.size() - offset) return pastTheEnd();
        for (std::uint64_t s = offset / 512; s * 512 < offset + length; ++s)
            if (bad.count(s)) {
                // A failed read may leave garbage behind; make that visible.
                std::memset(buffer, 0xEE, length);
                return IoError{EIO, "Input/output error"};
            }
        std::memcpy(buffer, bytes_.data() + offset, length);
        return {};
    }
    std::uint64_t sizeBytes() const override { return bytes_.size(); }
    std::uint32_t logicalSectorSize() const override { return sectorSize; }

    std::set<std::uint64_t> bad;  // unreadable sector numbers
    std::uint32_t sectorSize = 0; // as a block device would report it; 0 for an image
    int requests = 0;
    int singleSectorRequests = 0;
    std::size_t largest = 0;                                  // the longest request seen
    std::vector<std::pair<std::uint64_t, std::size_t>> reads; // every request: offset, length

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace dorvak::test
