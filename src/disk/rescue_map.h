#pragma once
// RescueMap: which byte ranges of a source were read, in GNU ddrescue's
// mapfile format, so that maps pass between the two programs both ways.
//
//   # comment lines, anywhere
//   0x00120000  ?  1              current_pos  current_status  [current_pass]
//   0x00000000  0x00100000  +     pos  size  status, ascending, no overlap
//
// Statuses: "?" not tried, "*" failed in a large request (not trimmed), "/"
// failed in a small request (not scraped), "-" bad sector, "+" read. Numbers
// are C integers (ddrescue writes 0x hex). Bytes no block describes are not
// tried. The reader treats everything not "+" as unreadable and never reads
// it: on a dying disk an area that failed once is not worth another head
// crash, and an area never tried is for the imaging to try, not a mount.

#include "disk/io_result.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvak {

inline constexpr char kNonTried = '?';
inline constexpr char kNonTrimmed = '*';
inline constexpr char kNonScraped = '/';
inline constexpr char kBadSector = '-';
inline constexpr char kFinished = '+';

struct MapBlock {
    std::uint64_t pos = 0;
    std::uint64_t size = 0;
    char status = kNonTried;
};

class RescueMap {
public:
    // The line that says where a run was and what it did.
    std::uint64_t currentPos = 0;
    char currentStatus = kNonTried;
    int currentPass = 1;

    // Parses a mapfile; the error ("line N: ...", code 0) says why it is not one.
    static IoResult<RescueMap> parse(std::string_view text);
    // Reads and parses `path`; the error names the file.
    static IoResult<RescueMap> load(const std::string& path);
    // The map as ddrescue writes it.
    std::string format() const;
    // Replaces `path` at once (a temporary file beside it, synced, then
    // renamed over it), so a crash leaves the old map or the new one.
    IoResult<> save(const std::string& path) const;

    // Gives [pos, pos + size) the status; neighbours of one status merge.
    void set(std::uint64_t pos, std::uint64_t size, char status);
    // Status of the byte at `pos` ("?" where no block says).
    char statusAt(std::uint64_t pos) const;
    // Whether every byte of [pos, pos + size) is "+".
    bool finished(std::uint64_t pos, std::uint64_t size) const;
    // Blocks in order of position, as they would be written.
    std::vector<MapBlock> blocks() const;
    // Total bytes of blocks in `status`.
    std::uint64_t bytesIn(char status) const;
    // The areas in `status` that overlap [begin, end), clipped to it; at
    // most `limit` of them, the first ones.
    std::vector<MapBlock> areas(char status, std::uint64_t begin, std::uint64_t end,
                                std::size_t limit = SIZE_MAX) const;
    // The first of them.
    std::optional<MapBlock> firstArea(char status, std::uint64_t begin, std::uint64_t end) const;

private:
    // pos → (size, status); blocks never overlap.
    struct Extent {
        std::uint64_t size;
        char status;
    };
    std::map<std::uint64_t, Extent> blocks_;
    void splitAt(std::uint64_t pos);
    void mergeAround(std::uint64_t pos);
};

} // namespace dorvak
