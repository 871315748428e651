// TIFF (and the camera raw formats built on it): a chain of image file
// directories (IFDs), each a count of 12-byte entries and the offset of the
// next. The file ends at the furthest byte anything names: an IFD, an
// entry's values stored outside it, the strips or tiles the offset and
// byte-count entries list, and the IFDs that SubIFD, EXIF and GPS entries
// lead to. The IFDs visited are bounded (a chain may loop).
//
// Interrupted: the input's end, when something lies past it. Image data
// cannot be checked, so a foreign block inside it does not show.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <algorithm>
#include <vector>

namespace dorvak::carve {

namespace {

struct Tiff {
    ByteCursor& c;
    bool big;
    std::uint64_t end = 8;
    bool broken = false;                // something out of bounds, or past the input
    bool ended = false;                 // something past the input
    std::uint64_t valuesLeft = 1 << 22; // strip and tile values, over all IFDs
    std::uint64_t u16(const std::uint8_t* p) const { return big ? be16(p) : le16(p); }
    std::uint64_t u32(const std::uint8_t* p) const { return big ? be32(p) : le32(p); }
    void reach(std::uint64_t offset, std::uint64_t length) {
        if (offset > (1ull << 40) || length > (1ull << 40))
            broken = true;
        else
            end = std::max(end, offset + length);
    }
};

// Bytes of one value of each field type (1 BYTE ... 13 IFD).
std::uint64_t typeSize(std::uint64_t type) {
    static const std::uint8_t kSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < 14 ? kSizes[type] : 0;
}

// The values of an entry (SHORT or LONG), inline or at their offset; at
// most `limit`, and 4 Mi over the whole walk.
std::vector<std::uint64_t> values(Tiff& t, const std::uint8_t* e, std::uint64_t limit) {
    std::vector<std::uint64_t> out;
    const std::uint64_t type = t.u16(e + 2), count = t.u32(e + 4);
    // More values than any real file has: the walk cannot vouch for an end.
    if (count > std::min(limit, t.valuesLeft)) {
        t.broken = true;
        return out;
    }
    t.valuesLeft -= count;
    const std::uint64_t size = type == 3 ? 2 : (type == 4 || type == 13) ? 4 : 0;
    if (!size) return out;
    const bool inlined = count * size <= 4;
    const std::uint64_t at = t.u32(e + 8);
    std::uint8_t inlineBytes[4];
    std::copy(e + 8, e + 12, inlineBytes);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* v =
            inlined ? inlineBytes + i * size : t.c.at(at + i * size, std::size_t(size));
        if (!v) {
            t.broken = t.ended = true;
            break;
        }
        out.push_back(size == 2 ? t.u16(v) : t.u32(v));
    }
    return out;
}

constexpr int kMaxIfds = 256;
constexpr std::uint64_t kMaxStrips = 1 << 20;

void walkIfds(Tiff& t, std::uint64_t ifd, int& budget) {
    while (ifd && budget-- > 0 && !t.broken) {
        const std::uint8_t* n = t.c.at(ifd, 2);
        if (!n) return void(t.broken = t.ended = true);
        const std::uint64_t count = t.u16(n);
        t.reach(ifd, 2 + 12 * count + 4);
        std::vector<std::uint64_t> offsets, counts, children;
        for (std::uint64_t i = 0; i < count && !t.broken; ++i) {
            const std::uint8_t* raw = t.c.at(ifd + 2 + 12 * i, 12);
            if (!raw) return void(t.broken = t.ended = true);
            std::uint8_t e[12];
            std::copy(raw, raw + 12, e);
            const std::uint64_t tag = t.u16(e), bytes = typeSize(t.u16(e + 2)) * t.u32(e + 4);
            if (bytes > 4) t.reach(t.u32(e + 8), bytes);
            if (tag == 273 || tag == 324)
                offsets = values(t, e, kMaxStrips);
            else if (tag == 279 || tag == 325)
                counts = values(t, e, kMaxStrips);
            else if (tag == 330 || tag == 34665 || tag == 34853) {
                for (std::uint64_t v : values(t, e, 64))
                    children.push_back(v);
            }
        }
        for (std::size_t i = 0; i < std::min(offsets.size(), counts.size()); ++i)
            t.reach(offsets[i], counts[i]);
        for (std::uint64_t child : children)
            walkIfds(t, child, budget);
        const std::uint8_t* next = t.c.at(ifd + 2 + 12 * count, 4);
        if (!next) return void(t.broken = t.ended = true);
        ifd = t.u32(next);
    }
}

} // namespace

bool tiffMatches(Head head) {
    if (head.size() < 8) return false;
    const bool little = startsWith(head, "II\x2A\x00"), big = startsWith(head, "MM\x00\x2A");
    if (!little && !big) return false;
    const std::uint32_t first = big ? be32(head.data() + 4) : le32(head.data() + 4);
    return first >= 8 && first % 2 == 0;
}

WalkResult tiffWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 8);
    if (!h || !tiffMatches({h, 8})) return notThisFormat();
    Tiff t{c, h[0] == 'M'};
    int budget = kMaxIfds;
    walkIfds(t, t.u32(h + 4), budget);
    if (t.broken && !t.ended) return interrupted(std::min(t.end, c.size()));
    if (t.ended || !c.has(0, t.end)) return inputEnds(std::min(t.end, c.size()));
    return complete(t.end);
}

} // namespace dorvak::carve
