#pragma once
// Where the HTML user guide lies. A build tree keeps it in "guide" beside
// the program; an installed program finds it in the data folder of its
// prefix (share/doc/dorvak-reiserfs/guide), reached from the program's own
// folder (bin), so that an install tree moved or unpacked elsewhere finds
// its own copy.

#include <filesystem>

namespace dorvak {

// The guide's start page ("index.html") for a program in `programDirectory`,
// or an empty path when no copy exists.
std::filesystem::path findUserGuide(const std::filesystem::path& programDirectory);
// The same for the running program (its directory from /proc/self/exe).
std::filesystem::path findUserGuide();

} // namespace dorvak
