#pragma once
// The name pattern test of Find Files and of the file filters.
//
// A text without "*" or "?" finds every name that contains it. A text with
// them is a wildcard pattern over the whole name, as shells match file
// names: "*" any run of characters (none included), "?" exactly one
// character. Letter case is ignored (ASCII letters; other bytes compare as
// they are). Every other character, "[" and "\" included, stands for
// itself: users type these patterns as names, not as shell syntax.
// "*" matches every name and "*.*" only names that hold a dot; an empty name
// or pattern matches nothing.

#include <string>
#include <string_view>

namespace dorvak {

// Upper case for the bytes of ASCII; other bytes (UTF-8 sequences included)
// stay as they are.
std::string upperCase(std::string_view text);

bool NameMatches(std::string_view name, std::string_view pattern);

} // namespace dorvak
