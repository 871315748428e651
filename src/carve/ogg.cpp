// Ogg (Vorbis, Opus, FLAC, Theora...): a chain of pages, each with its
// CRC-32 over the page (the CRC field taken as zero). Each logical stream
// begins with a page flagged "beginning of stream" and ends with one flagged
// "end of stream"; the file ends with the page that ends the last open one.
//
// Interrupted: the end of the last page whose CRC held, when a page fails or
// the input ends before every stream has ended.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <array>
#include <vector>

namespace dorvak::carve {

namespace {

// Ogg's CRC: polynomial 0x04C11DB7, not reflected, starting at zero.
constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 24;
        for (int k = 0; k < 8; ++k)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
        t[i] = r;
    }
    return t;
}
constexpr std::array<std::uint32_t, 256> kCrc = makeTable();

std::uint32_t crcUpdate(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        crc = (crc << 8) ^ kCrc[((crc >> 24) ^ p[i]) & 0xFF];
    return crc;
}

// Page header: 0 "OggS" | 4 version (0) | 5 flags (1 continued, 2 first,
// 4 last) | 6 granule | 14 serial | 18 sequence | 22 CRC | 26 segments
// | 27 segment table | then the data, the sum of the table.
constexpr std::uint8_t kBegin = 2, kEnd = 4;

} // namespace

bool oggMatches(Head head) {
    return head.size() >= 28 && startsWith(head, "OggS") && head[4] == 0 && (head[5] & kBegin) &&
           !(head[5] & 0xF8);
}

WalkResult oggWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* first = c.at(0, 28);
    if (!first || !oggMatches({first, 28})) return notThisFormat();
    std::vector<std::uint32_t> open; // serials of the streams not yet ended
    std::uint64_t pos = 0;
    // Every page is at least 27 bytes: the loop ends with the input.
    while (true) {
        const std::uint8_t* h = c.at(pos, 27);
        if (!h) return inputEnds(pos);
        if (!std::equal(h, h + 4, "OggS") || h[4] != 0) return interrupted(pos);
        const std::uint8_t flags = h[5], segments = h[26];
        const std::uint32_t serial = le32(h + 14), stored = le32(h + 22);
        std::uint8_t header[27];
        std::copy(h, h + 27, header);
        header[22] = header[23] = header[24] = header[25] = 0;
        const std::uint8_t* table = c.at(pos + 27, segments);
        if (!table) return inputEnds(pos);
        std::uint64_t body = 0;
        for (int i = 0; i < segments; ++i)
            body += table[i];
        std::uint32_t crc = crcUpdate(0, header, 27);
        crc = crcUpdate(crc, table, segments);
        const std::uint8_t* data = c.at(pos + 27 + segments, std::size_t(body));
        if (!data) return inputEnds(pos);
        if (crcUpdate(crc, data, std::size_t(body)) != stored) return interrupted(pos);
        if (flags & kBegin) {
            if (open.size() >= 256) return interrupted(pos);
            open.push_back(serial);
        }
        pos += 27 + segments + body;
        if (flags & kEnd) {
            std::erase(open, serial);
            if (open.empty()) return complete(pos);
        }
    }
}

} // namespace dorvak::carve
