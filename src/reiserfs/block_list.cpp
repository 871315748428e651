#include "reiserfs/block_list.h"

#include "reiserfs/byte_arena.h"

#include <new>
#include <sys/mman.h>

namespace dorvak {
namespace {

// Below this a block comes from the heap: a mapping per small list (a test
// makes thousands of catalogs) would cost a system call each.
constexpr std::size_t kMappedBytes = std::size_t(256) << 10;
constexpr std::size_t kHugePageBytes = std::size_t(2) << 20;

} // namespace

void* allocateListBlock(std::size_t bytes) {
    if (bytes < kMappedBytes) return ::operator new(bytes);
    if (allocationFaultInjected()) throw std::bad_alloc();
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    // A hint: one fault then fills 2 MiB instead of 4 KiB. Without it, or
    // where the kernel has none to give, small pages.
    if (bytes >= kHugePageBytes) ::madvise(p, bytes, MADV_HUGEPAGE);
    return p;
}

void freeListBlock(void* block, std::size_t bytes) {
    if (bytes < kMappedBytes)
        ::operator delete(block);
    else
        ::munmap(block, bytes);
}

} // namespace dorvak
