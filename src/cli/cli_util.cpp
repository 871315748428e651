#include "cli/cli_util.h"

#include "disk/disk_table.h"
#include "reiserfs/structures.h"
#include "volume/partition_walk.h"

#include <array>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace dorvak::cli {

Args::Args(int argc, char** argv, int first) {
    for (int i = first; i < argc; ++i)
        rest_.emplace_back(argv[i]);
}

std::optional<std::string> Args::option(const std::string& name) {
    auto all = options(name);
    if (all.empty()) return std::nullopt;
    return all.back();
}

std::vector<std::string> Args::options(const std::string& name) {
    std::vector<std::string> values, kept;
    for (std::size_t i = 0; i < rest_.size(); ++i) {
        if (rest_[i] == name && i + 1 < rest_.size()) {
            values.push_back(rest_[++i]);
        } else if (rest_[i].rfind(name + "=", 0) == 0) {
            values.push_back(rest_[i].substr(name.size() + 1));
        } else {
            kept.push_back(rest_[i]);
        }
    }
    rest_ = std::move(kept);
    return values;
}

bool Args::flag(const std::string& name) {
    bool found = false;
    std::vector<std::string> kept;
    for (auto& a : rest_) {
        if (a == name)
            found = true;
        else
            kept.push_back(a);
    }
    rest_ = std::move(kept);
    return found;
}

std::optional<std::string> Args::unknownOption() const {
    for (const auto& a : rest_)
        if (a.size() > 1 && a.rfind("--", 0) == 0) return a;
    return std::nullopt;
}

bool parseNumber(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const std::uint64_t next = v * 10 + std::uint64_t(c - '0');
        if (next / 10 != v) return false;
        v = next;
    }
    value = v;
    return true;
}

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

TerminalProgress::TerminalProgress(bool quiet) : enabled_(!quiet && ::isatty(2)) {}
TerminalProgress::~TerminalProgress() {
    finish();
}

void TerminalProgress::status(const std::string& text) {
    status_ = text;
    draw(true);
}
void TerminalProgress::percent(unsigned value) {
    percent_ = value;
    draw(false);
}
void TerminalProgress::currentSector(std::uint64_t s) {
    sector_ = s;
    draw(false);
}
void TerminalProgress::foldersFound(std::uint32_t n) {
    folders_ = n;
    draw(false);
}
void TerminalProgress::filesFound(std::uint32_t n) {
    files_ = n;
    draw(false);
}
void TerminalProgress::volumesFound(std::uint32_t n) {
    volumes_ = n;
    draw(true);
}

void TerminalProgress::draw(bool force) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    char line[200];
    const unsigned filled = percent_ > 100 ? 20 : percent_ / 5;
    std::snprintf(line, sizeof line,
                  "\r[%-20s] %3u%%  sector %llu  folders %u  files %u  %.60s\x1b[K",
                  std::string(filled, '#').c_str(), percent_, (unsigned long long)sector_, folders_,
                  files_, status_.c_str());
    std::fputs(line, stderr);
    drawn_ = true;
}

void TerminalProgress::finish() {
    if (drawn_) std::fputs("\r\x1b[K", stderr);
    drawn_ = false;
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

VolumeChoice takeVolumeChoice(Args& args) {
    VolumeChoice choice;
    choice.startSector = args.option("--start-sector");
    choice.index = args.option("--volume");
    return choice;
}

std::optional<VolumeInfo> chooseVolume(SectorReader& reader, const VolumeChoice& choice) {
    const auto& start = choice.startSector;
    const auto& index = choice.index;
    if (start && index) {
        std::cerr << "Give either --volume or --start-sector, not both\n";
        return std::nullopt;
    }
    std::uint64_t n = 0;
    if (start) {
        if (!parseNumber(*start, n)) {
            std::cerr << "Not a sector number: " << *start << "\n";
            return std::nullopt;
        }
        VolumeTable table;
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
    if (index && !parseNumber(*index, n)) {
        std::cerr << "Not a volume number: " << *index << "\n";
        return std::nullopt;
    }
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
