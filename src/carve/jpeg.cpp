// JPEG: a chain of marker segments from SOI to EOI. A segment's length is
// given (two bytes, counting themselves); the entropy-coded data after SOS
// has none, so it is scanned for the next marker: 0xFF followed by a byte
// that is neither 0x00 (a stuffed 0xFF) nor a restart marker.
//
// Interrupted: a marker that may not stand where a length led, restart
// markers out of their cycle, or the input ending before EOI. Neither a
// segment's contents nor entropy-coded data can be checked by themselves,
// and foreign bytes may hold something that looks like one marker, so the
// good length is the marker before the last one that checked.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

namespace dorvak::carve {

namespace {

bool isRestart(std::uint8_t m) {
    return m >= 0xD0 && m <= 0xD7;
}

// Markers that may follow a frame's entropy-coded data or stand between
// segments: tables, frames, scans, comments, application data, EOI.
bool isSegmentMarker(std::uint8_t m) {
    return (m >= 0xC0 && m <= 0xCF && m != 0xC8) || (m >= 0xDA && m <= 0xDF) ||
           (m >= 0xE0 && m <= 0xEF) || m == 0xFE || m == 0xD9;
}

// The offsets of the last two markers that checked.
struct Marks {
    std::uint64_t last = 0, beforeLast = 0;
    void see(std::uint64_t at) { beforeLast = last, last = at; }
};

// Scans entropy-coded data from `pos` for the marker that ends it; returns
// the offset of that marker's 0xFF, or nothing when the input ends first,
// restart markers leave their cycle D0..D7, or 4 KiB of zeros come (an
// encoder never writes that many: it is free space after a lost end).
std::optional<std::uint64_t> scanEntropy(ByteCursor& c, std::uint64_t pos, Marks& marks) {
    int nextRestart = 0;
    bool pendingFF = false;
    std::uint32_t zeros = 0;
    while (pos < c.size()) {
        const auto bytes = c.chunk(pos, c.size());
        if (bytes.empty()) break;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::uint8_t b = bytes[i];
            zeros = b == 0 ? zeros + 1 : 0;
            if (zeros == 4096) return std::nullopt;
            if (!pendingFF || b == 0x00 || b == 0xFF) { // data, stuffed byte, fill
                pendingFF = b == 0xFF;
                continue;
            }
            pendingFF = false;
            const std::uint64_t at = pos + i - 1;
            if (!isRestart(b)) return at;
            if (b != 0xD0 + nextRestart) return std::nullopt;
            nextRestart = (nextRestart + 1) % 8;
            marks.see(at);
        }
        pos += bytes.size();
    }
    return std::nullopt;
}

} // namespace

bool jpegMatches(Head head) {
    if (head.size() < 4 || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF) return false;
    const std::uint8_t m = head[3];
    return (m >= 0xE0 && m <= 0xEF) || m == 0xDB || m == 0xC4 || m == 0xFE || m == 0xC0 ||
           m == 0xC2;
}

WalkResult jpegWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* p = c.at(0, 4);
    if (!p || !jpegMatches({p, 4})) return notThisFormat();
    std::uint64_t pos = 2;
    Marks marks;
    bool frameSeen = false;
    // Each pass reads one marker and moves `pos` on by at least one byte.
    while (true) {
        const std::uint8_t* m = c.at(pos, 2);
        if (!m || m[0] != 0xFF) return interrupted(marks.beforeLast);
        if (m[1] == 0xFF) { // fill bytes before a marker
            ++pos;
            continue;
        }
        const std::uint8_t marker = m[1];
        if (marker == 0xD9) return frameSeen ? complete(pos + 2) : interrupted(marks.beforeLast);
        if (!isSegmentMarker(marker)) return interrupted(marks.beforeLast);
        const std::uint8_t* l = c.at(pos + 2, 2);
        if (!l) return interrupted(marks.beforeLast);
        const std::uint16_t length = be16(l);
        if (length < 2 || !c.has(pos + 2, length)) return interrupted(marks.beforeLast);
        marks.see(pos);
        if ((marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC))
            frameSeen = true;
        pos += 2 + std::uint64_t(length);
        if (marker != 0xDA) continue;
        if (!frameSeen) return interrupted(marks.beforeLast);
        const auto next = scanEntropy(c, pos, marks);
        if (!next) return interrupted(marks.beforeLast);
        pos = *next;
    }
}

} // namespace dorvak::carve
