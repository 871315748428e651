// bzip2 and xz: streams decoded with their libraries to the stream's end,
// which is where the library says the stream ends (bzip2: the end-of-stream
// marker and the combined CRC; xz: the index and the stream footer with its
// backward size). Streams that follow directly are part of the file when
// they decode whole too (pbzip2 writes one stream per block; xz may append).
//
// Interrupted: both formats check a CRC at the end of each block (a bzip2
// block holds up to 900 KB, an xz block often the whole file), and their
// decoders may take foreign bytes for data until then, without telling where
// a block began. So when a stream fails, nothing of it is known good: the
// good length is that stream's start. When the input ends inside a stream,
// it is where the 4 KiB step before the last one began.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <bzlib.h>
#include <lzma.h>

#include <memory>

namespace dorvak::carve {

namespace {

constexpr std::uint64_t kStep = 4096;
constexpr std::size_t kOut = 64 * 1024;

struct Decoded {
    bool ended = false;
    std::uint64_t end = 0;   // ended: past the stream
    std::uint64_t good = 0;  // otherwise: how far the input checked good
    bool inputEnded = false; // otherwise: the input ran out, no error
};

// Feeds `decode` the input from `from` in steps; `decode(in, length, out)`
// returns 1 at the stream's end, 0 to go on, -1 on an error, and sets
// `length` to the input it left unused.
template <typename Decode> Decoded feed(ByteCursor& c, std::uint64_t from, Decode decode) {
    Decoded r;
    r.good = from;
    std::uint64_t stepStart[2] = {from, from};
    auto out = std::make_unique_for_overwrite<std::uint8_t[]>(kOut);
    for (std::uint64_t pos = from; pos < c.size();) {
        const auto in = c.chunk(pos, (pos / kStep + 1) * kStep);
        if (in.empty()) break;
        std::size_t left = in.size();
        const int rc = decode(in.data(), left, out.get());
        if (rc > 0) {
            r.ended = true;
            r.end = pos + (in.size() - left);
            return r;
        }
        if (rc < 0) return r;
        stepStart[0] = stepStart[1];
        stepStart[1] = pos;
        pos += in.size();
    }
    r.good = stepStart[0];
    r.inputEnded = true;
    return r;
}

Decoded bzip2Stream(ByteCursor& c, std::uint64_t from) {
    bz_stream s{};
    if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) return {false, 0, from};
    const Decoded r =
        feed(c, from, [&](const std::uint8_t* in, std::size_t& left, std::uint8_t* out) {
            s.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
            s.avail_in = unsigned(left);
            int rc = BZ_OK;
            do {
                s.next_out = reinterpret_cast<char*>(out);
                s.avail_out = kOut;
                rc = BZ2_bzDecompress(&s);
            } while (rc == BZ_OK && (s.avail_in > 0 || s.avail_out == 0));
            left = s.avail_in;
            return rc == BZ_STREAM_END ? 1 : rc == BZ_OK ? 0 : -1;
        });
    BZ2_bzDecompressEnd(&s);
    return r;
}

// The most memory an xz stream may ask for: xz -9 needs 65 MiB; a header
// that asks for more is refused rather than served.
constexpr std::uint64_t kXzMemory = 128ull << 20;

Decoded xzStream(ByteCursor& c, std::uint64_t from) {
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&s, kXzMemory, 0) != LZMA_OK) return {false, 0, from};
    const Decoded r =
        feed(c, from, [&](const std::uint8_t* in, std::size_t& left, std::uint8_t* out) {
            s.next_in = in;
            s.avail_in = left;
            lzma_ret rc = LZMA_OK;
            do {
                s.next_out = out;
                s.avail_out = kOut;
                rc = lzma_code(&s, LZMA_RUN);
            } while (rc == LZMA_OK && (s.avail_in > 0 || s.avail_out == 0));
            left = s.avail_in;
            return rc == LZMA_STREAM_END ? 1 : rc == LZMA_OK ? 0 : -1;
        });
    lzma_end(&s);
    return r;
}

// Streams one after another from 0; a following stream that fails makes the
// file interrupted when it starts inside a sector (another file would start
// on a block boundary) and ends the file before it otherwise.
WalkResult streams(ByteCursor& c, bool (*starts)(Head),
                   Decoded (*decode)(ByteCursor&, std::uint64_t)) {
    std::uint64_t end = 0;
    for (int count = 0; count < 4096; ++count) {
        if (count > 0) {
            const std::uint8_t* h = c.at(end, 16);
            if (!h || !starts({h, 16})) break;
        }
        const Decoded d = decode(c, end);
        if (!d.ended) {
            if (count == 0 || end % 512 != 0)
                return d.inputEnded ? inputEnds(d.good) : interrupted(d.good);
            break;
        }
        end = d.end;
    }
    return complete(end);
}

} // namespace

// "BZh", the block size '1'-'9', then the first block's magic (pi) or, for an
// empty stream, the end-of-stream magic (sqrt pi).
bool bzip2Matches(Head head) {
    if (head.size() < 10 || !startsWith(head, "BZh") || head[3] < '1' || head[3] > '9')
        return false;
    return startsWith(head, "\x31\x41\x59\x26\x53\x59", 4) ||
           startsWith(head, "\x17\x72\x45\x38\x50\x90", 4);
}

WalkResult bzip2Walk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 10);
    if (!h || !bzip2Matches({h, 10})) return notThisFormat();
    return streams(c, bzip2Matches, bzip2Stream);
}

// The stream header: magic, two flag bytes (the first zero, the second a
// known check type), CRC-32 of the flags.
bool xzMatches(Head head) {
    if (head.size() < 12 || !startsWith(head, "\xFD"
                                              "7zXZ\0"))
        return false;
    const std::uint8_t check = head[7];
    return head[6] == 0 && (check == 0 || check == 1 || check == 4 || check == 10);
}

WalkResult xzWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 12);
    if (!h || !xzMatches({h, 12})) return notThisFormat();
    return streams(c, xzMatches, xzStream);
}

} // namespace dorvak::carve
