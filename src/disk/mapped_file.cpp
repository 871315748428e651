#include "disk/mapped_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace dorvak {
namespace {

// The copy this thread is making from a mapping: where it reads and where
// to go back to when a page of it cannot be read.
struct CopyGuard {
    sigjmp_buf resume;
    const std::uint8_t* begin;
    const std::uint8_t* end;
};
thread_local CopyGuard* activeCopy = nullptr;
struct sigaction previousBusAction {};

// The ranges of the MappedBytes in use, for the handler to find without a
// lock. A slot is free while its end is 0.
struct ZeroFillSlot {
    std::atomic<std::uintptr_t> begin{0}, end{0};
    std::atomic<bool> lost{false};
};
constexpr int kZeroFillSlots = 8;
ZeroFillSlot zeroFillSlots[kZeroFillSlots];

// Puts a page of zeros where the page at `at` could not be read, when `at`
// lies in a MappedBytes: the access that faulted is retried and reads it.
bool zeroFill(std::uintptr_t at) {
    for (ZeroFillSlot& slot : zeroFillSlots) {
        const std::uintptr_t begin = slot.begin.load();
        if (begin == 0 || at < begin || at >= slot.end.load()) continue;
        const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
        void* start = reinterpret_cast<void*>(at / page * page);
        if (::mmap(start, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
            MAP_FAILED)
            return false;
        slot.lost.store(true);
        return true;
    }
    return false;
}

void onBusError(int signal, siginfo_t* info, void* context) {
    CopyGuard* guard = activeCopy;
    const auto* at = static_cast<const std::uint8_t*>(info->si_addr);
    if (guard && at >= guard->begin && at < guard->end) siglongjmp(guard->resume, 1);
    if (zeroFill(std::uintptr_t(at))) return;
    // Not a copy of ours: as if this handler had never been installed.
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        previousBusAction.sa_sigaction(signal, info, context);
    } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(signal);
    } else {
        // Returning retries the access, which now ends the process as it
        // would have without us.
        ::sigaction(SIGBUS, &previousBusAction, nullptr);
    }
}

void catchBusErrors() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        // SA_NODEFER: the handler leaves by siglongjmp without restoring a
        // signal mask, so the signal must not be blocked while it runs.
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &previousBusAction);
    });
}

} // namespace

namespace {
// A zero-fill slot, or -1 when all are taken; claimed with a placeholder end
// first, so that no other thread takes it, and opened once its range is
// known.
int claimZeroFillSlot() {
    for (int i = 0; i < kZeroFillSlots; ++i) {
        std::uintptr_t free = 0;
        if (zeroFillSlots[i].end.compare_exchange_strong(free, 1)) return i;
    }
    return -1;
}
void openZeroFillSlot(int i, const void* base, std::size_t size) {
    ZeroFillSlot& slot = zeroFillSlots[i];
    slot.lost.store(false);
    slot.begin.store(std::uintptr_t(base));
    slot.end.store(std::uintptr_t(base) + size);
}
void freeZeroFillSlot(int i) {
    zeroFillSlots[i].begin.store(0);
    zeroFillSlots[i].end.store(0);
}
} // namespace

std::unique_ptr<MappedFile> MappedFile::map(int fd, std::uint64_t size) {
    if (fd < 0 || size == 0 || size > std::uint64_t(PTRDIFF_MAX)) return nullptr;
    catchBusErrors();
    void* base = ::mmap(nullptr, std::size_t(size), PROT_READ, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) return nullptr;
    const int slot = claimZeroFillSlot();
    if (slot >= 0) openZeroFillSlot(slot, base, std::size_t(size));
    return std::unique_ptr<MappedFile>(
        new MappedFile(static_cast<const std::uint8_t*>(base), size, slot));
}

MappedFile::~MappedFile() {
    ::munmap(const_cast<std::uint8_t*>(base_), std::size_t(size_));
    if (slot_ >= 0) freeZeroFillSlot(slot_);
}

bool MappedFile::lost() const {
    return slot_ >= 0 && zeroFillSlots[slot_].lost.load();
}

bool MappedFile::copy(std::uint64_t offset, void* out, std::size_t length) const {
    if (offset > size_ || length > size_ - offset) return false;
    CopyGuard guard;
    guard.begin = base_ + offset;
    guard.end = guard.begin + length;
    CopyGuard* const outer = activeCopy;
    if (sigsetjmp(guard.resume, 0) != 0) {
        activeCopy = outer;
        return false;
    }
    activeCopy = &guard;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(out, guard.begin, length);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    activeCopy = outer;
    return true;
}

namespace {
// False, with errno set, when madvise refused the advice.
bool advise(const std::uint8_t* base, std::uint64_t size, std::uint64_t offset,
            std::uint64_t length, int advice) {
    if (offset >= size) return true;
    length = std::min(length, size - offset);
    // madvise wants a page-aligned start.
    const auto page = std::uint64_t(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset / page * page;
    return ::madvise(const_cast<std::uint8_t*>(base + start), std::size_t(offset + length - start),
                     advice) == 0;
}
} // namespace

bool MappedFile::populate(std::uint64_t offset, std::uint64_t length) const {
#ifndef MADV_POPULATE_READ
    constexpr int MADV_POPULATE_READ = 22; // Linux 5.14
#endif
    if (slot_ < 0 || offset > size_ || length > size_ - offset) return false;
    if (advise(base_, size_, offset, length, MADV_POPULATE_READ)) return true;
    // EFAULT: a page could not be read (it would have raised SIGBUS). An
    // older kernel knows no such advice: the pages come in as they are
    // touched, and the zero-fill guard covers them.
    if (errno != EINVAL) return false;
    willNeed(offset, length);
    return true;
}

void MappedFile::willNeed(std::uint64_t offset, std::uint64_t length) const {
    advise(base_, size_, offset, length, MADV_WILLNEED);
}

void MappedFile::release(std::uint64_t offset, std::uint64_t length) const {
    // On a shared mapping of a file this drops the page table entries only.
    advise(base_, size_, offset, length, MADV_DONTNEED);
}

std::unique_ptr<MappedBytes> MappedBytes::map(int fd, std::size_t size) {
    if (fd < 0 || size == 0 || size > std::size_t(PTRDIFF_MAX)) return nullptr;
    catchBusErrors();
    const int slot = claimZeroFillSlot();
    if (slot < 0) return nullptr;
    // Every page at once: one call instead of a fault per 16 pages.
    void* base = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (base == MAP_FAILED) {
        freeZeroFillSlot(slot);
        return nullptr;
    }
    openZeroFillSlot(slot, base, size);
    return std::unique_ptr<MappedBytes>(
        new MappedBytes(static_cast<const std::uint8_t*>(base), size, slot));
}

MappedBytes::~MappedBytes() {
    ::munmap(const_cast<std::uint8_t*>(base_), size_);
    freeZeroFillSlot(slot_);
}

bool MappedBytes::lost() const {
    return zeroFillSlots[slot_].lost.load();
}

void MappedBytes::release(std::size_t offset, std::size_t length) const {
    advise(base_, size_, offset, length, MADV_DONTNEED);
}

} // namespace dorvak
