#include "cli/cli_util.h"

#include "reiserfs/structures.h"
#include "volume/partition_walk.h"

#include <array>
#include <cstdio>
#include <iostream>

namespace dorvak::cli {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0.
std::size_t utf8Length(const std::string& s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t len;
    std::uint32_t cp;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else
        return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

std::string jsonString(const std::string& bytes) {
    std::string out = "\"";
    char hex[16];
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const std::size_t len = utf8Length(bytes, i);
        if (len == 0) {
            std::snprintf(hex, sizeof hex, "\\udc%02x", c);
            out += hex;
            ++i;
            continue;
        }
        if (len > 1) {
            out.append(bytes, i, len);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(hex, sizeof hex, "\\u%04x", c);
            out += hex;
        } else {
            out += char(c);
        }
        i += len;
    }
    return out + "\"";
}

bool openSource(SectorReader& reader, const std::string& path) {
    std::string error;
    if (!reader.OpenSelectedDisk(path, &error)) {
        std::cerr << error << "\n";
        return false;
    }
    std::array<std::uint8_t, 512> probe{};
    if (reader.totalSectors() == 0 || reader.ReadSectors(0, 1, probe.data()) != 1) {
        std::cerr << "Cannot read " << path << ": no readable sectors\n";
        return false;
    }
    return true;
}

void printReadStats(const SectorReader& reader) {
    const ReadStats s = reader.stats();
    std::cerr << "{\"requests\":" << s.requests << ",\"bytes\":" << s.bytes
              << ",\"seeks\":" << s.seeks
              << ",\"unreadableSectors\":" << reader.unreadableSectorCount() << "}\n";
}

std::optional<VolumeInfo> chooseVolume(SectorReader& reader, const VolumeChoice& choice) {
    if (choice.startSector) {
        const std::uint64_t n = *choice.startSector;
        std::array<std::uint8_t, 512> sector{};
        reader.ReadSectors(n + kSuperblockSector, 1, sector.data());
        auto sb = ReadSuperblock(sector);
        if (!sb) {
            std::cerr << "No ReiserFS superblock in the volume starting at sector " << n << "\n";
            return std::nullopt;
        }
        VolumeInfo info;
        info.name = volumeName(0);
        info.startSector = n;
        info.sectorsPerBlock = sb->blockSize / 512;
        info.rootBlock = sb->rootBlock;
        info.sectorCount = std::uint64_t(sb->blockCount) * info.sectorsPerBlock;
        return info;
    }
    const std::uint64_t n = choice.index.value_or(0);
    VolumeTable table;
    WalkPartitionTables(reader, table);
    if (n >= table.volumeCount) {
        if (table.volumeCount == 0)
            std::cerr << "No ReiserFS volume found in " << reader.diskPath() << "\n";
        else
            std::cerr << "There is no volume " << n << ": " << table.volumeCount
                      << " volume(s) found\n";
        return std::nullopt;
    }
    return table.records[n];
}

} // namespace dorvak::cli
