#pragma once
// Saved scans: what an Extensive mount found, kept in a file so that a later
// run browses and recovers without scanning the volume again (hours on a
// large disk), and so that a stopped scan can go on from where it stopped.
//
// The file holds the catalog as the mount left it (before the version pass,
// which a later run does again with its own options), the live leaves, the
// mount's counts and the scan's position. It is tied to its source: the
// source's size and a hash of its first and last MiB, and the volume's
// place, geometry and a hash of its own first and last MiB; a file whose
// identity differs is never applied.
//
// Layout (little-endian):
//    0  8  "DRVKSCAN"
//    8  4  version (3)
//   12  4  flags: 1 = the scan was stopped (partial), 2 = the catalog
//          lists versions of a file
//   16  8  source bytes
//   24  8  hash of the source's first and last MiB
//   32  8  volume start sector      40  8  volume sector count
//   48  4  sectors per block        52  4  root block
//   56  8  hash of the volume's first and last MiB
//   64  8  payload bytes            72  8  hash of the payload
//   80     payload: counts, the entries' names, folders, files, direct and
//          indirect items, carved types, runs and files, live leaves, scan
//          position (each list led by its count, so that a load sizes the
//          catalog's lists before it fills them; the records are of fixed
//          size, except the carved types: saved_scan.cpp has them)

#include "disk/bytes.h"
#include "disk/sector_reader.h"
#include "disk/volume_info.h"
#include "reiserfs/catalog.h"
#include "reiserfs/mount.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dorvak {

// 2: the hashes take four lanes. 3: the names in one run before the
// entries, which are records of fixed size. Older versions are refused, with
// the version named.
inline constexpr std::uint32_t kSavedScanVersion = 3;
inline constexpr std::size_t kSavedScanHeaderBytes = 80;

// What ties a saved scan to its source and volume.
struct ScanIdentity {
    std::uint64_t sourceBytes = 0;
    std::uint64_t sourceHash = 0;
    std::uint64_t startSector = 0;
    std::uint64_t sectorCount = 0;
    std::uint32_t sectorsPerBlock = 0;
    std::uint32_t rootBlock = 0;
    std::uint64_t volumeHash = 0;
    friend bool operator==(const ScanIdentity&, const ScanIdentity&) = default;
};

// Reads the first and last MiB of the open source and of `volume` (4 MiB at
// most, unreadable sectors as zeros).
ScanIdentity identifyScan(SectorReader& reader, const VolumeInfo& volume);

// What a saved scan holds besides the catalog.
struct SavedScan {
    ScanIdentity identity;
    bool stopped = false;
    // Whether a folder lists two versions of a file (HasVersions): a load
    // skips the version pass and its index when none does. True unless the
    // saver knows better.
    bool versions = true;
    MountResult result; // its counts; `stopped` mirrors the flag above
    std::uint64_t unreadableSectors = 0;
    std::vector<std::uint64_t> liveLeaves;
    ScanPosition position;
};

// The file's bytes: `scan` and `catalog` encoded, or a header over a payload
// given as it is (tests and fuzzing).
std::vector<std::uint8_t> encodeSavedScan(const SavedScan& scan, const Catalog& catalog);
std::vector<std::uint8_t> frameSavedScan(const SavedScan& scan, Bytes payload);
// Writes `scan` and `catalog` to `path` through a temporary file beside it,
// renamed over `path` once complete: an interrupted save leaves the old file.
bool writeSavedScan(const std::string& path, const SavedScan& scan, const Catalog& catalog,
                    std::string& error);
// Only the header: the identity and whether the scan was stopped.
bool readSavedScanHeader(const std::string& path, SavedScan& scan, std::string& error);
// The whole file. On failure `catalog` is left empty and `error` says why in
// one line.
bool readSavedScan(const std::string& path, SavedScan& scan, Catalog& catalog, std::string& error);
// The same over the bytes of a file (every count and place checked first).
bool decodeSavedScan(Bytes file, SavedScan& scan, Catalog& catalog, std::string& error);

} // namespace dorvak
