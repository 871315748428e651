#include "disk/imaging.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvak {
namespace {

constexpr std::uint64_t kSector = 512;
constexpr auto kReportInterval = std::chrono::milliseconds(200);

bool writeAll(int fd, const std::uint8_t* data, std::size_t length, std::uint64_t offset) {
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, data, length, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= std::size_t(n);
        offset += std::uint64_t(n);
    }
    return true;
}

// What the map's current-status line says each pass is doing.
char passStatus(Phase pass) {
    return pass == Phase::CopyingReadableAreas    ? kNonTried
           : pass == Phase::ReadingAroundBadAreas ? kNonTrimmed
                                                  : kNonScraped;
}

} // namespace

DiskImager::DiskImager(SectorSource& source, ImagingOptions options, std::atomic<bool>& stop,
                       ImagingSink& sink)
    : source_(source), options_(options), stop_(stop), sink_(sink) {
    options_.retries = std::max<std::uint32_t>(options_.retries, 1);
    // Requests are whole sectors, the small ones within the large ones.
    options_.largeRequest = std::max<std::uint32_t>(options_.largeRequest / 512 * 512, 512);
    options_.smallRequest =
        std::clamp<std::uint32_t>(options_.smallRequest / 512 * 512, 512, options_.largeRequest);
}

ImagingResult DiskImager::run(const std::string& imagePath, const std::string& mapPath) {
    ImagingResult result;
    if (prepare(imagePath, mapPath, result)) {
        report(true);
        for (auto pass : {&DiskImager::copyPass, &DiskImager::smallPass, &DiskImager::sectorPass}) {
            if (!(this->*pass)() || stop_.load()) break;
            save(true);
            report(true);
        }
        if (!error_ && !stop_.load()) {
            map_.currentStatus = kFinished;
            map_.currentPos = options_.size;
        }
        // What was read is kept, whatever ended the run.
        save(true);
        if (imageFd_ >= 0 && ::fsync(imageFd_) != 0) failSystem("Cannot write " + imagePath);
        result.stopped = stop_.load();
        report(true);
    }
    if (imageFd_ >= 0) ::close(imageFd_);
    imageFd_ = -1;
    if (error_) result.outcome = *error_;
    result.status = status();
    return result;
}

bool DiskImager::prepare(const std::string& imagePath, const std::string& mapPath,
                         ImagingResult& result) {
    mapPath_ = mapPath;
    const std::uint64_t sourceSize = source_.sizeBytes();
    if (options_.size == 0 || options_.size % kSector != 0 || options_.begin % kSector != 0 ||
        (sourceSize != 0 &&
         (options_.begin > sourceSize || options_.size > sourceSize - options_.begin))) {
        return fail(0, "Nothing to copy: the range lies outside the source");
    }
    struct stat st {};
    const bool imageThere = ::stat(imagePath.c_str(), &st) == 0;
    if (::access(mapPath.c_str(), F_OK) == 0) {
        auto loaded = RescueMap::load(mapPath);
        if (!loaded) return fail(loaded.error().code, loaded.error().text);
        map_ = std::move(*loaded);
        const auto all = map_.blocks();
        if (!all.empty() && all.back().pos + all.back().size > options_.size) {
            return fail(0, "The map " + mapPath + " describes more than the " +
                               std::to_string(options_.size) +
                               " bytes to copy: it belongs to another run");
        }
        if (!imageThere) {
            return fail(ENOENT, "The map " + mapPath +
                                    " belongs to an image that is not there: " + imagePath);
        }
        result.resumed = true;
    } else {
        if (imageThere && (!S_ISREG(st.st_mode) || st.st_size != 0)) {
            return fail(EEXIST,
                        imagePath +
                            " exists: give its map to resume that run, or choose a new name");
        }
        map_.set(0, options_.size, kNonTried);
    }
    imageFd_ = ::open(imagePath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (imageFd_ < 0 || ::fstat(imageFd_, &st) != 0) return failSystem("Cannot write " + imagePath);
    // Only ever a file: a device named as the image would be written over.
    if (!S_ISREG(st.st_mode)) return fail(0, "Cannot write " + imagePath + ": not a regular file");
    // Unread sectors stay holes, that is zeros.
    if (std::uint64_t(st.st_size) < options_.size &&
        ::ftruncate(imageFd_, off_t(options_.size)) != 0)
        return failSystem("Cannot write " + imagePath);
    lastSave_ = std::chrono::steady_clock::now();
    return save(true);
}

bool DiskImager::copy(std::uint64_t pos, std::uint32_t length) {
    buffer_.resize(length);
    ++requests_;
    position_ = pos;
    if (!source_.readAt(options_.begin + pos, buffer_.data(), length)) {
        ++readErrors_;
        return false;
    }
    if (!writeAll(imageFd_, buffer_.data(), length, pos))
        return failSystem("Cannot write the image");
    return true;
}

void DiskImager::mark(std::uint64_t pos, std::uint64_t length, char status) {
    map_.set(pos, length, status);
    map_.currentPos = pos;
    map_.currentStatus = passStatus(pass_);
    dirty_ = true;
    save(false);
    report(false);
}

bool DiskImager::copyPass() {
    pass_ = Phase::CopyingReadableAreas;
    const std::uint64_t large = options_.largeRequest;
    std::uint64_t pos = 0, skip = 0;
    while (!stop_.load() && !error_) {
        const auto area = map_.firstArea(kNonTried, pos, options_.size);
        if (!area) break;
        const std::uint64_t p = area->pos;
        // Aligned to the request size, so that one bad sector spoils one
        // request, not two.
        const auto length = std::uint32_t(std::min(large - p % large, area->pos + area->size - p));
        if (copy(p, length)) {
            mark(p, length, kFinished);
            skip = 0;
            pos = p + length;
        } else if (!error_) {
            mark(p, length, kNonTrimmed);
            // A bad area is rarely one request long: jump past it, further
            // each time, and leave what was jumped for the next pass.
            skip = skip == 0 ? large : std::min(skip * 2, std::max(options_.maxSkip, large));
            pos = std::min(options_.size, p + length + skip);
        }
    }
    return !error_;
}

bool DiskImager::smallPass() {
    pass_ = Phase::ReadingAroundBadAreas;
    const std::uint64_t small = options_.smallRequest;
    std::uint64_t pos = 0;
    while (!stop_.load() && !error_) {
        auto area = map_.firstArea(kNonTried, pos, options_.size);
        const auto trimmed = map_.firstArea(kNonTrimmed, pos, options_.size);
        if (!area || (trimmed && trimmed->pos < area->pos)) area = trimmed;
        if (!area) break;
        const std::uint64_t p = area->pos;
        const auto length = std::uint32_t(std::min(small - p % small, area->pos + area->size - p));
        if (copy(p, length))
            mark(p, length, kFinished);
        else if (!error_)
            mark(p, length, kNonScraped);
        pos = p + length;
    }
    return !error_;
}

bool DiskImager::sectorPass() {
    pass_ = Phase::RetryingBadSectors;
    static const std::uint8_t zeros[kSector] = {};
    std::uint64_t pos = 0;
    while (!stop_.load() && !error_) {
        const auto area = map_.firstArea(kNonScraped, pos, options_.size);
        if (!area) break;
        const std::uint64_t p = area->pos;
        bool ok = false;
        for (std::uint32_t attempt = 0; attempt < options_.retries && !ok && !error_; ++attempt)
            ok = copy(p, kSector);
        if (error_) break;
        if (!ok && !writeAll(imageFd_, zeros, kSector, p)) {
            failSystem("Cannot write the image");
            break;
        }
        mark(p, kSector, ok ? kFinished : kBadSector);
        pos = p + kSector;
    }
    return !error_;
}

bool DiskImager::save(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && (!dirty_ || now - lastSave_ < options_.saveInterval)) return true;
    lastSave_ = now;
    dirty_ = false;
    if (auto saved = map_.save(mapPath_); !saved)
        return fail(saved.error().code, saved.error().text);
    return true;
}

bool DiskImager::fail(int code, std::string text) {
    // The first failure is what ended the run; the rest follow from it.
    if (!error_) error_ = IoError{code, std::move(text)};
    return false;
}

bool DiskImager::failSystem(const std::string& what) {
    const int code = errno;
    return fail(code, what + ": " + std::strerror(code));
}

void DiskImager::report(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastReport_ < kReportInterval) return;
    lastReport_ = now;
    sink_.progress(status());
}

ImagingStatus DiskImager::status() const {
    ImagingStatus s;
    s.pass = pass_;
    s.position = position_;
    s.size = options_.size;
    s.readErrors = readErrors_;
    s.requests = requests_;
    for (const MapBlock& b : map_.blocks()) {
        if (b.pos >= options_.size) break;
        const std::uint64_t length = std::min(b.size, options_.size - b.pos);
        if (b.status == kFinished)
            s.rescued += length;
        else if (b.status == kBadSector)
            s.badBytes += length;
        if (b.status == kNonTrimmed || b.status == kNonScraped || b.status == kBadSector)
            ++s.badAreas;
    }
    s.untried = options_.size - s.rescued - s.badBytes;
    return s;
}

} // namespace dorvak
