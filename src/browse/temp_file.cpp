#include "browse/temp_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvak {
namespace {

// Gathered writes are handed to the kernel in requests of this size.
constexpr std::size_t kWriteGather = 1 << 20;

std::atomic<unsigned> tempCounter{0};

// Tries fresh temporary names ending in `suffix` until `make` succeeds with
// one, and returns it. A recovered file may carry any name, these included:
// the makers never replace, so a clash (EEXIST) is a retry, never an
// overwrite. Any other failure ends the tries with `error` set; "" then.
template <class Make> std::string freshName(const char* suffix, int& error, Make make) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, ".dorvak-%ld-%u.%s", long(::getpid()),
                      tempCounter.fetch_add(1), suffix);
        if (make(name)) return name;
        if (errno != EEXIST) {
            error = errno;
            return std::string();
        }
    }
    error = EEXIST;
    return std::string();
}

} // namespace

std::unique_ptr<TempFile> TempFile::create(int dirFd, int& error) {
    int fd = -1;
    const std::string name = freshName("part", error, [&](const char* n) {
        fd = ::openat(dirFd, n, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        return fd >= 0;
    });
    if (name.empty()) return nullptr;
    return std::unique_ptr<TempFile>(new TempFile(dirFd, UniqueFd(fd), name));
}

std::unique_ptr<TempFile> TempFile::createSymlink(int dirFd, const std::string& target,
                                                  int& error) {
    const std::string name = freshName(
        "link", error, [&](const char* n) { return ::symlinkat(target.c_str(), dirFd, n) == 0; });
    if (name.empty()) return nullptr;
    return std::unique_ptr<TempFile>(new TempFile(dirFd, UniqueFd(), name));
}

std::unique_ptr<TempFile> TempFile::createHardLink(int fromDirFd, const std::string& fromPath,
                                                   int dirFd, int& error) {
    const std::string name = freshName("link", error, [&](const char* n) {
        return ::linkat(fromDirFd, fromPath.c_str(), dirFd, n, 0) == 0;
    });
    if (name.empty()) return nullptr;
    return std::unique_ptr<TempFile>(new TempFile(dirFd, UniqueFd(), name));
}

TempFile::~TempFile() {
    fd_.reset();
    if (!placed_) ::unlinkat(dirFd_, name_.c_str(), 0);
}

bool TempFile::fail(int err) {
    if (error_ == 0) error_ = err;
    return false;
}

bool TempFile::flush() {
    std::size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::pwrite(fd_.get(), pending_.data() + done, pending_.size() - done,
                                   off_t(pendingOffset_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : ENOSPC);
        done += std::size_t(n);
    }
    pending_.clear();
    return true;
}

bool TempFile::write(std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
    if (error_) return false;
    if (offset > std::uint64_t(INT64_MAX) - length) return fail(EFBIG);
    const bool follows = offset == pendingOffset_ + pending_.size();
    if (!pending_.empty() && (!follows || pending_.size() + length > kWriteGather) && !flush())
        return false;
    if (pending_.empty()) pendingOffset_ = offset;
    pending_.insert(pending_.end(), data, data + length);
    if (pending_.size() >= kWriteGather) return flush();
    return true;
}

bool TempFile::finish(std::uint64_t size, std::int64_t modifiedTime) {
    if (error_ || !flush()) return false;
    if (size > std::uint64_t(INT64_MAX)) return fail(EFBIG);
    if (::ftruncate(fd_.get(), off_t(size)) != 0) return fail(errno);
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(modifiedTime), 0}};
    if (::futimens(fd_.get(), times) != 0) return fail(errno);
    if (::close(fd_.release()) != 0) return fail(errno);
    return true;
}

bool TempFile::place(const std::string& name, bool replace) {
    error_ = 0;
    if (replace) {
        if (::renameat(dirFd_, name_.c_str(), dirFd_, name.c_str()) == 0) return placed_ = true;
        return fail(errno);
    }
    if (::renameat2(dirFd_, name_.c_str(), dirFd_, name.c_str(), RENAME_NOREPLACE) == 0)
        return placed_ = true;
    if (errno != EINVAL && errno != ENOSYS) return fail(errno);
    // A file system without RENAME_NOREPLACE, or one that refuses the name
    // (EINVAL says either): a hard link never replaces (and never follows)
    // an existing name either.
    if (::linkat(dirFd_, name_.c_str(), dirFd_, name.c_str(), 0) == 0) {
        ::unlinkat(dirFd_, name_.c_str(), 0);
        return placed_ = true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return fail(errno);
    // Nor hard links (vfat, exFAT): a plain rename once the name is seen to
    // be free, which also reports a name the file system refuses.
    struct stat st {};
    if (::fstatat(dirFd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return fail(EEXIST);
    if (::renameat(dirFd_, name_.c_str(), dirFd_, name.c_str()) == 0) return placed_ = true;
    return fail(errno);
}

} // namespace dorvak
