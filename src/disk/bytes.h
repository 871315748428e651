#pragma once
// Little-endian field reads over a byte span. Every read is checked against
// the span: a field that would reach past the end reads as absent, never out
// of bounds. Decoders test `fits` first and then read.

#include <cstddef>
#include <cstdint>
#include <span>

namespace dorvak {

using Bytes = std::span<const std::uint8_t>;

inline bool fits(Bytes b, std::size_t offset, std::size_t length) {
    return offset <= b.size() && length <= b.size() - offset;
}

// Callers check `fits` first; these return 0 for a field outside the span so
// that a missed check still cannot read out of bounds.
inline std::uint16_t le16(Bytes b, std::size_t off) {
    if (!fits(b, off, 2)) return 0;
    return std::uint16_t(b[off] | (b[off + 1] << 8));
}
inline std::uint32_t le32(Bytes b, std::size_t off) {
    if (!fits(b, off, 4)) return 0;
    return std::uint32_t(b[off]) | (std::uint32_t(b[off + 1]) << 8) |
           (std::uint32_t(b[off + 2]) << 16) | (std::uint32_t(b[off + 3]) << 24);
}
inline std::uint64_t le64(Bytes b, std::size_t off) {
    if (!fits(b, off, 8)) return 0;
    return std::uint64_t(le32(b, off)) | (std::uint64_t(le32(b, off + 4)) << 32);
}

} // namespace dorvak
