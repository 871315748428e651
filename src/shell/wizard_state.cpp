#include "shell/wizard_state.h"

#include <algorithm>

namespace dorvak {

std::optional<std::uint32_t> parseSectorField(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return std::uint32_t(value);
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

std::optional<bool> menuCommandEnabled(MenuPhase phase, Step step, int command) {
    const bool browsing = phase == MenuPhase::Browsing;
    switch (command) {
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

std::uint32_t WizardState::endSectorPreset() const {
    const DiskInfo* d = selectedDiskInfo();
    if (!d) return 0;
    return std::uint32_t(std::min<std::uint64_t>(d->totalSectors, 0xFFFFFFFFull));
}

} // namespace dorvak
