#include "carve/byte_cursor.h"

#include <algorithm>
#include <cstring>

namespace dorvak::carve {

ByteCursor::ByteCursor(const CarveInput& in)
    : in_(in), size_(in.size()), window_(std::make_unique_for_overwrite<std::uint8_t[]>(kWindow)) {}

bool ByteCursor::fill(std::uint64_t offset, std::size_t length) {
    if (!has(offset, length) || length > kWindow) return false;
    if (offset >= start_ && offset - start_ + length <= filled_) return true;
    // A backward step (a look-back of a few bytes) keeps a little before the
    // requested offset, so that alternating reads do not refill every time.
    std::uint64_t from = offset;
    if (offset < start_ && offset >= 2048 && length <= kWindow - 2048) from = offset - 2048;
    const std::size_t want = std::size_t(std::min<std::uint64_t>(kWindow, size_ - from));
    const std::size_t got = in_.read(from, std::span<std::uint8_t>(window_.get(), want));
    start_ = from;
    filled_ = got;
    return offset - start_ + length <= filled_;
}

const std::uint8_t* ByteCursor::at(std::uint64_t offset, std::size_t length) {
    if (!fill(offset, length)) return nullptr;
    return window_.get() + (offset - start_);
}

std::span<const std::uint8_t> ByteCursor::chunk(std::uint64_t offset, std::uint64_t end) {
    end = std::min(end, size_);
    if (offset >= end) return {};
    if (!(offset >= start_ && offset < start_ + filled_) && !fill(offset, 1)) return {};
    const std::uint64_t stop = std::min<std::uint64_t>(end, start_ + filled_);
    return {window_.get() + (offset - start_), std::size_t(stop - offset)};
}

std::optional<std::uint64_t> ByteCursor::find(std::uint64_t from, std::uint64_t to,
                                              std::span<const std::uint8_t> pattern) {
    if (pattern.empty() || pattern.size() > 4096) return std::nullopt;
    to = std::min(to, size_);
    while (from < to && to - from >= pattern.size()) {
        // Each step reads a window and keeps the pattern's length minus one
        // for the next, so that a match across two windows is found.
        const std::size_t len = std::size_t(std::min<std::uint64_t>(to - from, kWindow));
        if (len < pattern.size()) break;
        const std::uint8_t* p = at(from, len);
        if (!p) break;
        // The first byte through memchr, the rest compared where it is.
        const std::size_t last = len - pattern.size();
        for (std::size_t i = 0; i <= last;) {
            const void* first = std::memchr(p + i, pattern[0], last - i + 1);
            if (!first) break;
            i = std::size_t(static_cast<const std::uint8_t*>(first) - p);
            if (std::memcmp(p + i, pattern.data(), pattern.size()) == 0) return from + i;
            ++i;
        }
        if (from + len >= to) break;
        from += len - pattern.size() + 1;
    }
    return std::nullopt;
}

} // namespace dorvak::carve
