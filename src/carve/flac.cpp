// FLAC: "fLaC", metadata blocks (each with its length; STREAMINFO first,
// giving the stream's sample count), then audio frames. A frame's length is
// not written anywhere; it ends with a CRC-16 of the whole frame, so the walk
// runs that CRC over the bytes and takes as a frame's end the first place
// where it comes out zero (the CRC of bytes followed by their CRC) and where
// the next frame's header follows with the expected frame number (its own
// CRC-8 checked), or where the frame is the stream's last. A false zero
// inside a frame (one chance in 65536 per byte) is passed over because no
// header follows it.
//
// Complete: the end of the frame that reaches the stream's sample count.
// Interrupted: the end of the last frame whose successor was found, when a
// frame finds no end within the largest size a frame may have, or the input
// ends. When STREAMINFO gives no sample count, the last frame cannot be told
// and the walk ends interrupted after the last frame followed by another.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <array>

namespace dorvak::carve {

namespace {

constexpr std::array<std::uint16_t, 256> makeCrc16() {
    std::array<std::uint16_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 8;
        for (int k = 0; k < 8; ++k)
            r = (r & 0x8000) ? (r << 1) ^ 0x8005 : r << 1;
        t[i] = std::uint16_t(r);
    }
    return t;
}
constexpr std::array<std::uint16_t, 256> kCrc16 = makeCrc16();

std::uint8_t crc8(const std::uint8_t* p, std::size_t n) {
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = std::uint8_t((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

struct FrameHeader {
    bool ok = false;
    bool variable = false;    // numbered by sample, not by frame
    std::uint64_t number = 0; // frame or first-sample number
    std::uint32_t blockSize = 0;
};

// The frame header at `p` (up to 16 bytes readable).
FrameHeader parseHeader(const std::uint8_t* p, std::size_t n) {
    FrameHeader f;
    if (n < 6 || p[0] != 0xFF || (p[1] & 0xFE) != 0xF8) return f;
    const int sizeCode = p[2] >> 4, rateCode = p[2] & 15;
    if (sizeCode == 0 || rateCode == 15 || (p[3] >> 4) > 10 || ((p[3] >> 1) & 7) == 3 ||
        ((p[3] >> 1) & 7) == 7 || (p[3] & 1))
        return f;
    // The number, UTF-8 coded in 1 to 7 bytes.
    std::size_t i = 4;
    int extra = 0;
    std::uint64_t v = p[i];
    if (v < 0x80)
        extra = 0;
    else if ((v & 0xE0) == 0xC0)
        extra = 1, v &= 0x1F;
    else if ((v & 0xF0) == 0xE0)
        extra = 2, v &= 0x0F;
    else if ((v & 0xF8) == 0xF0)
        extra = 3, v &= 0x07;
    else if ((v & 0xFC) == 0xF8)
        extra = 4, v &= 0x03;
    else if ((v & 0xFE) == 0xFC)
        extra = 5, v &= 0x01;
    else if (v == 0xFE)
        extra = 6, v = 0;
    else
        return f;
    for (++i; extra > 0; --extra, ++i) {
        if (i >= n || (p[i] & 0xC0) != 0x80) return f;
        v = v << 6 | (p[i] & 0x3F);
    }
    if (sizeCode == 6)
        f.blockSize = (i < n ? p[i] : 0) + 1u, i += 1;
    else if (sizeCode == 7)
        f.blockSize = (i + 1 < n ? be16(p + i) : 0) + 1u, i += 2;
    else if (sizeCode == 1)
        f.blockSize = 192;
    else if (sizeCode <= 5)
        f.blockSize = 576u << (sizeCode - 2);
    else
        f.blockSize = 256u << (sizeCode - 8);
    if (rateCode == 12)
        i += 1;
    else if (rateCode == 13 || rateCode == 14)
        i += 2;
    if (i >= n || crc8(p, i) != p[i]) return f;
    f.ok = true;
    f.variable = p[1] & 1;
    f.number = v;
    return f;
}

struct StreamInfo {
    std::uint64_t samples = 0;  // 0: not known
    std::uint64_t maxFrame = 0; // the largest frame, 0 when not known
    std::uint64_t audio = 0;    // where the first frame starts
    bool ok = false;
    bool ended = false; // not ok because the input ended
};

// The metadata blocks from offset 4; each has a 4-byte header: last-block
// flag and type, then a 24-bit length.
StreamInfo readMetadata(ByteCursor& c) {
    StreamInfo s;
    std::uint64_t pos = 4;
    for (int blocks = 0; blocks < 4096; ++blocks) {
        const std::uint8_t* h = c.at(pos, 4);
        s.ended = !h;
        if (!h) return s;
        const int type = h[0] & 0x7F;
        const bool lastBlock = h[0] & 0x80;
        const std::uint64_t length = be24(h + 1);
        if (blocks == 0) {
            const std::uint8_t* info = c.at(pos + 4, 34);
            s.ended = !info;
            if (type != 0 || length != 34 || !info) return s;
            s.maxFrame = be24(info + 7);
            s.samples = std::uint64_t(info[13] & 15) << 32 | be32(info + 14);
        } else if (type == 127) {
            return s;
        }
        s.ended = !c.has(pos, 4 + length);
        if (s.ended) return s;
        pos += 4 + length;
        if (lastBlock) break;
    }
    s.audio = pos;
    s.ok = true;
    return s;
}

// Reads up to 16 bytes at `at` straight from the input, leaving the cursor's
// window (which a scan is going through) where it is.
FrameHeader headerAt(const CarveInput& in, std::uint64_t at) {
    std::uint8_t buffer[16];
    if (at >= in.size()) return {};
    const std::size_t n = in.read(
        at,
        std::span<std::uint8_t>(buffer, std::size_t(std::min<std::uint64_t>(16, in.size() - at))));
    return parseHeader(buffer, n);
}

// The end of the frame at `pos`: the first place within `limit` where the
// CRC-16 from `pos` comes out zero and either the frame is the last or the
// header numbered `next` follows. 0 when there is none.
std::uint64_t frameEnd(ByteCursor& c, const CarveInput& in, std::uint64_t pos, std::uint64_t limit,
                       bool last, std::uint64_t next) {
    std::uint16_t crc = 0;
    for (std::uint64_t q = pos; q < limit;) {
        const auto bytes = c.chunk(q, limit);
        if (bytes.empty()) return 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            crc = std::uint16_t(crc << 8) ^ kCrc16[(crc >> 8) ^ bytes[i]];
            const std::uint64_t at = q + i + 1;
            if (crc != 0 || at - pos < 8) continue;
            if (last) return at;
            const FrameHeader h = headerAt(in, at);
            if (h.ok && h.number == next) return at;
        }
        q += bytes.size();
    }
    return 0;
}

} // namespace

bool flacMatches(Head head) {
    return head.size() >= 42 && startsWith(head, "fLaC") && (head[4] & 0x7F) == 0 &&
           be24(head.data() + 5) == 34;
}

WalkResult flacWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 42);
    if (!h || !flacMatches({h, 42})) return notThisFormat();
    const StreamInfo info = readMetadata(c);
    if (!info.ok) return info.ended ? inputEnds(4) : interrupted(4);
    // A frame is at most the size STREAMINFO gives, or, when it gives none,
    // what 65535 samples of 8 channels of 32 bits take uncompressed.
    const std::uint64_t maxFrame = info.maxFrame ? info.maxFrame + 64 : 65535ull * 8 * 4 + 64;
    std::uint64_t pos = info.audio, samples = 0, expected = 0;
    // Every frame moves `pos` on by at least 8 bytes.
    while (true) {
        const FrameHeader f = headerAt(in, pos);
        // A header the input cuts short (16 bytes hold the longest).
        if (!f.ok && c.size() - std::min(pos, c.size()) < 16) return inputEnds(pos);
        if (!f.ok || f.number != expected) return interrupted(pos);
        const bool last = info.samples && samples + f.blockSize >= info.samples;
        const std::uint64_t next = f.variable ? f.number + f.blockSize : f.number + 1;
        const std::uint64_t end =
            frameEnd(c, in, pos, std::min(c.size(), pos + maxFrame), last, next);
        if (!end) return pos + maxFrame > c.size() ? inputEnds(pos) : interrupted(pos);
        pos = end;
        samples += f.blockSize;
        expected = next;
        if (last) return complete(end);
    }
}

} // namespace dorvak::carve
