#pragma once
// GUID partition table: the header at LBA 1 (or its backup at the disk's
// last LBA) and its entry array, both checked by CRC32 before any entry is
// believed. Addresses are in the table's logical sectors; the caller turns
// them into 512-byte sectors.

#include "disk/bytes.h"
#include "disk/sector_reader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvak {

// CRC-32 as GPT uses it (IEEE 802.3, reflected, initial and final XOR all ones).
std::uint32_t crc32(Bytes data, std::uint32_t crc = 0);

struct GptEntry {
    std::uint32_t index = 0; // position in the entry array, from 0
    std::string typeGuid;    // "0FC63DAF-8483-4772-8E79-3D69D8477DE4"
    std::string name;        // UTF-8 from the entry's UTF-16LE name
    std::uint64_t firstLba = 0;
    std::uint64_t lastLba = 0; // inclusive
};

struct GptHeader {
    std::uint64_t myLba = 0;
    std::uint64_t alternateLba = 0;
    std::uint64_t entriesLba = 0;
    std::uint32_t entryCount = 0;
    std::uint32_t entrySize = 0;
    std::uint32_t entriesCrc = 0;
};

// Decodes and checks a header sector (signature, size, CRC). Nothing when it
// is not a sound GPT header.
std::optional<GptHeader> ReadGptHeader(Bytes sector);

// GUID bytes as text: the first three fields are little-endian.
std::string guidText(Bytes guid);
// An entry's UTF-16LE name as UTF-8, up to its first NUL; a code unit that
// does not form a character becomes U+FFFD.
std::string utf16Name(Bytes name);

struct GptTable {
    std::vector<GptEntry> entries; // used entries, in array order
    bool fromBackup = false;       // the primary header or its entries were damaged
};

// Reads the GPT of a disk whose logical sectors are `sectorSize` bytes
// (512 or 4096): the primary header at LBA 1 and its entries, else the
// backup header at the last LBA (or where the primary says it is). Nothing
// when neither is sound.
std::optional<GptTable> ReadGpt(SectorReader& reader, std::uint32_t sectorSize);

} // namespace dorvak
