#pragma once
// DiskImager: copies a source (a whole disk, or one volume of it) into an
// image file once, good areas first, and keeps a GNU ddrescue mapfile of
// what it has read, so that a failing disk is read as little as possible
// and a stopped run resumes where it stopped.
//
//   pass 1  untried areas ("?") in large requests; a request that fails is
//           marked "*" and the run skips ahead (the skip doubles while the
//           failures go on), leaving the skipped bytes untried;
//   pass 2  the failed and skipped areas ("*", "?") in small requests; a
//           failed one is marked "/";
//   pass 3  those ("/") sector by sector, each tried up to `retries` times;
//           a sector that never reads is "-" and zeros in the image.
//
// Map positions are byte offsets in the image (for a volume: from the
// volume's first byte), so the image and its map go together to --map.
// The map is replaced atomically as the run goes, at most once per
// `saveInterval`, and at the end of each pass and of the run.

#include "disk/io_result.h"
#include "disk/progress.h"
#include "disk/rescue_map.h"
#include "disk/sector_source.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvak {

struct ImagingOptions {
    std::uint64_t begin = 0; // first byte of the source to copy
    std::uint64_t size = 0;  // bytes to copy (a multiple of 512)
    std::uint32_t retries = 3;
    std::uint32_t largeRequest = 64 * 1024;
    std::uint32_t smallRequest = 4 * 1024;
    std::uint64_t maxSkip = 64ull << 20;
    std::chrono::milliseconds saveInterval{1000};
};

// Where a run stands, for a progress display: bytes by map status and the
// number of bad areas (blocks marked "*", "/" or "-").
struct ImagingStatus {
    Phase pass = Phase::CopyingReadableAreas;
    std::uint64_t position = 0; // map position of the last request
    std::uint64_t size = 0;
    std::uint64_t rescued = 0;  // "+"
    std::uint64_t badBytes = 0; // "-"
    std::uint64_t untried = 0;  // "?", "*" and "/": still to read
    std::uint64_t badAreas = 0;
    std::uint64_t readErrors = 0;
    std::uint64_t requests = 0;
};

class ImagingSink {
public:
    virtual ~ImagingSink() = default;
    // A few times a second, and at the end of each pass.
    virtual void progress(const ImagingStatus& /*status*/) {}
};

struct ImagingResult {
    // Done (the run went to its end or was stopped, and the map is saved),
    // or why not.
    IoResult<> outcome;
    bool stopped = false; // the stop flag ended it early
    bool resumed = false; // an existing map was taken up
    ImagingStatus status;
    bool ok() const { return outcome.ok(); }
};

class DiskImager {
public:
    DiskImager(SectorSource& source, ImagingOptions options, std::atomic<bool>& stop,
               ImagingSink& sink);
    // Copies into `imagePath` under the map `mapPath`: an existing map is
    // resumed (its image must be there); without one the image must not
    // exist yet or be empty, so nothing the user holds is overwritten.
    ImagingResult run(const std::string& imagePath, const std::string& mapPath);

private:
    bool prepare(const std::string& imagePath, const std::string& mapPath, ImagingResult& result);
    bool copyPass();
    bool smallPass();
    bool sectorPass();
    // Reads [pos, pos + length) of the map's domain into the image; false on
    // a read error (a write error sets error_ and stops the run).
    bool copy(std::uint64_t pos, std::uint32_t length);
    void mark(std::uint64_t pos, std::uint64_t length, char status);
    bool save(bool force);
    // Keeps the first failure of the run; false.
    bool fail(int code, std::string text);
    // The same for a failed system call: `what` and errno's text.
    bool failSystem(const std::string& what);
    void report(bool force);
    ImagingStatus status() const;

    SectorSource& source_;
    ImagingOptions options_;
    std::atomic<bool>& stop_;
    ImagingSink& sink_;
    RescueMap map_;
    std::string mapPath_;
    int imageFd_ = -1;
    std::optional<IoError> error_;
    std::vector<std::uint8_t> buffer_;
    Phase pass_ = Phase::CopyingReadableAreas;
    std::uint64_t position_ = 0, readErrors_ = 0, requests_ = 0;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point lastSave_{}, lastReport_{};
};

} // namespace dorvak
