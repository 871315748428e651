#include "browse/liveness.h"

namespace dorvak {

LiveState liveStateOf(const VolumeMount& mount, const Catalog& catalog) {
    LiveState state;
    state.extensive = catalog.recoveryMode == RecoveryMode::Extensive;
    if (state.extensive)
        state.leafSectors.insert(mount.liveLeaves().begin(), mount.liveLeaves().end());
    return state;
}

} // namespace dorvak
