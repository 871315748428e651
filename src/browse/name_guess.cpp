// The encoding guess of NameDecoder: each candidate decodes the names that
// are not UTF-8, and each decoded name is judged by the characters it holds.
//
// A name reads plausibly when its letters outside ASCII are of one script,
// when it holds no control, box-drawing, private-use or rare symbol
// characters, and when its letter case runs as words do (no lower-case letter
// followed by a capital, no Cyrillic or Greek letter glued to a Latin one).
// That is what tells the 8-bit Cyrillic code pages apart: KOI8-R and CP1251
// hold the same letters with upper and lower case swapped, so "Документы"
// in KOI8-R reads "дОКУМЕНТЫ" through CP1251. Among plausible readings the
// score per byte decides: lower-case letters (most of what names hold) and
// kana or hangul (which a wrong double-byte reading rarely yields) weigh
// more than capitals and Han characters, which any double-byte code page
// makes of nearly any byte pair.
#include "browse/name_decoder.h"

#include "reiserfs/catalog.h"

#include <unordered_set>

namespace dorvak {
namespace {

// Enough names to judge a volume by, few enough to stay quick on one with a
// million of them.
constexpr std::size_t kMaxSampled = 4000;

enum class Script : std::uint8_t {
    None,
    Latin,
    Cyrillic,
    Greek,
    Hebrew,
    Arabic,
    Thai,
    Han,
    Kana,
    Hangul
};
enum class Case : std::uint8_t { None, Upper, Lower };

struct CharClass {
    Script script = Script::None;
    Case letterCase = Case::None;
    double weight = 0; // what a letter adds to the name's score
    bool bad = false;  // a character names do not hold
};

CharClass cased(Script s, bool upper) {
    return {s, upper ? Case::Upper : Case::Lower, upper ? 1.0 : 2.0, false};
}

CharClass classify(char32_t c) {
    if (c < 0x20 || c == 0x7F) return {Script::None, Case::None, 0, true};
    if (c < 0x80) {
        const bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
        return {Script::None, upper ? Case::Upper : lower ? Case::Lower : Case::None, 0, false};
    }
    if (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7) return cased(Script::Latin, c < 0xDF);
    // Latin Extended-A pairs capitals with small letters, capital first;
    // from U+0139 to U+0148 and from U+0179 on the pairs start on odd points.
    if (c >= 0x100 && c <= 0x17F) {
        const bool oddPairs = (c >= 0x139 && c <= 0x148) || c >= 0x179;
        return cased(Script::Latin, (c % 2 == 1) == oddPairs && c != 0x138 && c != 0x149);
    }
    if ((c >= 0x391 && c <= 0x3A9) || (c >= 0x386 && c <= 0x38F)) return cased(Script::Greek, true);
    if (c >= 0x3AC && c <= 0x3CE) return cased(Script::Greek, false);
    if ((c >= 0x410 && c <= 0x42F) || c == 0x401 || c == 0x404 || c == 0x406 || c == 0x407 ||
        c == 0x490)
        return cased(Script::Cyrillic, true);
    if ((c >= 0x430 && c <= 0x44F) || c == 0x451 || c == 0x454 || c == 0x456 || c == 0x457 ||
        c == 0x491)
        return cased(Script::Cyrillic, false);
    if (c >= 0x5D0 && c <= 0x5EA) return {Script::Hebrew, Case::None, 2, false};
    if (c >= 0x621 && c <= 0x64A) return {Script::Arabic, Case::None, 2, false};
    if ((c >= 0xE01 && c <= 0xE3A) || (c >= 0xE40 && c <= 0xE4E))
        return {Script::Thai, Case::None, 2, false};
    if ((c >= 0x3041 && c <= 0x3096) || (c >= 0x30A1 && c <= 0x30FA) || c == 0x30FC)
        return {Script::Kana, Case::None, 3, false};
    if (c >= 0x4E00 && c <= 0x9FFF) return {Script::Han, Case::None, 2, false};
    if (c >= 0xAC00 && c <= 0xD7A3) return {Script::Hangul, Case::None, 2.5, false};
    // Punctuation names do hold: dashes, quotes, ellipsis, the euro and
    // numero signs, CJK punctuation and full-width ASCII.
    if ((c >= 0x2010 && c <= 0x2026) || c == 0x20AC || c == 0x2116 || c == 0xA0 || c == 0xAB ||
        c == 0xBB || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF5E))
        return {};
    return {Script::None, Case::None, 0, true};
}

// The code points of valid UTF-8.
std::u32string codePoints(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += cp;
        i += std::size_t(len);
    }
    return out;
}

bool bicameral(Script s) {
    return s == Script::Latin || s == Script::Cyrillic || s == Script::Greek;
}

// The score per byte of a decoded name, 0 when it does not read plausibly.
// `rawBytes`: the length of the name on disk; `chinese`: read through a
// Chinese code page, where kana come only of misread Japanese.
double nameScore(std::string_view text, std::size_t rawBytes, bool chinese) {
    const std::u32string cps = codePoints(text);
    double weight = 0;
    unsigned scripts = 0; // one bit per script met
    CharClass prev;
    bool prevAscii = false, prevLetter = false;
    int latinRun = 0;
    std::size_t asciiChars = 0;
    for (char32_t c : cps) {
        const CharClass k = classify(c);
        if (k.bad) return 0;
        const bool ascii = c < 0x80, letter = k.letterCase != Case::None || k.weight > 0;
        if (k.script != Script::None) scripts |= 1u << unsigned(k.script);
        // A capital after a lower-case letter, where either is not ASCII
        // (camel case in ASCII is common and says nothing).
        if (prevLetter && prev.letterCase == Case::Lower && k.letterCase == Case::Upper &&
            (!ascii || !prevAscii))
            return 0;
        // A Cyrillic or Greek letter glued to a Latin one.
        if (prevLetter && letter && ascii != prevAscii &&
            ((!ascii && k.script != Script::Latin && bicameral(k.script)) ||
             (!prevAscii && prev.script != Script::Latin && bicameral(prev.script))))
            return 0;
        // Accented Latin letters come one or two at a time between plain ones.
        latinRun = k.script == Script::Latin ? latinRun + 1 : 0;
        if (latinRun > 2) return 0;
        if (k.script == Script::Kana && chinese) return 0;
        asciiChars += ascii;
        weight += k.weight;
        prev = k;
        prevAscii = ascii;
        prevLetter = letter;
    }
    // One script to a name; Japanese writes Han characters among kana, and
    // Korean names rarely hold Han ones (a misreading makes them).
    const unsigned others = scripts & ~(1u << unsigned(Script::Han));
    if ((others & (others - 1)) != 0) return 0;
    if ((scripts & (1u << unsigned(Script::Han))) && others != 0 &&
        others != (1u << unsigned(Script::Kana)))
        return 0;
    // Per byte of the characters outside ASCII: a double-byte reading that
    // takes an ASCII letter as the second byte of a character weighs by both.
    const std::size_t bytes = rawBytes > asciiChars ? rawBytes - asciiChars : 0;
    return bytes ? weight / double(bytes) : 0;
}

} // namespace

const std::vector<std::string>& candidateNameEncodings() {
    // CP932 rather than SHIFT_JIS: iconv's SHIFT_JIS reads "\" and "~" as
    // the yen sign and the overline, and names written on Windows use CP932.
    // GB18030 before EUC-JP: both read most GB2312 and EUC-JP byte pairs as
    // Han characters, and only kana (which a Chinese reading refuses) tell
    // them apart.
    static const std::vector<std::string> list{"KOI8-R", "CP1251", "CP866",      "ISO-8859-5",
                                               "CP932",  "EUC-KR", "GB18030",    "EUC-JP",
                                               "BIG5",   "CP1252", "ISO-8859-2", "ISO-8859-7"};
    return list;
}

std::optional<EncodingGuess> guessNameEncoding(const std::vector<std::string_view>& names) {
    std::vector<std::string_view> sample;
    std::unordered_set<std::string_view> seen;
    for (std::string_view n : names) {
        if (sample.size() >= kMaxSampled) break;
        if (!isValidUtf8(n) && seen.insert(n).second) sample.push_back(n);
    }
    if (sample.empty()) return std::nullopt;
    std::optional<EncodingGuess> best;
    double bestScore = 0;
    for (const std::string& encoding : candidateNameEncodings()) {
        auto decoder = NameDecoder::open(encoding);
        if (!decoder) continue; // an iconv without this code page
        EncodingGuess guess{encoding, 0, sample.size()};
        double score = 0;
        for (std::string_view raw : sample) {
            const auto text = decoder->decode(raw);
            const bool chinese = encoding == "GB18030" || encoding == "BIG5";
            const double s = text ? nameScore(*text, raw.size(), chinese) : 0;
            score += s;
            guess.plausible += s > 0;
        }
        // Most plausible names first; the score decides among equals, and
        // the earlier candidate a tie.
        if (guess.plausible > 0 && (!best || guess.plausible > best->plausible ||
                                    (guess.plausible == best->plausible && score > bestScore))) {
            best = guess;
            bestScore = score;
        }
    }
    return best;
}

namespace {

template <class Visit> void forEachName(const Catalog& catalog, Visit visit) {
    for (const CatalogEntry& e : catalog.FolderList())
        if (!visit(e.name.view())) return;
    for (const CatalogEntry& e : catalog.FileList())
        if (!visit(e.name.view())) return;
}

} // namespace

std::optional<EncodingGuess> guessNameEncoding(const Catalog& catalog) {
    std::vector<std::string_view> names;
    forEachName(catalog, [&](std::string_view n) {
        if (!isValidUtf8(n)) names.push_back(n);
        return names.size() < 4 * kMaxSampled; // repeats are dropped later
    });
    return guessNameEncoding(names);
}

bool hasNonUtf8Names(const Catalog& catalog) {
    bool found = false;
    forEachName(catalog, [&](std::string_view n) { return !(found = !isValidUtf8(n)); });
    return found;
}

} // namespace dorvak
