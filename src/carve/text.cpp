// Text (source, HTML, logs, UTF-8 or Latin-1): a run of text bytes. Text has
// no length of its own, so the run ends at the first byte that text does not
// hold: NUL or a control byte other than tab, line feed, form feed and
// carriage return (and ESC, which terminal logs carry). A file system fills
// the rest of a file's last block with zeros, which ends the run there.
//
// The signature needs the whole head to be text (or, for a file shorter
// than the head, text followed only by zeros) with a fair share of letters
// and some spaces, so that zeroed, erased (0xFF) or binary blocks never
// match.
//
// A text file ends at a NUL with zeros after it to the end of its sector (the
// block's zero fill). Text that stops at any other byte, or at a NUL with
// other bytes after it, ran into foreign data: the file goes on elsewhere,
// and the text is good to the start of that sector.
//
// Interrupted: the input ends while the text goes on (the run may continue
// elsewhere); the length is then the whole input. Or the text met foreign
// data (above).
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace dorvak::carve {

namespace {

constexpr std::array<bool, 256> makeTextTable() {
    std::array<bool, 256> t{};
    for (int b = 0x20; b < 256; ++b)
        t[b] = b != 0x7F;
    for (int b : {0x09, 0x0A, 0x0C, 0x0D, 0x1B}) // tab, LF, FF, CR, ESC
        t[b] = true;
    return t;
}
constexpr std::array<bool, 256> kText = makeTextTable();

// What the signature counts of each byte, one bit each.
enum : std::uint8_t { kIsText = 1, kLetter = 2, kSpace = 4, kHigh = 8 };
constexpr std::array<std::uint8_t, 256> makeClassTable() {
    std::array<std::uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        if (!kText[b]) continue;
        t[b] = kIsText;
        if ((b | 0x20) >= 'a' && (b | 0x20) <= 'z') t[b] |= kLetter;
        if (b == ' ' || b == '\n' || b == '\t') t[b] |= kSpace;
        if (b >= 0x80) t[b] |= kHigh;
    }
    return t;
}
constexpr std::array<std::uint8_t, 256> kClass = makeClassTable();

bool contains(Head head, const char* needle) {
    const std::size_t n = std::strlen(needle);
    for (std::size_t i = 0; i + n <= head.size(); ++i) {
        std::size_t k = 0;
        while (k < n && (head[i + k] | 0x20) == std::uint8_t(needle[k]))
            ++k;
        if (k == n) return true;
    }
    return false;
}

constexpr std::uint64_t kSector = 512;

// Whether the bytes from `end` to its sector's end (or the input's) are zeros.
bool zeroFilled(ByteCursor& c, std::uint64_t end) {
    const std::uint64_t to = std::min(c.size(), (end / kSector + 1) * kSector);
    const std::uint8_t* rest = c.at(end, std::size_t(to - end));
    return rest && std::all_of(rest, rest + (to - end), [](std::uint8_t b) { return b == 0; });
}

} // namespace

bool textMatches(Head head) {
    // Free space is mostly zeros: leave at once.
    if (head.size() < 16 || !kText[head[0]]) return false;
    std::size_t length = 0, letters = 0, spaces = 0, high = 0;
    for (; length < head.size(); ++length) {
        const std::uint8_t c = kClass[head[length]];
        if (!(c & kIsText)) break;
        letters += (c >> 1) & 1;
        spaces += (c >> 2) & 1;
        high += c >> 3;
    }
    // A short file ends inside the head: its block's zeros follow it.
    if (length < head.size() &&
        !std::all_of(head.begin() + length, head.end(), [](std::uint8_t b) { return b == 0; }))
        return false;
    // Mostly letters (ASCII, or UTF-8 and Latin-1 ones) with words between
    // spaces: prose, code, markup, logs.
    return length >= 16 && (letters + high) * 10 >= length * 3 && letters * 10 >= length &&
           spaces * 50 >= length;
}

WalkResult textWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::size_t headLength = std::size_t(std::min<std::uint64_t>(c.size(), 512));
    const std::uint8_t* h = c.at(0, headLength);
    if (!h || !textMatches({h, headLength})) return notThisFormat();
    WalkResult r;
    const Head head{h, headLength};
    if (contains(head, "<!doctype html") || contains(head, "<html")) {
        r.extension = "html";
        r.typeName = "HTML document";
    } else if (contains(head, "<?xml")) {
        r.extension = "xml";
        r.typeName = "XML document";
    }
    // Bytes that an earlier walk of the same bytes found to be text need not
    // be looked at again.
    std::uint64_t pos = std::min(in.checkedBefore(), c.size());
    while (pos < c.size()) {
        const auto bytes = c.chunk(pos, c.size());
        if (bytes.empty()) break;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (!kText[bytes[i]]) {
                r.length = pos + i;
                r.status = zeroFilled(c, r.length) ? WalkStatus::Complete : WalkStatus::Interrupted;
                // Nothing after the stopping byte's sector was looked at.
                const std::uint64_t sectorEnd = (r.length / kSector + 1) * kSector;
                if (sectorEnd <= c.size()) r.decidedBefore = sectorEnd;
                if (r.status == WalkStatus::Interrupted) r.length -= r.length % kSector;
                return r;
            }
        pos += bytes.size();
    }
    r.status = WalkStatus::Interrupted;
    r.length = c.size();
    r.inputEnded = true;
    return r;
}

} // namespace dorvak::carve
