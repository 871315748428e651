#pragma once
// Liveness: which leaves belong to the live tree. An Extensive mount walks
// the live tree before it scans every block and marks what only the scan
// found (deleted files, older versions) as `deleted`; the copy-out also needs
// the live tree's leaves, whose items it prefers for live files. After a
// Normal mount everything is live.

#include "browse/file_contents.h"
#include "reiserfs/mount.h"

namespace dorvak {

LiveState liveStateOf(const VolumeMount& mount, const Catalog& catalog);

} // namespace dorvak
