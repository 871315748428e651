#pragma once
// BlockList: a list of plain records in a few blocks that never move, each
// twice the size of the one before: growing copies nothing (a vector moving
// to a larger block would need both at once), and an index reaches its
// record with a bit scan instead of a deque's walk through 512-byte nodes.
// Large blocks are mapped for the list alone, with huge pages where the
// kernel gives them: pages nobody writes are never faulted in, so the unused
// end of the last block costs address space, not memory. A list told its
// size before the first record (reserve) holds it in one block.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace dorvak {

// Blocks for BlockList: `bytes` of fresh memory (std::bad_alloc when there
// is none), and its return.
void* allocateListBlock(std::size_t bytes);
void freeListBlock(void* block, std::size_t bytes);

template <class T> class BlockList {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;
        const_iterator() = default;
        const T& operator*() const { return *at_; }
        const T* operator->() const { return at_; }
        const_iterator& operator++() {
            if (++index_ < list_->size_ && ++at_ == blockEnd_) enter();
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.index_ == b.index_;
        }

    private:
        friend class BlockList;
        const_iterator(const BlockList* list, std::size_t index) : list_(list), index_(index) {
            if (index_ < list_->size_) enter();
        }
        void enter() {
            const auto [block, offset] = list_->place(index_);
            at_ = list_->blocks_[block] + offset;
            blockEnd_ = list_->blocks_[block] + list_->blockSize(block);
        }
        const BlockList* list_ = nullptr;
        std::size_t index_ = 0;
        const T* at_ = nullptr;
        const T* blockEnd_ = nullptr;
    };

    BlockList() = default;
    BlockList(const BlockList&) = delete;
    BlockList& operator=(const BlockList&) = delete;
    ~BlockList() { release(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) {
        const auto [block, offset] = place(i);
        return blocks_[block][offset];
    }
    const T& operator[](std::size_t i) const {
        const auto [block, offset] = place(i);
        return blocks_[block][offset];
    }
    T& at(std::size_t i) {
        if (i >= size_) throw std::out_of_range("BlockList::at");
        return (*this)[i];
    }
    T& back() { return (*this)[size_ - 1]; }
    const T& back() const { return (*this)[size_ - 1]; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size_); }

    void push_back(const T& v) {
        if (size_ == capacity_) addBlock();
        ::new (&(*this)[size_]) T(v);
        ++size_;
    }
    void pop_back() { --size_; }
    // Room for `n` records in one block, when nothing is held yet.
    void reserve(std::size_t n) {
        if (blockCount_ == 0 && n > (std::size_t(1) << firstBits_))
            firstBits_ = unsigned(std::bit_width(n - 1));
    }
    // Gives every block back.
    void clear() {
        release();
        firstBits_ = kFirstBits;
    }

private:
    static constexpr unsigned kFirstBits = 10;
    static constexpr std::size_t kMaxBlocks = 40;

    std::size_t blockSize(std::size_t block) const {
        return std::size_t(1) << (firstBits_ + block);
    }
    // Block b holds records [F(2^b - 1), F(2^(b+1) - 1)) for a first block
    // of F = 2^firstBits_: i + F has its top bit at firstBits_ + b.
    std::pair<std::size_t, std::size_t> place(std::size_t i) const {
        const std::size_t p = i + (std::size_t(1) << firstBits_);
        const unsigned top = unsigned(std::bit_width(p)) - 1;
        return {top - firstBits_, p - (std::size_t(1) << top)};
    }
    void addBlock() {
        if (blockCount_ == kMaxBlocks) throw std::bad_alloc();
        const std::size_t n = blockSize(blockCount_);
        blocks_[blockCount_] = static_cast<T*>(allocateListBlock(n * sizeof(T)));
        ++blockCount_;
        capacity_ += n;
    }
    void release() {
        for (std::size_t b = 0; b < blockCount_; ++b)
            freeListBlock(blocks_[b], blockSize(b) * sizeof(T));
        blockCount_ = size_ = capacity_ = 0;
    }

    T* blocks_[kMaxBlocks] = {};
    std::size_t blockCount_ = 0;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    unsigned firstBits_ = kFirstBits;
};

} // namespace dorvak
