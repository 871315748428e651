// SQLite: the database header gives the page size and, when its "valid for"
// counter matches the change counter (every writer since 3.7.0), the number
// of pages: the file is their product. Pages themselves are not checked.
//
// Interrupted: the input's end, when it ends before the last page.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

namespace dorvak::carve {

// Header: 0 "SQLite format 3\0" | 16 page size (BE16; 1 means 65536)
//   18 write version | 19 read version (1 or 2) | 20 reserved bytes per page
//   21-23 payload fractions (64, 32, 32) | 24 change counter | 28 page count
//   92 version-valid-for number | 100 the first page's b-tree header
bool sqliteMatches(Head head) {
    if (head.size() < 101 || !startsWith(head, "SQLite format 3\0")) return false;
    const std::uint32_t pageSize = head[16] << 8 | head[17];
    const bool powerOfTwo = pageSize == 1 || (pageSize >= 512 && (pageSize & (pageSize - 1)) == 0);
    return powerOfTwo && head[18] >= 1 && head[18] <= 2 && head[19] >= 1 && head[19] <= 2 &&
           head[21] == 64 && head[22] == 32 && head[23] == 32 &&
           (head[100] == 0x0D || head[100] == 0x05);
}

WalkResult sqliteWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 101);
    if (!h || !sqliteMatches({h, 101})) return notThisFormat();
    const std::uint32_t field = be16(h + 16);
    const std::uint64_t pageSize = field == 1 ? 65536 : field;
    const std::uint64_t pages = be32(h + 28);
    // Without a trusted page count the length is unknown: only the first
    // page is sure.
    if (pages == 0 || be32(h + 92) != be32(h + 24))
        return interrupted(std::min<std::uint64_t>(pageSize, c.size()));
    const std::uint64_t length = pageSize * pages; // below 2^49: no overflow
    if (!c.has(0, length)) return inputEnds(c.size());
    return complete(length);
}

} // namespace dorvak::carve
