// PDF: from "%PDF-" to the last "%%EOF" of the document. A PDF may hold
// several: each incremental update, and the first-page section of a
// linearized file, ends with its own. The run of the document goes on past a
// "%%EOF" while what follows it (after white space) is more of the body: an
// object ("12 0 obj"), a cross-reference table, or a comment. Each "%%EOF"
// is checked by its "startxref": the offset there must lead to the "xref"
// keyword or to an object (a cross-reference stream), and a sample of the
// table's entries must each lead to the object they name. A foreign block
// before the table moves what follows it, so those offsets stop matching.
//
// The search for "%%EOF" ends where 64 KiB of zeros begin, so that a PDF
// whose end is lost does not send the walk through a disk's free space (a
// PDF's streams are compressed: such a run of zeros is not part of one).
//
// Interrupted: the end of the last "%%EOF" that checked, or further, the end
// of the last stream object whose /Length checked: the objects are walked
// one after another from the header, and a stream's length must lead to its
// "endstream" (a foreign block inside or before it moves that keyword). The
// objects without a stream or with an indirect length check nothing, so the
// good length ends with the last one that did.
#include "carve/byte_cursor.h"
#include "carve/walkers.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace dorvak::carve {

namespace {

bool isSpace(std::uint8_t b) {
    return b == ' ' || b == '\n' || b == '\r' || b == '\t' || b == '\f' || b == 0;
}
bool isDigit(std::uint8_t b) {
    return b >= '0' && b <= '9';
}

// Parses a decimal number at `p` (at most 19 digits); returns past it.
std::size_t number(const std::uint8_t* p, std::size_t n, std::size_t i, std::uint64_t& value) {
    value = 0;
    std::size_t digits = 0;
    for (; i < n && isDigit(p[i]) && digits < 19; ++i, ++digits)
        value = value * 10 + (p[i] - '0');
    return digits ? i : 0;
}

std::size_t spaces(const std::uint8_t* p, std::size_t n, std::size_t i) {
    while (i < n && isSpace(p[i]))
        ++i;
    return i;
}

// Whether "N G obj" starts at `offset`.
bool objectAt(ByteCursor& c, std::uint64_t offset) {
    const std::size_t n =
        std::size_t(std::min<std::uint64_t>(32, c.size() - std::min(offset, c.size())));
    const std::uint8_t* p = c.at(offset, n);
    if (!p) return false;
    std::uint64_t v = 0;
    std::size_t i = number(p, n, 0, v);
    if (!i || i >= n || !isSpace(p[i])) return false;
    i = number(p, n, spaces(p, n, i), v);
    if (!i) return false;
    i = spaces(p, n, i);
    return i + 3 <= n && std::memcmp(p + i, "obj", 3) == 0;
}

// Checks a cross-reference table at `offset`: its first subsection's entries,
// a sample of at most 32 of them, must lead to objects.
bool tableHolds(ByteCursor& c, std::uint64_t offset, std::uint64_t limit) {
    const std::uint8_t* p = c.at(offset, 64);
    if (!p) return false;
    std::uint64_t first = 0, count = 0;
    std::size_t i = number(p, 64, spaces(p, 64, 4), first);
    if (!i) return false;
    i = number(p, 64, spaces(p, 64, i), count);
    if (!i) return false;
    while (i < 64 && (p[i] == ' ' || p[i] == '\r' || p[i] == '\n'))
        ++i;
    const std::uint64_t entries = offset + i;
    if (count > (limit - std::min(limit, entries)) / 20) return false;
    const std::uint64_t stride = count > 32 ? count / 32 : 1;
    for (std::uint64_t k = 0; k < count; k += stride) {
        const std::uint8_t* e = c.at(entries + 20 * k, 20);
        if (!e || (e[17] != 'n' && e[17] != 'f')) return false;
        std::uint64_t target = 0;
        if (number(e, 10, 0, target) != 10) return false;
        if (e[17] == 'n' && (target >= limit || !objectAt(c, target))) return false;
    }
    return true;
}

// Checks the "startxref" that closes the section ending at `eof`.
bool sectionHolds(ByteCursor& c, std::uint64_t eof) {
    const std::uint64_t from = eof > 1024 ? eof - 1024 : 0;
    const std::uint8_t key[] = {'s', 't', 'a', 'r', 't', 'x', 'r', 'e', 'f'};
    std::optional<std::uint64_t> at, next = c.find(from, eof, key);
    while (next) { // the last "startxref" before the "%%EOF"
        at = next;
        next = c.find(*at + 1, eof, key);
    }
    if (!at) return false;
    const std::size_t n = std::size_t(eof - *at);
    const std::uint8_t* p = c.at(*at, n);
    std::uint64_t offset = 0;
    if (!p || !number(p, n, spaces(p, n, 9), offset) || offset >= *at) return false;
    const std::uint8_t* x = c.at(offset, 4);
    if (x && std::memcmp(x, "xref", 4) == 0) return tableHolds(c, offset, *at);
    return objectAt(c, offset);
}

// Whether more of the document follows at `pos`: an object, a table, a comment.
bool bodyFollows(ByteCursor& c, std::uint64_t pos) {
    const std::size_t n =
        std::size_t(std::min<std::uint64_t>(64, c.size() - std::min(pos, c.size())));
    const std::uint8_t* p = c.at(pos, n);
    if (!p) return false;
    std::size_t i = 0;
    while (i < n && (p[i] == ' ' || p[i] == '\r' || p[i] == '\n' || p[i] == '\t'))
        ++i;
    if (i == n) return false;
    if (p[i] == '%' || (n - i >= 4 && std::memcmp(p + i, "xref", 4) == 0)) return true;
    return objectAt(c, pos + i);
}

// White space and comments from `pos`; `end` when they run to it.
std::uint64_t skipFiller(ByteCursor& c, std::uint64_t pos, std::uint64_t end) {
    bool comment = false;
    for (; pos < end;) {
        const auto bytes = c.chunk(pos, end);
        if (bytes.empty()) return end;
        std::size_t i = 0;
        for (; i < bytes.size(); ++i) {
            const std::uint8_t b = bytes[i];
            if (b == '\r' || b == '\n')
                comment = false;
            else if (b == '%')
                comment = true;
            else if (!comment && !isSpace(b))
                return pos + i;
        }
        pos += i;
    }
    return end;
}

// The direct value of "/Length" in the dictionary [from, to), if it has one
// ("/Length1" and the like are other keys; "/Length 12 0 R" is indirect).
std::optional<std::uint64_t> directLength(ByteCursor& c, std::uint64_t from, std::uint64_t to) {
    const std::uint8_t key[] = {'/', 'L', 'e', 'n', 'g', 't', 'h'};
    for (auto at = c.find(from, to, key); at; at = c.find(*at + 1, to, key)) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(40, to - (*at + 7)));
        const std::uint8_t* p = c.at(*at + 7, n);
        if (!p || n == 0 || !isSpace(p[0])) continue;
        std::uint64_t length = 0, generation = 0;
        std::size_t i = number(p, n, spaces(p, n, 0), length);
        if (!i) return std::nullopt;
        // "12 0 R": a reference, whose value lies elsewhere.
        const std::size_t j = number(p, n, spaces(p, n, i), generation);
        if (j && spaces(p, n, j) < n && p[spaces(p, n, j)] == 'R') return std::nullopt;
        return length;
    }
    return std::nullopt;
}

// The end of the last stream object whose length checked, walking the
// objects from `pos` (0 when none did). An object's keywords are looked for
// within 16 KiB of its start: a longer object without a stream (a large
// array) ends the walk, which costs only length not checked.
std::uint64_t checkedObjects(ByteCursor& c, std::uint64_t pos, std::uint64_t end) {
    const std::uint8_t endobj[] = {'e', 'n', 'd', 'o', 'b', 'j'};
    const std::uint8_t stream[] = {'s', 't', 'r', 'e', 'a', 'm'};
    const std::uint8_t endstream[] = {'e', 'n', 'd', 's', 't', 'r', 'e', 'a', 'm'};
    std::uint64_t good = 0;
    // Every pass moves past an "endobj" (hostile input: a bound all the same).
    for (int objects = 0; objects < (1 << 20); ++objects) {
        pos = skipFiller(c, pos, end);
        if (pos >= end || !objectAt(c, pos)) break;
        const std::uint64_t window = std::min(end, pos + 16 * 1024);
        // "stream" first: looking for "endobj" would read through its data.
        const auto open = c.find(pos, window, stream);
        const auto close = c.find(pos, open ? *open : window, endobj);
        if (close) {
            pos = *close + 6;
            continue;
        }
        if (!open) break;
        const auto length = directLength(c, pos, *open);
        std::uint64_t data = *open + 6;
        const std::uint8_t* eol = c.at(data, 2);
        if (!length || !eol) break;
        data += eol[0] == '\r' && eol[1] == '\n' ? 2 : eol[0] == '\n' || eol[0] == '\r' ? 1 : 0;
        if (*length > end - std::min(end, data)) break;
        const std::uint64_t after =
            skipFiller(c, data + *length, std::min(end, data + *length + 4));
        const std::uint8_t* k = c.at(after, 9);
        if (!k || std::memcmp(k, endstream, 9) != 0) break;
        const auto done = c.find(after + 9, std::min(end, after + 9 + 64), endobj);
        if (!done) break;
        pos = *done + 6;
        good = pos;
    }
    return good;
}

bool zeroWord(const std::uint8_t* p) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    return word == 0;
}

// Where the first run of `zeros` zero bytes starts, or the input's end. Such
// a run holds a whole word at a multiple of `stride`, so only those words are
// read, and the bytes around the ones that are zero.
std::uint64_t runEnd(ByteCursor& c, std::uint64_t zeros) {
    const std::uint64_t stride = std::max<std::uint64_t>(8, (zeros / 2) & ~std::uint64_t(7));
    std::uint64_t after = 0; // no run starts before this: its byte is not zero
    for (std::uint64_t probe = 0; probe + 8 <= c.size();) {
        std::uint8_t word[8];
        if (c.input().read(probe, word) != 8 || !zeroWord(word)) {
            probe += stride;
            continue;
        }
        // Back to the run's start: past the last probe, which was not zero
        // or ended an earlier run (at `after`).
        const std::uint64_t low = std::max(after, probe >= stride ? probe - stride : 0);
        std::uint64_t start = probe;
        if (const std::uint8_t* before = c.at(low, std::size_t(probe - low)))
            while (start > low && before[start - 1 - low] == 0)
                --start;
        // On to its end, or to the length that makes it the run sought.
        std::uint64_t pos = probe + 8;
        while (pos < c.size() && pos - start < zeros) {
            const auto bytes = c.chunk(pos, std::min(c.size(), start + zeros));
            if (bytes.empty()) break;
            std::size_t i = 0;
            while (i + 8 <= bytes.size() && zeroWord(bytes.data() + i))
                i += 8;
            while (i < bytes.size() && bytes[i] == 0)
                ++i;
            pos += i;
            if (i < bytes.size()) break; // a byte that is not zero
        }
        if (pos - start >= zeros) return start;
        if (pos >= c.size()) return c.size();
        after = pos;
        probe = (pos / stride + 1) * stride;
    }
    return c.size();
}

} // namespace

bool pdfMatches(Head head) {
    return head.size() >= 8 && startsWith(head, "%PDF-") && (head[5] == '1' || head[5] == '2') &&
           head[6] == '.' && isDigit(head[7]);
}

WalkResult pdfWalk(const CarveInput& in) {
    ByteCursor c(in);
    const std::uint8_t* h = c.at(0, 8);
    if (!h || !pdfMatches({h, 8})) return notThisFormat();
    const std::uint8_t marker[] = {'%', '%', 'E', 'O', 'F'};
    std::uint64_t pos = 8, good = 0;
    const std::uint64_t end = runEnd(c, 64 * 1024);
    // No document has thousands of updates; hostile input may repeat them.
    for (int sections = 0; sections < 4096; ++sections) {
        const auto at = c.find(pos, end, marker);
        if (!at) break;
        std::uint64_t next = *at + 5;
        if (const std::uint8_t* e = c.at(next, 1); e && (*e == '\r' || *e == '\n')) {
            const std::uint8_t* e2 = c.at(next + 1, 1);
            next += (*e == '\r' && e2 && *e2 == '\n') ? 2 : 1;
        }
        const bool holds = sectionHolds(c, *at);
        if (holds) good = next;
        if (!bodyFollows(c, next))
            return holds ? complete(next) : interrupted(std::max(good, checkedObjects(c, 8, end)));
        pos = next;
    }
    good = std::max(good, checkedObjects(c, 8, end));
    return end == c.size() ? inputEnds(good) : interrupted(good);
}

} // namespace dorvak::carve
