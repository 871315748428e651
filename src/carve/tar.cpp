// TAR (ustar, GNU and pax): 512-byte headers, each with its checksum, each
// followed by its data rounded up to 512 bytes, then two zero blocks. Tar
// writers fill their last record (20 blocks, 10 KiB) with zeros; those zeros
// are part of the file when they are there, so the walk takes zero blocks up
// to the next 10 KiB boundary.
//
// Interrupted: the end of the last header whose member was followed by a
// header that checked (a member's data cannot be checked by itself), or the
// input's end when it ends inside a member's data.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace dorvak::carve {

namespace {

// Header: 0 name | 124 size (octal, or base-256 with the top bit set)
//   148 checksum (octal) | 156 type | 257 "ustar" magic
// Some old writers summed the bytes as signed chars; both sums are accepted.
bool checksumHolds(const std::uint8_t* h) {
    std::uint32_t sum = 0, signedSum = 0;
    for (int i = 0; i < 512; ++i) {
        const std::uint8_t b = (i >= 148 && i < 156) ? ' ' : h[i];
        sum += b;
        signedSum += std::uint32_t(std::int32_t(std::int8_t(b)));
    }
    std::uint32_t stored = 0;
    int i = 148;
    while (i < 156 && h[i] == ' ')
        ++i;
    int digits = 0;
    for (; i < 156 && h[i] >= '0' && h[i] <= '7'; ++i, ++digits)
        stored = stored * 8 + std::uint32_t(h[i] - '0');
    return digits > 0 && (stored == sum || stored == (signedSum & 0777777));
}

// The member's size, or nothing when the field is not a number.
bool memberSize(const std::uint8_t* h, std::uint64_t& size) {
    size = 0;
    if (h[124] & 0x80) { // base-256, big-endian, for members of 8 GiB and more
        for (int i = 125; i < 136; ++i) {
            if (size >> 55) return false;
            size = size << 8 | h[i];
        }
        return true;
    }
    int i = 124;
    while (i < 136 && h[i] == ' ')
        ++i;
    for (; i < 136 && h[i] >= '0' && h[i] <= '7'; ++i)
        size = size * 8 + std::uint64_t(h[i] - '0');
    return i == 136 || h[i] == 0 || h[i] == ' ';
}

bool isZeroBlock(const std::uint8_t* b) {
    return std::all_of(b, b + 512, [](std::uint8_t x) { return x == 0; });
}

// The "size" record of a pax extended header's data (records of the form
// "<length> size=<decimal>\n"), which overrides the next member's size
// field; nothing when there is none.
std::optional<std::uint64_t> paxSize(ByteCursor& c, std::uint64_t data, std::uint64_t length) {
    const std::size_t n = std::size_t(std::min<std::uint64_t>(length, 64 * 1024));
    const std::uint8_t* p = c.at(data, n);
    if (!p) return std::nullopt;
    const std::string_view records(reinterpret_cast<const char*>(p), n);
    const std::size_t at = records.find(" size=");
    if (at == std::string_view::npos) return std::nullopt;
    std::uint64_t size = 0;
    std::size_t i = at + 6, digits = 0;
    for (; i < n && records[i] >= '0' && records[i] <= '9' && digits < 19; ++i, ++digits)
        size = size * 10 + std::uint64_t(records[i] - '0');
    if (!digits) return std::nullopt;
    return size;
}

} // namespace

bool tarMatches(Head head) {
    return head.size() >= 512 && startsWith(head, "ustar", 257) && checksumHolds(head.data());
}

WalkResult tarWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 512);
    if (!h || !tarMatches({h, 512})) return notThisFormat();
    std::uint64_t pos = 0, good = 0;
    bool paxSized = false; // a pax header gave the next member's size
    std::uint64_t paxSizeValue = 0;
    // Every pass moves on by at least one block.
    while (true) {
        h = c.at(pos, 512);
        if (!h) return inputEnds(good);
        if (isZeroBlock(h)) break;
        if (!checksumHolds(h)) return interrupted(good);
        std::uint64_t size = 0;
        if (!memberSize(h, size)) return interrupted(good);
        const char type = char(h[156]);
        const bool sparseExtended = h[482] != 0;
        // Links, folders and devices carry no data whatever the size says.
        if (type == '1' || type == '2' || type == '3' || type == '4' || type == '5' || type == '6')
            size = 0;
        else if (paxSized && type != 'x' && type != 'g')
            size = paxSizeValue;
        paxSized = false;
        if (type == 'x') {
            const auto given = paxSize(c, pos + 512, size);
            paxSized = given.has_value();
            paxSizeValue = given.value_or(0);
        }
        good = pos + 512;
        // An old GNU sparse member may go on with extension headers of its
        // sparse map (each flagged at 504 when another follows) before its data.
        if (type == 'S' && sparseExtended) {
            for (int extensions = 0;; ++extensions) {
                pos += 512;
                const std::uint8_t* x = c.at(pos, 512);
                if (!x) return inputEnds(good);
                if (!x[504] || extensions > 4096) break;
            }
        }
        const std::uint64_t blocks = (size + 511) / 512;
        if (blocks > (c.size() - pos) / 512) return inputEnds(c.size());
        pos += 512 + blocks * 512;
    }
    const std::uint8_t* second = c.at(pos + 512, 512);
    if (!second) return inputEnds(pos);
    if (!isZeroBlock(second)) return interrupted(good);
    pos += 1024;
    const std::uint64_t endBlocks = pos;
    const std::uint64_t record = (pos + 10239) / 10240 * 10240;
    while (pos < record) {
        const std::uint8_t* z = c.at(pos, 512);
        if (!z || !isZeroBlock(z)) break;
        pos += 512;
    }
    // Zeros that stop short of the record are not the writer's padding (the
    // rest of a file's last block is zero anyway): the end blocks end it.
    return complete(pos == record ? record : endBlocks);
}

} // namespace dorvak::carve
