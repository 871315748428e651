#pragma once
// Progress of the long commands on stderr: a bar with the percent done, the
// rate in MB/s and the time left, then what the job reports (its status,
// folders and files found). Redrawn at most ten times a second. On a terminal
// the bar is one line drawn over itself; elsewhere (--progress into a file or
// a pipe) each redraw is a line of its own.
//
// The sinks below turn the events of the core's jobs into bar updates and
// renew the stop request of a signal on each event (see StopOnSignal). The
// words for the core's phases are chosen here; they are the window's own.

#include "browse/copy_out.h"
#include "cli/cli_util.h"
#include "cli/interrupt.h"
#include "disk/progress.h"
#include "disk/volume_info.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace dorvak::cli {

// What the status part of the bar says for a phase of the core's jobs, and
// for the partition search's position in its range.
const char* phaseText(Phase phase);
std::string scanText(std::uint64_t scanned, std::uint64_t total);

class ProgressBar {
public:
    explicit ProgressBar(const ProgressOptions& options);
    ~ProgressBar() { finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool enabled() const { return enabled_; }
    // Whether the next update would draw: texts that change often (a count
    // per file found) are only worth making then.
    bool due() const;
    // A new phase of the job: the rate and the time left are measured from
    // here.
    void beginPhase();
    // `done` of `total` (total 0: not known yet); `bytes` read or written so
    // far in this phase, for the rate.
    void update(std::uint64_t done, std::uint64_t total, std::uint64_t bytes);
    void setStatus(const std::string& text) { status_ = text; }
    void setCounts(const std::string& text) { counts_ = text; }
    // Clears a terminal line so that other output starts on a clean line.
    void finish();

private:
    using Clock = std::chrono::steady_clock;
    void draw();

    bool enabled_;
    bool terminal_;
    bool drawn_ = false;
    std::string status_, counts_;
    std::uint64_t done_ = 0, total_ = 0, bytes_ = 0;
    Clock::time_point phaseStart_, last_{};
};

// The mount of list, find and recover: the tree walk by nodes read, the block
// scan by its percent and sector.
class MountProgress : public ProgressSink {
public:
    MountProgress(ProgressBar& bar, const StopOnSignal& stop, const VolumeInfo& volume)
        : bar_(bar), stop_(stop), volume_(volume) {}
    void phase(Phase phase) override { bar_.setStatus(phaseText(phase)); }
    void percent(unsigned value) override;
    void currentSector(std::uint64_t sector) override;
    void foldersFound(std::uint32_t count) override;
    void filesFound(std::uint32_t count) override;
    void nodesRead(std::uint64_t internal, std::uint64_t leaves, std::uint64_t queued) override;

private:
    void showCounts();
    void update(std::uint64_t done, std::uint64_t total, std::uint64_t bytes);
    ProgressBar& bar_;
    const StopOnSignal& stop_;
    const VolumeInfo& volume_;
    std::uint64_t walkBytes_ = 0, sector_ = 0;
    std::uint32_t folders_ = 0, files_ = 0;
    bool walked_ = false, scanning_ = false;
    bool countsChanged_ = false; // since the bar was last given them
};

// The partition search over a sector range.
class SearchProgress : public ProgressSink {
public:
    SearchProgress(ProgressBar& bar, const StopOnSignal& stop, std::uint64_t first)
        : bar_(bar), stop_(stop), first_(first) {}
    void scanPosition(std::uint64_t scanned, std::uint64_t total) override {
        bar_.setStatus(scanText(scanned, total));
    }
    void percent(unsigned value) override;
    void currentSector(std::uint64_t sector) override;
    void volumesFound(std::uint32_t count) override;

private:
    ProgressBar& bar_;
    const StopOnSignal& stop_;
    std::uint64_t first_, sector_ = 0;
};

// The copy-out of recover, by bytes of the files written.
class CopyProgress : public CopyProgressSink {
public:
    CopyProgress(ProgressBar& bar, const StopOnSignal& stop) : bar_(bar), stop_(stop) {}
    void copyProgress(const CopyProgressEvent& e) override;

private:
    ProgressBar& bar_;
    const StopOnSignal& stop_;
};

} // namespace dorvak::cli
