#include "cli/cli_util.h"

#include "browse/safe_names.h"
#include "disk/disk_table.h"
#include "reiserfs/structures.h"
#include "volume/partition_walk.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace dorvak::cli {

std::string jsonString(std::string_view bytes) {
    std::string out;
    appendJsonString(out, bytes);
    return out;
}

namespace {

// Whether the 8 bytes of `w` all go in as they are: none is a control
// character, DEL, a quote, a backslash or past ASCII (nor, in a name in a
// path, "/" or "%"). A byte-wise test on the whole word: names are mostly
// runs of such bytes, and a listing writes every name twice.
constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
inline std::uint64_t anyZero(std::uint64_t x) {
    return (x - kOnes) & ~x & kHighs;
}
[[gnu::always_inline]] inline bool plainWord(std::uint64_t w, bool pathName) {
    std::uint64_t odd = ((w - kOnes * 0x20) & ~w & kHighs) | (w & kHighs);
    odd |= anyZero(w ^ (kOnes * '"')) | anyZero(w ^ (kOnes * '\\')) | anyZero(w ^ (kOnes * 0x7F));
    if (pathName) odd |= anyZero(w ^ (kOnes * '/')) | anyZero(w ^ (kOnes * '%'));
    return odd == 0;
}

} // namespace

char* putJsonChars(char* out, std::string_view bytes, bool pathName) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto escaped = [&](const char* lead, unsigned char c) {
        std::memcpy(out, lead, 4);
        out[4] = kHex[c >> 4];
        out[5] = kHex[c & 15];
        out += 6;
    };
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint64_t w;
        if (i + 8 <= bytes.size()) {
            std::memcpy(&w, bytes.data() + i, 8);
            if (plainWord(w, pathName)) {
                std::memcpy(out, &w, 8);
                out += 8;
                i += 8;
                continue;
            }
        } else if (bytes.size() >= 8) {
            // The last word, reaching back over bytes already written: when
            // it is plain, those went in as they are and are written again.
            const std::size_t back = i - (bytes.size() - 8);
            std::memcpy(&w, bytes.data() + bytes.size() - 8, 8);
            if (plainWord(w, pathName)) {
                std::memcpy(out - back, &w, 8);
                return out + (8 - back);
            }
        }
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (pathName && (c == '/' || c == '%')) {
            std::memcpy(out, c == '/' ? "%2F" : "%25", 3);
            out += 3;
            ++i;
        } else if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            *out++ = char(c);
            ++i;
        } else if (c == '"' || c == '\\') {
            *out++ = '\\';
            *out++ = char(c);
            ++i;
        } else if (c < 0x80) {
            escaped("\\u00", c); // a control character or DEL
            ++i;
        } else if (const std::size_t len = utf8Length(bytes, i); len == 0) {
            escaped("\\udc", c);
            ++i;
        } else {
            std::memcpy(out, bytes.data() + i, len);
            out += len;
            i += len;
        }
    }
    return out;
}

void appendJsonString(std::string& out, std::string_view bytes) {
    const std::size_t at = out.size();
    out.resize(at + 2 + kJsonCharsPerByte * bytes.size());
    char* end = out.data() + at;
    *end++ = '"';
    end = putJsonChars(end, bytes);
    *end++ = '"';
    out.resize(std::size_t(end - out.data()));
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
