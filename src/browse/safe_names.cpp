#include "browse/safe_names.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace dorvak {
namespace {

// An extension worth keeping when a name is shortened or numbered: the part
// from the last dot, when that dot is not the first byte and the part is short.
constexpr std::size_t kMaxExtension = 32;

std::size_t extensionStart(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot > kMaxExtension)
        return name.size();
    return dot;
}

// Largest cut <= want that does not fall inside a "%XX" escape.
std::size_t escapeSafeCut(const std::string& s, std::size_t want) {
    want = std::min(want, s.size());
    for (std::size_t back = 1; back <= 2 && back <= want; ++back)
        if (s[want - back] == '%') return want - back;
    return want;
}

std::uint32_t fnv1a(std::string_view s) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : s)
        h = (h ^ c) * 16777619u;
    return h;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Fits stem + suffix + extension into `limit` bytes by cutting the stem.
std::string fitted(const std::string& name, const std::string& suffix,
                   std::size_t limit = kNameMax) {
    std::size_t ext = extensionStart(name);
    if (name.size() - ext + suffix.size() >= limit) ext = name.size(); // no room to keep it
    std::string stem = name.substr(0, ext);
    const std::string extension = name.substr(ext);
    const std::size_t room = limit - suffix.size() - extension.size();
    if (stem.size() > room) stem.resize(escapeSafeCut(stem, room));
    return stem + suffix + extension;
}

void escapeByte(std::string& out, unsigned char c) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02X", c);
    out += hex;
}

std::string shortened(std::string_view raw, const std::string& escaped, std::size_t limit) {
    if (escaped.size() <= limit) return escaped;
    char mark[16];
    std::snprintf(mark, sizeof mark, "%%~%08x", fnv1a(raw));
    return fitted(escaped, mark, limit);
}

} // namespace

std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t len;
    std::uint32_t cp;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

std::string portableName(std::string_view raw, std::size_t maxBytes) {
    maxBytes = std::clamp<std::size_t>(maxBytes, 16, kNameMax);
    if (raw.empty() || raw == "." || raw == "..") return safeName(raw);
    static constexpr char kRefused[] = ":?*\"<>|\\/%";
    std::string out;
    for (std::size_t i = 0; i < raw.size();) {
        const auto c = static_cast<unsigned char>(raw[i]);
        const std::size_t len = utf8Length(raw, i);
        const bool last = i + 1 == raw.size();
        if (len == 0 || c < 0x20 || c == 0x7F || (c != 0 && std::strchr(kRefused, c)) ||
            (last && (c == '.' || c == ' '))) {
            escapeByte(out, c);
            ++i;
            continue;
        }
        out.append(raw, i, len);
        i += len;
    }
    return shortened(raw, out, maxBytes);
}

std::string safeName(std::string_view raw) {
    if (raw.empty()) return "%";
    if (raw == ".") return "%2E";
    if (raw == "..") return "%2E%2E";
    std::string out;
    out.reserve(raw.size());
    for (char c : raw) {
        if (c == '/')
            out += "%2F";
        else if (c == '\0')
            out += "%00";
        else if (c == '%')
            out += "%25";
        else
            out += c;
    }
    return shortened(raw, out, kNameMax);
}

std::optional<std::string> originalName(const std::string& safe) {
    if (safe == "%") return std::string();
    std::string out;
    for (std::size_t i = 0; i < safe.size(); ++i) {
        if (safe[i] != '%') {
            if (safe[i] == '/' || safe[i] == '\0') return std::nullopt;
            out += safe[i];
            continue;
        }
        if (i + 2 >= safe.size()) return std::nullopt;
        const int hi = hexValue(safe[i + 1]), lo = hexValue(safe[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt; // "%~": a shortened name
        out += char(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string numberedName(const std::string& safe, unsigned n) {
    return fitted(safe, " (" + std::to_string(n) + ")");
}

} // namespace dorvak
