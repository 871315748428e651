// TrueType and OpenType fonts: a table directory (tag, checksum, offset,
// length per table). The file ends at the end of the furthest table, padded
// to four bytes as the format lays tables out (the padding only when it is
// there: some fonts end on the last table's last byte). Each table's
// checksum (the sum of its 32-bit words; 'head' without its adjustment
// field) is checked, so a foreign block inside a table shows.
//
// Interrupted: the start of the first table, in file order, whose checksum
// failed or which the input cuts short.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <algorithm>
#include <array>
#include <vector>

namespace dorvak::carve {

namespace {

// Offset table: 0 version (0x00010000, "OTTO", "true") | 4 table count
//   6 search range | 8 entry selector | 10 range shift | 12 records of 16:
//   tag | checksum | offset | length
bool versionHolds(const std::uint8_t* p) {
    const std::uint32_t v = be32(p);
    return v == 0x00010000u || v == 0x4F54544Fu || v == 0x74727565u;
}

struct Table {
    std::uint32_t tag = 0, checksum = 0;
    std::uint64_t offset = 0, length = 0;
};

// The table's checksum: its big-endian words summed, the last one padded
// with zeros.
std::uint32_t tableSum(ByteCursor& c, const Table& t) {
    std::uint32_t sum = 0, word = 0;
    int k = 0;
    for (std::uint64_t pos = t.offset; pos < t.offset + t.length;) {
        const auto bytes = c.chunk(pos, t.offset + t.length);
        if (bytes.empty()) break;
        std::size_t i = 0;
        for (; k == 0 && i + 4 <= bytes.size(); i += 4)
            sum += be32(bytes.data() + i);
        for (; i < bytes.size(); ++i) {
            word = word << 8 | bytes[i];
            if (++k == 4) sum += word, word = 0, k = 0;
        }
        pos += bytes.size();
    }
    return k ? sum + (word << (8 * (4 - k))) : sum;
}

} // namespace

bool fontMatches(Head head) {
    if (head.size() < 28 || !versionHolds(head.data())) return false;
    const std::uint16_t tables = be16(head.data() + 4), range = be16(head.data() + 6);
    if (tables == 0 || tables > 256) return false;
    std::uint16_t power = 1;
    while (power * 2 <= tables)
        power *= 2;
    return range == power * 16 && be16(head.data() + 10) == tables * 16 - range;
}

WalkResult fontWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 28);
    if (!h || !fontMatches({h, 28})) return notThisFormat();
    const bool openType = be32(h) == 0x4F54544Fu; // "OTTO": CFF outlines
    const std::uint16_t count = be16(h + 4);
    const std::uint64_t directoryEnd = 12 + 16ull * count;
    std::vector<Table> tables;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* r = c.at(12 + 16ull * i, 16);
        if (!r) return inputEnds(0);
        Table t{be32(r), be32(r + 4), be32(r + 8), be32(r + 12)};
        if (t.offset < directoryEnd) return notThisFormat();
        tables.push_back(t);
    }
    std::sort(tables.begin(), tables.end(),
              [](const Table& a, const Table& b) { return a.offset < b.offset; });
    std::uint64_t end = directoryEnd;
    for (const Table& t : tables) {
        if (!c.has(t.offset, t.length)) return inputEnds(std::min(t.offset, c.size()));
        if (t.length != 0 && c.checked(t.offset + t.length)) { // by an earlier walk
            end = std::max(end, t.offset + t.length);
            continue;
        }
        std::uint32_t sum = tableSum(c, t);
        if (t.tag == 0x68656164u && t.length >= 12) { // 'head': leave out checkSumAdjustment
            const std::uint8_t* adjust = c.at(t.offset + 8, 4);
            if (!adjust) return inputEnds(t.offset);
            sum -= be32(adjust);
        }
        if (sum != t.checksum) return interrupted(t.offset);
        end = std::max(end, t.offset + t.length);
    }
    // The last table's padding, when the file has it.
    const std::uint64_t padded = (end + 3) / 4 * 4;
    if (padded != end && c.has(end, padded - end)) {
        const std::uint8_t* pad = c.at(end, std::size_t(padded - end));
        if (std::all_of(pad, pad + (padded - end), [](std::uint8_t b) { return b == 0; }))
            end = padded;
    }
    WalkResult r = complete(end);
    if (openType) r.extension = "otf", r.typeName = "OpenType font";
    return r;
}

} // namespace dorvak::carve
