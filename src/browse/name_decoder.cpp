#include "browse/name_decoder.h"

#include "browse/safe_names.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>

namespace dorvak {
namespace {

// Names are at most 255 bytes; no candidate encoding takes more than four
// UTF-8 bytes for one of its bytes.
constexpr std::size_t kMaxConverted = 255 * 4 + 16;

iconv_t asIconv(void* h) {
    return static_cast<iconv_t>(h);
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    // Eight bytes at a time while they are ASCII; the last eight reach back
    // over bytes tested.
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const auto ascii = [&](std::size_t at) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        return (word & kHighs) == 0;
    };
    std::size_t start = 0;
    if (bytes.size() >= 8) {
        while (start + 8 <= bytes.size() && ascii(start))
            start += 8;
        if (start + 8 > bytes.size() && ascii(bytes.size() - 8)) return true;
    }
    for (std::size_t i = start; i < bytes.size();) {
        // Runs of ASCII, most of every name, pass a byte at a time without
        // the sequence decoder (every name of a volume is tested when it is
        // listed or mounted).
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = utf8Length(bytes, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void NameDecoder::Closer::operator()(void* h) const {
    iconv_close(asIconv(h));
}

std::optional<NameDecoder> NameDecoder::open(const std::string& encoding, std::string* error) {
    // An iconv_t is a pointer; (iconv_t)-1 says the name is unknown.
    const iconv_t h = iconv_open("UTF-8", encoding.c_str());
    if (h == reinterpret_cast<iconv_t>(-1)) {
        if (error)
            *error = "Unknown name encoding " + encoding +
                     " (the names iconv --list prints are known, e.g. KOI8-R, CP1251, SHIFT_JIS)";
        return std::nullopt;
    }
    NameDecoder d;
    d.encoding_ = encoding;
    d.handle_.reset(h);
    return d;
}

std::optional<std::string> NameDecoder::decode(std::string_view raw) const {
    if (isValidUtf8(raw)) return std::string(raw);
    if (!handle_) return std::nullopt;
    char out[kMaxConverted];
    std::lock_guard<std::mutex> guard(*lock_);
    const iconv_t h = asIconv(handle_.get());
    iconv(h, nullptr, nullptr, nullptr, nullptr); // a fresh shift state for each name
    char* in = const_cast<char*>(raw.data());
    std::size_t inLeft = raw.size();
    char* to = out;
    std::size_t outLeft = sizeof out;
    // Any failure (a byte sequence the encoding does not have, a sequence cut
    // off at the end, no room) means the name is not in this encoding.
    if (iconv(h, &in, &inLeft, &to, &outLeft) == std::size_t(-1) || inLeft != 0)
        return std::nullopt;
    if (iconv(h, nullptr, nullptr, &to, &outLeft) == std::size_t(-1)) return std::nullopt;
    std::string text(out, std::size_t(to - out));
    // A decoded NUL or "/" would change what the name is as a path.
    if (text.find('\0') != std::string::npos || text.find('/') != std::string::npos ||
        !isValidUtf8(text))
        return std::nullopt;
    return text;
}

std::string NameDecoder::converted(std::string_view raw) const {
    if (!handle_) return std::string(raw);
    auto text = decode(raw);
    return text ? std::move(*text) : std::string(raw);
}

std::string NameDecoder::convertedPath(std::string_view path) const {
    if (!handle_) return std::string(path);
    std::string out;
    out.reserve(path.size() * 2);
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        out += converted(path.substr(start, slash - start));
        if (slash == std::string_view::npos) break;
        out += '/';
        start = slash + 1;
    }
    return out;
}

std::string NameDecoder::display(std::string_view raw) const {
    auto text = decode(raw);
    return text ? std::move(*text) : latin1ToUtf8(raw);
}

} // namespace dorvak
