#include "cli/progress_bar.h"

#include <cstdio>
#include <unistd.h>

namespace dorvak::cli {
namespace {

constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr unsigned kBarWidth = 20;

std::string clockText(double seconds) {
    const auto s = static_cast<unsigned long long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", s / 60, s % 60);
    return text;
}

} // namespace

const char* phaseText(Phase phase) {
    switch (phase) {
    case Phase::MountingVolume:
        return "Mounting volume, please wait...";
    case Phase::SearchingLostData:
        return "Searching Lost Data ...";
    case Phase::CreatingTreeStructure:
        return "Creating Tree Structure, Please wait";
    case Phase::ReadingSavedScan:
        return "Reading the saved scan, please wait...";
    case Phase::CopyingReadableAreas:
        return "Copying the readable areas";
    case Phase::ReadingAroundBadAreas:
        return "Reading around the bad areas";
    case Phase::RetryingBadSectors:
        return "Retrying the bad sectors";
    }
    return "";
}

std::string scanText(std::uint64_t scanned, std::uint64_t total) {
    return "Scanning sector " + std::to_string(scanned) + " Of " + std::to_string(total);
}

ProgressBar::ProgressBar(const ProgressOptions& options)
    : enabled_(!options.quiet && (options.forced || ::isatty(2))), terminal_(::isatty(2)),
      phaseStart_(Clock::now()) {}

void ProgressBar::beginPhase() {
    phaseStart_ = Clock::now();
    done_ = total_ = 0;
}

bool ProgressBar::due() const {
    return enabled_ && (!drawn_ || Clock::now() - last_ >= kRedraw);
}

void ProgressBar::update(std::uint64_t done, std::uint64_t total, std::uint64_t bytes) {
    done_ = done;
    total_ = total;
    bytes_ = bytes;
    if (!enabled_) return;
    const auto now = Clock::now();
    if (drawn_ && now - last_ < kRedraw) return;
    last_ = now;
    draw();
}

void ProgressBar::draw() {
    const auto now = Clock::now();
    const double phase = std::chrono::duration<double>(now - phaseStart_).count();
    const double share = total_ ? std::min(1.0, double(done_) / double(total_)) : 0.0;
    std::string bar(std::size_t(share * kBarWidth), '#');
    bar.resize(kBarWidth, '-');
    char line[160];
    std::string left = "--:--";
    // Too early an estimate only jumps about.
    if (share > 0.0 && share < 1.0 && phase >= 0.5) left = clockText(phase * (1 - share) / share);
    const double rate = phase > 0 ? double(bytes_) / 1e6 / phase : 0.0;
    if (total_)
        std::snprintf(line, sizeof line, "[%s] %3u%%  %7.1f MB/s  %s left", bar.c_str(),
                      unsigned(share * 100), rate, left.c_str());
    else
        std::snprintf(line, sizeof line, "[%s]   ?%%  %7.1f MB/s", bar.c_str(), rate);
    std::string text = line;
    if (!counts_.empty()) text += "  " + counts_;
    if (!status_.empty()) text += "  " + status_;
    if (terminal_) {
        // One line drawn over itself; \x1b[K clears what a longer one left.
        std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::finish() {
    if (drawn_ && terminal_) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
    }
    drawn_ = false;
}

void MountProgress::percent(unsigned value) {
    // After the walk, percents are those of the block scan (or the zero that
    // starts the last phase). A scan whose walk read no node (a tree of three
    // levels or fewer leaves its nodes to the scan) starts at its first step.
    if ((walked_ || value > 0) && !scanning_) {
        scanning_ = true;
        sector_ = volume_.startSector;
        bar_.beginPhase();
    }
    if (!scanning_) return;
    update(value, 100, sector_ > volume_.startSector ? (sector_ - volume_.startSector) * 512 : 0);
}

void MountProgress::currentSector(std::uint64_t sector) {
    sector_ = sector;
    stop_.renew();
}

void MountProgress::foldersFound(std::uint32_t count) {
    folders_ = count;
    showCounts();
}

void MountProgress::filesFound(std::uint32_t count) {
    files_ = count;
    showCounts();
}

// A volume of a million files would make a million texts that nobody sees:
// the counts are put into words when the bar is about to draw.
void MountProgress::showCounts() {
    countsChanged_ = true;
    if (!bar_.due()) return;
    bar_.setCounts("folders " + std::to_string(folders_) + "  files " + std::to_string(files_));
    countsChanged_ = false;
}

void MountProgress::update(std::uint64_t done, std::uint64_t total, std::uint64_t bytes) {
    if (countsChanged_) showCounts();
    bar_.update(done, total, bytes);
}

void MountProgress::nodesRead(std::uint64_t internal, std::uint64_t leaves, std::uint64_t queued) {
    walked_ = true;
    walkBytes_ = (internal + leaves) * volume_.blockSize();
    stop_.renew();
    // A tree that is one leaf is done as soon as it is read.
    update(internal ? internal : 1, internal + queued ? internal + queued : 1, walkBytes_);
}

void SearchProgress::percent(unsigned value) {
    bar_.update(value, 100, sector_ > first_ ? (sector_ - first_) * 512 : 0);
}

void SearchProgress::currentSector(std::uint64_t sector) {
    sector_ = sector;
    stop_.renew();
}

void SearchProgress::volumesFound(std::uint32_t count) {
    bar_.setCounts("volumes " + std::to_string(count));
}

void CopyProgress::copyProgress(const CopyProgressEvent& e) {
    stop_.renew();
    bar_.setCounts("files " + std::to_string(e.filesDone) + " of " + std::to_string(e.filesTotal));
    // Files and bytes count alike: a sparse file of gigabytes of holes is
    // written in a moment, a thousand small files are not.
    constexpr std::uint64_t kScale = 1000000;
    const std::uint64_t files = e.filesTotal ? e.filesDone * kScale / e.filesTotal : kScale;
    const std::uint64_t bytes =
        e.bytesTotal ? std::uint64_t(double(e.bytesDone) / double(e.bytesTotal) * kScale) : kScale;
    bar_.update(files + bytes, 2 * kScale, e.bytesDone);
}

} // namespace dorvak::cli
