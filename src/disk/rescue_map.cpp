#include "disk/rescue_map.h"

#include "disk/unique_fd.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvak {
namespace {

constexpr std::uint64_t kMaxPosition = std::uint64_t(std::numeric_limits<std::int64_t>::max());

bool isBlockStatus(char c) {
    return c == kNonTried || c == kNonTrimmed || c == kNonScraped || c == kBadSector ||
           c == kFinished;
}

// A C integer as ddrescue reads it (strtoll with base 0): 0x hex, a leading
// 0 octal, else decimal. No sign: positions and sizes are never negative.
std::optional<std::uint64_t> parseNumber(std::string_view word) {
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    } else if (word.size() > 1 && word[0] == '0') {
        base = 8;
        word.remove_prefix(1);
    }
    if (word.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : word) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : 99;
        if (digit >= base || value > (kMaxPosition - std::uint64_t(digit)) / std::uint64_t(base))
            return std::nullopt;
        value = value * std::uint64_t(base) + std::uint64_t(digit);
    }
    return value;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r')
            ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string hex(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08" PRIX64, value);
    return text;
}

} // namespace

IoResult<RescueMap> RescueMap::parse(std::string_view text) {
    RescueMap map;
    bool statusSeen = false;
    std::uint64_t end = 0; // where the previous block ended
    std::size_t lineNumber = 0;
    auto fail = [&](const std::string& why) -> IoResult<RescueMap> {
        return IoError{0, "line " + std::to_string(lineNumber) + ": " + why};
    };
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t cut = text.find('\n');
        const std::string_view line = text.substr(0, cut);
        text.remove_prefix(cut == std::string_view::npos ? text.size() : cut + 1);
        const auto w = words(line);
        if (w.empty() || w[0][0] == '#') continue;
        if (!statusSeen) {
            // current_pos current_status [current_pass]
            const auto pos = parseNumber(w[0]);
            if (!pos || w.size() < 2 || w.size() > 3 || w[1].size() != 1 ||
                (!isBlockStatus(w[1][0]) && w[1][0] != 'F' && w[1][0] != 'G'))
                return fail("not the current position and status of a mapfile");
            map.currentPos = *pos;
            map.currentStatus = w[1][0];
            if (w.size() == 3) {
                const auto pass = parseNumber(w[2]);
                if (!pass || *pass > 1000) return fail("not a pass number");
                map.currentPass = int(*pass);
            }
            statusSeen = true;
            continue;
        }
        if (w.size() != 3) return fail("not a block (position, size, status)");
        const auto pos = parseNumber(w[0]);
        const auto size = parseNumber(w[1]);
        if (!pos || !size || *size > kMaxPosition - *pos) return fail("not a position and size");
        if (w[2].size() != 1 || !isBlockStatus(w[2][0])) return fail("unknown block status");
        if (*pos < end) return fail("the block overlaps or precedes the one before it");
        end = *pos + *size;
        if (*size > 0) map.blocks_.emplace(*pos, Extent{*size, w[2][0]});
    }
    if (!statusSeen) {
        lineNumber = 0;
        return fail("no current position and status: not a mapfile");
    }
    return map;
}

IoResult<RescueMap> RescueMap::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int code = errno;
        return IoError{code, "Cannot read the map " + path + ": " + std::strerror(code)};
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        const int code = errno;
        return IoError{code, "Cannot read the map " + path + ": " + std::strerror(code)};
    }
    auto map = parse(text.str());
    if (!map) return IoError{0, "Cannot read the map " + path + ": " + map.error().text};
    return map;
}

std::string RescueMap::format() const {
    std::string out = "# Mapfile. Created by dorvak-reiserfs\n"
                      "# current_pos  current_status  current_pass\n";
    out += hex(currentPos) + "     " + currentStatus + "               " +
           std::to_string(currentPass) + "\n#      pos        size  status\n";
    for (const MapBlock& b : blocks())
        out += hex(b.pos) + "  " + hex(b.size) + "  " + b.status + "\n";
    return out;
}

IoResult<> RescueMap::save(const std::string& path) const {
    const std::string text = format();
    std::string temp = path + ".tmp-XXXXXX";
    UniqueFd fd(::mkstemp(temp.data()));
    auto fail = [&](const char* what) -> IoResult<> {
        const int code = errno;
        if (fd.valid()) ::unlink(temp.c_str());
        return IoError{code,
                       "Cannot write the map " + path + ": " + what + ": " + std::strerror(code)};
    };
    if (!fd.valid()) return fail("cannot create a file beside it");
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("write");
        done += std::size_t(n);
    }
    // mkstemp makes it private; a map is no secret.
    ::fchmod(fd.get(), 0644);
    if (::fsync(fd.get()) != 0) return fail("sync");
    if (::rename(temp.c_str(), path.c_str()) != 0) return fail("rename");
    return {};
}

void RescueMap::splitAt(std::uint64_t pos) {
    auto it = blocks_.upper_bound(pos);
    if (it == blocks_.begin()) return;
    --it;
    const std::uint64_t start = it->first;
    Extent& e = it->second;
    if (start == pos || start + e.size <= pos) return;
    const std::uint64_t tail = start + e.size - pos;
    e.size = pos - start;
    blocks_.emplace(pos, Extent{tail, e.status});
}

void RescueMap::mergeAround(std::uint64_t pos) {
    auto it = blocks_.find(pos);
    if (it == blocks_.end()) return;
    auto next = std::next(it);
    if (next != blocks_.end() && next->second.status == it->second.status &&
        it->first + it->second.size == next->first) {
        it->second.size += next->second.size;
        blocks_.erase(next);
    }
    if (it != blocks_.begin()) {
        auto prev = std::prev(it);
        if (prev->second.status == it->second.status &&
            prev->first + prev->second.size == it->first) {
            prev->second.size += it->second.size;
            blocks_.erase(it);
        }
    }
}

void RescueMap::set(std::uint64_t pos, std::uint64_t size, char status) {
    if (size == 0 || pos > kMaxPosition || size > kMaxPosition - pos) return;
    splitAt(pos);
    splitAt(pos + size);
    blocks_.erase(blocks_.lower_bound(pos), blocks_.lower_bound(pos + size));
    blocks_.emplace(pos, Extent{size, status});
    mergeAround(pos);
}

char RescueMap::statusAt(std::uint64_t pos) const {
    auto it = blocks_.upper_bound(pos);
    if (it == blocks_.begin()) return kNonTried;
    --it;
    return pos - it->first < it->second.size ? it->second.status : kNonTried;
}

bool RescueMap::finished(std::uint64_t pos, std::uint64_t size) const {
    const std::uint64_t end =
        size > kMaxPosition - std::min(pos, kMaxPosition) ? kMaxPosition : pos + size;
    auto it = blocks_.upper_bound(pos);
    if (it != blocks_.begin()) --it;
    std::uint64_t covered = pos;
    for (; covered < end && it != blocks_.end(); ++it) {
        if (it->first + it->second.size <= covered) continue;
        if (it->first > covered || it->second.status != kFinished) return false;
        covered = it->first + it->second.size;
    }
    return covered >= end;
}

std::vector<MapBlock> RescueMap::blocks() const {
    std::vector<MapBlock> out;
    for (const auto& [pos, e] : blocks_) {
        // ddrescue wants the blocks to follow each other: a gap is untried.
        if (!out.empty() && out.back().pos + out.back().size < pos) {
            const std::uint64_t gap = out.back().pos + out.back().size;
            if (out.back().status == kNonTried)
                out.back().size = pos - out.back().pos;
            else
                out.push_back({gap, pos - gap, kNonTried});
        }
        if (!out.empty() && out.back().status == e.status &&
            out.back().pos + out.back().size == pos)
            out.back().size += e.size;
        else
            out.push_back({pos, e.size, e.status});
    }
    return out;
}

std::uint64_t RescueMap::bytesIn(char status) const {
    std::uint64_t total = 0;
    for (const auto& [pos, e] : blocks_)
        if (e.status == status) total += e.size;
    return total;
}

std::vector<MapBlock> RescueMap::areas(char status, std::uint64_t begin, std::uint64_t end,
                                       std::size_t limit) const {
    std::vector<MapBlock> out;
    bool full = false; // `limit` areas found and the next does not join the last
    auto add = [&](std::uint64_t from, std::uint64_t to) {
        from = std::max(from, begin);
        to = std::min(to, end);
        if (from >= to || full) return;
        if (!out.empty() && out.back().pos + out.back().size == from)
            out.back().size += to - from;
        else if (out.size() < limit)
            out.push_back({from, to - from, status});
        else
            full = true;
    };
    std::uint64_t cursor = begin; // bytes before it are accounted for
    auto it = blocks_.upper_bound(begin);
    if (it != blocks_.begin()) --it;
    for (; it != blocks_.end() && it->first < end && !full; ++it) {
        // Enough areas, and this block cannot lengthen the last one.
        if (out.size() == limit) {
            const std::uint64_t lastEnd = out.back().pos + out.back().size;
            if (it->first > lastEnd || (it->first == lastEnd && it->second.status != status)) break;
        }
        const std::uint64_t blockEnd = it->first + it->second.size;
        if (blockEnd <= cursor) continue;
        if (status == kNonTried && it->first > cursor) add(cursor, it->first);
        if (it->second.status == status) add(it->first, blockEnd);
        cursor = std::max(cursor, blockEnd);
    }
    if (status == kNonTried && cursor < end) add(cursor, end);
    return out;
}

std::optional<MapBlock> RescueMap::firstArea(char status, std::uint64_t begin,
                                             std::uint64_t end) const {
    auto found = areas(status, begin, end, 1);
    if (found.empty()) return std::nullopt;
    return found.front();
}

} // namespace dorvak
