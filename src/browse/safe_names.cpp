#include "browse/safe_names.h"

#include <cstdint>
#include <cstdio>

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

std::uint32_t fnv1a(const std::string& s) {
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

// Fits stem + suffix + extension into NAME_MAX by cutting the stem.
std::string fitted(const std::string& name, const std::string& suffix) {
    const std::size_t ext = extensionStart(name);
    std::string stem = name.substr(0, ext);
    const std::string extension = name.substr(ext);
    const std::size_t room = kNameMax - suffix.size() - extension.size();
    if (stem.size() > room) stem.resize(escapeSafeCut(stem, room));
    return stem + suffix + extension;
}

} // namespace

std::string safeName(const std::string& raw) {
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
    if (out.size() <= kNameMax) return out;
    char mark[16];
    std::snprintf(mark, sizeof mark, "%%~%08x", fnv1a(raw));
    return fitted(out, mark);
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
