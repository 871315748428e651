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

namespace dorvak::carve {

namespace {

// Header: 0 name | 124 size (octal, or base-256 with the top bit set)
//   148 checksum (octal) | 156 type | 257 "ustar" magic
bool checksumHolds(const std::uint8_t* h) {
    std::uint32_t sum = 0;
    for (int i = 0; i < 512; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : h[i];
    std::uint32_t stored = 0;
    int i = 148;
    while (i < 156 && h[i] == ' ')
        ++i;
    int digits = 0;
    for (; i < 156 && h[i] >= '0' && h[i] <= '7'; ++i, ++digits)
        stored = stored * 8 + std::uint32_t(h[i] - '0');
    return digits > 0 && stored == sum;
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

} // namespace

bool tarMatches(Head head) {
    return head.size() >= 512 && startsWith(head, "ustar", 257) && checksumHolds(head.data());
}

WalkResult tarWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 512);
    if (!h || !tarMatches({h, 512})) return notThisFormat();
    std::uint64_t pos = 0, good = 0;
    // Every pass moves on by at least one block.
    while (true) {
        h = c.at(pos, 512);
        if (!h) return interrupted(good);
        if (isZeroBlock(h)) break;
        if (!checksumHolds(h)) return interrupted(good);
        std::uint64_t size = 0;
        if (!memberSize(h, size)) return interrupted(good);
        const char type = char(h[156]);
        // Links, folders and devices carry no data whatever the size says.
        if (type == '1' || type == '2' || type == '3' || type == '4' || type == '5' || type == '6')
            size = 0;
        good = pos + 512;
        const std::uint64_t blocks = (size + 511) / 512;
        if (blocks > (c.size() - pos) / 512) return interrupted(c.size());
        pos += 512 + blocks * 512;
    }
    const std::uint8_t* second = c.at(pos + 512, 512);
    if (!second) return interrupted(pos);
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
