#include "browse/name_folding.h"

#include "disk/unique_fd.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace dorvak {
namespace {

std::atomic<unsigned> probeCounter{0};

char swapCase(char c) {
    if (c >= 'a' && c <= 'z') return char(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return char(c - 'A' + 'a');
    return c;
}

} // namespace

std::string foldedName(std::string_view name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.remove_suffix(1);
    std::string out(name);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = char(c + 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            // U+00C0 to U+00DE in two bytes, but U+00D7 (the multiplication sign).
            const auto next = static_cast<unsigned char>(out[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) out[i + 1] = char(next + 32);
            ++i;
        }
    }
    return out;
}

bool probeCaseFolding(int dirFd) {
    char name[64];
    std::snprintf(name, sizeof name, ".dorvak-%ld-%u-case-probe", long(::getpid()),
                  probeCounter.fetch_add(1));
    UniqueFd fd(::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return false;
    std::string swapped(name);
    for (char& c : swapped)
        c = swapCase(c);
    struct stat made {
    }, found{};
    const bool folds = ::fstat(fd.get(), &made) == 0 &&
                       ::fstatat(dirFd, swapped.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 &&
                       found.st_ino == made.st_ino && found.st_dev == made.st_dev;
    fd.reset();
    ::unlinkat(dirFd, name, 0);
    return folds;
}

bool knownCaseFolding(int dirFd) {
    struct statfs fs {};
    if (::fstatfs(dirFd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44UL:     // vfat, msdos
    case 0x2011BAB0UL: // exFAT
    case 0x5346544EUL: // NTFS
    case 0x7366746EUL: // ntfs3
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
        return true;
    default:
        break;
    }
    // ext4 and f2fs fold per folder (chattr +F).
    constexpr long kCaseFoldFlag = 0x40000000; // FS_CASEFOLD_FL
    int flags = 0;
    return ::ioctl(dirFd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & kCaseFoldFlag) != 0;
}

} // namespace dorvak
