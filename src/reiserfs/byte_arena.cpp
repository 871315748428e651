#include "reiserfs/byte_arena.h"

#include <cstdlib>
#include <cstring>

namespace dorvak {

bool allocationFaultInjected() {
#ifdef DORVAK_ALLOCATION_FAULTS
    // Read at each new chunk (one per MiB kept), not once: a test process
    // sets it between runs.
    const char* v = std::getenv("DORVAK_FAIL_ALLOCATIONS");
    return v && std::strcmp(v, "1") == 0;
#else
    return false;
#endif
}

} // namespace dorvak
