#include "disk/sector_source.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace dorvak {

bool isPermissionError(int error) {
    return error == EACCES || error == EPERM;
}

IoError pastTheEnd() {
    return IoError{0, "past the end of the source"};
}

IoResult<std::unique_ptr<FileSectorSource>> FileSectorSource::open(const std::string& path) {
    // O_NONBLOCK: a FIFO or a terminal would hang the open itself; what is
    // neither a file nor a block device is refused below before any read.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        const int code = errno;
        // A device the user may not read: say what to do about it.
        return IoError{code,
                       "Cannot open " + path + ": " +
                           (isPermissionError(code) ? kPermissionDenied : std::strerror(code))};
    }
    return fromFd(std::move(fd), path);
}

IoResult<std::unique_ptr<FileSectorSource>> FileSectorSource::fromFd(UniqueFd fd,
                                                                     const std::string& name) {
    if (!fd.valid()) return IoError{EBADF, "Cannot read " + name + ": no open descriptor"};
    struct stat st {};
    std::uint64_t size = 0;
    std::uint32_t sectorSize = 0;
    if (::fstat(fd.get(), &st) != 0) {
        const int code = errno;
        return IoError{code, "Cannot read " + name + ": " + std::strerror(code)};
    }
    if (S_ISDIR(st.st_mode)) return IoError{EISDIR, "Cannot read " + name + ": it is a directory"};
    // A pipe, socket or character device has no sectors to address, and a
    // read of it may wait forever.
    if (!S_ISBLK(st.st_mode) && !S_ISREG(st.st_mode))
        return IoError{ENOTBLK,
                       "Cannot read " + name + ": it is neither a disk nor a disk image file"};
    // Reads of a disk must wait for the disk.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK)) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    if (S_ISBLK(st.st_mode)) {
        if (::ioctl(fd.get(), BLKGETSIZE64, &size) != 0) size = 0;
        int logical = 0;
        // Partition tables on the device count in these sectors.
        if (::ioctl(fd.get(), BLKSSZGET, &logical) == 0 && logical >= 512 && logical % 512 == 0 &&
            logical <= 65536)
            sectorSize = std::uint32_t(logical);
    } else {
        size = static_cast<std::uint64_t>(st.st_size);
    }
    return std::unique_ptr<FileSectorSource>(
        new FileSectorSource(std::move(fd), size, sectorSize, S_ISBLK(st.st_mode)));
}

IoResult<> FileSectorSource::readAt(std::uint64_t offset, void* buffer, std::size_t length) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        if (offset + done > static_cast<std::uint64_t>(INT64_MAX)) return pastTheEnd();
        ssize_t got =
            ::pread(fd_.get(), out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            const int code = errno;
            if (code == EINTR) continue;
            return IoError{code, std::strerror(code)};
        }
        if (got == 0) return pastTheEnd(); // not data
        done += static_cast<std::size_t>(got);
    }
    return {};
}

std::unique_ptr<MappedFile> FileSectorSource::mapImage() const {
    if (blockDevice_) return nullptr;
    return MappedFile::map(fd_.get(), size_);
}

bool FileSectorSource::readPieces(std::uint64_t offset, std::size_t length,
                                  std::span<const RunPiece> pieces) {
    if (offset > std::uint64_t(INT64_MAX) - length) return false;
    // The whole request is asked of the disk at once, as one read of it
    // would: the reads of the pieces below then wait for it, not for a
    // request of their own each (a seek on a rotating disk). In the page
    // cache this finds every page there and returns.
    ::posix_fadvise(fd_.get(), off_t(offset), off_t(length), POSIX_FADV_WILLNEED);
    // One read per stretch of pieces that follow each other without a gap;
    // IOV_MAX is 1024 on Linux.
    constexpr std::size_t kMaxVectors = 1024;
    iovec vectors[kMaxVectors];
    std::size_t count = 0, bytes = 0, end = 0;
    auto flush = [&] {
        ssize_t got = 0;
        do
            got = ::preadv(fd_.get(), vectors, int(count), off_t(offset + end - bytes));
        while (got < 0 && errno == EINTR);
        if (got < 0 || std::size_t(got) != bytes) return false;
        count = bytes = 0;
        return true;
    };
    for (const RunPiece& piece : pieces) {
        if (piece.offset < end || piece.offset > length || piece.length > length - piece.offset)
            return false;
        if (piece.length == 0) continue;
        if (count > 0 && (piece.offset != end || count == kMaxVectors) && !flush()) return false;
        vectors[count++] = iovec{piece.into, piece.length};
        bytes += piece.length;
        end = piece.offset + piece.length;
    }
    return count == 0 || flush();
}

} // namespace dorvak
