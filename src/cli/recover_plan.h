#pragma once
// recover --dry-run: what a copy-out would write, worked out without writing
// anything. It follows the rules of CopyOut (browse/copy_out.h) step by step:
// the same folders and files in the same order, names made safe the same way,
// folders merged into real folders of the same name and numbered past
// anything else, files numbered, replaced or skipped by the duplicates
// setting. The destination is only looked at (fstatat, without following
// links). Failures of the destination itself (full, read-only) cannot be
// foreseen and are not; whether a folder folds letter case is known from its
// file system (the copy-out asks the folder itself), and names a destination
// shortens silently (vfat's trailing dots) are not foreseen.

#include "browse/copy_out.h"

#include <string>
#include <vector>

namespace dorvak::cli {

struct RecoveryPlan {
    CopySummary summary;                 // what the copy-out would report
    std::vector<std::string> newFolders; // folders it would create, below the destination
};

// `all`: Recover All; otherwise the folders and files of `selection`.
// `names`: as CopyOut::nameDecoder.
RecoveryPlan planRecovery(const Catalog& catalog, const RecoverySettings& settings,
                          const std::string& destination, bool all,
                          const RecoverySelection& selection, const NameDecoder* names = nullptr);

} // namespace dorvak::cli
