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
//
// Phones and cameras store further images after the first one's EOI (the
// Multi-Picture Format, CIPA DC-007): an APP2 "MPF" segment lists every
// image's offset and size. Each listed image must walk to its size; the file
// ends with the last of them. When one does not, the file is interrupted at
// the first image's end.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <vector>

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
std::optional<std::uint64_t> scanEntropy(ByteCursor& c, std::uint64_t pos, Marks& marks,
                                         bool& inputEnded) {
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
    inputEnded = true;
    return std::nullopt;
}

// A window onto part of another input, to walk an embedded image.
class SubInput : public CarveInput {
public:
    SubInput(const CarveInput& in, std::uint64_t base, std::uint64_t size)
        : in_(in), base_(base), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset >= size_) return 0;
        return in_.read(base_ + offset, out.first(std::size_t(
                                            std::min<std::uint64_t>(out.size(), size_ - offset))));
    }

private:
    const CarveInput& in_;
    std::uint64_t base_, size_;
};

struct Picture {
    std::uint64_t start = 0, size = 0;
};

// The further images an APP2 "MPF" segment at `pos` lists: a TIFF-style
// header, an IFD whose tag 0xB002 points at 16-byte entries (attributes,
// size, offset from the TIFF header, two dependencies). The first entry is
// the image that holds the segment.
std::vector<Picture> mpfPictures(ByteCursor& c, std::uint64_t pos, std::uint16_t length) {
    std::vector<Picture> out;
    const std::uint8_t* m = c.at(pos + 4, 12);
    if (!m || length < 16 || !std::equal(m, m + 4, "MPF")) return out;
    const std::uint64_t tiff = pos + 8;
    const bool big = m[4] == 'M';
    auto u16 = [big](const std::uint8_t* p) -> std::uint32_t { return big ? be16(p) : le16(p); };
    auto u32 = [big](const std::uint8_t* p) { return big ? be32(p) : le32(p); };
    const std::uint64_t ifd = tiff + u32(m + 8);
    const std::uint8_t* n = c.at(ifd, 2);
    if (!n) return out;
    const std::uint32_t count = u16(n);
    for (std::uint32_t i = 0; i < count && i < 64; ++i) {
        const std::uint8_t* e = c.at(ifd + 2 + 12 * i, 12);
        if (!e || u16(e) != 0xB002) continue;
        const std::uint32_t entries = std::min<std::uint32_t>(u32(e + 4) / 16, 64);
        const std::uint64_t at = tiff + u32(e + 8);
        for (std::uint32_t k = 1; k < entries; ++k) {
            const std::uint8_t* entry = c.at(at + 16 * k, 16);
            if (!entry) return {};
            if (u32(entry + 8) != 0) out.push_back({tiff + u32(entry + 8), u32(entry + 4)});
        }
        break;
    }
    return out;
}

WalkResult walkJpeg(const CarveInput& in, int depth);

constexpr std::uint64_t kInputEnded = ~0ull;

// Checks that each picture is a JPEG of exactly its listed size; returns the
// end of the last, 0 when one does not hold, or kInputEnded when one lies
// past the input.
std::uint64_t picturesEnd(const CarveInput& in, const std::vector<Picture>& pictures,
                          std::uint64_t firstEnd, int depth) {
    std::uint64_t end = firstEnd;
    for (const Picture& p : pictures) {
        if (p.start < firstEnd) return 0;
        if (p.start >= in.size() || p.size > in.size() - p.start) return kInputEnded;
        const SubInput sub(in, p.start, p.size);
        const WalkResult r = walkJpeg(sub, depth + 1);
        if (r.status != WalkStatus::Complete || r.length != p.size) return 0;
        end = std::max(end, p.start + p.size);
    }
    return end;
}

} // namespace

bool jpegMatches(Head head) {
    if (head.size() < 4 || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF) return false;
    const std::uint8_t m = head[3];
    return (m >= 0xE0 && m <= 0xEF) || m == 0xDB || m == 0xC4 || m == 0xFE || m == 0xC0 ||
           m == 0xC2;
}

namespace {

// `depth` counts the embedded images walked on the way here: a listed image
// is not followed into the images it lists.
WalkResult walkJpeg(const CarveInput& in, int depth) {
    ByteCursor c(in);
    const std::uint8_t* p = c.at(0, 4);
    if (!p || !jpegMatches({p, 4})) return notThisFormat();
    std::uint64_t pos = 2;
    Marks marks;
    bool frameSeen = false;
    std::vector<Picture> pictures;
    // Each pass reads one marker and moves `pos` on by at least one byte.
    while (true) {
        const std::uint8_t* m = c.at(pos, 2);
        if (!m) return inputEnds(marks.beforeLast);
        if (m[0] != 0xFF) return interrupted(marks.beforeLast);
        if (m[1] == 0xFF) { // fill bytes before a marker
            ++pos;
            continue;
        }
        const std::uint8_t marker = m[1];
        if (marker == 0xD9 && frameSeen) {
            const std::uint64_t end = pos + 2;
            if (pictures.empty() || depth > 0) return complete(end);
            const std::uint64_t last = picturesEnd(in, pictures, end, depth);
            if (last == kInputEnded) return inputEnds(end);
            return last ? complete(last) : interrupted(end);
        }
        if (!isSegmentMarker(marker) || marker == 0xD9) return interrupted(marks.beforeLast);
        const std::uint8_t* l = c.at(pos + 2, 2);
        if (!l) return inputEnds(marks.beforeLast);
        const std::uint16_t length = be16(l);
        if (length < 2) return interrupted(marks.beforeLast);
        if (!c.has(pos + 2, length)) return inputEnds(marks.beforeLast);
        marks.see(pos);
        if ((marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC))
            frameSeen = true;
        if (marker == 0xE2 && pictures.empty() && depth == 0)
            pictures = mpfPictures(c, pos, length);
        pos += 2 + std::uint64_t(length);
        if (marker != 0xDA) continue;
        if (!frameSeen) return interrupted(marks.beforeLast);
        bool ended = false;
        const auto next = scanEntropy(c, pos, marks, ended);
        if (!next) return ended ? inputEnds(marks.beforeLast) : interrupted(marks.beforeLast);
        pos = *next;
    }
}

} // namespace

WalkResult jpegWalk(const CarveInput& in) {
    return walkJpeg(in, 0);
}

} // namespace dorvak::carve
