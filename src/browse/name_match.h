#pragma once
// The name pattern test of Find Files and of the file filters: "*" and "?"
// wildcards, letter case ignored. Its rules are those of the original
// matcher, quirks included: a pattern without "*" checks only a prefix of
// the name of its own length (A?C accepts ABCDEF), and a "?" or plain text
// after a "*" is matched against the end of the name in a way that makes
// *.T?T miss A.TXT. Users rely on the results being the ones they know.

#include <string>
#include <string_view>

namespace dorvak {

// Upper case for the bytes of ASCII; other bytes (UTF-8 sequences included)
// stay as they are.
std::string upperCase(std::string_view text);

bool NameMatches(std::string_view name, std::string_view pattern);

} // namespace dorvak
