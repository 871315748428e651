// JPEG: a chain of marker segments from SOI to EOI. A segment's length is
// given (two bytes, counting themselves); the entropy-coded data after SOS
// has none, so it is scanned for the next marker: 0xFF followed by a byte
// that is neither 0x00 (a stuffed 0xFF) nor a restart marker.
//
// Interrupted: the end of the last segment or restart interval that checked
// (a marker that may not stand there, restart markers out of their cycle, or
// the input ending before EOI). Entropy-coded data cannot be checked by
// itself, so what lies between two good markers counts as good only once the
// second marker has been seen.
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

struct EntropyEnd {
    std::uint64_t marker = 0; // offset of the 0xFF of the marker that ends the data
    bool found = false;
    bool restartsInOrder = true;
    std::uint64_t lastGood = 0; // end of the last restart marker in its cycle
};

// Scans entropy-coded data from `pos` for the marker that ends it; restart
// markers must come in their cycle D0..D7.
EntropyEnd scanEntropy(ByteCursor& c, std::uint64_t pos) {
    EntropyEnd r;
    r.lastGood = pos;
    int nextRestart = 0;
    bool pendingFF = false;
    while (pos < c.size()) {
        const auto bytes = c.chunk(pos, c.size());
        if (bytes.empty()) break;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::uint8_t b = bytes[i];
            if (!pendingFF) {
                pendingFF = b == 0xFF;
                continue;
            }
            if (b == 0x00 || b == 0xFF) { // stuffed byte, or fill before a marker
                pendingFF = b == 0xFF;
                continue;
            }
            pendingFF = false;
            const std::uint64_t at = pos + i;
            if (isRestart(b)) {
                if (b != 0xD0 + nextRestart) {
                    r.restartsInOrder = false;
                    r.marker = at - 1;
                    return r;
                }
                nextRestart = (nextRestart + 1) % 8;
                r.lastGood = at + 1;
                continue;
            }
            r.found = true;
            r.marker = at - 1;
            return r;
        }
        pos += bytes.size();
    }
    return r;
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
    std::uint64_t good = 2;
    bool frameSeen = false;
    // Each pass reads one marker; every pass moves `pos` on by at least two
    // bytes, so the loop ends with the input.
    while (true) {
        const std::uint8_t* m = c.at(pos, 2);
        if (!m) return interrupted(good);
        if (m[0] != 0xFF) return interrupted(good);
        if (m[1] == 0xFF) { // fill bytes before a marker
            ++pos;
            continue;
        }
        const std::uint8_t marker = m[1];
        if (marker == 0xD9) return frameSeen ? complete(pos + 2) : interrupted(good);
        if (!isSegmentMarker(marker)) return interrupted(good);
        const std::uint8_t* l = c.at(pos + 2, 2);
        if (!l) return interrupted(good);
        const std::uint16_t length = be16(l);
        if (length < 2 || !c.has(pos + 2, length)) return interrupted(good);
        if ((marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC))
            frameSeen = true;
        pos += 2 + std::uint64_t(length);
        good = pos;
        if (marker != 0xDA) continue;
        if (!frameSeen) return interrupted(good);
        const EntropyEnd e = scanEntropy(c, pos);
        if (!e.found || !e.restartsInOrder) return interrupted(e.lastGood);
        pos = e.marker;
    }
}

} // namespace dorvak::carve
