// ELF (32 and 64 bits, either byte order): the file ends at the furthest of
// the section header table, the program header table, and the contents of
// every section (but those that take no room in the file) and segment.
// Nothing inside is checked, so a foreign block inside a program does not
// show.
//
// Interrupted: the input's end, when it ends before that.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <algorithm>

namespace dorvak::carve {

namespace {

// Header (32 / 64 bits): 4 class (1, 2) | 5 data (1 LE, 2 BE) | 6 version 1
//   phoff 28/32 | shoff 32/40 | ehsize 40/52 | phentsize 42/54 | phnum 44/56
//   shentsize 46/58 | shnum 48/60
struct Reader {
    bool wide = false, big = false;
    std::uint64_t u16(const std::uint8_t* p) const { return big ? be16(p) : le16(p); }
    std::uint64_t u32(const std::uint8_t* p) const { return big ? be32(p) : le32(p); }
    std::uint64_t word(const std::uint8_t* p) const {
        return wide ? (big ? be64(p) : le64(p)) : u32(p);
    }
};

// The end of a table of `count` entries of `size` bytes at `offset`, or 0
// when it overflows.
std::uint64_t tableEnd(std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
    if (offset > (1ull << 48) || (size && count > (1ull << 32) / size)) return 0;
    return offset + count * size;
}

} // namespace

bool elfMatches(Head head) {
    return head.size() >= 52 &&
           startsWith(head, "\x7F"
                            "ELF") &&
           (head[4] == 1 || head[4] == 2) && (head[5] == 1 || head[5] == 2) && head[6] == 1;
}

WalkResult elfWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 64);
    if (!h) h = c.at(0, 52);
    if (!h || !elfMatches({h, 52})) return notThisFormat();
    Reader r{h[4] == 2, h[5] == 2};
    if (r.wide && !c.has(0, 64)) return inputEnds(c.size());
    const std::uint64_t phoff = r.word(h + (r.wide ? 32 : 28)),
                        shoff = r.word(h + (r.wide ? 40 : 32));
    const std::uint64_t ehsize = r.u16(h + (r.wide ? 52 : 40));
    const std::uint64_t phentsize = r.u16(h + (r.wide ? 54 : 42)),
                        phnum = r.u16(h + (r.wide ? 56 : 44));
    const std::uint64_t shentsize = r.u16(h + (r.wide ? 58 : 46));
    std::uint64_t shnum = r.u16(h + (r.wide ? 60 : 48));
    if (ehsize != (r.wide ? 64u : 52u)) return notThisFormat();
    if ((phnum && phentsize != (r.wide ? 56u : 32u)) ||
        (shoff && shentsize != (r.wide ? 64u : 40u)))
        return notThisFormat();
    // More than 65279 sections: the count is in section 0's size field.
    if (shoff && shnum == 0) {
        const std::uint8_t* s0 = c.at(shoff, std::size_t(shentsize));
        if (!s0) return inputEnds(c.size());
        shnum = r.word(s0 + (r.wide ? 32 : 20));
    }
    std::uint64_t end = ehsize;
    const std::uint64_t phEnd = tableEnd(phoff, phnum, phentsize);
    const std::uint64_t shEnd = tableEnd(shoff, shnum, shentsize);
    if ((phnum && !phEnd) || (shoff && !shEnd)) return notThisFormat();
    end = std::max({end, phEnd, shEnd});
    if (!c.has(0, end)) return inputEnds(c.size());
    for (std::uint64_t i = 0; i < phnum; ++i) {
        const std::uint8_t* p = c.at(phoff + i * phentsize, std::size_t(phentsize));
        if (!p) return inputEnds(c.size());
        // Segment: offset at 4/8, size in the file at 16/32.
        const std::uint64_t offset = r.word(p + (r.wide ? 8 : 4)),
                            size = r.word(p + (r.wide ? 32 : 16));
        if (offset > (1ull << 48) || size > (1ull << 48)) return notThisFormat();
        end = std::max(end, offset + size);
    }
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const std::uint8_t* s = c.at(shoff + i * shentsize, std::size_t(shentsize));
        if (!s) return inputEnds(c.size());
        // Section: type at 4, offset at 16/24, size at 20/32; type 8 (NOBITS)
        // takes no room in the file.
        if (r.u32(s + 4) == 8) continue;
        const std::uint64_t offset = r.word(s + (r.wide ? 24 : 16)),
                            size = r.word(s + (r.wide ? 32 : 20));
        if (offset > (1ull << 48) || size > (1ull << 48)) return notThisFormat();
        end = std::max(end, offset + size);
    }
    if (!c.has(0, end)) return inputEnds(c.size());
    return complete(end);
}

} // namespace dorvak::carve
