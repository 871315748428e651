// ZIP and the formats made of it (ODF, OOXML, JAR, wheel, EPUB). The walk
// follows the local entries in order, checking each entry's data against its
// CRC-32 (stored data directly, deflated data through zlib, whose stream end
// also gives the size when a data descriptor holds it), then the central
// directory, then the end-of-central-directory record, whose offset and size
// of the directory must agree with what the walk found. The file ends with
// that record's comment.
//
// Interrupted: the start of the first entry or record that failed; where a
// deflated entry's stream failed or its CRC did not hold, that point too
// (failedAt). A walk leaves a memo every 16 KiB, at an entry's header or
// inside its deflated data, so that a later walk of the same bytes goes on
// from there instead of from the start.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <libdeflate.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

namespace dorvak::carve {

namespace {

// Local file header:
//   0 "PK\3\4" | 6 flags | 8 method | 14 CRC-32 | 18 compressed size
//   22 size | 26 name length | 28 extra length | 30 name, extra, data
// Central directory header: 0 "PK\1\2" | 28 name length | 30 extra length
//   32 comment length | 46 name...
// End of central directory: 0 "PK\5\6" | 10 entries | 12 directory size
//   16 directory offset | 20 comment length | 22 comment
constexpr std::uint32_t kLocal = 0x04034B50, kCentral = 0x02014B50, kEnd = 0x06054B50;
constexpr std::uint32_t kDescriptor = 0x08074B50, kZip64End = 0x06064B50,
                        kZip64Locator = 0x07064B50;

// Checks `length` stored bytes against `crc`.
bool storedCrcHolds(ByteCursor& c, std::uint64_t from, std::uint64_t length, std::uint32_t crc) {
    uLong sum = 0; // the CRC-32 of nothing
    for (std::uint64_t pos = from; pos < from + length;) {
        const auto bytes = c.chunk(pos, from + length);
        if (bytes.empty()) return false;
        sum = libdeflate_crc32(std::uint32_t(sum), bytes.data(), bytes.size());
        pos += bytes.size();
    }
    return sum == crc;
}

constexpr std::uint64_t kUnknown = ~0ull;

// The compressed size from a local header's ZIP64 extra field, or kUnknown.
std::uint64_t zip64Packed(ByteCursor& c, std::uint64_t extra, std::uint16_t length) {
    const std::uint8_t* fields = c.at(extra, length);
    if (!fields) return kUnknown;
    for (std::size_t i = 0; i + 4 <= length;) {
        const std::uint16_t id = le16(fields + i), size = le16(fields + i + 2);
        if (i + 4 + size > length) break;
        if (id == 1 && size >= 16) return le64(fields + i + 12);
        i += 4 + size;
    }
    return kUnknown;
}

// Stored data whose sizes come after it, in a descriptor: the first
// descriptor signature whose size matches the distance to it and whose CRC
// matches the bytes before it ends the data. Returns 1 when found, 0 when
// the input holds no (whole) descriptor after the data, -1 when the ones it
// holds do not fit.
int findDescriptor(ByteCursor& c, std::uint64_t data, std::uint64_t& packed, std::uint32_t& crc) {
    const std::uint8_t signature[] = {'P', 'K', 7, 8};
    std::uint64_t from = data;
    for (int tries = 0; tries < 64; ++tries) {
        const auto at = c.find(from, c.size(), signature);
        if (!at) return tries == 0 ? 0 : -1;
        const std::uint8_t* d = c.at(*at, 16);
        if (!d) return tries == 0 ? 0 : -1;
        const std::uint32_t sum = le32(d + 4);
        if (le32(d + 8) == *at - data && storedCrcHolds(c, data, *at - data, sum)) {
            packed = *at - data, crc = sum;
            return 1;
        }
        from = *at + 1;
    }
    return -1;
}

// What the names (and the mimetype entry) say the archive is.
struct Kind {
    std::string mimetype;
    bool contentTypes = false, word = false, xl = false, ppt = false, manifest = false,
         wheel = false;
    void see(const std::string& name) {
        contentTypes |= name == "[Content_Types].xml";
        word |= name.rfind("word/", 0) == 0;
        xl |= name.rfind("xl/", 0) == 0;
        ppt |= name.rfind("ppt/", 0) == 0;
        manifest |= name == "META-INF/MANIFEST.MF";
        const std::string w = ".dist-info/WHEEL";
        wheel |= name.size() > w.size() && name.compare(name.size() - w.size(), w.size(), w) == 0;
    }
    void type(WalkResult& r) const {
        static const struct {
            const char* mime;
            const char* ext;
            const char* name;
        } kOdf[] = {
            {"application/vnd.oasis.opendocument.text", "odt", "OpenDocument text"},
            {"application/vnd.oasis.opendocument.spreadsheet", "ods", "OpenDocument spreadsheet"},
            {"application/vnd.oasis.opendocument.presentation", "odp", "OpenDocument presentation"},
            {"application/vnd.oasis.opendocument.graphics", "odg", "OpenDocument drawing"},
            {"application/epub+zip", "epub", "EPUB book"},
        };
        for (const auto& k : kOdf)
            if (mimetype == k.mime) r.extension = k.ext, r.typeName = k.name;
        if (!r.extension.empty()) return;
        if (contentTypes && word)
            r.extension = "docx", r.typeName = "Word document";
        else if (contentTypes && xl)
            r.extension = "xlsx", r.typeName = "Excel workbook";
        else if (contentTypes && ppt)
            r.extension = "pptx", r.typeName = "PowerPoint presentation";
        else if (wheel)
            r.extension = "whl", r.typeName = "Python wheel";
        else if (manifest)
            r.extension = "jar", r.typeName = "Java archive";
    }
};

struct Entry {
    std::uint64_t dataStart = 0, end = 0; // end: past the data and its descriptor
    bool ok = false;
    bool inputEnded = false;    // not ok because the input ended inside the entry
    std::uint64_t failedAt = 0; // not ok: where its data was seen to be wrong, if known
};

// What the walk has learnt before an entry: enough to go on from inside it.
struct Walked {
    Kind kind;
    std::uint64_t entries = 0; // entries before this one
    std::uint64_t entry = 0;   // this one's local header
};

// Where a walk stood: at an entry's header (`offset` is the header's), or
// inside a deflated entry's data (`stream` ready).
struct ZipMemo final : WalkMemo {
    Walked walked;
    z_stream stream{};
    bool ready = false;
    uLong sum = 0; // CRC-32 of the output so far
    ZipMemo() = default;
    ZipMemo(const ZipMemo&) = delete;
    ZipMemo& operator=(const ZipMemo&) = delete;
    ~ZipMemo() override {
        if (ready) inflateEnd(&stream);
    }
};

constexpr std::uint64_t kMemoStep = 16 * 1024;

// Where the next memo inside deflated data goes after `pos`: the next step,
// or the point where a continuation joins the bytes before it, if sooner.
std::uint64_t nextMemoAfter(const ByteCursor& c, std::uint64_t pos) {
    const std::uint64_t step = (pos / kMemoStep + 1) * kMemoStep;
    const std::uint64_t join = c.input().joinedAt();
    return join > pos ? std::min(step, join) : step;
}

// ODF and EPUB name their kind in a stored first entry "mimetype".
void readMimetype(ByteCursor& c, const std::string& entryName, std::uint64_t data,
                  std::uint64_t packed, Kind& kind) {
    if (entryName == "mimetype" && packed < 100)
        if (const std::uint8_t* m = c.at(data, std::size_t(packed)))
            kind.mimetype.assign(reinterpret_cast<const char*>(m), std::size_t(packed));
}

constexpr std::size_t kOut = 64 * 1024;

// One inflate stream and output buffer for every entry of a walk: a wheel of
// a thousand small entries would otherwise allocate them a thousand times.
struct Inflater {
    z_stream s{};
    bool ready = false;
    std::unique_ptr<std::uint8_t[]> out = std::make_unique_for_overwrite<std::uint8_t[]>(kOut);
    // For entries inflated whole (see inflatedWhole).
    libdeflate_decompressor* whole = nullptr;
    std::vector<std::uint8_t> wholeIn, wholeOut;
    Inflater() = default;
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater() {
        if (ready) inflateEnd(&s);
        if (whole) libdeflate_free_decompressor(whole);
    }
    // A fresh raw deflate stream (the one before reset, its window kept), or
    // a copy of `from`.
    bool start(const z_stream* from) {
        if (ready && !from) return inflateReset2(&s, -15) == Z_OK;
        if (ready) inflateEnd(&s);
        s = z_stream{};
        ready =
            (from ? inflateCopy(&s, const_cast<z_stream*>(from)) : inflateInit2(&s, -15)) == Z_OK;
        return ready;
    }
};

// Entries whose data and output are at most this are inflated whole,
// through libdeflate, several times faster than a stream: the wheels and
// documents on a disk hold thousands of small entries, and some large ones.
constexpr std::uint64_t kWholeMax = 4 << 20;

// True when the `packed` bytes of deflated data at `from` inflate whole to
// `size` bytes whose CRC-32 is `crc`, ending exactly there. Otherwise (or
// when the entry is too large, or a continuation joins inside it, where the
// stream leaves the memo later tries start from) the stream decides.
bool inflatedWhole(ByteCursor& c, std::uint64_t from, std::uint64_t packed, std::uint64_t size,
                   std::uint32_t crc, Inflater& inflater) {
    if (packed == 0 || packed > kWholeMax || size > kWholeMax || !c.has(from, packed)) return false;
    const std::uint64_t join = c.input().joinedAt();
    if (join > from && join < from + packed) return false;
    const std::uint8_t* in = nullptr;
    if (packed <= ByteCursor::kWindow) {
        in = c.at(from, std::size_t(packed));
    } else {
        if (inflater.wholeIn.size() < packed) inflater.wholeIn.resize(std::size_t(packed));
        const std::span<std::uint8_t> to(inflater.wholeIn.data(), std::size_t(packed));
        if (c.input().read(from, to) == to.size()) in = to.data();
    }
    if (!in) return false;
    if (!inflater.whole && !(inflater.whole = libdeflate_alloc_decompressor())) return false;
    if (inflater.wholeOut.size() < size) inflater.wholeOut.resize(std::size_t(size));
    std::size_t used = 0, made = 0;
    if (libdeflate_deflate_decompress_ex(inflater.whole, in, std::size_t(packed),
                                         inflater.wholeOut.data(), std::size_t(size), &used,
                                         &made) != LIBDEFLATE_SUCCESS)
        return false;
    return used == packed && made == size &&
           libdeflate_crc32(0, inflater.wholeOut.data(), made) == crc;
}

// Inflates raw deflate data from `from` (or from where `resume` stood),
// giving the compressed length and the output's CRC-32, and leaving memos on
// the way. Returns 1 at the stream's end, 0 when the input ends first, -1
// when the stream fails (`length` then reaches where it failed).
int inflateEntry(ByteCursor& c, std::uint64_t from, const Walked& walked, const ZipMemo* resume,
                 Inflater& inflater, std::uint64_t& length, std::uint32_t& crc) {
    z_stream& s = inflater.s;
    uLong sum = 0; // the CRC-32 of nothing
    std::uint64_t pos = from;
    const bool resumed = resume && resume->ready && resume->offset >= from;
    if (!inflater.start(resumed ? &resume->stream : nullptr)) return -1;
    if (resumed) {
        sum = resume->sum;
        pos = resume->offset;
    }
    std::uint8_t* out = inflater.out.get();
    int rc = Z_OK;
    std::uint64_t nextMemo = nextMemoAfter(c, pos);
    while (rc == Z_OK) {
        const auto in = c.chunk(pos, std::min(c.size(), nextMemo));
        if (in.empty()) break;
        s.next_in = const_cast<Bytef*>(in.data());
        s.avail_in = uInt(in.size());
        do {
            s.next_out = out;
            s.avail_out = kOut;
            rc = inflate(&s, Z_NO_FLUSH);
            sum = libdeflate_crc32(std::uint32_t(sum), out, kOut - s.avail_out);
        } while (rc == Z_OK && s.avail_out == 0);
        pos += in.size() - s.avail_in;
        if (rc == Z_BUF_ERROR && s.avail_in == 0) rc = Z_OK;
        if (rc == Z_OK && pos >= nextMemo) {
            auto memo = std::make_unique<ZipMemo>();
            if (inflateCopy(&memo->stream, &s) == Z_OK) {
                memo->ready = true;
                memo->offset = pos;
                memo->walked = walked;
                memo->sum = sum;
                c.input().remember(std::move(memo));
            }
            nextMemo = nextMemoAfter(c, pos);
        }
    }
    length = pos - from;
    crc = std::uint32_t(sum);
    return rc == Z_STREAM_END ? 1 : rc == Z_OK ? 0 : -1;
}

// One local entry at `walked.entry`: its header, its data checked against
// the CRC, its data descriptor. `resume`: a memo from inside its data.
Entry localEntry(ByteCursor& c, Walked& walked, const ZipMemo* resume, Inflater& inflater) {
    Kind& kind = walked.kind;
    const std::uint64_t pos = walked.entry;
    Entry e;
    const std::uint8_t* h = c.at(pos, 30);
    e.inputEnded = !h;
    if (!h || le32(h) != kLocal) return e;
    const std::uint16_t flags = le16(h + 6), method = le16(h + 8);
    std::uint32_t crc = le32(h + 14);
    std::uint64_t packed = le32(h + 18);
    const std::uint32_t size = le32(h + 22);
    const std::uint16_t nameLength = le16(h + 26), extraLength = le16(h + 28);
    const std::uint8_t* name = c.at(pos + 30, nameLength);
    e.inputEnded = !name;
    if (!name || nameLength == 0) return e;
    const std::string entryName(reinterpret_cast<const char*>(name), nameLength);
    kind.see(entryName);
    e.dataStart = pos + 30 + nameLength + extraLength;
    const bool descriptor = flags & 8;
    const bool encrypted = flags & 1;
    // ZIP64: the sizes are in the extra field (id 1: original, compressed).
    if (packed == 0xFFFFFFFFu) packed = zip64Packed(c, pos + 30 + nameLength, extraLength);
    if (!descriptor && !encrypted && (method == 0 || method == 8) && c.has(e.dataStart, packed) &&
        c.checked(e.dataStart + packed)) {
        // Checked by an earlier walk: its header gives its end.
        if (method == 0) readMimetype(c, entryName, e.dataStart, packed, kind);
    } else if (method == 8 && !encrypted && !descriptor && !resume &&
               inflatedWhole(c, e.dataStart, packed, size, crc, inflater)) {
        // Checked whole: its header gives its end.
    } else if (method == 8 && !encrypted && !descriptor && packed != kUnknown &&
               e.dataStart + packed > c.size() && c.input().neededPast() != 0 &&
               pos <= c.input().neededPast()) {
        // Its data runs past the input: the walk stops at this entry however
        // the data checks, and the caller wants it only past here.
        e.inputEnded = true;
        return e;
    } else if (method == 8 && !encrypted) {
        std::uint64_t length = 0;
        std::uint32_t made = 0;
        const int inflated = inflateEntry(c, e.dataStart, walked, resume, inflater, length, made);
        e.inputEnded = inflated == 0;
        e.failedAt = e.dataStart + length;
        if (inflated <= 0) return e;
        if (!descriptor && (length != packed || made != crc)) return e;
        packed = length, crc = made;
    } else if (descriptor && method == 0 && !encrypted) {
        // No descriptor at all: the data may go on past the input.
        const int found = findDescriptor(c, e.dataStart, packed, crc);
        e.inputEnded = found == 0;
        if (found <= 0) return e;
    } else if (descriptor || packed == kUnknown) {
        return e; // no length to go by
    } else if (method == 0 && !encrypted) {
        e.inputEnded = !c.has(e.dataStart, packed);
        if (e.inputEnded || !storedCrcHolds(c, e.dataStart, packed, crc)) return e;
        readMimetype(c, entryName, e.dataStart, packed, kind);
    } else if (!c.has(e.dataStart, packed)) {
        e.inputEnded = true;
        return e; // other methods: the data cannot be checked, only its extent
    }
    e.end = e.dataStart + packed;
    if (descriptor) {
        // The descriptor: an optional signature, the CRC and both sizes, of
        // four bytes each or, in ZIP64 archives, of eight.
        const std::size_t room =
            std::size_t(std::min<std::uint64_t>(24, c.size() - std::min(e.end, c.size())));
        const std::uint8_t* d = c.at(e.end, room);
        e.inputEnded = !d || room < 12;
        if (e.inputEnded) return e;
        const std::uint64_t base = le32(d) == kDescriptor ? 4 : 0;
        if (room < base + 12 || le32(d + base) != crc) return e;
        if (le32(d + base + 4) == std::uint32_t(packed) && (packed >> 32) == 0)
            e.end += base + 12;
        else if (room >= base + 20 && le64(d + base + 4) == packed)
            e.end += base + 20;
        else
            return e;
    }
    e.ok = true;
    return e;
}

} // namespace

bool zipMatches(Head head) {
    // A local header with a known method and a name of sane length.
    if (head.size() < 30 || le32(head.data()) != kLocal) return false;
    const std::uint16_t method = le16(head.data() + 8), nameLength = le16(head.data() + 26);
    return (method == 0 || method == 8 || method == 12 || method == 14 || method == 93 ||
            method == 95) &&
           nameLength > 0 && nameLength < 1024;
}

WalkResult zipWalk(const CarveInput& in) {
    ByteCursor c(in);
    // A memo of the same bytes: the entries before it were walked already.
    const auto* resume = dynamic_cast<const ZipMemo*>(in.recall());
    if (!resume) {
        const std::uint8_t* h = c.at(0, 30);
        if (!h || !zipMatches({h, 30})) return notThisFormat();
    }
    Walked walked = resume ? resume->walked : Walked{};
    std::uint64_t& pos = walked.entry;
    const Kind& kind = walked.kind;
    std::uint64_t& entries = walked.entries;
    std::uint64_t nextMemo = (pos / kMemoStep + 1) * kMemoStep;
    Inflater inflater;
    // Every pass moves past at least a 30-byte header.
    while (const std::uint8_t* sig = c.at(pos, 4)) {
        if (le32(sig) != kLocal) break;
        if (pos >= nextMemo) {
            // Between entries: where the next walk may start instead of at 0.
            auto memo = std::make_unique<ZipMemo>();
            memo->offset = pos;
            memo->walked = walked;
            in.remember(std::move(memo));
            nextMemo = (pos / kMemoStep + 1) * kMemoStep;
        }
        const Entry e = localEntry(c, walked, resume, inflater);
        resume = nullptr;
        if (!e.ok) {
            WalkResult r = e.inputEnded ? inputEnds(pos) : interrupted(pos);
            if (!e.inputEnded && e.failedAt > pos) r.failedAt = e.failedAt;
            return r;
        }
        pos = e.end;
        ++entries;
    }
    const std::uint64_t directory = pos;
    std::uint64_t listed = 0;
    while (const std::uint8_t* d = c.at(pos, 46)) {
        if (le32(d) != kCentral) break;
        const std::uint64_t length = 46ull + le16(d + 28) + le16(d + 30) + le16(d + 32);
        if (!c.has(pos, length)) return inputEnds(pos);
        pos += length, ++listed;
    }
    // ZIP64 archives put their record and its locator before the classic one.
    const std::uint8_t* z = c.at(pos, 4);
    if (z && le32(z) == kZip64End) {
        const std::uint8_t* r = c.at(pos, 12);
        if (!r || le64(r + 4) > c.size()) return inputEnds(pos);
        pos += 12 + le64(r + 4);
        const std::uint8_t* l = c.at(pos, 20);
        if (!l) return inputEnds(directory);
        if (le32(l) != kZip64Locator) return interrupted(directory);
        pos += 20;
    }
    const std::uint8_t* e = c.at(pos, 22);
    if (!e) return inputEnds(directory);
    if (le32(e) != kEnd || listed != entries) return interrupted(directory);
    const bool zip64 = le32(e + 16) == 0xFFFFFFFFu || le16(e + 10) == 0xFFFF;
    if (!zip64 && (le32(e + 16) != directory || le16(e + 10) != std::uint16_t(entries) ||
                   le32(e + 12) != pos - directory))
        return interrupted(directory);
    const std::uint64_t end = pos + 22 + le16(e + 20);
    if (!c.has(0, end)) return inputEnds(pos);
    WalkResult r = complete(end);
    kind.type(r);
    return r;
}

} // namespace dorvak::carve
