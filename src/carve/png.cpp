// PNG: the 8-byte signature, then chunks (length, type, data, CRC-32 over
// type and data) up to IEND. Every CRC is checked, so a foreign block inside
// the file stops the walk at the chunk it falls in.
//
// Interrupted: the end of the last chunk whose CRC held.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <libdeflate.h>
#include <zlib.h>

namespace dorvak::carve {

namespace {

const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool isChunkType(const std::uint8_t* t) {
    for (int i = 0; i < 4; ++i)
        if (!((t[i] >= 'A' && t[i] <= 'Z') || (t[i] >= 'a' && t[i] <= 'z'))) return false;
    return true;
}

// The CRC-32 of `length` bytes from `from`, read a window at a time.
bool crcOf(ByteCursor& c, std::uint64_t from, std::uint64_t length, uLong& crc) {
    const std::uint64_t end = from + length;
    while (from < end) {
        const auto bytes = c.chunk(from, end);
        if (bytes.empty()) return false;
        crc = libdeflate_crc32(std::uint32_t(crc), bytes.data(), bytes.size());
        from += bytes.size();
    }
    return true;
}

} // namespace

bool pngMatches(Head head) {
    return head.size() >= 16 && std::equal(kSignature, kSignature + 8, head.begin()) &&
           be32(head.data() + 8) == 13 && startsWith(head, "IHDR", 12);
}

WalkResult pngWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 16);
    if (!h || !pngMatches({h, 16})) return notThisFormat();
    std::uint64_t pos = 8;
    while (true) {
        const std::uint8_t* head = c.at(pos, 8);
        if (!head) return inputEnds(pos);
        const std::uint32_t length = be32(head);
        std::uint8_t type[4];
        std::copy(head + 4, head + 8, type);
        // The format caps a chunk at 2^31 - 1 bytes.
        if (length > 0x7FFFFFFFu || !isChunkType(type)) return interrupted(pos);
        if (!c.has(pos + 8, std::uint64_t(length) + 4)) return inputEnds(pos);
        if (!c.checked(pos + 12 + std::uint64_t(length))) {
            uLong crc = libdeflate_crc32(0, type, 4);
            if (!crcOf(c, pos + 8, length, crc)) return interrupted(pos);
            const std::uint8_t* stored = c.at(pos + 8 + length, 4);
            if (!stored || be32(stored) != crc) return interrupted(pos);
        }
        pos += 12 + std::uint64_t(length);
        if (std::equal(type, type + 4, "IEND")) return complete(pos);
    }
}

} // namespace dorvak::carve
