#pragma once
// Texts the views show for times and sizes, shared by the window and the
// command line.

#include <cstdint>
#include <string>

namespace dorvak {

// A ReiserFS time is unsigned 32-bit seconds since 1970-01-01 00:00 UTC, so
// it runs to the year 2106 and 0 is the epoch itself, not a missing value.
struct TimestampText {
    std::string date; // "05-Mar-2006"
    std::string time; // "09:05:07", 24-hour clock
};
// In local time.
TimestampText formatTimestamp(std::uint32_t seconds);

// The size in kibibytes rounded up: 0 bytes "0 KB", 1 byte and 1024 bytes
// "1 KB", 1025 bytes "2 KB". A size that takes any part of a kibibyte is
// never shown as less than it holds.
std::string kibibytesText(std::uint64_t bytes);

// A volume's block size in bytes ("4096 bytes") from its sectors per block.
std::string blockSizeText(std::uint32_t sectorsPerBlock);
// A volume's size from its 512-byte sector count: "8388608 sectors
// (4096 MB)", whole mebibytes rounded down as the volume list shows them.
std::string volumeSizeText(std::uint64_t sectorCount);

} // namespace dorvak
