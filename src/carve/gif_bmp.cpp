// GIF and BMP.
//
// GIF: header, logical screen descriptor and its colour table, then blocks
// (image descriptors with their LZW data, extensions) made of sub-blocks
// each led by its length, up to the trailer 0x3B. The LZW codes of each
// image are followed (not decoded) to check them. Interrupted: the end of
// the last whole block.
//
// BMP: the file header states the file's size; it is checked against the
// pixel array the info header describes before it is believed. The pixels
// cannot be checked, so a BMP the input cuts short is interrupted at the
// input's end.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

namespace dorvak::carve {

namespace {

// What the chain walks below return when the input ends inside the chain.
constexpr std::uint64_t kInputEnded = ~0ull;

// Skips a chain of sub-blocks from `pos`; returns the offset past its
// terminating zero, or kInputEnded.
std::uint64_t skipSubBlocks(ByteCursor& c, std::uint64_t pos) {
    while (true) {
        const std::uint8_t* n = c.at(pos, 1);
        if (!n) return kInputEnded;
        if (*n == 0) return pos + 1;
        pos += 1 + std::uint64_t(*n);
    }
}

// Follows an image's LZW codes through its sub-blocks without producing
// pixels: every code must name an entry the table already has (or the one
// being made), and the end code must come in the last sub-block. Foreign
// bytes break that within a few codes. Returns the offset past the
// terminating zero sub-block, 0 when the codes fail, or kInputEnded.
std::uint64_t checkLzw(ByteCursor& c, std::uint64_t pos, unsigned minCodeSize) {
    const unsigned clear = 1u << minCodeSize, endCode = clear + 1;
    unsigned codeSize = minCodeSize + 1, next = clear + 2;
    std::uint32_t bits = 0;
    unsigned nbits = 0;
    bool ended = false, afterClear = true;
    while (true) {
        const std::uint8_t* n = c.at(pos, 1);
        if (!n) return kInputEnded;
        if (*n == 0) return ended ? pos + 1 : 0;
        if (ended) return 0; // data after the end code
        const std::uint8_t* data = c.at(pos + 1, *n);
        if (!data) return kInputEnded;
        for (unsigned i = 0; i < *n && !ended; ++i) {
            bits |= std::uint32_t(data[i]) << nbits;
            nbits += 8;
            while (nbits >= codeSize && !ended) {
                const unsigned code = bits & ((1u << codeSize) - 1);
                bits >>= codeSize;
                nbits -= codeSize;
                if (code == clear) {
                    codeSize = minCodeSize + 1, next = clear + 2, afterClear = true;
                    continue;
                }
                if (code == endCode) {
                    ended = true;
                    break;
                }
                if (code > next || (afterClear && code >= clear)) return 0;
                if (!afterClear && next < 4096) ++next;
                if (next == (1u << codeSize) && codeSize < 12) ++codeSize;
                afterClear = false;
            }
        }
        pos += 1 + std::uint64_t(*n);
    }
}

std::uint64_t colourTableSize(std::uint8_t flags) {
    return (flags & 0x80) ? 3ull << ((flags & 7) + 1) : 0;
}

} // namespace

bool gifMatches(Head head) {
    return head.size() >= 13 && (startsWith(head, "GIF87a") || startsWith(head, "GIF89a")) &&
           le16(head.data() + 6) != 0 && le16(head.data() + 8) != 0;
}

WalkResult gifWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 13);
    if (!h || !gifMatches({h, 13})) return notThisFormat();
    std::uint64_t pos = 13 + colourTableSize(h[10]);
    std::uint64_t good = 13;
    bool imageSeen = false;
    while (true) {
        const std::uint8_t* b = c.at(pos, 1);
        if (!b) return inputEnds(good);
        if (*b == 0x3B) return imageSeen ? complete(pos + 1) : interrupted(good);
        std::uint64_t next = 0;
        if (*b == 0x21) { // extension: label, then sub-blocks
            if (!c.has(pos, 2)) return inputEnds(good);
            next = skipSubBlocks(c, pos + 2);
        } else if (*b == 0x2C) { // image: descriptor, colour table, LZW size, data
            const std::uint8_t* d = c.at(pos, 10);
            if (!d) return inputEnds(good);
            const std::uint64_t data = pos + 10 + colourTableSize(d[9]);
            const std::uint8_t* lzw = c.at(data, 1);
            if (!lzw) return inputEnds(good);
            if (*lzw < 2 || *lzw > 11) return interrupted(good);
            next = checkLzw(c, data + 1, *lzw);
            imageSeen = true;
        } else {
            return interrupted(good);
        }
        if (next == 0) return interrupted(good);
        if (next == kInputEnded) return inputEnds(good);
        pos = good = next;
    }
}

// BITMAPFILEHEADER (14 bytes) then the info header:
//   0 "BM" | 2 file size | 6 reserved (0) | 10 pixel offset | 14 info size
//   18 width | 22 height | 26 planes (1) | 28 bits per pixel | 30 compression
//   34 image size
bool bmpMatches(Head head) {
    if (head.size() < 30 || !startsWith(head, "BM")) return false;
    const std::uint32_t info = le32(head.data() + 14);
    const bool knownInfo =
        info == 12 || info == 40 || info == 52 || info == 56 || info == 108 || info == 124;
    const std::uint32_t offset = le32(head.data() + 10);
    return knownInfo && le32(head.data() + 6) == 0 && offset >= 14 + info &&
           offset < le32(head.data() + 2);
}

WalkResult bmpWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 54);
    if (!h) h = c.at(0, 26);
    if (!h || !bmpMatches({h, 30})) return notThisFormat();
    const std::uint64_t fileSize = le32(h + 2);
    const std::uint32_t info = le32(h + 14);
    std::uint64_t width = 0, height = 0, bits = 0, compression = 0;
    if (info == 12) {
        width = le16(h + 18), height = le16(h + 20), bits = le16(h + 24);
    } else {
        if (!c.has(0, 54)) return notThisFormat();
        const std::int32_t w = std::int32_t(le32(h + 18)), ht = std::int32_t(le32(h + 22));
        if (w <= 0 || ht == 0 || ht == INT32_MIN) return notThisFormat();
        width = std::uint64_t(w), height = std::uint64_t(ht < 0 ? -std::int64_t(ht) : ht);
        bits = le16(h + 28), compression = le32(h + 30);
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return notThisFormat();
    // Uncompressed pixels fill whole rows of 4-byte multiples; compressed
    // ones (RLE, JPEG, PNG inside) only need to fit.
    const std::uint64_t offset = le32(h + 10);
    if (compression == 0 || compression == 3 || compression == 6) {
        const std::uint64_t row = (width * bits + 31) / 32 * 4;
        if (height > (1u << 20) || row > (1u << 26) || offset + row * height > fileSize)
            return notThisFormat();
    }
    if (!c.has(0, fileSize)) return inputEnds(c.size());
    return complete(fileSize);
}

} // namespace dorvak::carve
