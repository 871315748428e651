#pragma once
// The commands of dorvak-reiserfs-cli. main.cpp parses the command line into
// these option records; each command returns the process exit status.

#include "browse/recovery_settings.h"
#include "cli/cli_util.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvak::cli {

// The volume a catalog command mounts.
struct MountOptions {
    std::string source;
    std::optional<std::string> map; // --map: an imaging run's map of SOURCE
    VolumeChoice volume;
    bool extensive = false;
    bool carve = true; // Extensive: also carve files from the blocks nothing claims
    std::optional<std::string> nameEncoding;         // --name-encoding: names that are not UTF-8
    std::size_t readAheadMiB = kDefaultReadAheadMiB; // Normal: leaves held ahead of their turn
    // Extensive: list every version of a file, also those that begin a newer one.
    bool allVersions = false;
    std::optional<std::string> saveScan; // --save-scan: write what the Extensive scan found
    std::optional<std::string> loadScan; // --load-scan: read it instead of scanning
};

struct DisksOptions {
    std::vector<std::string> images;
    std::optional<std::string> map; // --map: the map of the one image given
};

struct VolumesOptions {
    std::string source;
    std::optional<std::string> map;
};

struct SearchOptions {
    std::string source;
    std::optional<std::string> map;
    std::optional<std::uint64_t> start, end;
    std::optional<std::uint32_t> run;
    ProgressOptions progress;
};

struct ListOptions {
    MountOptions mount;
    ProgressOptions progress;
    std::optional<std::string> path;    // list this folder only
    std::optional<std::uint32_t> depth; // levels below the folder (1: its own entries)
    bool deletedOnly = false;
};

struct FindOptions {
    MountOptions mount;
    ProgressOptions progress;
    std::string pattern;
};

struct RecoverOptions {
    MountOptions mount;
    ProgressOptions progress;
    std::string destination;
    std::vector<std::string> paths;
    RecoverySettings settings;
    bool dryRun = false;
    std::optional<std::string> reportFile;
};

struct ImageOptions {
    std::string source;
    std::string image;
    std::string map;
    std::optional<std::uint64_t> volume; // copy this volume only
    std::uint32_t retries = 3;
    ProgressOptions progress;
};

int cmdDisks(const DisksOptions& options);
int cmdImage(const ImageOptions& options);
int cmdVolumes(const VolumesOptions& options);
int cmdSearch(const SearchOptions& options);
int cmdList(const ListOptions& options);
int cmdFind(const FindOptions& options);
int cmdRecover(const RecoverOptions& options);

} // namespace dorvak::cli
