#include "browse/name_match.h"

namespace dorvak {

std::string upperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
}

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// The length of the character that starts at `at`: a whole UTF-8 sequence
// when one starts there, else one byte (names are raw bytes from disk and
// need not be UTF-8), so that "?" stands for one letter as the user sees it.
std::size_t charLength(std::string_view s, std::size_t at) {
    const auto lead = static_cast<unsigned char>(s[at]);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                                                        : 1;
    if (length > s.size() - at) return 1;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(s[at + k]) & 0xC0) != 0x80) return 1;
    return length;
}

// Whole-name wildcard match. On a mismatch the walk returns to the last
// "*" and lets it take one more character; earlier stars never need to
// take more, so the cost stays at most |name| x |pattern| steps.
bool wildcardMatch(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            n += charLength(name, n);
            ++p;
        } else if (p < pattern.size() && upper(pattern[p]) == upper(name[n])) {
            ++n;
            ++p;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = starN += charLength(name, starN);
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool NameMatches(std::string_view name, std::string_view pattern) {
    if (name.empty() || pattern.empty()) return false;
    if (pattern.find_first_of("*?") == std::string_view::npos)
        return upperCase(name).find(upperCase(pattern)) != std::string::npos;
    return wildcardMatch(name, pattern);
}

} // namespace dorvak
