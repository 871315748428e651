#include "cli/cli_util.h"

#include "browse/safe_names.h"
#include "disk/disk_table.h"
#include "reiserfs/structures.h"
#include "volume/partition_walk.h"

#include <array>
#include <cstdio>
#include <iostream>

namespace dorvak::cli {

std::string jsonString(std::string_view bytes) {
    std::string out;
    appendJsonString(out, bytes);
    return out;
}

void appendJsonString(std::string& out, std::string_view bytes) {
    out += '"';
    char hex[16];
    for (std::size_t i = 0; i < bytes.size();) {
        // Plain printable ASCII goes in as one run.
        std::size_t plain = i;
        while (plain < bytes.size()) {
            const auto c = static_cast<unsigned char>(bytes[plain]);
            if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') break;
            ++plain;
        }
        if (plain > i) {
            out.append(bytes, i, plain - i);
            i = plain;
            continue;
        }
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
    out += '"';
}

std::shared_ptr<const RescueMap> loadRescueMap(const std::string& path) {
    auto loaded = RescueMap::load(path);
    if (!loaded) {
        std::cerr << loaded.error().text << "\n";
        return nullptr;
    }
    return std::make_shared<const RescueMap>(std::move(*loaded));
}

bool openSource(SectorReader& reader, const std::string& path,
                const std::optional<std::string>& map) {
    if (auto opened = reader.OpenSelectedDisk(path); !opened) {
        std::cerr << opened.error().text << "\n";
        return false;
    }
    if (map) {
        auto loaded = loadRescueMap(*map);
        if (!loaded) return false;
        reader.setRescueMap(std::move(loaded));
    }
    // A first sector the map says is bad is not tried: the rest may hold a
    // volume all the same.
    const bool mappedBad = reader.rescueMap() && !reader.rescueMap()->finished(0, kSectorSize);
    std::array<std::uint8_t, 512> probe{};
    if (reader.totalSectors() == 0 || (!mappedBad && !reader.ReadSectors(0, 1, probe.data()))) {
        std::cerr << "Cannot read " << path << ": no readable sectors\n";
        return false;
    }
    return true;
}

void printReadStats(const SectorReader& reader, const MountResult* mount) {
    const ReadStats s = reader.stats();
    std::cerr << "{\"requests\":" << s.requests << ",\"bytes\":" << s.bytes
              << ",\"seeks\":" << s.seeks
              << ",\"unreadableSectors\":" << reader.unreadableSectorCount();
    if (mount) std::cerr << ",\"leavesReadTwice\":" << mount->leavesReadTwice;
    std::cerr << "}\n";
}

NameDecoder nameDecoderFor(const std::optional<std::string>& encoding) {
    if (!encoding) return {};
    auto decoder = NameDecoder::open(*encoding);
    return decoder ? std::move(*decoder) : NameDecoder();
}

std::string nameEncodingCheck(const std::string& encoding) {
    std::string error;
    return NameDecoder::open(encoding, &error) ? std::string() : error;
}

void proposeNameEncoding(const Catalog& catalog, const NameDecoder& names) {
    if (names.chosen() || !hasNonUtf8Names(catalog)) return;
    if (const auto guess = guessNameEncoding(catalog))
        std::cerr << "Some names are not UTF-8 (kept as raw bytes); they read as "
                  << guess->encoding << ": try --name-encoding " << guess->encoding << "\n";
    else
        std::cerr << "Some names are not UTF-8 (kept as raw bytes); --name-encoding ENC reads "
                     "them through the encoding ENC\n";
}

std::optional<VolumeInfo> chooseVolume(SectorReader& reader, const VolumeChoice& choice) {
    if (choice.startSector) {
        const std::uint64_t n = *choice.startSector;
        auto sb = ReadVolumeSuperblock(reader, n);
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
    if (isStackedDevice(reader.diskPath()))
        ProbeWholeVolume(reader, table);
    else
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
