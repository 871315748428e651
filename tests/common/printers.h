#pragma once
// How GoogleTest prints the core's values in test names and failure messages,
// so that a failing case says "Extensive" rather than "4-byte object <02-00
// 00-00>".

#include "reiserfs/catalog.h"

#include <ostream>

namespace dorvak {

inline void PrintTo(RecoveryMode mode, std::ostream* os) {
    *os << (mode == RecoveryMode::Normal ? "Normal" : "Extensive");
}

} // namespace dorvak
