#pragma once
// Shared pieces of the command-line front end: JSON output of raw names,
// the progress bar on stderr and volume selection.

#include "browse/name_decoder.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "reiserfs/catalog.h"
#include "reiserfs/mount.h"
#include "volume/volume_table.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvak::cli {

// Exit statuses shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitFatal = 2;
inline constexpr int kExitPartial = 3;

// A JSON string literal of raw bytes: valid UTF-8 is kept, every other byte
// becomes \udcXX (XX its value), so the bytes can be rebuilt exactly.
std::string jsonString(std::string_view bytes);
// The same, appended to `out`.
void appendJsonString(std::string& out, std::string_view bytes);
// The characters between the quotes, written at `out` (room for
// kJsonCharsPerByte for each byte); returns their end. With `pathName`,
// a name as a path holds it: "/" and "%" written "%2F" and "%25" first
// (appendPathName).
inline constexpr std::size_t kJsonCharsPerByte = 6;
char* putJsonChars(char* out, std::string_view bytes, bool pathName = false);

// --quiet and --progress: progress is shown when stderr is a terminal,
// always with `forced`, never with `quiet`.
struct ProgressOptions {
    bool quiet = false;
    bool forced = false;
    bool stats = false; // --stats: the reader's requests, bytes and seeks at the end
};

// Reads the map at `path`; null after printing why it cannot be used.
std::shared_ptr<const RescueMap> loadRescueMap(const std::string& path);

// Opens SOURCE read-only into `reader`, with the map of an imaging run when
// `map` names one (--map: what it does not mark read is never read); prints
// the reason on failure.
bool openSource(SectorReader& reader, const std::string& path,
                const std::optional<std::string>& map = std::nullopt);

// The volume options of a command: --volume N (of the partition table walk,
// 0 by default) or --start-sector S (probed directly).
struct VolumeChoice {
    std::optional<std::uint64_t> startSector;
    std::optional<std::uint64_t> index;
};

// --stats: what the reader asked of the source, one JSON line on stderr.
// With `mount`, also how many leaves the walk read twice.
void printReadStats(const SectorReader& reader, const MountResult* mount = nullptr);

// --name-encoding: the decoder of the encoding (checked when the command line
// was parsed), or the default one. CLI11's check for the option is
// nameEncodingCheck: "" for a name iconv knows, else why not.
NameDecoder nameDecoderFor(const std::optional<std::string>& encoding);
std::string nameEncodingCheck(const std::string& encoding);
// When names of the volume are not UTF-8 and no encoding was chosen: one
// line on stderr that proposes the encoding they seem to be in.
void proposeNameEncoding(const Catalog& catalog, const NameDecoder& names);

// The chosen volume; prints the reason when there is none.
std::optional<VolumeInfo> chooseVolume(SectorReader& reader, const VolumeChoice& choice);

} // namespace dorvak::cli
