// The format walkers over real files: the exact length whatever follows the
// file (zeros, another file, random bytes), and an interruption, never a
// longer file, when the file is cut short or a foreign block lies inside it.
#include "carve/format_walker.h"
#include "common/carve_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

namespace {

using dorvak::carve::FormatWalker;
using dorvak::carve::walkerFor;
using dorvak::carve::WalkResult;
using dorvak::carve::WalkStatus;
using dorvak::test::CarveBytes;
using Bytes = std::vector<std::uint8_t>;

struct WalkerCase {
    const char* file;          // under the fixtures, or an absolute path
    const char* walker;        // the extension of the walker that must take it
    const char* typed;         // the extension the walk learns ("" keeps the walker's)
    bool spliceShows;          // the format can tell a foreign block inside it
    bool followersMayStick;    // text runs on into a follower that is text too
    bool tailOptional = false; // the file ends with bytes it is whole without
};

std::ostream& operator<<(std::ostream& os, const WalkerCase& c) {
    return os << c.file;
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

std::string pathOf(const char* file) {
    return file[0] == '/' ? file : std::string(DORVAK_CARVE_FIXTURES) + "/" + file;
}

Bytes noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = std::uint8_t(rng());
    return b;
}

Bytes joined(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

WalkResult walk(const FormatWalker& w, Bytes bytes) {
    CarveBytes in(std::move(bytes));
    return w.walk(in);
}

class FormatWalkers : public testing::TestWithParam<WalkerCase> {
protected:
    void SetUp() override {
        file = readFile(pathOf(GetParam().file));
        ASSERT_GT(file.size(), 1024u) << "missing fixture " << pathOf(GetParam().file);
        const std::size_t headLength = std::min<std::size_t>(file.size(), 512);
        walker = walkerFor({file.data(), headLength});
        ASSERT_NE(walker, nullptr);
        ASSERT_EQ(walker->extension, GetParam().walker);
    }
    Bytes file;
    const FormatWalker* walker = nullptr;
};

TEST_P(FormatWalkers, ExactLengthWhateverFollows) {
    // Another file: an ELF header (no text byte in it) or a PNG.
    const Bytes other =
        readFile(pathOf(GetParam().walker == std::string("png") ? "photo.jpg" : "image.png"));
    const Bytes elfLike = joined({0x7F, 'E', 'L', 'F', 2, 1, 1, 0}, noise(3000, 5));
    const std::vector<std::pair<const char*, Bytes>> followers = {
        {"zeros", Bytes(8192, 0)},
        {"another file", GetParam().followersMayStick ? elfLike : other},
        {"random bytes", noise(8192, 11)},
        {"nothing", {}},
    };
    // Text ends at its block's zero fill; the next file starts a block.
    Bytes filled = file;
    if (GetParam().followersMayStick) filled.resize((file.size() + 4095) / 4096 * 4096, 0);
    for (const auto& [what, after] : followers) {
        if (GetParam().followersMayStick && std::string(what) == "random bytes") continue;
        const WalkResult r = walk(*walker, after.empty() ? file : joined(filled, after));
        // Text has no end of its own: at the input's end it may go on elsewhere.
        const bool open = GetParam().followersMayStick && after.empty();
        EXPECT_EQ(r.status, open ? WalkStatus::Interrupted : WalkStatus::Complete)
            << "followed by " << what;
        EXPECT_EQ(r.length, file.size()) << "followed by " << what;
        EXPECT_EQ(r.extension, GetParam().typed) << "followed by " << what;
    }
}

TEST(TextWalker, TextRunningIntoOtherBytesWithoutItsZeroFillIsCutAtThatSector) {
    // On disk a text file's last block is zero-filled past its end: text that
    // meets other bytes (or a NUL with bytes after it) went on elsewhere.
    const Bytes text = readFile(pathOf("source.c"));
    const FormatWalker* w = walkerFor(std::span(text).first(512));
    ASSERT_TRUE(w && w->extension == std::string_view("txt"));
    const std::size_t cut = 4096 + 300;
    for (const Bytes& after : {Bytes{'R', 'I', 'F', 'F', 0xB8, 0x34, 0x06, 0}, Bytes{0, 0, 7, 0}}) {
        const WalkResult r = walk(*w, joined(Bytes(text.begin(), text.begin() + cut), after));
        EXPECT_EQ(r.status, WalkStatus::Interrupted);
        EXPECT_FALSE(r.inputEnded);
        EXPECT_EQ(r.length, 4096u);
    }
}

const FormatWalker& walkerNamed(std::string_view extension);

TEST(FormatWalkersAgain, AWalkThatSkipsWhatAnEarlierOneCheckedEndsTheSame) {
    // A continuation try re-walks the file's first part without its CRCs and
    // inflating: the walk must still find the same end and the same kind.
    for (const char* name : {"document.odt", "archive.zip", "zip64.zip", "image.png"}) {
        const Bytes file = readFile(pathOf(name));
        const FormatWalker* w = walkerFor({file.data(), 512});
        ASSERT_NE(w, nullptr) << name;
        const WalkResult whole = walk(*w, file);
        for (std::uint64_t checked : {std::uint64_t(file.size() / 2), std::uint64_t(file.size())}) {
            CarveBytes again(file, checked);
            const WalkResult r = w->walk(again);
            EXPECT_EQ(r.status, whole.status) << name << " checked " << checked;
            EXPECT_EQ(r.length, whole.length) << name << " checked " << checked;
            EXPECT_EQ(r.extension, whole.extension) << name << " checked " << checked;
        }
    }
}

// A candidate whose walks share memos, as the runs of a volume do: every
// memo is kept, and a walk gets the furthest one inside the bytes it shares
// with the walks before (its first `sameBefore` bytes).
// `joinedAt`: where the continuation this walk tries begins.
class MemoBytes : public CarveBytes {
public:
    MemoBytes(Bytes bytes, std::uint64_t sameBefore,
              std::vector<std::unique_ptr<dorvak::carve::WalkMemo>>& memos,
              std::uint64_t joinedAt = 0)
        : CarveBytes(std::move(bytes)), sameBefore_(sameBefore), joinedAt_(joinedAt),
          memos_(memos) {}
    std::uint64_t joinedAt() const override { return joinedAt_; }
    const dorvak::carve::WalkMemo* recall() const override {
        const dorvak::carve::WalkMemo* best = nullptr;
        for (const auto& m : memos_)
            if (m->offset <= sameBefore_ && (!best || m->offset > best->offset)) best = m.get();
        recalled += best != nullptr;
        return best;
    }
    void remember(std::unique_ptr<dorvak::carve::WalkMemo> memo) const override {
        memos_.push_back(std::move(memo));
    }
    mutable unsigned recalled = 0;

private:
    std::uint64_t sameBefore_, joinedAt_;
    std::vector<std::unique_ptr<dorvak::carve::WalkMemo>>& memos_;
};

TEST(FormatWalkersAgain, AWalkThatGoesOnFromAMemoEndsAsAFreshOne) {
    // A deflated entry of 37 KB: the first walk's input ends inside it, the
    // next ones go on from its memos, over the rest of the file or over a
    // foreign block spliced in.
    const Bytes file = readFile(pathOf("spanning.zip"));
    ASSERT_GT(file.size(), 36000u);
    const FormatWalker& zip = walkerNamed("zip");
    const std::size_t cut = 9 * 4096, mid = 6 * 4096;
    Bytes spliced(file.begin(), file.begin() + mid);
    spliced = joined(joined(spliced, noise(4096, 5)), Bytes(file.begin() + mid, file.end()));
    for (const auto& [bytes, shared] : {std::pair{file, cut}, std::pair{spliced, mid}}) {
        std::vector<std::unique_ptr<dorvak::carve::WalkMemo>> memos;
        MemoBytes first(Bytes(file.begin(), file.begin() + cut), cut, memos);
        const WalkResult cutShort = zip.walk(first);
        EXPECT_TRUE(cutShort.inputEnded);
        EXPECT_GE(memos.size(), 2u);
        MemoBytes again(bytes, shared, memos);
        const WalkResult resumed = zip.walk(again);
        const WalkResult fresh = walk(zip, bytes);
        SCOPED_TRACE(shared);
        EXPECT_EQ(again.recalled, 1u);
        EXPECT_EQ(resumed.status, fresh.status);
        EXPECT_EQ(resumed.length, fresh.length);
        EXPECT_EQ(resumed.failedAt, fresh.failedAt);
    }
    // Random bytes may decode as deflate data for a long while (here to the
    // stream's end, where the CRC fails): the failure is seen past them.
    const WalkResult r = walk(zip, spliced);
    EXPECT_EQ(r.status, WalkStatus::Interrupted);
    EXPECT_LE(r.length, mid);
    EXPECT_GT(r.failedAt, mid);
}

TEST(FormatWalkersAgain, ATryLeavesAMemoWhereItsContinuationJoinsForTheNextTries) {
    // The tries of one break share the bytes before the join: the first one
    // leaves a memo exactly there (not a multiple of the memo step), and the
    // next ones, over other continuations, go on from it as fresh walks end.
    const Bytes file = readFile(pathOf("spanning.zip"));
    ASSERT_GT(file.size(), 36000u);
    const FormatWalker& zip = walkerNamed("zip");
    const std::size_t join = 5 * 4096;
    std::vector<std::unique_ptr<dorvak::carve::WalkMemo>> memos;
    MemoBytes first(joined(Bytes(file.begin(), file.begin() + join), noise(8192, 3)), join, memos,
                    join);
    zip.walk(first);
    ASSERT_TRUE(
        std::any_of(memos.begin(), memos.end(), [&](const auto& m) { return m->offset == join; }));
    const Bytes rest(file.begin() + join, file.end());
    for (const Bytes& after : {rest, noise(4096, 4), joined(noise(4096, 6), rest)}) {
        const Bytes bytes = joined(Bytes(file.begin(), file.begin() + join), after);
        MemoBytes again(bytes, join, memos, join);
        const WalkResult resumed = zip.walk(again);
        const WalkResult fresh = walk(zip, bytes);
        EXPECT_EQ(again.recalled, 1u);
        EXPECT_EQ(resumed.status, fresh.status);
        EXPECT_EQ(resumed.length, fresh.length);
        EXPECT_EQ(resumed.failedAt, fresh.failedAt);
    }
}

TEST(TextWalker, TextCutByAForeignByteIsDecidedBeforeTheEndOfThatSector) {
    // Whatever follows that sector, the walk ends the same: the tries that
    // continue the same bytes after it are not needed.
    const Bytes text = readFile(pathOf("source.c"));
    const FormatWalker& w = walkerNamed("txt");
    const std::size_t cut = 4096 + 300, sectorEnd = 4096 + 512;
    ASSERT_GT(text.size(), sectorEnd);
    Bytes bytes(text.begin(), text.begin() + sectorEnd);
    bytes[cut] = 1;
    const WalkResult r = walk(w, joined(bytes, noise(4096, 8)));
    EXPECT_EQ(r.status, WalkStatus::Interrupted);
    EXPECT_EQ(r.length, 4096u);
    EXPECT_EQ(r.decidedBefore, sectorEnd);
    const WalkResult other = walk(w, joined(bytes, Bytes(text.begin(), text.end())));
    EXPECT_EQ(other.status, r.status);
    EXPECT_EQ(other.length, r.length);
    // Text that runs to the input's end may go on in another run.
    EXPECT_EQ(walk(w, Bytes(text.begin(), text.begin() + cut)).decidedBefore, 0u);
}

TEST(PdfWalker, AStreamWhoseLengthLeadsToItsEndIsGoodBeforeTheDocumentEnds) {
    // A document cut after its stream object, before its table and "%%EOF":
    // good to that object's end, so that a fragmented one can be followed;
    // with a foreign block inside the stream, its length leads nowhere.
    const Bytes pdf = readFile(pathOf("document.pdf"));
    const std::string text(pdf.begin(), pdf.end());
    const std::size_t stream = text.find("stream"), ends = text.find("endstream");
    ASSERT_NE(ends, std::string::npos);
    const std::size_t objectEnd = text.find("endobj", ends) + 6;
    const std::size_t cut = objectEnd + 10;
    ASSERT_LT(cut, text.rfind("%%EOF"));
    const WalkResult r = walk(walkerNamed("pdf"), Bytes(pdf.begin(), pdf.begin() + cut));
    EXPECT_EQ(r.status, WalkStatus::Interrupted);
    EXPECT_TRUE(r.inputEnded);
    EXPECT_EQ(r.length, objectEnd);
    Bytes spliced(pdf.begin(), pdf.begin() + std::ptrdiff_t(stream + 100));
    spliced = joined(joined(spliced, noise(4096, 9)),
                     Bytes(pdf.begin() + std::ptrdiff_t(stream + 100), pdf.begin() + cut));
    const WalkResult s = walk(walkerNamed("pdf"), spliced);
    EXPECT_EQ(s.status, WalkStatus::Interrupted);
    EXPECT_LE(s.length, stream);
}

TEST(ElfWalker, AForeignBlockWhereTheSectionTableLiesIsNoEnd) {
    // A program whose last part was taken from the wrong place: its section
    // table and names fail, so no end is made up from them.
    const Bytes program = readFile("/usr/bin/true");
    ASSERT_GT(program.size(), 8192u);
    const std::size_t tail = (program.size() - 1) / 4096 * 4096;
    for (unsigned seed : {1u, 2u}) {
        Bytes v(program.begin(), program.begin() + std::ptrdiff_t(tail));
        v = joined(v, noise(8192, seed));
        const WalkResult r = walk(walkerNamed("elf"), v);
        EXPECT_EQ(r.status, WalkStatus::Interrupted) << "seed " << seed;
        EXPECT_FALSE(r.inputEnded) << "seed " << seed;
        EXPECT_LE(r.length, tail) << "seed " << seed;
    }
}

TEST_P(FormatWalkers, CutOrSplicedFileIsInterruptedWithinItsGoodBytes) {
    // Cuts at a block boundary inside the file and just before its end.
    const std::size_t mid = std::min<std::size_t>(4096, file.size() / 2 / 512 * 512);
    for (std::size_t cut : {mid, file.size() - 1}) {
        const WalkResult r = walk(*walker, Bytes(file.begin(), file.begin() + cut));
        // A TAR's record padding or a PDF's last line end may go.
        const bool whole = GetParam().tailOptional && cut + 1 == file.size();
        EXPECT_EQ(r.status, whole ? WalkStatus::Complete : WalkStatus::Interrupted)
            << "cut at " << cut;
        EXPECT_LE(r.length, cut) << "cut at " << cut;
        // Nothing failed: a later run may hold the rest.
        EXPECT_EQ(r.inputEnded, !whole) << "cut at " << cut;
    }
    if (!GetParam().spliceShows) return;
    // A block of another file's bytes (random: compressed data looks like
    // that) where the file's next block should be, the rest after it.
    for (unsigned seed : {1u, 2u, 3u}) {
        Bytes spliced(file.begin(), file.begin() + mid);
        const Bytes foreign = noise(4096, seed);
        spliced.insert(spliced.end(), foreign.begin(), foreign.end());
        spliced.insert(spliced.end(), file.begin() + mid, file.end());
        const WalkResult r = walk(*walker, spliced);
        EXPECT_EQ(r.status, WalkStatus::Interrupted) << "splice at " << mid << " seed " << seed;
        EXPECT_LE(r.length, mid) << "splice at " << mid << " seed " << seed;
        EXPECT_FALSE(r.inputEnded) << "splice at " << mid << " seed " << seed;
    }
}

const WalkerCase kCases[] = {
    {"photo.jpg", "jpg", "", true, false},
    {"progressive.jpg", "jpg", "", true, false},
    {"multi-picture.jpg", "jpg", "", true, false},
    {"image.png", "png", "", true, false},
    {"anim.gif", "gif", "", true, false},
    {"image.bmp", "bmp", "", false, false},
    {"data.gz", "gz", "", true, false},
    {"multi.gz", "gz", "", true, false},
    {"data.zlib", "zlib", "", true, false},
    {"archive.zip", "zip", "", true, false},
    {"zip64.zip", "zip", "", true, false},
    {"streamed.zip", "zip", "", true, false},
    {"document.odt", "zip", "odt", true, false},
    {"document.docx", "zip", "docx", true, false},
    {"library.jar", "zip", "jar", true, false},
    {"package-1.0-py3-none-any.whl", "zip", "whl", true, false},
    {"archive.tar", "tar", "", true, false, true},
    {"data.bz2", "bz2", "", true, false},
    {"multi.bz2", "bz2", "", true, false},
    {"data.xz", "xz", "", true, false},
    {"document.pdf", "pdf", "", true, false, true},
    {"sound.wav", "wav", "", false, false},
    {"movie.avi", "avi", "", true, false},
    {"song.mp3", "mp3", "", true, false},
    {"sound.ogg", "ogg", "", true, false},
    {"sound.flac", "flac", "", true, false},
    {"notes.sqlite", "sqlite", "", false, false},
    {"image.tif", "tif", "", false, false},
    {"movie.mp4", "mp4", "", false, false},
    {"movie.mov", "mp4", "mov", false, false},
    {"font.otf", "ttf", "otf", true, false, true},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "ttf", "", true, false},
    {"/usr/bin/true", "elf", "", false, false},
    {"source.c", "txt", "", false, true},
    {"page.html", "txt", "html", false, true},
};
INSTANTIATE_TEST_SUITE_P(Files, FormatWalkers, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<WalkerCase>& info) {
                             std::string name = std::filesystem::path(info.param.file).filename();
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

const FormatWalker& walkerNamed(std::string_view extension) {
    for (const FormatWalker& w : dorvak::carve::formatWalkers())
        if (w.extension == extension) return w;
    throw std::runtime_error("no walker " + std::string(extension));
}

// A file cut short, free space, then its lost end: the walk must not run
// through the zeros to find that end.
TEST(FormatWalkersBounds, LostEndsStopAtFreeSpace) {
    for (const char* name : {"document.pdf", "photo.jpg", "image.png", "data.gz", "archive.zip"}) {
        const Bytes file = readFile(pathOf(name));
        const std::size_t cut = file.size() * 3 / 4;
        Bytes v(file.begin(), file.begin() + cut);
        v.resize(cut + 128 * 1024, 0);
        v.insert(v.end(), file.begin() + cut, file.end());
        const FormatWalker* w = walkerFor({file.data(), 512});
        ASSERT_NE(w, nullptr) << name;
        const WalkResult r = walk(*w, v);
        EXPECT_EQ(r.status, WalkStatus::Interrupted) << name;
        EXPECT_LE(r.length, cut) << name;
    }
}

// A PDF's walk ends where 64 KiB of zeros begin, wherever they begin, and
// goes on past a run one byte shorter (here to the input's end). Free space
// that is not zeros lies between the document's first half and the run.
TEST(FormatWalkersBounds, PdfEndsAtSixtyFourKiBOfZerosAtAnyOffset) {
    const Bytes file = readFile(pathOf("document.pdf"));
    ASSERT_GT(file.size(), 4000u);
    for (const std::size_t start : {file.size() / 2, std::size_t(65539), std::size_t(98301)})
        for (const std::size_t zeros : {65535u, 65536u}) {
            Bytes v(file.begin(), file.begin() + file.size() / 2);
            v.resize(start, 'x');
            v.back() = 'x';
            v.resize(start + zeros, 0);
            Bytes after = noise(8192, 7);
            after.front() = 0xFF;
            v = joined(v, after);
            const WalkResult r = walk(walkerNamed("pdf"), v);
            SCOPED_TRACE(std::to_string(start) + " " + std::to_string(zeros));
            EXPECT_EQ(r.status, WalkStatus::Interrupted);
            EXPECT_LE(r.length, file.size() / 2);
            EXPECT_EQ(r.inputEnded, zeros < 65536);
        }
}

// Runs longer than the walkers' 64 KiB window: text, and a TIFF whose IFD
// chain loops back on itself.
TEST(FormatWalkersBounds, LongRunsAndLoopingChains) {
    Bytes text;
    while (text.size() < 300 * 1024) {
        const std::string line = "line " + std::to_string(text.size()) + " of a long log file\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    const std::size_t length = text.size();
    text.resize(length + 4096, 0);
    WalkResult r = walk(walkerNamed("txt"), text);
    EXPECT_EQ(r.status, WalkStatus::Complete);
    EXPECT_EQ(r.length, length);
    // A text file shorter than the head, its block's zeros after it.
    Bytes note(text.begin(), text.begin() + 100);
    note.resize(4096, 0);
    EXPECT_EQ(walkerFor({note.data(), 512}), &walkerNamed("txt"));
    EXPECT_EQ(walk(walkerNamed("txt"), note).length, 100u);

    // Header, then at 8 an IFD of one entry whose next-IFD offset is 8.
    Bytes tiff = {'I', 'I', 42, 0, 8, 0,  0, 0, 1, 0, 0x00, 0x01, 3,
                  0,   1,   0,  0, 0, 16, 0, 0, 0, 8, 0,    0,    0};
    tiff.resize(4096, 0);
    r = walk(walkerNamed("tif"), tiff);
    EXPECT_EQ(r.status, WalkStatus::Complete);
    EXPECT_EQ(r.length, 26u);
}

// Nothing of zeros, erased flash or random bytes is taken for a file.
TEST(FormatSignatures, NoFormatStartsWithAZeroHead) {
    // The scan reads no more than the head of a block that starts with
    // zeros: no walker may take one, whatever follows the zeros (each real
    // file's head shifted behind them, or random bytes).
    std::vector<Bytes> tails;
    for (const auto& entry : std::filesystem::directory_iterator(DORVAK_CARVE_FIXTURES))
        tails.push_back(readFile(entry.path().string()));
    for (unsigned seed = 0; seed < 64; ++seed)
        tails.push_back(noise(512, seed));
    for (const Bytes& tail : tails) {
        Bytes head(dorvak::carve::kZeroHeadBytes, 0);
        head.insert(head.end(), tail.begin(),
                    tail.begin() + std::min<std::size_t>(tail.size(), 488));
        ASSERT_TRUE(dorvak::carve::zeroHead(head));
        for (const FormatWalker& w : dorvak::carve::formatWalkers())
            EXPECT_FALSE(w.matches(head)) << w.extension;
    }
}

TEST(FormatSignatures, EmptyAndRandomBlocksMatchNothing) {
    EXPECT_EQ(walkerFor(Bytes(512, 0)), nullptr);
    EXPECT_EQ(walkerFor(Bytes(512, 0xFF)), nullptr);
    int matched = 0;
    for (unsigned seed = 0; seed < 2000; ++seed)
        matched += walkerFor(noise(512, seed)) != nullptr;
    EXPECT_LE(matched, 2) << "random blocks taken for a file start";
}

} // namespace

TEST(SignatureTest, TakesTheWalkerThatTestingEveryOneInOrderTakes) {
    // Every fixture's head, cut at each of its first bytes' changes, and
    // random heads: the leads never keep a walker from a head it matches.
    const dorvak::carve::SignatureTest test(dorvak::carve::formatWalkers());
    std::vector<Bytes> heads;
    for (const auto& entry : std::filesystem::directory_iterator(DORVAK_CARVE_FIXTURES)) {
        const Bytes file = readFile(entry.path());
        heads.emplace_back(file.begin(), file.begin() + std::min<std::size_t>(file.size(), 512));
    }
    for (unsigned seed = 0; seed < 256; ++seed) {
        Bytes head = noise(512, seed);
        head[0] = std::uint8_t(seed);
        heads.push_back(head);
    }
    unsigned matched = 0;
    for (const Bytes& head : heads) {
        const FormatWalker* expected = walkerFor(head);
        EXPECT_EQ(test(head), expected) << (expected ? expected->extension : "none");
        matched += expected != nullptr;
    }
    EXPECT_GT(matched, 30u);
    EXPECT_EQ(test({}), walkerFor({}));
}
