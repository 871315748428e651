#include "shell/wizard_state.h"

#include <algorithm>

namespace dorvak {

std::optional<std::uint64_t> parseSectorField(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const std::uint64_t digit = std::uint64_t(c - '0');
        // A number past 64 bits is refused rather than wrapped.
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

ScanRangeCheck validateScanRange(const std::string& startText, const std::string& endText) {
    ScanRangeCheck out;
    const auto start = parseSectorField(startText);
    if (!start) {
        out.error = kStartSectorInvalid;
        return out;
    }
    const auto end = parseSectorField(endText);
    if (!end) {
        out.error = kEndSectorInvalid;
        return out;
    }
    out.start = *start;
    out.end = *end;
    if (*end <= *start) out.error = kEndNotAboveStart;
    return out;
}

std::optional<bool> menuCommandEnabled(MenuPhase phase, Step step, int command,
                                       bool extensiveCatalog) {
    const bool browsing = phase == MenuPhase::Browsing;
    switch (command) {
    case cmd::OpenScan:
        return phase == MenuPhase::AtVolume;
    case cmd::SaveScan:
        return browsing && extensiveCatalog;
    case cmd::RecoverSelected:
    case cmd::RecoverAll:
    case cmd::ViewIcons:
    case cmd::ViewList:
    case cmd::ViewDetails:
    case cmd::FindFiles:
    case cmd::FileFilters:
    case cmd::DriveInfo:
        return browsing;
    case cmd::Settings:
        return phase == MenuPhase::Startup ? step == Step::Disk : true;
    default:
        return std::nullopt;
    }
}

bool startsWorker(int command) {
    switch (command) {
    case cmd::OpenImage:
    case cmd::CreateImage:
    case cmd::OpenScan:
    case cmd::SaveScan:
    case cmd::RecoverSelected:
    case cmd::RecoverAll:
    case cmd::FindFiles:
        return true;
    default:
        return false;
    }
}

WorkerScope::WorkerScope(WizardState& state) : state_(state) {
    state_.workerBusy = true;
    if (state_.refreshMenus) state_.refreshMenus();
}

WorkerScope::~WorkerScope() {
    state_.workerBusy = false;
    if (state_.refreshMenus) state_.refreshMenus();
}

std::uint64_t WizardState::endSectorPreset() const {
    // The search's end is exclusive: the whole disk, its last sector included.
    const DiskInfo* d = selectedDiskInfo();
    return d ? d->totalSectors : 0;
}

} // namespace dorvak
