#pragma once
// Streaming access to a candidate's bytes for the format walkers: a 64 KiB
// window over CarveInput, refilled where the walk goes, so that a walk holds
// one window however large the file is. Every access names its length and
// gets nothing when that would reach past the input's end.

#include "carve/format_walker.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace dorvak::carve {

inline std::uint16_t be16(const std::uint8_t* p) {
    return std::uint16_t(p[0] << 8 | p[1]);
}
inline std::uint32_t be24(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
}
inline std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
inline std::uint64_t be64(const std::uint8_t* p) {
    return std::uint64_t(be32(p)) << 32 | be32(p + 4);
}
inline std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
inline std::uint64_t le64(const std::uint8_t* p) {
    return std::uint64_t(le32(p)) | std::uint64_t(le32(p + 4)) << 32;
}

// `head` starts with `magic` (a string literal's bytes, its NUL left out).
template <std::size_t N>
bool startsWith(std::span<const std::uint8_t> head, const char (&magic)[N], std::size_t at = 0) {
    if (head.size() < at + N - 1) return false;
    for (std::size_t i = 0; i + 1 < N; ++i)
        if (head[at + i] != std::uint8_t(magic[i])) return false;
    return true;
}

class ByteCursor {
public:
    static constexpr std::size_t kWindow = 64 * 1024;

    explicit ByteCursor(const CarveInput& in);

    std::uint64_t size() const { return size_; }
    const CarveInput& input() const { return in_; }
    // Whether a structure ending at `end` was checked by an earlier walk.
    bool checked(std::uint64_t end) const { return end <= in_.checkedBefore(); }
    // Whether [offset, offset + length) lies inside the input (no overflow).
    bool has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    // `length` bytes at `offset` (length <= kWindow), valid until the next
    // call; nullptr when they would reach past the input.
    const std::uint8_t* at(std::uint64_t offset, std::size_t length);
    // The bytes from `offset` up to `end` (or the window's end, whichever is
    // first): for scans that go through the input a window at a time.
    std::span<const std::uint8_t> chunk(std::uint64_t offset, std::uint64_t end);
    // The first offset in [from, to) where `pattern` starts, if any.
    std::optional<std::uint64_t> find(std::uint64_t from, std::uint64_t to,
                                      std::span<const std::uint8_t> pattern);

private:
    bool fill(std::uint64_t offset, std::size_t length);

    const CarveInput& in_;
    std::uint64_t size_;
    // Not zeroed: only the bytes a read filled are ever handed out, and a walk
    // of a candidate that fails early would otherwise pay for all of it.
    std::unique_ptr<std::uint8_t[]> window_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
};

inline WalkResult complete(std::uint64_t length) {
    WalkResult r;
    r.status = WalkStatus::Complete;
    r.length = length;
    return r;
}
// Interrupted where the structure failed.
inline WalkResult interrupted(std::uint64_t length) {
    WalkResult r;
    r.status = WalkStatus::Interrupted;
    r.length = length;
    return r;
}
// Interrupted where the input ended while the structure still held.
inline WalkResult inputEnds(std::uint64_t length) {
    WalkResult r = interrupted(length);
    r.inputEnded = true;
    return r;
}
inline WalkResult notThisFormat() {
    return {};
}

} // namespace dorvak::carve
