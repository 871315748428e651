#pragma once
// Writes a GUID partition table into a DiskImage: protective MBR, primary
// header and entries at LBA 1 and 2, backup entries and header at the end,
// in logical sectors of 512 or 4096 bytes.

#include "common/volume_builder.h"
#include "volume/gpt.h"

#include <array>
#include <map>
#include <string>

namespace dorvak::test {

using Guid = std::array<std::uint8_t, 16>;

// 0FC63DAF-8483-4772-8E79-3D69D8477DE4, stored with its first three fields
// little-endian.
inline constexpr Guid kLinuxDataGuid = {0xAF, 0x3D, 0xC6, 0x0F, 0x83, 0x84, 0x72, 0x47,
                                        0x8E, 0x79, 0x3D, 0x69, 0xD8, 0x47, 0x7D, 0xE4};
// EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
inline constexpr Guid kBasicDataGuid = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                        0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};

struct GptPart {
    std::uint64_t firstLba;
    std::uint64_t lastLba;
    std::u16string name;
    Guid type = kLinuxDataGuid;
};

struct GptLayout {
    std::uint32_t sectorSize = 512;
    std::uint32_t entryCount = 128;
    std::map<std::uint32_t, GptPart> parts; // by entry index; the rest unused
    bool protectiveMbr = true;
};

namespace gpt_detail {

inline std::uint32_t crcOf(const DiskImage& img, std::size_t at, std::size_t length) {
    return dorvak::crc32(Bytes(img.data.data() + at, length));
}

inline void writeHeader(DiskImage& img, const GptLayout& l, std::uint64_t my, std::uint64_t other,
                        std::uint64_t entries, std::uint64_t lastLba, std::uint32_t entriesCrc) {
    const std::size_t at = my * l.sectorSize;
    std::memcpy(img.data.data() + at, "EFI PART", 8);
    img.put32(at + 8, 0x00010000);
    img.put32(at + 12, 92);
    img.put32(at + 16, 0);
    img.put64(at + 24, my);
    img.put64(at + 32, other);
    img.put64(at + 40, 34);
    img.put64(at + 48, lastLba - 34);
    img.put64(at + 72, entries);
    img.put32(at + 80, l.entryCount);
    img.put32(at + 84, 128);
    img.put32(at + 88, entriesCrc);
    img.put32(at + 16, crcOf(img, at, 92));
}

} // namespace gpt_detail

// Both copies of the table. Returns the byte offsets of the primary header
// and of the primary entry array, for tests that damage them.
inline std::pair<std::size_t, std::size_t> writeGpt(DiskImage& img, const GptLayout& l) {
    const std::uint64_t lbas = img.data.size() / l.sectorSize;
    const std::size_t arrayBytes = std::size_t(l.entryCount) * 128;
    const std::uint64_t arrayLbas = (arrayBytes + l.sectorSize - 1) / l.sectorSize;
    const std::uint64_t backupArray = lbas - 1 - arrayLbas;
    std::vector<std::uint8_t> array(arrayBytes, 0);
    for (const auto& [index, p] : l.parts) {
        std::uint8_t* e = array.data() + std::size_t(index) * 128;
        std::memcpy(e, p.type.data(), 16);
        e[16] = std::uint8_t(index + 1); // unique GUID: anything non-zero
        for (int i = 0; i < 8; ++i) {
            e[32 + i] = std::uint8_t(p.firstLba >> (8 * i));
            e[40 + i] = std::uint8_t(p.lastLba >> (8 * i));
        }
        for (std::size_t i = 0; i < p.name.size() && i < 36; ++i) {
            e[56 + 2 * i] = std::uint8_t(p.name[i]);
            e[57 + 2 * i] = std::uint8_t(p.name[i] >> 8);
        }
    }
    img.putBytes(2 * l.sectorSize, array);
    img.putBytes(backupArray * l.sectorSize, array);
    const std::uint32_t crc = dorvak::crc32(Bytes(array.data(), array.size()));
    gpt_detail::writeHeader(img, l, 1, lbas - 1, 2, lbas - 1, crc);
    gpt_detail::writeHeader(img, l, lbas - 1, 1, backupArray, lbas - 1, crc);
    if (l.protectiveMbr)
        writePartitionTable(
            img, 0, {{0xEE, 1, std::uint32_t(std::min<std::uint64_t>(lbas - 1, 0xFFFFFFFF))}});
    return {l.sectorSize, 2 * std::size_t(l.sectorSize)};
}

} // namespace dorvak::test
