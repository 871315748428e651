// ELF (32 and 64 bits, either byte order): the file ends at the furthest of
// the section header table, the program header table, and the contents of
// every section (but those that take no room in the file) and segment.
// The section header table, at the end of most programs, is checked: section
// 0 empty, every type a known one, and every section named in the section
// name table (a string table whose names are printable and end in NUL). A
// foreign block where the table or the names should be fails that, so a
// program whose last part is found elsewhere is followed to it; a foreign
// block among the sections' contents does not show.
//
// Interrupted: the input's end, when it ends before that; the end of the
// headers when the section table fails.
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

// Whether the name at `at` in the name table is printable and ends in NUL
// before `end`.
bool nameHolds(ByteCursor& c, std::uint64_t at, std::uint64_t end) {
    constexpr std::size_t kLongest = 256;
    const std::size_t room = std::size_t(std::min<std::uint64_t>(kLongest, end - at));
    const std::uint8_t* name = c.at(at, room);
    if (!name) return false;
    for (std::size_t i = 0; i < room; ++i) {
        if (name[i] == 0) return true;
        if (name[i] < 0x20 || name[i] >= 0x7F) return false;
    }
    return false;
}

// Checks the section header table (it lies inside the input).
bool sectionsHold(ByteCursor& c, const Reader& r, std::uint64_t shoff, std::uint64_t shnum,
                  std::uint64_t shentsize, std::uint64_t nameSection) {
    if (nameSection >= shnum) return false;
    // Section: name 0 | type 4 | offset 16/24 | size 20/32.
    auto field = [&](const std::uint8_t* s, int narrow, int wide) {
        return r.wide ? r.word(s + wide) : r.word(s + narrow);
    };
    const std::uint8_t* names = c.at(shoff + nameSection * shentsize, std::size_t(shentsize));
    if (!names || r.u32(names + 4) != 3) return false; // a string table
    const std::uint64_t namesAt = field(names, 16, 24), namesSize = field(names, 20, 32);
    if (namesSize == 0 || !c.has(namesAt, namesSize)) return false;
    const std::uint8_t* first = c.at(namesAt, 1);
    if (!first || *first != 0) return false;
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const std::uint8_t* s = c.at(shoff + i * shentsize, std::size_t(shentsize));
        if (!s) return false;
        const std::uint64_t name = r.u32(s), type = r.u32(s + 4);
        if (i == 0) {
            if (type != 0 || name != 0 || field(s, 16, 24) != 0) return false;
            continue;
        }
        // Types 0 to 19, and the ranges kept for systems and processors.
        if (type > 19 && type < 0x60000000u) return false;
        if (name >= namesSize || !nameHolds(c, namesAt + name, namesAt + namesSize)) return false;
    }
    return true;
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
    std::uint64_t nameSection = r.u16(h + (r.wide ? 62 : 50));
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
    // 0xFFFF: the name table's index is in section 0's link field.
    if (shoff && nameSection == 0xFFFF) {
        const std::uint8_t* s0 = c.at(shoff, std::size_t(shentsize));
        if (!s0) return inputEnds(c.size());
        nameSection = r.u32(s0 + (r.wide ? 40 : 24));
    }
    std::uint64_t end = ehsize;
    const std::uint64_t phEnd = tableEnd(phoff, phnum, phentsize);
    const std::uint64_t shEnd = tableEnd(shoff, shnum, shentsize);
    if ((phnum && !phEnd) || (shoff && !shEnd)) return notThisFormat();
    end = std::max({end, phEnd, shEnd});
    if (!c.has(0, end)) return inputEnds(c.size());
    const std::uint64_t headers = std::max(ehsize, phEnd);
    if (shoff && shnum && !sectionsHold(c, r, shoff, shnum, shentsize, nameSection))
        return interrupted(std::min(headers, shoff));
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
