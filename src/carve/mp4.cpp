// MP4, MOV and the other ISO base media files (3GP, M4A, HEIC...): a chain
// of top-level boxes, each with its size (32 bits, or 64 in "largesize"
// when the 32-bit size is 1) and a four-character type, from "ftyp" on. The
// file ends after the last box of the chain once the movie box ("moov", or
// "moof" fragments) has been seen (older QuickTime files start without
// "ftyp", with "moov" or "wide"); a box of size 0 runs to the end of the
// file, which carving cannot know.
//
// Interrupted: the start of the box that failed or that the input cuts
// short, or the end of the chain when it ends before any movie box. Media
// data cannot be checked, so a foreign block inside "mdat" does not show;
// the movie box is a tree of boxes and is checked down to the sample tables.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

namespace dorvak::carve {

namespace {

bool isBoxType(const std::uint8_t* t) {
    for (int i = 0; i < 4; ++i)
        if (!((t[i] >= 'a' && t[i] <= 'z') || (t[i] >= 'A' && t[i] <= 'Z') ||
              (t[i] >= '0' && t[i] <= '9') || t[i] == ' ' || t[i] == 0xA9))
            return false;
    return true;
}

// Boxes that hold only boxes: their children must fill them exactly.
bool isContainer(const std::uint8_t* t) {
    // Not "udta": QuickTime ends its user data with a 32-bit zero.
    static const char* const kContainers[] = {"moov", "trak", "mdia", "minf", "stbl",
                                              "edts", "dinf", "mvex", "moof", "traf"};
    for (const char* k : kContainers)
        if (std::equal(t, t + 4, k)) return true;
    return false;
}

// Checks the boxes inside [pos, end) down to `depth` levels of containers.
bool childrenHold(ByteCursor& c, std::uint64_t pos, std::uint64_t end, int depth) {
    while (pos < end) {
        const std::uint8_t* b = c.at(pos, 8);
        if (!b || end - pos < 8 || !isBoxType(b + 4)) return false;
        const std::uint64_t size = be32(b);
        if (size < 8 || size > end - pos) return false;
        std::uint8_t type[4];
        std::copy(b + 4, b + 8, type);
        if (depth > 0 && isContainer(type) && !childrenHold(c, pos + 8, pos + size, depth - 1))
            return false;
        pos += size;
    }
    return true;
}

// The file's kind from the major brand of "ftyp" (or its absence).
void typeByBrand(const std::uint8_t* h, WalkResult& r) {
    static const struct {
        const char* brand;
        const char* extension;
        const char* name;
    } kBrands[] = {
        {"qt  ", "mov", "QuickTime movie"}, {"M4A ", "m4a", "MPEG-4 audio"},
        {"M4V ", "m4v", "MPEG-4 video"},    {"heic", "heic", "HEIF image"},
        {"mif1", "heic", "HEIF image"},     {"3gp4", "3gp", "3GPP video"},
        {"3gp5", "3gp", "3GPP video"},      {"3gp6", "3gp", "3GPP video"},
    };
    if (!std::equal(h + 4, h + 8, "ftyp")) {
        r.extension = "mov", r.typeName = "QuickTime movie";
        return;
    }
    for (const auto& b : kBrands)
        if (std::equal(h + 8, h + 12, b.brand)) r.extension = b.extension, r.typeName = b.name;
}

} // namespace

bool mp4Matches(Head head) {
    if (head.size() < 16) return false;
    const std::uint32_t size = be32(head.data());
    if (startsWith(head, "ftyp", 4))
        return size >= 16 && size <= 4096 && size % 4 == 0 && isBoxType(head.data() + 8);
    // Older QuickTime movies have no "ftyp": a movie box that starts with its
    // header, or the 8-byte "wide" box before the media data.
    if (startsWith(head, "moov", 4)) return size >= 16 && startsWith(head, "mvhd", 12);
    return size == 8 && startsWith(head, "wide", 4) && startsWith(head, "mdat", 12);
}

WalkResult mp4Walk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 16);
    if (!h || !mp4Matches({h, 16})) return notThisFormat();
    WalkResult typed;
    typeByBrand(h, typed);
    std::uint64_t pos = 0;
    bool movie = false;
    // Every box is at least 8 bytes: the loop ends with the input.
    while (const std::uint8_t* b = c.at(pos, 8)) {
        if (!isBoxType(b + 4)) break;
        std::uint64_t size = be32(b);
        const bool isMovie = std::equal(b + 4, b + 8, "moov") || std::equal(b + 4, b + 8, "moof");
        if (size == 1) {
            const std::uint8_t* large = c.at(pos + 8, 8);
            if (!large) return inputEnds(pos);
            size = be64(large);
            if (size < 16) break;
        } else if (size == 0) {
            return interrupted(pos); // to the end of the file: unknown here
        } else if (size < 8) {
            break;
        }
        if (!c.has(pos, size)) return inputEnds(pos);
        // The movie box's tree is all boxes: a foreign block inside shows.
        if (isMovie && !childrenHold(c, pos + 8, pos + size, 6)) return interrupted(pos);
        movie |= isMovie;
        pos += size;
    }
    if (!movie) return c.has(pos, 8) ? interrupted(pos) : inputEnds(pos);
    typed.status = WalkStatus::Complete;
    typed.length = pos;
    return typed;
}

} // namespace dorvak::carve
