#pragma once
// ScanStopHook: stops an Extensive mount at a chosen point of its block
// scan, so that tests of a stopped and resumed scan stop at the same block
// every run, whatever the machine's speed (a signal or a Stop press lands
// wherever the scan happens to be). DORVAK_STOP_SCAN_AT=P (1 to 99) sets
// the stop flag at the first block whose position is at least P percent of
// the volume; unset, the hook passes everything on and does nothing.
//
// It sits between the mount and the front end's sink: the block scan (and
// the carving pass after it) report a percent then a sector per block, the
// tree walks only sectors, so the percent alone places the scan.

#include "disk/progress.h"

#include <atomic>

namespace dorvak {

class ScanStopHook : public ProgressSink {
public:
    ScanStopHook(ProgressSink& inner, std::atomic<bool>& stop);
    // The sink to give the mount: this hook when the variable is set, else
    // `inner` itself.
    ProgressSink& sink() { return at_ ? *this : inner_; }

    void phase(Phase p) override { inner_.phase(p); }
    void scanPosition(std::uint64_t scanned, std::uint64_t total) override {
        inner_.scanPosition(scanned, total);
    }
    void percent(unsigned value) override;
    void currentSector(std::uint64_t sector) override { inner_.currentSector(sector); }
    void foldersFound(std::uint32_t count) override { inner_.foldersFound(count); }
    void filesFound(std::uint32_t count) override { inner_.filesFound(count); }
    void lastName(std::string_view name) override { inner_.lastName(name); }
    void volumesFound(std::uint32_t count) override { inner_.volumesFound(count); }
    void nodesRead(std::uint64_t internal, std::uint64_t leaves, std::uint64_t queued) override {
        inner_.nodesRead(internal, leaves, queued);
    }

private:
    ProgressSink& inner_;
    std::atomic<bool>& stop_;
    unsigned at_ = 0; // 0: no stop
    bool fired_ = false;
};

} // namespace dorvak
