// gzip and zlib: deflate streams decoded with zlib to their own end, the
// only place a deflate stream tells its length.
//
// gzip: header (its optional fields skipped by their lengths), the deflate
// stream, then the trailer's CRC-32 and size, both checked against what the
// stream decoded to. Members that follow directly are part of the file when
// they decode whole too.
// zlib: a two-byte header and the stream; zlib itself checks the Adler-32.
//
// Interrupted: the start of the deflate block before the one in which the
// stream failed or the input ended (see inflateFrom); the header's end when
// the checksum is what failed.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <string_view>

namespace dorvak::carve {

namespace {

constexpr std::uint64_t kStep = 4096;

struct Inflated {
    bool ended = false;        // the stream's end was reached
    std::uint64_t end = 0;     // ended: the offset just past the stream
    std::uint64_t good = 0;    // not ended: how far the input checked good
    std::uint64_t reached = 0; // not ended: how far the decoder read
    bool inputEnded = false;   // not ended: the input ran out, no error
    std::uint32_t crc = 0;     // CRC-32 of the output (for gzip)
    std::uint64_t produced = 0;
};

struct ZStream {
    z_stream s{};
    bool ready = false;
    explicit ZStream(int windowBits) { ready = inflateInit2(&s, windowBits) == Z_OK; }
    ~ZStream() {
        if (ready) inflateEnd(&s);
    }
};

// Inflates from `from`; windowBits as inflateInit2 takes them (-15: raw
// deflate; 15: zlib). Deflate blocks carry no check of their own (a stored
// block copies whatever it is given, a Huffman block may decode foreign bytes
// for a while), so an error is only known to lie after the start of the block
// before the one that failed: that start is the good length. A failed
// checksum says only that something is wrong: nothing checked good.
Inflated inflateFrom(ByteCursor& c, std::uint64_t from, int windowBits, bool wantCrc) {
    Inflated r;
    r.good = from;
    ZStream z(windowBits);
    if (!z.ready) return r;
    auto out = std::make_unique_for_overwrite<std::uint8_t[]>(64 * 1024);
    uLong crc = 0;                            // the CRC-32 of nothing
    std::uint64_t boundary[2] = {from, from}; // the last two block starts
    std::uint64_t pos = from;
    while (pos < c.size()) {
        const auto in = c.chunk(pos, (pos / kStep + 1) * kStep);
        if (in.empty()) break;
        z.s.next_in = const_cast<Bytef*>(in.data());
        z.s.avail_in = uInt(in.size());
        int rc = Z_OK;
        while (rc == Z_OK && (z.s.avail_in > 0 || z.s.avail_out == 0)) {
            z.s.next_out = out.get();
            z.s.avail_out = 64 * 1024;
            rc = inflate(&z.s, Z_BLOCK);
            const std::size_t made = 64 * 1024 - z.s.avail_out;
            if (wantCrc) crc = libdeflate_crc32(std::uint32_t(crc), out.get(), made);
            r.produced += made;
            if (rc == Z_OK && (z.s.data_type & 128)) {
                const std::uint64_t at = pos + (in.size() - z.s.avail_in);
                boundary[0] = boundary[1];
                boundary[1] = (z.s.data_type & 7) ? at - 1 : at;
            }
        }
        if (rc == Z_STREAM_END) {
            r.ended = true;
            r.end = pos + (in.size() - z.s.avail_in);
            r.crc = std::uint32_t(crc);
            return r;
        }
        r.reached = pos + (in.size() - z.s.avail_in);
        if (rc == Z_DATA_ERROR && z.s.msg && std::string_view(z.s.msg) == "incorrect data check")
            return r;
        // Z_BUF_ERROR with no input left is only a pause for more input.
        if (rc != Z_OK && !(rc == Z_BUF_ERROR && z.s.avail_in == 0)) {
            r.good = boundary[0];
            return r;
        }
        pos += in.size();
    }
    // The input ended inside the stream: what was decoded is all that is known.
    r.good = boundary[0];
    r.inputEnded = true;
    return r;
}

// Skips a zero-terminated header field from `pos`; 0 when it does not end
// within the input or within 64 KiB (no name or comment is that long).
std::uint64_t skipString(ByteCursor& c, std::uint64_t pos) {
    const std::uint8_t zero = 0;
    const auto at = c.find(pos, pos + 65536, {&zero, 1});
    return at ? *at + 1 : 0;
}

bool gzipHeaderMatches(const std::uint8_t* h) {
    return h[0] == 0x1F && h[1] == 0x8B && h[2] == 8 && (h[3] & 0xE0) == 0 &&
           (h[8] == 0 || h[8] == 2 || h[8] == 4) && (h[9] <= 13 || h[9] == 255);
}

// One member from `pos`: Complete with its end, Interrupted with the good
// length, NotThisFormat when the header is not a gzip header.
WalkResult gzipMember(ByteCursor& c, std::uint64_t pos) {
    const std::uint8_t* h = c.at(pos, 10);
    if (!h || !gzipHeaderMatches(h)) return notThisFormat();
    const std::uint8_t flags = h[3];
    std::uint64_t p = pos + 10;
    if (flags & 4) { // FEXTRA: a length, then the field
        const std::uint8_t* x = c.at(p, 2);
        if (!x) return inputEnds(pos);
        p += 2 + std::uint64_t(le16(x));
    }
    if ((flags & 8) && (p = skipString(c, p)) == 0) return interrupted(pos);  // FNAME
    if ((flags & 16) && (p = skipString(c, p)) == 0) return interrupted(pos); // FCOMMENT
    if (flags & 2) p += 2;                                                    // FHCRC
    if (!c.has(p, 1)) return inputEnds(pos);
    const Inflated z = inflateFrom(c, p, -15, true);
    if (!z.ended) {
        const std::uint64_t good = std::max(pos, z.good);
        return z.inputEnded ? inputEnds(good) : interrupted(good);
    }
    const std::uint8_t* t = c.at(z.end, 8);
    if (!t) return inputEnds(z.end);
    if (le32(t) != z.crc || le32(t + 4) != std::uint32_t(z.produced)) return interrupted(p);
    return complete(z.end + 8);
}

} // namespace

bool gzipMatches(Head head) {
    return head.size() >= 10 && gzipHeaderMatches(head.data());
}

WalkResult gzipWalk(const CarveInput& in) {
    ByteCursor c(in);
    const WalkResult first = gzipMember(c, 0);
    if (first.status != WalkStatus::Complete) return first;
    std::uint64_t end = first.length;
    // Concatenated members (gzip's own way of appending) must each decode
    // whole. A failing one that starts inside a sector is a damaged member
    // of this file, since another file would start on a block boundary; one
    // that starts on a sector boundary may be the next file.
    for (int members = 1; members < 4096; ++members) {
        const WalkResult next = gzipMember(c, end);
        if (next.status == WalkStatus::Complete) {
            end = next.length;
            continue;
        }
        if (next.status == WalkStatus::Interrupted && end % 512 != 0) return next;
        break;
    }
    return complete(end);
}

bool zlibMatches(Head head) {
    return head.size() >= 2 && head[0] == 0x78 &&
           (head[1] == 0x01 || head[1] == 0x5E || head[1] == 0x9C || head[1] == 0xDA);
}

WalkResult zlibWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 2);
    if (!h || !zlibMatches({h, 2})) return notThisFormat();
    const Inflated z = inflateFrom(c, 0, 15, false);
    if (z.ended) return complete(z.end);
    // Two header bytes are a weak signature: a stream that fails within its
    // first sector was never zlib data.
    if (z.inputEnded) return inputEnds(z.good);
    return z.reached < 512 ? notThisFormat() : interrupted(z.good);
}

} // namespace dorvak::carve
