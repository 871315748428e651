#pragma once
// Carving's contract between the file formats and the volume. A walker knows
// one file format: from a candidate's first bytes it says whether the format
// starts there, and by reading the format's own structure (chunks, markers,
// directories, stream ends) it finds the file's exact length. It never pads
// to a block and never runs on into whatever follows the file.
//
// The volume side (which blocks nothing claims, where a candidate's runs lie,
// which continuation of an interrupted file to try) lives with the reader;
// a walker sees only the bytes it is given through CarveInput, so a
// fragmented file is checked by walking the same candidate again over a
// different list of runs.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace dorvak::carve {

// What a walker keeps of a walk to go on from in a later walk of the same
// candidate: its own state at `offset`, good for any input whose bytes before
// `offset` are the same. A fragmented file is walked again for every
// continuation tried, and a deflate stream, say, would otherwise be decoded
// again from its start each time.
struct WalkMemo {
    virtual ~WalkMemo() = default;
    std::uint64_t offset = 0;
};

// The bytes of one candidate, from its first byte on: one run of blocks, or
// several runs joined. size() is the most the file may hold (the runs
// together); a walker never reads at or past it.
class CarveInput {
public:
    virtual ~CarveInput() = default;
    virtual std::uint64_t size() const = 0;
    // Copies the bytes at `offset` into `out`; returns how many were copied
    // (fewer only where size() ends them). Unreadable sectors read as zeros.
    virtual std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
    // The first bytes that an earlier walk of this walker over the same bytes
    // already checked good (a fragmented file is walked again for every
    // continuation tried, and the part before the break never changes). A
    // walker may skip the costly checks (CRCs, decompression) of a structure
    // that ends at or before this offset, never the reads that find its way.
    virtual std::uint64_t checkedBefore() const { return 0; }
    // The memo with the greatest offset that an earlier walk of this
    // candidate left and whose bytes before it this input shares, or null.
    // A walker checks the memo's type: it is its own only by convention.
    virtual const WalkMemo* recall() const { return nullptr; }
    // Leaves a memo for later walks; the input may keep it or not.
    virtual void remember(std::unique_ptr<WalkMemo>) const {}
    // Where the bytes that this walk tries as a continuation begin (0: none).
    // Every continuation of the same bytes before it is tried from there, so
    // a memo left exactly there spares the later tries all of what comes
    // before it.
    virtual std::uint64_t joinedAt() const { return 0; }
    // What this walk must reach to be of use (0: any walk is): a walk that
    // is not complete serves only when its good length passes this offset.
    // A walker that sees, before its costly checks, that the walk can do
    // neither (a deflated entry that starts at or before it and whose data
    // runs past the input's end) may stop there and report the input as
    // ended, whatever the checks would have found.
    virtual std::uint64_t neededPast() const { return 0; }
};

// How far an interrupted file "checked good" depends on what its format can
// check: a CRC-checked chunk or page (PNG, Ogg, TrueType tables, ZIP
// entries) is good to its end; bytes that nothing checks (a segment's
// contents, compressed data before its block's CRC) count as good only up to
// the structure before the last one that checked, since foreign bytes may
// fake one structure. Formats that check nothing inside (WAV samples, ELF,
// SQLite pages, TIFF strips) are good up to the input's end. Each walker's
// file says what it does. The length never passes size().
enum class WalkStatus {
    NotThisFormat, // the signature or the first structures do not hold
    Complete,      // the format's own end was reached: `length` is exact
    Interrupted,   // the structure holds for `length` bytes, then fails or the input ends
};

struct WalkResult {
    WalkStatus status = WalkStatus::NotThisFormat;
    // Complete: the file's length; Interrupted: the bytes that checked good.
    std::uint64_t length = 0;
    // Set when the walk learnt a more precise type than the signature gave
    // (a ZIP that is an ODT or a DOCX); empty keeps the walker's own.
    std::string extension;
    std::string typeName;
    // Interrupted only: true when the structure held up to where the input
    // ended (more runs may continue the file), false when it failed.
    bool inputEnded = false;
    // Interrupted only, when known: where the walk saw the structure fail,
    // past `length` when the structure that failed began before it (a
    // deflate stream decodes foreign bytes for a while before it fails). The
    // foreign bytes start at or before it. 0: not known.
    std::uint64_t failedAt = 0;
    // When known: the result depends on no byte at or past this offset, nor
    // on the input's size; any input with the same bytes before it walks to
    // the same result. 0: not known.
    std::uint64_t decidedBefore = 0;
};

struct FormatWalker {
    std::string_view extension; // "jpg": the carved file's suffix and its folder's name
    std::string_view typeName;  // "JPEG image": listed as "Carved JPEG image"
    // Whether `head` (the candidate's first bytes: 512, fewer only when the
    // input is shorter) starts a file of this format. Cheap: it runs on every
    // unclaimed block.
    bool (*matches)(std::span<const std::uint8_t> head);
    WalkResult (*walk)(const CarveInput& in);
    // Whether a foreign block inside a file fails its walk (CRCs, compressed
    // streams, chained structures). When it does not (samples, pixels,
    // pages, program sections, text), a file put together from several runs
    // reaches its end whichever runs were taken: it is kept marked damaged,
    // since nothing showed the join to be right.
    bool checksJoins = true;
    // Whether the good length of an interrupted walk is vouched for by a
    // check over the bytes themselves (a CRC over a chunk, a page, a ZIP
    // entry, a compressed stream's blocks), so that bytes of a continuation
    // that come out good are the file's own: no other continuation of the
    // same break need then be tried.
    bool checksBytes = false;
    // The bytes a head may start with for `matches` to take it (empty: any),
    // so that most heads meet only the one or two signatures they could be.
    std::string_view leads = {};
};

// The first walker of a list whose signature matches a head, as the list's
// order gives, testing only the walkers whose leads allow the head's first
// byte. Every unclaimed block of a volume is tested.
class SignatureTest {
public:
    explicit SignatureTest(std::span<const FormatWalker> walkers) : walkers_(walkers) {
        all_ = walkers.size() > 32;
        for (std::size_t i = 0; i < walkers.size() && !all_; ++i)
            for (unsigned b = 0; b < 256; ++b)
                if (walkers[i].leads.empty() ||
                    walkers[i].leads.find(char(b)) != std::string_view::npos)
                    mayLead_[b] |= std::uint32_t(1) << i;
    }
    const FormatWalker* operator()(std::span<const std::uint8_t> head) const {
        if (all_ || head.empty()) {
            for (const FormatWalker& w : walkers_)
                if (w.matches && w.walk && w.matches(head)) return &w;
            return nullptr;
        }
        for (std::uint32_t may = mayLead_[head[0]]; may != 0; may &= may - 1) {
            const FormatWalker& w = walkers_[std::size_t(std::countr_zero(may))];
            if (w.matches && w.walk && w.matches(head)) return &w;
        }
        return nullptr;
    }

private:
    std::span<const FormatWalker> walkers_;
    std::array<std::uint32_t, 256> mayLead_{}; // bit i: walker i may match
    bool all_ = false;                         // more walkers than bits
};

// No format carved here starts with this many zero bytes, while most free
// space does: a block whose head is zeros is no candidate, and a scan need
// not read more of it.
inline constexpr std::size_t kZeroHeadBytes = 24;
inline bool zeroHead(std::span<const std::uint8_t> head) {
    if (head.size() < kZeroHeadBytes) return false;
    static_assert(kZeroHeadBytes == 24);
    std::uint64_t words[3];
    std::memcpy(words, head.data(), kZeroHeadBytes);
    return (words[0] | words[1] | words[2]) == 0;
}

// Every walker, the most specific signatures first.
std::span<const FormatWalker> formatWalkers();
// The first walker whose signature matches `head`, or nullptr.
const FormatWalker* walkerFor(std::span<const std::uint8_t> head);

} // namespace dorvak::carve
