#include "volume/gpt.h"

#include <array>
#include <cstdio>

namespace dorvak {
namespace {

// GPT header (LBA 1, backup at the last LBA), little-endian:
//    0 "EFI PART"            8 revision u32         12 header size u32
//   16 header CRC32 u32     24 my LBA u64          32 alternate LBA u64
//   40 first usable LBA     48 last usable LBA     56 disk GUID (16)
//   72 entry array LBA u64  80 entry count u32     84 entry size u32
//   88 entry array CRC32 u32
// The header CRC covers `header size` bytes with its own field as zeros.
constexpr std::size_t kMinHeaderSize = 92;

// Entry: 0 type GUID, 16 unique GUID, 32 first LBA u64, 40 last LBA u64
// (inclusive), 48 attributes u64, 56 name (36 UTF-16LE code units).
constexpr std::size_t kMinEntrySize = 128;
constexpr std::size_t kNameOffset = 56;
constexpr std::size_t kNameBytes = 72;

// The usual array is 128 entries of 128 bytes; a hostile count must not make
// us read (or allocate) the whole disk.
constexpr std::size_t kMaxEntryBytes = 1 << 20;
constexpr std::size_t kMaxEntrySize = 4096;

std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

bool isZero(Bytes b) {
    for (auto byte : b)
        if (byte != 0) return false;
    return true;
}

// Reads `count` logical sectors at `lba`; false when any of it could not be
// read (the reader zero-fills what it could not, which no CRC accepts anyway).
bool readLogical(SectorReader& reader, std::uint32_t sectorSize, std::uint64_t lba,
                 std::uint64_t count, std::vector<std::uint8_t>& out) {
    const std::uint64_t factor = sectorSize / kSectorSize;
    if (count == 0 || lba > UINT64_MAX / factor / 2) return false;
    const std::uint64_t sectors = count * factor;
    if (sectors > kMaxEntryBytes / kSectorSize + factor) return false;
    out.assign(sectors * kSectorSize, 0);
    std::vector<std::uint64_t> unreadable;
    reader.ReadSectors(lba * factor, std::uint32_t(sectors), out.data(), &unreadable);
    return unreadable.empty();
}

// The used entries of the array that `header` describes, or nothing when the
// array cannot be read or fails its CRC.
std::optional<std::vector<GptEntry>> readEntries(SectorReader& reader, std::uint32_t sectorSize,
                                                 const GptHeader& header) {
    const std::size_t bytes = std::size_t(header.entryCount) * header.entrySize;
    std::vector<std::uint8_t> array;
    if (!readLogical(reader, sectorSize, header.entriesLba, (bytes + sectorSize - 1) / sectorSize,
                     array))
        return std::nullopt;
    const Bytes all(array.data(), bytes);
    if (crc32(all) != header.entriesCrc) return std::nullopt;
    std::vector<GptEntry> entries;
    for (std::uint32_t i = 0; i < header.entryCount; ++i) {
        const Bytes e = all.subspan(std::size_t(i) * header.entrySize, header.entrySize);
        if (isZero(e.subspan(0, 16))) continue; // unused entry
        GptEntry entry;
        entry.index = i;
        entry.typeGuid = guidText(e.subspan(0, 16));
        entry.name = utf16Name(e.subspan(kNameOffset, kNameBytes));
        entry.firstLba = le64(e, 32);
        entry.lastLba = le64(e, 40);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<GptHeader> headerAt(SectorReader& reader, std::uint32_t sectorSize,
                                  std::uint64_t lba) {
    std::vector<std::uint8_t> sector;
    if (!readLogical(reader, sectorSize, lba, 1, sector)) return std::nullopt;
    auto header = ReadGptHeader(Bytes(sector.data(), sectorSize));
    if (!header || header->myLba != lba) return std::nullopt;
    return header;
}

} // namespace

std::uint32_t crc32(Bytes data, std::uint32_t crc) {
    static const auto table = makeCrcTable();
    crc = ~crc;
    for (auto byte : data)
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::optional<GptHeader> ReadGptHeader(Bytes sector) {
    static constexpr char kSignature[] = "EFI PART";
    if (!fits(sector, 0, kMinHeaderSize)) return std::nullopt;
    for (std::size_t i = 0; i < 8; ++i)
        if (sector[i] != std::uint8_t(kSignature[i])) return std::nullopt;
    const std::uint32_t size = le32(sector, 12);
    if (size < kMinHeaderSize || size > sector.size()) return std::nullopt;
    std::vector<std::uint8_t> copy(sector.begin(), sector.begin() + size);
    for (std::size_t i = 16; i < 20; ++i)
        copy[i] = 0;
    if (crc32(copy) != le32(sector, 16)) return std::nullopt;

    GptHeader h;
    h.myLba = le64(sector, 24);
    h.alternateLba = le64(sector, 32);
    h.entriesLba = le64(sector, 72);
    h.entryCount = le32(sector, 80);
    h.entrySize = le32(sector, 84);
    h.entriesCrc = le32(sector, 88);
    // 128 × 2^n bytes per entry; the array bounded so that a damaged count
    // costs no more than a small read.
    if (h.entrySize < kMinEntrySize || h.entrySize > kMaxEntrySize ||
        (h.entrySize & (h.entrySize - 1)) != 0)
        return std::nullopt;
    if (h.entryCount == 0 || std::size_t(h.entryCount) * h.entrySize > kMaxEntryBytes)
        return std::nullopt;
    return h;
}

std::string guidText(Bytes g) {
    if (!fits(g, 0, 16)) return {};
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  unsigned(le32(g, 0)), unsigned(le16(g, 4)), unsigned(le16(g, 6)), g[8], g[9],
                  g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

std::string utf16Name(Bytes name) {
    std::string out;
    const std::size_t units = name.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t u = le16(name, 2 * i);
        if (u == 0) break;
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            const std::uint32_t low = le16(name, 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
    }
    return out;
}

std::optional<GptTable> ReadGpt(SectorReader& reader, std::uint32_t sectorSize) {
    if (sectorSize < kSectorSize || sectorSize % kSectorSize != 0) return std::nullopt;
    const auto primary = headerAt(reader, sectorSize, 1);
    if (primary) {
        if (auto entries = readEntries(reader, sectorSize, *primary))
            return GptTable{std::move(*entries), false};
    }
    // The backup header sits at the disk's last LBA; a primary whose header
    // survived (only its entries are damaged) also says where.
    std::vector<std::uint64_t> candidates;
    const std::uint64_t lbas = reader.totalSectors() / (sectorSize / kSectorSize);
    if (lbas > 2) candidates.push_back(lbas - 1);
    if (primary && primary->alternateLba > 1 &&
        (candidates.empty() || primary->alternateLba != candidates[0]))
        candidates.push_back(primary->alternateLba);
    for (const std::uint64_t lba : candidates) {
        const auto backup = headerAt(reader, sectorSize, lba);
        if (!backup) continue;
        if (auto entries = readEntries(reader, sectorSize, *backup))
            return GptTable{std::move(*entries), true};
    }
    return std::nullopt;
}

} // namespace dorvak
