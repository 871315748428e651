#pragma once
// Shared pieces of the command-line front end: argument scanning, JSON
// output of raw names, the terminal progress bar and volume selection.

#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "volume/volume_table.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvak::cli {

// Exit statuses shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitFatal = 2;
inline constexpr int kExitPartial = 3;

class Args {
public:
    Args(int argc, char** argv, int first);
    // Removes and returns the value of `--name VALUE` (last one wins).
    std::optional<std::string> option(const std::string& name);
    std::vector<std::string> options(const std::string& name);
    bool flag(const std::string& name);
    // What is left after options were taken: positional arguments. Unknown
    // options left over are reported by `unknownOption`.
    const std::vector<std::string>& rest() const { return rest_; }
    std::optional<std::string> unknownOption() const;

private:
    std::vector<std::string> rest_;
};

bool parseNumber(const std::string& text, std::uint64_t& value);

// A JSON string literal of raw bytes: valid UTF-8 is kept, every other byte
// becomes \udcXX (XX its value), so the bytes can be rebuilt exactly.
std::string jsonString(const std::string& bytes);

// Progress on stderr, redrawn at most ten times a second, only on a terminal.
class TerminalProgress : public ProgressSink {
public:
    explicit TerminalProgress(bool quiet);
    ~TerminalProgress() override;
    void status(const std::string& text) override;
    void percent(unsigned value) override;
    void currentSector(std::uint64_t sector) override;
    void foldersFound(std::uint32_t count) override;
    void filesFound(std::uint32_t count) override;
    void volumesFound(std::uint32_t count) override;
    void finish();

private:
    void draw(bool force);
    bool enabled_;
    bool drawn_ = false;
    std::string status_;
    unsigned percent_ = 0;
    std::uint64_t sector_ = 0;
    std::uint32_t folders_ = 0, files_ = 0, volumes_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

// Opens SOURCE read-only into `reader`; prints the reason on failure.
bool openSource(SectorReader& reader, const std::string& path);

// The volume options of a command: --volume N (of the partition table walk,
// 0 by default) or --start-sector S (probed directly). Taken from the
// arguments before the positional ones are checked.
struct VolumeChoice {
    std::optional<std::string> startSector;
    std::optional<std::string> index;
};
VolumeChoice takeVolumeChoice(Args& args);

// --stats: what the reader asked of the source, one JSON line on stderr.
void printReadStats(const SectorReader& reader);

// The chosen volume; prints the reason when there is none.
std::optional<VolumeInfo> chooseVolume(SectorReader& reader, const VolumeChoice& choice);

} // namespace dorvak::cli
