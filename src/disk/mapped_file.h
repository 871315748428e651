#pragma once
// MappedFile: a read-only mapping of a disk image file. A scan of an image
// in the page cache that reads it whole copies every byte into a buffer
// first, most of them only to look at a block's first bytes or to skip a
// gap; through the mapping it touches only the bytes it looks at.
//
// A page the file system cannot read (an I/O error under the image, or a
// file cut short while mapped) raises SIGBUS when it is touched. copy()
// catches that signal for its own accesses and fails, so that the caller
// reads the sectors the ordinary way and gets the reader's handling of bad
// sectors. A run made resident with populate() may be read in place through
// view(): its pages were all read, and should one of them be dropped and
// fail to come back, it reads as zeros instead of raising SIGBUS and lost()
// says so (the reader then stops using the mapping).

#include <cstddef>
#include <cstdint>
#include <memory>

namespace dorvak {

class MappedFile {
public:
    // Maps `size` bytes of the file open at `fd`; null when it cannot.
    static std::unique_ptr<MappedFile> map(int fd, std::uint64_t size);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::uint64_t size() const { return size_; }
    // Copies `length` bytes at `offset` into `out`. False, with `out` in an
    // unknown state, when the range is not in the file or a page of it
    // could not be read.
    bool copy(std::uint64_t offset, void* out, std::size_t length) const;
    // Makes every page of the range resident, reading what is not in the
    // page cache. False when a page cannot be read (nothing in the range
    // should then be viewed) or when this mapping gives no views.
    bool populate(std::uint64_t offset, std::uint64_t length) const;
    // The bytes of a populated range, in place; null when the range is not
    // in the file or this mapping gives no views.
    const std::uint8_t* view(std::uint64_t offset, std::size_t length) const {
        if (slot_ < 0 || offset > size_ || length > size_ - offset) return nullptr;
        return base_ + offset;
    }
    // Whether populated ranges may be viewed (the mapping got a zero-fill
    // guard; a few mappings at a time do).
    bool viewable() const { return slot_ >= 0; }
    // A page read in place was lost and read as zeros since the mapping was
    // made.
    bool lost() const;
    // Tells the kernel that the range will be read soon, so that a page not
    // in the cache is read with its neighbours, as one request would.
    void willNeed(std::uint64_t offset, std::uint64_t length) const;
    // Gives up this process's hold on the pages of the range (they stay in
    // the page cache): a page once touched counts in the process's resident
    // memory until then, and a scan touches the whole image.
    void release(std::uint64_t offset, std::uint64_t length) const;

private:
    MappedFile(const std::uint8_t* base, std::uint64_t size, int slot)
        : base_(base), size_(size), slot_(slot) {}
    const std::uint8_t* base_;
    std::uint64_t size_;
    int slot_; // its zero-fill slot; -1: no views, copies only
};

// MappedBytes: a whole file mapped privately to be read in place, for a
// reader that walks every byte of it once (a saved scan). A page that cannot
// be read (the file cut short or an I/O error while mapped) reads as zeros
// instead of raising SIGBUS, and lost() says that happened: the reader checks
// it after reading and discards what it read. At most a few such mappings
// exist at a time; map() gives null when none is free, and the caller reads
// the file the ordinary way.
class MappedBytes {
public:
    static std::unique_ptr<MappedBytes> map(int fd, std::size_t size);
    ~MappedBytes();
    MappedBytes(const MappedBytes&) = delete;
    MappedBytes& operator=(const MappedBytes&) = delete;

    const std::uint8_t* data() const { return base_; }
    std::size_t size() const { return size_; }
    bool lost() const;
    // Lets go of the pages of the range: read again from the file should
    // anything look at them later.
    void release(std::size_t offset, std::size_t length) const;

private:
    MappedBytes(const std::uint8_t* base, std::size_t size, int slot)
        : base_(base), size_(size), slot_(slot) {}
    const std::uint8_t* base_;
    std::size_t size_;
    int slot_;
};

} // namespace dorvak
