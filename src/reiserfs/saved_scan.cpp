#include "reiserfs/saved_scan.h"

#include "disk/unique_fd.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
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
    std::vector<std::uint8_t> buffer(n * 512);
    std::uint64_t h = hashBytes({}, end - first);
    for (const std::uint64_t at : {first, end - n}) {
        std::fill(buffer.begin(), buffer.end(), 0);
        if (n) reader.ReadSectors(at, std::uint32_t(n), buffer.data());
        h = hashBytes(buffer, h);
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
    explicit In(Bytes b) : b_(b) {}
    bool ok() const { return ok_; }
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
};

// Each record's fields in the order the file holds them, for both
// directions: `io` is an Out that writes them or an In that reads into them.
template <class Io, class Id> void identityFields(Io& io, Id& id) {
    io(id.sourceBytes, id.sourceHash, id.startSector, id.sectorCount, id.sectorsPerBlock,
       id.rootBlock, id.volumeHash);
}
template <class Io, class Scan> void countFields(Io& io, Scan& scan) {
    io(scan.result.leavesRead, scan.result.nodesSkipped, scan.result.nodesFromJournal,
       scan.result.leavesReadTwice, scan.unreadableSectors);
}
// Folders (18 bytes after the name) and files (31): what the mount added.
template <class Io, class E> void folderFields(Io& io, E& f) {
    io(f.parentId, f.objectId, f.modifiedTime, f.keyDirId, f.deleted);
}
template <class Io, class E> void fileFields(Io& io, E& f) {
    io(f.parentId, f.objectId, f.modifiedTime, f.keyDirId, f.auxValue, f.fileType, f.deleted,
       f.size);
}
// 28 bytes each.
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

// The file's bytes (at most `most`), in pages mapped for them alone: a
// saved scan of a large volume runs to tens of MiB, and faulting a buffer
// in 4 KiB at a time cost a tenth of a load. Huge pages where the kernel
// gives them for the asking.
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes() {
        if (data_) ::munmap(data_, length_);
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    bool allocate(std::size_t length) {
        length = std::max<std::size_t>(length, 1);
        void* p =
            ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return false;
        ::madvise(p, length, MADV_HUGEPAGE); // a hint: without it, small pages
        data_ = static_cast<std::uint8_t*>(p);
        length_ = length;
        return true;
    }
    std::uint8_t* data() { return data_; }
    Bytes bytes() const { return {data_, size}; }
    std::size_t size = 0;

private:
    std::uint8_t* data_ = nullptr;
    std::size_t length_ = 0;
};

bool readWholeFile(const std::string& path, FileBytes& out, std::size_t most, std::string& error) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "is not a file";
        return false;
    }
    const std::size_t wanted = std::min<std::uint64_t>(std::uint64_t(st.st_size), most);
    if (!out.allocate(wanted)) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    out.size = 0;
    while (out.size < wanted) {
        const ssize_t n = ::read(fd.get(), out.data() + out.size, wanted - out.size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::string("cannot be read: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) break; // cut short while read: the checks below say so
        out.size += std::size_t(n);
    }
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
    static bool decodeEntries(In& in, Catalog& c);
    static bool decodeItems(In& in, std::deque<DataItemRef>& list, const ScanIdentity& id);
    static bool decodeCarved(In& in, Catalog& c, const ScanIdentity& id);
};

void SavedScanCodec::encode(const Catalog& c, Out& out) {
    out.put(std::uint32_t(c.folderList_.size()));
    for (const CatalogEntry& f : c.folderList_) {
        out.name(f.name);
        folderFields(out, f);
    }
    out.put(std::uint32_t(c.fileList_.size()));
    for (const CatalogEntry& f : c.fileList_) {
        out.name(f.name);
        fileFields(out, f);
    }
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

// What the mount would have added, in its order; tree places and file
// numbers are made again as the mount makes them.
bool SavedScanCodec::decodeEntries(In& in, Catalog& c) {
    const std::uint64_t folders = in.count<4>(1 + 17);
    c.folderList_.reserve(folders);
    for (std::uint64_t i = 0; i < folders && in.ok(); ++i) {
        const std::string_view name = in.name();
        CatalogEntry f;
        folderFields(in, f);
        if (!in.ok()) return false;
        const std::size_t before = c.folderList_.size();
        c.AddFolder(name, f.parentId, f.objectId, f.modifiedTime, f.keyDirId);
        if (c.folderList_.size() == before) return false; // a folder listed twice
        c.folderList_.back().deleted = f.deleted;
    }
    const std::uint64_t files = in.count<4>(1 + 30);
    for (std::uint64_t i = 0; i < files && in.ok(); ++i) {
        const std::string_view name = in.name();
        CatalogEntry f;
        fileFields(in, f);
        if (!in.ok() || (f.fileType != FileType::Regular && f.fileType != FileType::Symlink &&
                         f.fileType != FileType::Special))
            return false;
        CatalogEntry e = c.makeEntry(name, f.parentId, f.objectId, f.modifiedTime, f.keyDirId);
        e.auxValue = f.auxValue;
        e.size = f.size;
        e.fileType = f.fileType;
        e.deleted = f.deleted;
        e.fileNumber = ++c.fileCount_;
        c.fileList_.push_back(e);
    }
    return in.ok();
}

// Data items lie in leaves of the volume and within a block.
bool SavedScanCodec::decodeItems(In& in, std::deque<DataItemRef>& list, const ScanIdentity& id) {
    const std::uint64_t n = in.count<8>(28);
    const std::uint64_t end = id.startSector + id.sectorCount;
    const std::size_t blockBytes = std::size_t(id.sectorsPerBlock) * 512;
    for (std::uint64_t i = 0; i < n && in.ok(); ++i) {
        DataItemRef r;
        itemFields(in, r);
        if (r.leafSector < id.startSector || r.leafSector >= end ||
            std::size_t(r.itemLocation) + r.itemLength > blockBytes)
            return false;
        list.push_back(r);
    }
    return in.ok();
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
    if (!decodeEntries(in, c) || !decodeItems(in, c.directItems_, id) ||
        !decodeItems(in, c.indirectItems_, id) || !decodeCarved(in, c, id))
        return false;
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

bool decodeSavedScan(Bytes file, SavedScan& scan, Catalog& catalog, std::string& error) {
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
    In in(payload);
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

bool readSavedScanHeader(const std::string& path, SavedScan& scan, std::string& error) {
    FileBytes file;
    std::uint64_t payloadBytes = 0, payloadHash = 0;
    return readWholeFile(path, file, kSavedScanHeaderBytes, error) &&
           getHeader(file.bytes(), scan, payloadBytes, payloadHash, error);
}

bool readSavedScan(const std::string& path, SavedScan& scan, Catalog& catalog, std::string& error) {
    FileBytes file;
    if (!readWholeFile(path, file, SIZE_MAX, error)) return false;
    return decodeSavedScan(file.bytes(), scan, catalog, error);
}

} // namespace dorvak
