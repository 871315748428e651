#include "browse/name_match.h"

namespace dorvak {

std::string upperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
}

namespace {

bool endsWith(std::string_view s, std::string_view r) {
    return r.size() <= s.size() && s.substr(s.size() - r.size()) == r;
}

// The pattern walk over an upper-cased name S and pattern P that holds a
// wildcard. Positions past the end of S read as a terminating zero, which
// equals no pattern character.
bool walkPattern(std::string_view S, std::string P) {
    while (P.size() >= 2 && P[P.size() - 1] == '*' && P[P.size() - 2] == '*')
        P.pop_back();
    const std::size_t n = P.size();
    auto s = [&](std::size_t j) { return j < S.size() ? S[j] : '\0'; };
    auto p = [&](std::size_t k) { return k < n ? P[k] : '\0'; };
    std::size_t i = 0, j = 0;
    std::string R;
    bool star = false;
    while (i < n) {
        const char c = P[i];
        const bool last = i + 1 == n;
        if (c == '*') {
            R.clear();
            star = true;
            if (last) return true;
            std::size_t k = i + 1;
            if (p(k) == '*' || p(k) == '?') {
                while (k < n && (P[k] == '*' || P[k] == '?'))
                    ++k;
                if (k >= n) return true;
                if (k + 1 == n) return !S.empty() && P[k] == S.back();
            }
            ++j;
            if (j >= S.size())
                return k + 1 == n && k < S.size() && S.find(P[k], k) != std::string_view::npos;
            i = k;
        } else if (c == '?' && last) {
            R += '?';
            std::string tail(S.size() > R.size() ? S.substr(S.size() - R.size()) : S);
            if (!tail.empty()) tail.back() = '?';
            return tail == R;
        } else if (c == '?') {
            if (j + 1 > n) return false;
            if (i + 2 < n && j + 1 >= S.size()) return false;
            ++j;
            ++i;
        } else if (!star) {
            if (i >= S.size() || s(j) != c) return false;
            ++j;
            ++i;
        } else if (s(j) == c) {
            if (i + 2 < n && j + 1 >= S.size()) return false;
            R += c;
            if (last) return endsWith(S, R);
            ++j;
            ++i;
        } else {
            R += c;
            if (last) return endsWith(S, R);
            const std::size_t from = j == 0 ? 0 : j - 1;
            const std::size_t at = from <= S.size() ? S.find(R, from) : std::string_view::npos;
            if (at == std::string_view::npos) return false;
            j = at + R.size();
            if (j >= S.size()) return false;
            ++i;
        }
    }
    return true;
}

} // namespace

bool NameMatches(std::string_view name, std::string_view pattern) {
    const std::string S = upperCase(name);
    const std::string P = upperCase(pattern);
    if (S.empty() || P.empty()) return false;
    const bool hasStar = P.find('*') != std::string::npos;
    const bool hasQuestion = P.find('?') != std::string::npos;
    if (!hasStar && S.size() < P.size()) return false;
    if (P == "*") return true;
    if (P == "*.*") return S.find('.') != std::string::npos;
    if (!hasStar && !hasQuestion) return S.find(P) != std::string::npos;
    return walkPattern(S, P);
}

} // namespace dorvak
