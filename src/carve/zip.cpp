// ZIP and the formats made of it (ODF, OOXML, JAR, wheel, EPUB). The walk
// follows the local entries in order, checking each entry's data against its
// CRC-32 (stored data directly, deflated data through zlib, whose stream end
// also gives the size when a data descriptor holds it), then the central
// directory, then the end-of-central-directory record, whose offset and size
// of the directory must agree with what the walk found. The file ends with
// that record's comment.
//
// Interrupted: the start of the first entry or record that failed.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <zlib.h>

#include <memory>
#include <string>

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

struct Entry {
    std::uint64_t dataStart = 0, end = 0; // end: past the data and its descriptor
    bool ok = false;
};

// Checks `length` stored bytes against `crc`.
bool storedCrcHolds(ByteCursor& c, std::uint64_t from, std::uint64_t length, std::uint32_t crc) {
    uLong sum = crc32(0, nullptr, 0);
    for (std::uint64_t pos = from; pos < from + length;) {
        const auto bytes = c.chunk(pos, from + length);
        if (bytes.empty()) return false;
        sum = crc32(sum, bytes.data(), uInt(bytes.size()));
        pos += bytes.size();
    }
    return sum == crc;
}

// Inflates raw deflate data from `from`; returns the compressed length and
// the output's CRC-32, or nothing when the stream fails or the input ends.
bool inflateEntry(ByteCursor& c, std::uint64_t from, std::uint64_t& length, std::uint32_t& crc) {
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK) return false;
    auto out = std::make_unique<std::uint8_t[]>(64 * 1024);
    uLong sum = crc32(0, nullptr, 0);
    int rc = Z_OK;
    std::uint64_t pos = from;
    while (rc == Z_OK) {
        const auto in = c.chunk(pos, c.size());
        if (in.empty()) break;
        s.next_in = const_cast<Bytef*>(in.data());
        s.avail_in = uInt(in.size());
        do {
            s.next_out = out.get();
            s.avail_out = 64 * 1024;
            rc = inflate(&s, Z_NO_FLUSH);
            sum = crc32(sum, out.get(), uInt(64 * 1024 - s.avail_out));
        } while (rc == Z_OK && s.avail_out == 0);
        pos += in.size() - s.avail_in;
        if (rc == Z_BUF_ERROR && s.avail_in == 0) rc = Z_OK;
    }
    inflateEnd(&s);
    length = pos - from;
    crc = std::uint32_t(sum);
    return rc == Z_STREAM_END;
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

// One local entry at `pos`: its header, its data checked against the CRC,
// its data descriptor.
Entry localEntry(ByteCursor& c, std::uint64_t pos, Kind& kind) {
    Entry e;
    const std::uint8_t* h = c.at(pos, 30);
    if (!h || le32(h) != kLocal) return e;
    const std::uint16_t flags = le16(h + 6), method = le16(h + 8);
    std::uint32_t crc = le32(h + 14);
    std::uint64_t packed = le32(h + 18);
    const std::uint16_t nameLength = le16(h + 26), extraLength = le16(h + 28);
    const std::uint8_t* name = c.at(pos + 30, nameLength);
    if (!name || nameLength == 0) return e;
    const std::string entryName(reinterpret_cast<const char*>(name), nameLength);
    kind.see(entryName);
    e.dataStart = pos + 30 + nameLength + extraLength;
    const bool descriptor = flags & 8;
    const bool encrypted = flags & 1;
    if (method == 8 && !encrypted) {
        std::uint64_t length = 0;
        std::uint32_t made = 0;
        if (!inflateEntry(c, e.dataStart, length, made)) return e;
        if (!descriptor && (length != packed || made != crc)) return e;
        packed = length, crc = made;
    } else if (descriptor || packed == 0xFFFFFFFFu) {
        return e; // no length to go by (stored with a descriptor, ZIP64 sizes)
    } else if (method == 0 && !encrypted) {
        if (!c.has(e.dataStart, packed) || !storedCrcHolds(c, e.dataStart, packed, crc)) return e;
        if (entryName == "mimetype" && packed < 100)
            if (const std::uint8_t* m = c.at(e.dataStart, packed))
                kind.mimetype.assign(reinterpret_cast<const char*>(m), packed);
    } else if (!c.has(e.dataStart, packed)) {
        return e; // other methods: the data cannot be checked, only its extent
    }
    e.end = e.dataStart + packed;
    if (descriptor) {
        // The descriptor: an optional signature, the CRC and both sizes.
        const std::uint8_t* d = c.at(e.end, 16);
        if (!d) return e;
        const std::uint64_t base = le32(d) == kDescriptor ? 4 : 0;
        if (le32(d + base) != crc || le32(d + base + 4) != std::uint32_t(packed)) return e;
        e.end += base + 12;
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
    const std::uint8_t* h = c.at(0, 30);
    if (!h || !zipMatches({h, 30})) return notThisFormat();
    Kind kind;
    std::uint64_t pos = 0, entries = 0;
    // Every pass moves past at least a 30-byte header.
    while (const std::uint8_t* sig = c.at(pos, 4)) {
        if (le32(sig) != kLocal) break;
        const Entry e = localEntry(c, pos, kind);
        if (!e.ok) return interrupted(pos);
        pos = e.end;
        ++entries;
    }
    const std::uint64_t directory = pos;
    std::uint64_t listed = 0;
    while (const std::uint8_t* d = c.at(pos, 46)) {
        if (le32(d) != kCentral) break;
        const std::uint64_t length = 46ull + le16(d + 28) + le16(d + 30) + le16(d + 32);
        if (!c.has(pos, length)) return interrupted(pos);
        pos += length, ++listed;
    }
    // ZIP64 archives put their record and its locator before the classic one.
    const std::uint8_t* z = c.at(pos, 4);
    if (z && le32(z) == kZip64End) {
        const std::uint8_t* r = c.at(pos, 12);
        if (!r || le64(r + 4) > c.size()) return interrupted(pos);
        pos += 12 + le64(r + 4);
        const std::uint8_t* l = c.at(pos, 20);
        if (!l || le32(l) != kZip64Locator) return interrupted(directory);
        pos += 20;
    }
    const std::uint8_t* e = c.at(pos, 22);
    if (!e || le32(e) != kEnd || listed != entries) return interrupted(directory);
    const bool zip64 = le32(e + 16) == 0xFFFFFFFFu || le16(e + 10) == 0xFFFF;
    if (!zip64 && (le32(e + 16) != directory || le16(e + 10) != std::uint16_t(entries) ||
                   le32(e + 12) != pos - directory))
        return interrupted(directory);
    const std::uint64_t end = pos + 22 + le16(e + 20);
    if (!c.has(0, end)) return interrupted(pos);
    WalkResult r = complete(end);
    kind.type(r);
    return r;
}

} // namespace dorvak::carve
