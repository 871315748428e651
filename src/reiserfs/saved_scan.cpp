#include "reiserfs/saved_scan.h"

#include "disk/mapped_file.h"
#include "disk/page_buffer.h"
#include "disk/unique_fd.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace dorvak {
namespace {

constexpr char kMagic[8] = {'D', 'R', 'V', 'K', 'S', 'C', 'A', 'N'};
constexpr std::uint32_t kStoppedFlag = 1, kVersionsFlag = 2;
constexpr std::uint64_t kMiBSectors = 2048;

// A 64-bit hash: it only has to tell a damaged or altered file, or another
// disk, from the one saved; it is not meant to resist forgery. Four lanes
// over 32-byte strides, so that the multiplications of one lane overlap
// those of the others: a load hashes the whole file and 4 MiB of the disk,
// and one chain of dependent multiplications took a tenth of it.
std::uint64_t mixWord(std::uint64_t h, std::uint64_t word) {
    h = (h ^ word) * 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 32);
}

// A little-endian word the caller has checked lies within the bytes.
std::uint64_t wordAt(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

std::uint64_t hashBytes(Bytes b, std::uint64_t h = 0x9E3779B97F4A7C15ull) {
    std::uint64_t lanes[4] = {h, h ^ 0x2545F4914F6CDD1Dull, h ^ 0x94D049BB133111EBull,
                              h ^ 0xBF58476D1CE4E5B9ull};
    std::size_t i = 0;
    for (; i + 32 <= b.size(); i += 32)
        for (std::size_t k = 0; k < 4; ++k)
            lanes[k] = mixWord(lanes[k], wordAt(b.data() + i + 8 * k));
    h = lanes[0];
    for (std::size_t k = 1; k < 4; ++k)
        h = mixWord(h, lanes[k]);
    for (; i + 8 <= b.size(); i += 8)
        h = mixWord(h, le64(b, i));
    for (; i < b.size(); ++i)
        h = (h ^ b[i]) * 0x100000001B3ull;
    h = (h ^ b.size()) * 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
}

// The hash of the first MiB of sectors [first, end) and of its last MiB.
std::uint64_t hashEnds(SectorReader& reader, std::uint64_t first, std::uint64_t end) {
    const std::uint64_t n = std::min(kMiBSectors, end - first);
    const PageBuffer buffer(n * 512);
    const std::span<std::uint8_t> bytes = buffer.span();
    std::uint64_t h = hashBytes({}, end - first);
    for (const std::uint64_t at : {first, end - n}) {
        std::fill(bytes.begin(), bytes.end(), 0);
        if (n) reader.ReadSectors(at, std::uint32_t(n), bytes.data());
        h = hashBytes(bytes, h);
    }
    return h;
}

// The payload as it is written. Integers go as their own width, little-
// endian; a flag as one byte.
class Out {
public:
    std::vector<std::uint8_t> bytes;
    template <class... T> void operator()(const T&... v) { (put(v), ...); }
    void put(bool v) { put(std::uint8_t(v)); }
    template <class T> void put(T v) {
        for (std::size_t i = 0; i < sizeof(T); ++i)
            bytes.push_back(std::uint8_t(std::uint64_t(v) >> (8 * i)));
    }
    void text(std::string_view s) {
        put(std::uint16_t(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
    void name(std::string_view s) {
        put(std::uint8_t(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
};

// The payload as it is read: every read checked against what is left; the
// first that does not fit fails the whole read, and so does a flag that is
// neither 0 nor 1.
class In {
public:
    // `mapped`: the bytes are pages of a file's own (mapped or read into),
    // which may be let go once read (release).
    explicit In(Bytes b, bool mapped = false) : b_(b), mapped_(mapped) {}
    bool ok() const { return ok_; }
    // Lets go of the whole pages read so far, when the bytes are mapped: the
    // catalog grows as the records are read, and without this a load would
    // hold both at their full size at the end. The records are read once,
    // in order, and nothing looks back at a page let go.
    void release() {
        if (!mapped_) return;
        const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
        const auto from = (std::uintptr_t(b_.data() + released_) + page - 1) / page * page;
        const auto to = std::uintptr_t(b_.data() + at_) / page * page;
        if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
        released_ = at_;
    }
    bool atEnd() const { return ok_ && at_ == b_.size(); }
    template <class... T> void operator()(T&... v) { (get(v), ...); }
    void get(bool& v) {
        const std::uint8_t byte = u8();
        if (byte > 1) ok_ = false;
        v = byte != 0;
    }
    template <class T> void get(T& v) { v = T(read<sizeof(T)>()); }
    std::uint8_t u8() { return std::uint8_t(read<1>()); }
    std::uint16_t u16() { return std::uint16_t(read<2>()); }
    std::uint32_t u32() { return std::uint32_t(read<4>()); }
    std::uint64_t u64() { return read<8>(); }
    std::string_view span(std::size_t n) {
        if (!ok_ || !fits(b_, at_, n)) {
            ok_ = false;
            return {};
        }
        const std::string_view s(reinterpret_cast<const char*>(b_.data() + at_), n);
        at_ += n;
        return s;
    }
    // `n` records of `width` bytes, all within what is left.
    Bytes records(std::uint64_t n, std::size_t width) {
        if (!ok_ || n > (b_.size() - at_) / width) {
            ok_ = false;
            return {};
        }
        const Bytes r = b_.subspan(at_, std::size_t(n) * width);
        at_ += r.size();
        return r;
    }
    std::string_view name() { return span(u8()); }
    std::string_view text() { return span(u16()); }
    // A count of records of at least `least` bytes each: one that cannot fit
    // in what is left fails, before anything is allocated for it.
    template <std::size_t Width> std::uint64_t count(std::size_t least) {
        const std::uint64_t n = read<Width>();
        if (ok_ && n > (b_.size() - at_) / least) ok_ = false;
        return ok_ ? n : 0;
    }

private:
    // One bounds test per field, then the checked helpers of disk/bytes.h
    // (millions of fields in the saved scan of a large volume).
    template <std::size_t Width> std::uint64_t read() {
        if (!ok_ || !fits(b_, at_, Width)) {
            ok_ = false;
            return 0;
        }
        std::uint64_t v = 0;
        if constexpr (Width == 1) v = b_[at_];
        if constexpr (Width == 2) v = le16(b_, at_);
        if constexpr (Width == 4) v = le32(b_, at_);
        if constexpr (Width == 8) v = le64(b_, at_);
        at_ += Width;
        return v;
    }

    Bytes b_;
    std::size_t at_ = 0;
    bool ok_ = true;
    bool mapped_ = false;
    std::size_t released_ = 0;
};

// One fixed-size record of a list whose bounds were checked as a whole
// (In::records): its fields read in turn with no test each, which is what
// makes a load of millions of records cheap. A flag other than 0 or 1 marks
// the record bad.
class RecordIn {
public:
    explicit RecordIn(const std::uint8_t* at) : at_(at) {}
    bool ok() const { return ok_; }
    template <class... T> void operator()(T&... v) { (get(v), ...); }
    void get(bool& v) {
        ok_ &= *at_ <= 1;
        v = *at_++ != 0;
    }
    template <class T> void get(T& v) {
        if constexpr (std::is_enum_v<T>) {
            std::underlying_type_t<T> raw;
            get(raw);
            v = T(raw);
        } else {
            std::memcpy(&v, at_, sizeof v);
            if constexpr (std::endian::native == std::endian::big && sizeof v == 2)
                v = __builtin_bswap16(v);
            if constexpr (std::endian::native == std::endian::big && sizeof v == 4)
                v = __builtin_bswap32(v);
            if constexpr (std::endian::native == std::endian::big && sizeof v == 8)
                v = __builtin_bswap64(v);
            at_ += sizeof v;
        }
    }

private:
    const std::uint8_t* at_;
    bool ok_ = true;
};

// Each record's fields in the order the file holds them, for both
// directions: `io` is an Out that writes them, or an In or a RecordIn that
// reads into them.
template <class Io, class Id> void identityFields(Io& io, Id& id) {
    io(id.sourceBytes, id.sourceHash, id.startSector, id.sectorCount, id.sectorsPerBlock,
       id.rootBlock, id.volumeHash);
}
template <class Io, class Scan> void countFields(Io& io, Scan& scan) {
    io(scan.result.leavesRead, scan.result.nodesSkipped, scan.result.nodesFromJournal,
       scan.result.leavesReadTwice, scan.unreadableSectors);
}
// Folders (17 bytes) and files (30): what the mount added. Their names are
// apart, in one run before them.
template <class Io, class E> void folderFields(Io& io, E& f) {
    io(f.parentId, f.objectId, f.modifiedTime, f.keyDirId, f.deleted);
}
template <class Io, class E> void fileFields(Io& io, E& f) {
    io(f.parentId, f.objectId, f.modifiedTime, f.keyDirId, f.auxValue, f.fileType, f.deleted,
       f.size);
}
constexpr std::size_t kFolderRecord = 17, kFileRecord = 30, kItemRecord = 28;
template <class Io, class R> void itemFields(Io& io, R& r) {
    io(r.leafSector, r.keyOffset, r.objectId, r.dirId, r.itemLocation, r.itemLength);
}
template <class Io, class R> void runFields(Io& io, R& r) {
    io(r.first, r.count);
}
// 13 bytes each.
template <class Io, class F> void carvedFields(Io& io, F& f) {
    io(f.firstRun, f.runCount, f.type, f.damaged);
}

void putHeader(Out& out, const SavedScan& scan, std::uint64_t payloadBytes,
               std::uint64_t payloadHash) {
    out.bytes.insert(out.bytes.end(), kMagic, kMagic + 8);
    out(kSavedScanVersion,
        std::uint32_t((scan.stopped ? kStoppedFlag : 0) | (scan.versions ? kVersionsFlag : 0)));
    identityFields(out, scan.identity);
    out(payloadBytes, payloadHash);
}

// The header's fields; the payload's size and hash into the last two.
bool getHeader(Bytes file, SavedScan& scan, std::uint64_t& payloadBytes, std::uint64_t& payloadHash,
               std::string& error) {
    if (file.size() < 8 || std::memcmp(file.data(), kMagic, 8) != 0) {
        error = "is not a saved scan";
        return false;
    }
    In in(file.subspan(8));
    std::uint32_t version = 0, flags = 0;
    in(version, flags);
    identityFields(in, scan.identity);
    in(payloadBytes, payloadHash);
    if (!in.ok()) {
        error = "is damaged: it ends inside its header";
        return false;
    }
    if (version != kSavedScanVersion) {
        error = "was saved in version " + std::to_string(version) +
                " of the format, which this program does not read";
        return false;
    }
    scan.stopped = (flags & kStoppedFlag) != 0;
    scan.versions = (flags & kVersionsFlag) != 0;
    return true;
}

std::string readError() {
    return std::string("cannot be read: ") + std::strerror(errno);
}

// The file at `path`, open to be read, with its size; an invalid one (and
// `error`) when it cannot be opened or is not a plain file.
UniqueFd openPlainFile(const std::string& path, std::uint64_t& size, std::string& error) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        error = readError();
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        error = "is not a file";
        return {};
    }
    size = std::uint64_t(std::max<off_t>(st.st_size, 0));
    return fd;
}

// Reads up to `n` bytes from the start of the file into `out`: how many
// there were (fewer when the file is shorter; the checks of what was read
// say so), or -1 on an error.
std::ptrdiff_t readFrom(int fd, std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, out + done, n - done, off_t(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += std::size_t(got);
    }
    return std::ptrdiff_t(done);
}

// The bytes of a saved scan file. A saved scan of a large volume runs to
// tens of MiB, and a load reads it once (the hash) and the records once
// more: the file is mapped from the page cache rather than copied into
// fresh pages. A page lost while mapped (the file cut short or unreadable
// meanwhile) reads as zeros, and lost() says so after the decoding. When
// no mapping can be had, the file is read into pages of its own.
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes() {
        if (read_) ::munmap(read_, capacity_);
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    bool open(const std::string& path, std::string& error) {
        std::uint64_t fileSize = 0;
        const UniqueFd fd = openPlainFile(path, fileSize, error);
        if (!fd.valid()) return false;
        if (fileSize == 0) return true; // nothing to read: the checks say so
        if (fileSize > SIZE_MAX / 2) {
            errno = EFBIG;
            error = readError();
            return false;
        }
        const auto size = std::size_t(fileSize);
        mapped_ = MappedBytes::map(fd.get(), size);
        if (mapped_) return true;
        return readAll(fd.get(), size, error);
    }
    Bytes bytes() const {
        if (mapped_) return {mapped_->data(), mapped_->size()};
        return {static_cast<const std::uint8_t*>(read_), size_};
    }
    bool lost() const { return mapped_ && mapped_->lost(); }

private:
    // Into fresh anonymous pages, huge ones allowed (a few faults instead
    // of one a page).
    bool readAll(int fd, std::size_t size, std::string& error) {
        constexpr std::size_t kHuge = std::size_t(2) << 20;
        const std::size_t capacity = (size + kHuge - 1) / kHuge * kHuge;
        void* p =
            ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            error = readError();
            return false;
        }
        read_ = p;
        capacity_ = capacity;
        ::madvise(p, capacity, MADV_HUGEPAGE); // a hint: without it, ordinary pages
        const std::ptrdiff_t got = readFrom(fd, static_cast<std::uint8_t*>(p), size);
        if (got < 0) {
            error = readError();
            return false;
        }
        size_ = std::size_t(got);
        return true;
    }
    std::unique_ptr<MappedBytes> mapped_;
    void* read_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

// The first `n` bytes of a file, or fewer when it is shorter.
bool readFileStart(const std::string& path, std::vector<std::uint8_t>& out, std::size_t n,
                   std::string& error) {
    std::uint64_t size = 0;
    const UniqueFd fd = openPlainFile(path, size, error);
    if (!fd.valid()) return false;
    out.assign(n, 0);
    const std::ptrdiff_t got = readFrom(fd.get(), out.data(), n);
    if (got < 0) {
        error = readError();
        return false;
    }
    out.resize(std::size_t(got));
    return true;
}

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

} // namespace

// The catalog's records in the payload, and back.
class SavedScanCodec {
public:
    static void encode(const Catalog& c, Out& out);
    static bool decode(In& in, Catalog& c, const ScanIdentity& id);

private:
    class Names;
    static bool decodeFolders(In& in, Catalog& c, Names& names);
    static bool decodeFiles(In& in, Catalog& c, Names& names);
    static bool decodeItems(In& in, BlockList<DataItemRef>& list, const ScanIdentity& id);
    static bool decodeCarved(In& in, Catalog& c, const ScanIdentity& id);
};

// The names of the entries, folders' then files', each a length byte and
// its bytes, as the catalog keeps them: copied into its name store at once,
// then handed out in turn, each checked to lie within the run.
class SavedScanCodec::Names {
public:
    Names(Catalog& c, Bytes run) : at_(c.entryNames_.adopt(run)), end_(at_ + run.size()) {}
    bool next(EntryName& name) {
        if (at_ == end_ || std::size_t(end_ - at_) < 1u + *at_) return false;
        name = Catalog::storedName(at_);
        at_ += 1 + *at_;
        return true;
    }
    bool atEnd() const { return at_ == end_; }

private:
    const std::uint8_t* at_;
    const std::uint8_t* end_;
};

void SavedScanCodec::encode(const Catalog& c, Out& out) {
    std::uint64_t nameBytes = 0;
    for (const CatalogEntry& f : c.folderList_)
        nameBytes += 1 + f.name.size();
    for (const CatalogEntry& f : c.fileList_)
        nameBytes += 1 + f.name.size();
    out.put(nameBytes);
    for (const CatalogEntry& f : c.folderList_)
        out.name(f.name);
    for (const CatalogEntry& f : c.fileList_)
        out.name(f.name);
    out.put(std::uint32_t(c.folderList_.size()));
    for (const CatalogEntry& f : c.folderList_)
        folderFields(out, f);
    out.put(std::uint32_t(c.fileList_.size()));
    for (const CatalogEntry& f : c.fileList_)
        fileFields(out, f);
    for (const auto* list : {&c.directItems_, &c.indirectItems_}) {
        out.put(std::uint64_t(list->size()));
        for (const DataItemRef& r : *list)
            itemFields(out, r);
    }
    out.put(std::uint32_t(c.carvedTypes_.size()));
    for (const auto& [extension, typeName] : c.carvedTypes_) {
        out.text(extension);
        out.text(typeName);
    }
    out.put(std::uint32_t(c.carvedRuns_.size()));
    for (const BlockRun& r : c.carvedRuns_)
        runFields(out, r);
    out.put(std::uint32_t(c.carvedFiles_.size()));
    for (const CarvedFile& f : c.carvedFiles_)
        carvedFields(out, f);
}

// What the mount added, in its order; tree places are made again as the
// mount makes them. The first folder of an object id is the only one the
// mount keeps: a second one marks a file made up.
bool SavedScanCodec::decodeFolders(In& in, Catalog& c, Names& names) {
    const std::uint64_t n = in.count<4>(kFolderRecord);
    const Bytes records = in.records(n, kFolderRecord);
    if (!in.ok()) return false;
    c.folderList_.reserve(n);
    c.folderById_.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        RecordIn r(records.data() + i * kFolderRecord);
        CatalogEntry f;
        folderFields(r, f);
        if (!r.ok() || !names.next(f.name) ||
            !c.folderById_.emplace(f.objectId, std::uint32_t(i)).second)
            return false;
        c.folderList_.push_back(f);
    }
    c.folderCount_ = std::uint32_t(n);
    return true;
}

// Files are numbered in list order, as the mount numbers them.
bool SavedScanCodec::decodeFiles(In& in, Catalog& c, Names& names) {
    const std::uint64_t n = in.count<4>(kFileRecord);
    const Bytes records = in.records(n, kFileRecord);
    if (!in.ok()) return false;
    c.fileList_.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        RecordIn r(records.data() + i * kFileRecord);
        CatalogEntry f;
        fileFields(r, f);
        f.fileNumber = std::uint32_t(i + 1);
        if (!r.ok() || !names.next(f.name) ||
            (f.fileType != FileType::Regular && f.fileType != FileType::Symlink &&
             f.fileType != FileType::Special))
            return false;
        c.fileList_.push_back(f);
    }
    c.fileCount_ = std::uint32_t(n);
    return names.atEnd();
}

// Data items lie in leaves of the volume and within a block.
bool SavedScanCodec::decodeItems(In& in, BlockList<DataItemRef>& list, const ScanIdentity& id) {
    const std::uint64_t n = in.count<8>(kItemRecord);
    const Bytes records = in.records(n, kItemRecord);
    if (!in.ok()) return false;
    const std::uint64_t end = id.startSector + id.sectorCount;
    const std::size_t blockBytes = std::size_t(id.sectorsPerBlock) * 512;
    list.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        RecordIn r(records.data() + i * kItemRecord);
        DataItemRef ref;
        itemFields(r, ref);
        if (ref.leafSector < id.startSector || ref.leafSector >= end ||
            std::size_t(ref.itemLocation) + ref.itemLength > blockBytes)
            return false;
        list.push_back(ref);
    }
    return true;
}

// Carved types, runs within the volume, and files whose runs and type exist.
bool SavedScanCodec::decodeCarved(In& in, Catalog& c, const ScanIdentity& id) {
    const std::uint64_t types = in.count<4>(4);
    for (std::uint64_t i = 0; i < types && in.ok(); ++i) {
        const std::string_view extension = in.text();
        const std::string_view typeName = in.text();
        c.carvedTypes_.emplace_back(extension, typeName);
    }
    const std::uint64_t blocks = id.sectorCount / id.sectorsPerBlock;
    const std::uint64_t runs = in.count<4>(8);
    c.carvedRuns_.reserve(runs);
    for (std::uint64_t i = 0; i < runs && in.ok(); ++i) {
        BlockRun r;
        runFields(in, r);
        if (r.count == 0 || std::uint64_t(r.first) + r.count > blocks) return false;
        c.carvedRuns_.push_back(r);
    }
    const std::uint64_t files = in.count<4>(13);
    c.carvedFiles_.reserve(files);
    for (std::uint64_t i = 0; i < files && in.ok(); ++i) {
        CarvedFile f;
        carvedFields(in, f);
        if (!in.ok() || f.runCount == 0 || f.type >= c.carvedTypes_.size() ||
            std::uint64_t(f.firstRun) + f.runCount > c.carvedRuns_.size())
            return false;
        c.carvedFiles_.push_back(f);
    }
    return in.ok();
}

bool SavedScanCodec::decode(In& in, Catalog& c, const ScanIdentity& id) {
    c.ClearCatalog();
    c.recoveryMode = RecoveryMode::Extensive;
    if (id.sectorsPerBlock == 0 || !isValidBlockSize(id.sectorsPerBlock * 512)) return false;
    const Bytes nameRun = in.records(in.count<8>(1), 1);
    if (!in.ok()) return false;
    Names names(c, nameRun);
    in.release();
    if (!decodeFolders(in, c, names) || !decodeFiles(in, c, names)) return false;
    in.release();
    if (!decodeItems(in, c.directItems_, id)) return false;
    in.release();
    if (!decodeItems(in, c.indirectItems_, id)) return false;
    in.release();
    if (!decodeCarved(in, c, id)) return false;
    c.BuildFolderTree(kRootObjectId);
    return true;
}

ScanIdentity identifyScan(SectorReader& reader, const VolumeInfo& volume) {
    ScanIdentity id;
    const std::uint64_t total = reader.totalSectors();
    id.sourceBytes = total * 512;
    id.sourceHash = hashEnds(reader, 0, total);
    id.startSector = volume.startSector;
    id.sectorCount = volume.sectorCount;
    id.sectorsPerBlock = volume.sectorsPerBlock;
    id.rootBlock = volume.rootBlock;
    // A partition entry may claim more than the disk holds: past its end
    // there is nothing to read.
    std::uint64_t end = volume.startSector + volume.sectorCount;
    if (total != 0) end = std::max(std::min(end, total), std::min(volume.startSector, total));
    const std::uint64_t first = std::min(volume.startSector, end);
    // An image of the volume alone: the same ends, read and hashed once.
    id.volumeHash = first == 0 && end == total ? id.sourceHash : hashEnds(reader, first, end);
    return id;
}

std::vector<std::uint8_t> frameSavedScan(const SavedScan& scan, Bytes payload) {
    Out file;
    putHeader(file, scan, payload.size(), hashBytes(payload));
    file.bytes.insert(file.bytes.end(), payload.begin(), payload.end());
    return std::move(file.bytes);
}

std::vector<std::uint8_t> encodeSavedScan(const SavedScan& scan, const Catalog& catalog) {
    Out payload;
    countFields(payload, scan);
    SavedScanCodec::encode(catalog, payload);
    payload.put(std::uint64_t(scan.liveLeaves.size()));
    for (const std::uint64_t sector : scan.liveLeaves)
        payload.put(sector);
    payload.put(scan.position.nextBlock);
    payload.put(std::uint32_t(scan.position.treeBlocks.size()));
    for (const std::uint32_t block : scan.position.treeBlocks)
        payload.put(block);
    return frameSavedScan(scan, payload.bytes);
}

bool writeSavedScan(const std::string& path, const SavedScan& scan, const Catalog& catalog,
                    std::string& error) {
    const std::vector<std::uint8_t> file = encodeSavedScan(scan, catalog);
    // Beside the target, so that the rename stays on one file system.
    std::string temp = path + ".XXXXXX";
    UniqueFd fd(::mkstemp(temp.data()));
    if (!fd.valid()) {
        error = std::string("cannot be written: ") + std::strerror(errno);
        return false;
    }
    const bool written = writeAll(fd.get(), file) && ::fsync(fd.get()) == 0;
    const int writeErrno = errno;
    fd.reset();
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::string("cannot be written: ") + std::strerror(written ? errno : writeErrno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

namespace {

bool decodeFile(Bytes file, bool mapped, SavedScan& scan, Catalog& catalog, std::string& error) {
    catalog.ClearCatalog();
    scan = SavedScan{};
    std::uint64_t payloadBytes = 0, payloadHash = 0;
    if (!getHeader(file, scan, payloadBytes, payloadHash, error)) return false;
    const Bytes payload = file.subspan(std::min(file.size(), kSavedScanHeaderBytes));
    if (file.size() < kSavedScanHeaderBytes || payload.size() != payloadBytes ||
        hashBytes(payload) != payloadHash) {
        error = "is damaged: it is cut short or its contents were altered";
        return false;
    }
    In in(payload, mapped);
    countFields(in, scan);
    scan.result.stopped = scan.stopped;
    bool ok = in.ok() && SavedScanCodec::decode(in, catalog, scan.identity);
    const std::uint64_t leaves = in.count<8>(8);
    scan.liveLeaves.reserve(leaves);
    for (std::uint64_t i = 0; ok && i < leaves; ++i)
        scan.liveLeaves.push_back(in.u64());
    scan.position.nextBlock = in.u64();
    const std::uint64_t blocks = in.count<4>(4);
    scan.position.treeBlocks.reserve(blocks);
    for (std::uint64_t i = 0; ok && i < blocks; ++i)
        scan.position.treeBlocks.push_back(in.u32());
    if (!ok || !in.atEnd()) {
        catalog.ClearCatalog();
        error = "is damaged: its records do not agree with each other";
        return false;
    }
    return true;
}

} // namespace

bool decodeSavedScan(Bytes file, SavedScan& scan, Catalog& catalog, std::string& error) {
    return decodeFile(file, false, scan, catalog, error);
}

bool readSavedScanHeader(const std::string& path, SavedScan& scan, std::string& error) {
    std::vector<std::uint8_t> header;
    std::uint64_t payloadBytes = 0, payloadHash = 0;
    return readFileStart(path, header, kSavedScanHeaderBytes, error) &&
           getHeader(header, scan, payloadBytes, payloadHash, error);
}

bool readSavedScan(const std::string& path, SavedScan& scan, Catalog& catalog, std::string& error) {
    FileBytes file;
    if (!file.open(path, error)) return false;
    const bool decoded = decodeFile(file.bytes(), true, scan, catalog, error);
    if (file.lost()) {
        // Whatever was decoded may hold zeros for the lost pages.
        catalog.ClearCatalog();
        scan = SavedScan{};
        error = "cannot be read: it was cut short or could not be read while it was loaded";
        return false;
    }
    return decoded;
}

} // namespace dorvak
