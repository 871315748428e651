// WAV and AVI: a RIFF chunk whose size gives the file's length (the size
// plus the eight bytes of its own header). The chunks inside are followed
// too, LISTs to a bounded depth: each must have a printable four-character
// id and fit in its parent. AVI's movie data is a LIST of many small chunks,
// so a foreign block inside it shows; a WAV's samples are one chunk and
// cannot be checked.
//
// Interrupted: the start of the first chunk that failed, or the input's end
// when it ends inside a chunk's data.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

namespace dorvak::carve {

namespace {

bool isChunkId(const std::uint8_t* id) {
    for (int i = 0; i < 4; ++i)
        if (id[i] < 0x20 || id[i] > 0x7E) return false;
    return true;
}

struct Walked {
    bool ok = true;
    std::uint64_t reached = 0; // where the walk stopped (the failing chunk)
    bool inputEnded = false;   // it stopped because the input ended
};

// Walks the chunks of [pos, end); LISTs and RIFFs nest up to `depth`. A
// chunk whose header fails stops the walk at the chunk before it, whose data
// may be where foreign bytes began.
Walked walkChunks(ByteCursor& c, std::uint64_t pos, std::uint64_t end, int depth) {
    std::uint64_t previous = pos;
    while (pos + 8 <= end) {
        const std::uint8_t* h = c.at(pos, 8);
        if (!h) return {false, pos, true};
        if (!isChunkId(h)) return {false, previous, false};
        const std::uint64_t size = le32(h + 4);
        const std::uint64_t next = pos + 8 + size + (size & 1); // chunks pad to even
        if (next > end + (size & 1)) return {false, previous, false};
        const bool list = std::equal(h, h + 4, "LIST") || std::equal(h, h + 4, "RIFF");
        if (list && depth > 0 && size >= 4) {
            const Walked inner = walkChunks(c, pos + 12, pos + 8 + size, depth - 1);
            if (!inner.ok) return inner;
        }
        if (!c.has(0, std::min(next, end))) return {false, c.size(), true};
        previous = pos;
        pos = next;
    }
    return {true, pos, false};
}

bool riffMatches(Head head, const char (&form)[5]) {
    return head.size() >= 20 && startsWith(head, "RIFF") && startsWith(head, form, 8) &&
           le32(head.data() + 4) >= 12 && isChunkId(head.data() + 12);
}

WalkResult riffWalk(const CarveInput& in, const char (&form)[5]) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 20);
    if (!h || !riffMatches({h, 20}, form)) return notThisFormat();
    const std::uint64_t end = 8 + std::uint64_t(le32(h + 4));
    const Walked w = walkChunks(c, 12, end, 3);
    if (!w.ok) {
        const std::uint64_t good = std::min(w.reached, c.size());
        return w.inputEnded ? inputEnds(good) : interrupted(good);
    }
    if (!c.has(0, end)) return inputEnds(c.size());
    return complete(end);
}

} // namespace

bool wavMatches(Head head) {
    return riffMatches(head, "WAVE");
}
WalkResult wavWalk(const CarveInput& in) {
    return riffWalk(in, "WAVE");
}
bool aviMatches(Head head) {
    return riffMatches(head, "AVI ");
}

// AVIs past 1 GiB (OpenDML) go on with further RIFF chunks of form "AVIX".
WalkResult aviWalk(const CarveInput& in) {
    WalkResult r = riffWalk(in, "AVI ");
    ByteCursor c(in);
    for (int parts = 0; r.status == WalkStatus::Complete && parts < 1024; ++parts) {
        const std::uint8_t* h = c.at(r.length, 12);
        if (!h || !std::equal(h, h + 4, "RIFF") || !std::equal(h + 8, h + 12, "AVIX")) break;
        const std::uint64_t end = r.length + 8 + std::uint64_t(le32(h + 4));
        const Walked w = walkChunks(c, r.length + 12, end, 3);
        if (!w.ok && !w.inputEnded) return interrupted(r.length);
        if (!w.ok || !c.has(0, end)) return inputEnds(r.length);
        r.length = end;
    }
    return r;
}

} // namespace dorvak::carve
