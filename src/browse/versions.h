#pragma once
// The versions of a file that an Extensive mount finds (older leaves keep
// older stat data and items). A folder lists each version under the same
// name; the copy-out gives the first the plain name and numbers the rest.
// This pass decides which comes first and which are not worth listing:
//   - the live version, when there is one; otherwise the newest complete
//     version (its items cover its size): the latest modification time, and
//     on a tie the largest. A user who asks for the file gets the file, not
//     a fragment caught while it was written;
//   - a version whose bytes are a prefix of a newer complete version of the
//     same object is that file caught while it was being written: it is
//     folded (marked, and left out of its folder's list).
// Versions of different sizes are otherwise all kept.

#include "browse/file_contents.h"
#include "reiserfs/catalog.h"

#include <atomic>
#include <functional>

namespace dorvak {

struct VersionCounts {
    std::uint64_t folded = 0;
};

// Whether any folder lists two versions of one file (the same object under
// the same name). Without, the pass below has nothing to do, and a caller
// need not build the FileContents it takes (an index of every data item).
bool HasVersions(const Catalog& catalog);

// Runs after the folder tree is built. `fold` false only orders (a listing
// of every version).
VersionCounts SettleVersions(FileContents& contents, Catalog& catalog, bool fold,
                             const std::atomic<bool>& stop);
// The same, with the contents made by `contents` when the first file with
// versions needs them: indexing every data item of the volume is most of
// the pass when no folder holds two versions of a file.
VersionCounts SettleVersions(const std::function<FileContents&()>& contents, Catalog& catalog,
                             bool fold, const std::atomic<bool>& stop);

} // namespace dorvak
