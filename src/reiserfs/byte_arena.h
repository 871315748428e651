#pragma once
// ByteArena: copies of short byte runs (item bodies, names) kept side by side
// in chunks of 1 MiB that never move, each run named by a 32-bit handle. A
// run never spans two chunks; the handles reach 4 GiB, past which adding
// throws std::bad_alloc like any other allocation that cannot be met.

#include "disk/bytes.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace dorvak {

// Whether the allocation of a new chunk is to fail: the tests of the out of
// memory path set DORVAK_FAIL_ALLOCATIONS=1 in a program's environment. Always
// false in a build without the hook (DORVAK_ALLOCATION_FAULTS off).
bool allocationFaultInjected();

class ByteArena {
public:
    static constexpr unsigned kChunkBits = 20;
    static constexpr std::size_t kChunk = std::size_t(1) << kChunkBits;

    // Copies `length` bytes (at most a chunk) in; returns their handle.
    std::uint32_t add(const void* data, std::size_t length) {
        if (chunks_.empty() || chunks_.back().size() + length > kChunk) {
            if (chunks_.size() >= (std::size_t(1) << (32 - kChunkBits)) ||
                allocationFaultInjected())
                throw std::bad_alloc();
            chunks_.emplace_back();
            chunks_.back().reserve(kChunk);
        }
        auto& chunk = chunks_.back();
        const auto handle = std::uint32_t(((chunks_.size() - 1) << kChunkBits) | chunk.size());
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        chunk.insert(chunk.end(), bytes, bytes + length);
        size_ += length;
        return handle;
    }
    // Copies `bytes` in as a chunk of their own, of any length (a saved
    // scan's names, in one copy); returns where they start. Runs in a chunk
    // longer than kChunk have no handle, only their place.
    const std::uint8_t* adopt(Bytes bytes) {
        if (chunks_.size() >= (std::size_t(1) << (32 - kChunkBits)) || allocationFaultInjected())
            throw std::bad_alloc();
        auto& chunk = chunks_.emplace_back();
        // Room for a whole chunk, as add() expects of the last one: what it
        // adds after these bytes must not move them.
        chunk.reserve(std::max(kChunk, bytes.size()));
        chunk.insert(chunk.end(), bytes.begin(), bytes.end());
        size_ += bytes.size();
        return chunk.data();
    }
    // Takes back the run just added, `length` bytes.
    void dropLast(std::size_t length) {
        chunks_.back().resize(chunks_.back().size() - length);
        size_ -= length;
    }
    // The chunk that holds a run, and where in it the run starts.
    Bytes chunkOf(std::uint32_t handle) const { return chunks_[handle >> kChunkBits]; }
    static std::size_t offsetOf(std::uint32_t handle) { return handle & (kChunk - 1); }
    std::string_view text(std::uint32_t handle, std::size_t length) const {
        return {reinterpret_cast<const char*>(chunkOf(handle).data() + offsetOf(handle)), length};
    }
    std::size_t size() const { return size_; } // bytes added since the last clear
    void clear() {
        chunks_.clear();
        size_ = 0;
    }
    void swap(ByteArena& other) noexcept {
        chunks_.swap(other.chunks_);
        std::swap(size_, other.size_);
    }

private:
    std::vector<std::vector<std::uint8_t>> chunks_;
    std::size_t size_ = 0;
};

} // namespace dorvak
