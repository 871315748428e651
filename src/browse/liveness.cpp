#include "browse/liveness.h"

namespace dorvak {

LiveState liveStateOf(const VolumeMount& mount, const Catalog& catalog) {
    LiveState state;
    state.extensive = catalog.recoveryMode == RecoveryMode::Extensive;
    if (state.extensive) state.setLeaves(mount.liveLeaves());
    return state;
}

} // namespace dorvak
