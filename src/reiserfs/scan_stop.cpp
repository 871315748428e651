#include "reiserfs/scan_stop.h"

#include <cstdlib>

namespace dorvak {

ScanStopHook::ScanStopHook(ProgressSink& inner, std::atomic<bool>& stop)
    : inner_(inner), stop_(stop) {
#ifdef DORVAK_SCAN_STOP_HOOK
    // Read per mount, not once: a test process sets it between mounts.
    if (const char* v = std::getenv("DORVAK_STOP_SCAN_AT")) {
        char* end = nullptr;
        const unsigned long p = std::strtoul(v, &end, 10);
        if (end != v && *end == '\0' && p >= 1 && p <= 99) at_ = unsigned(p);
    }
#endif
}

void ScanStopHook::percent(unsigned value) {
    // Once: the mount clears the flag between its phases, and the lost
    // folders and the tree must still be built after the stop.
    if (!fired_ && value >= at_) {
        fired_ = true;
        stop_ = true;
    }
    inner_.percent(value);
}

} // namespace dorvak
