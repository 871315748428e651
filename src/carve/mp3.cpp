// MP3: an optional ID3v2 tag (its size in the header), then a chain of MPEG
// audio frames, each header giving the frame's length, all of one version,
// layer and sample rate; then an optional ID3v1 tag ("TAG", 128 bytes). When
// the first frame carries a Xing/Info header, it gives the audio's length in
// bytes, and a chain that breaks before that is a damaged file.
//
// Complete: where the chain ends (on bytes that are not a frame), after at
// least four frames; without a Xing length a foreign block inside the audio
// looks like the file's end. Interrupted (the input ends within the audio, or
// the chain before the Xing length): the start of the frame before the last.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

namespace dorvak::carve {

namespace {

struct Frame {
    int version = 0; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    int layer = 0;   // 1, 2, 3
    int rateIndex = 0;
    bool mono = false, crc = false;
    std::uint32_t length = 0;
};

// The frame header at `p`, or a frame of length 0 when it is not one.
Frame parseFrame(const std::uint8_t* p) {
    static const std::uint16_t kBitrates[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // V1 L1
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // V1 L2
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // V1 L3
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // V2 L1
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // V2 L2, L3
    };
    static const std::uint32_t kRates[3] = {44100, 48000, 32000};
    Frame f;
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return f;
    const int version = (p[1] >> 3) & 3, layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3;
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3 || (p[3] & 3) == 2)
        return f;
    f.version = version, f.layer = 4 - layerBits, f.rateIndex = rateIndex;
    f.mono = (p[3] >> 6) == 3, f.crc = !(p[1] & 1);
    const int table = version == 3 ? f.layer - 1 : (f.layer == 1 ? 3 : 4);
    const std::uint32_t bitrate = kBitrates[table][bitrateIndex] * 1000u;
    const std::uint32_t rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const std::uint32_t padding = (p[2] >> 1) & 1;
    if (f.layer == 1)
        f.length = (12 * bitrate / rate + padding) * 4;
    else if (f.layer == 3 && version != 3)
        f.length = 72 * bitrate / rate + padding;
    else
        f.length = 144 * bitrate / rate + padding;
    return f;
}

bool sameStream(const Frame& a, const Frame& b) {
    return a.version == b.version && a.layer == b.layer && a.rateIndex == b.rateIndex;
}

// The Xing/Info header's byte count in the first frame at `pos`, or 0.
std::uint64_t xingBytes(ByteCursor& c, std::uint64_t pos, const Frame& f) {
    const std::uint64_t side = f.version == 3 ? (f.mono ? 17 : 32) : (f.mono ? 9 : 17);
    const std::uint64_t at = pos + 4 + (f.crc ? 2 : 0) + side;
    const std::uint8_t* x = c.at(at, 16);
    if (!x || !(std::equal(x, x + 4, "Xing") || std::equal(x, x + 4, "Info"))) return 0;
    const std::uint32_t flags = be32(x + 4);
    if (!(flags & 2)) return 0;
    return be32(x + ((flags & 1) ? 12 : 8));
}

std::uint64_t id3Size(const std::uint8_t* h) {
    return 10 + (std::uint64_t(h[6]) << 21 | h[7] << 14 | h[8] << 7 | h[9]) +
           ((h[5] & 0x10) ? 10 : 0);
}

bool isId3(Head head) {
    return head.size() >= 10 && startsWith(head, "ID3") && head[3] >= 2 && head[3] <= 4 &&
           head[4] != 0xFF && (head[5] & 0x0F) == 0 && head[6] < 0x80 && head[7] < 0x80 &&
           head[8] < 0x80 && head[9] < 0x80;
}

} // namespace

bool mp3Matches(Head head) {
    if (isId3(head)) return true;
    // Raw audio: three frames in a row inside the head.
    if (head.size() < 4) return false;
    const Frame first = parseFrame(head.data());
    std::uint64_t pos = first.length;
    for (int k = 0; k < 2; ++k) {
        if (first.length == 0 || pos + 4 > head.size()) return false;
        const Frame f = parseFrame(head.data() + pos);
        if (f.length == 0 || !sameStream(first, f)) return false;
        pos += f.length;
    }
    return true;
}

WalkResult mp3Walk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 10);
    if (!h) return notThisFormat();
    const std::uint64_t start = isId3({h, 10}) ? id3Size(h) : 0;
    const std::uint8_t* p = c.at(start, 4);
    if (!p) return start ? inputEnds(c.size()) : notThisFormat();
    const Frame first = parseFrame(p);
    // A tag before something else (ID3 also leads FLAC and AAC files).
    if (first.length == 0) return notThisFormat();
    const std::uint64_t expected = xingBytes(c, start, first);
    // `before` is where the frame before the last began: when the chain
    // breaks, the last frame may have run into foreign bytes that happen to
    // look like a header, so the good length stops there.
    std::uint64_t pos = start, before = start, last = start, frames = 0;
    // Every frame is at least 21 bytes long: the loop ends with the input.
    while (const std::uint8_t* f = c.at(pos, 4)) {
        const Frame frame = parseFrame(f);
        if (frame.length == 0 || !sameStream(first, frame) || !c.has(pos, frame.length)) break;
        before = last, last = pos;
        pos += frame.length;
        ++frames;
    }
    // The chain ends on bytes that are not a frame of this stream, or on a
    // frame the input cuts short (the input ended inside the audio).
    bool inputEnded = !c.has(pos, 4);
    if (!inputEnded) {
        const Frame next = parseFrame(c.at(pos, 4));
        inputEnded = next.length != 0 && sameStream(first, next) && !c.has(pos, next.length);
    }
    if (expected && pos - start < expected)
        return inputEnded ? inputEnds(before) : interrupted(before);
    if (frames < 4) return start && inputEnded ? inputEnds(before) : notThisFormat();
    if (const std::uint8_t* t = c.at(pos, 3); t && std::equal(t, t + 3, "TAG"))
        return c.has(pos, 128) ? complete(pos + 128) : inputEnds(pos);
    return inputEnded ? inputEnds(before) : complete(pos);
}

} // namespace dorvak::carve
