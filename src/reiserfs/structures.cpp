#include "reiserfs/structures.h"

#include <cctype>

namespace dorvak {

// Every power of two from 512 to 8192: mkreiserfs makes 2048-byte blocks too.
bool isValidBlockSize(std::uint32_t blockSize) {
    return blockSize >= 512 && blockSize <= kMaxBlockSize && (blockSize & (blockSize - 1)) == 0;
}

std::optional<Superblock> ReadSuperblock(Bytes sector) {
    if (!fits(sector, 0, 70)) return std::nullopt;
    Superblock sb;
    sb.blockSize = le16(sector, 44);
    if (!isValidBlockSize(sb.blockSize)) return std::nullopt;
    static constexpr char kMagic[] = "reiser";
    for (int i = 0; i < 6; ++i)
        if (std::tolower(sector[52 + i]) != kMagic[i]) return std::nullopt;
    sb.blockCount = le32(sector, 0);
    sb.rootBlock = le32(sector, 8);
    sb.treeHeight = le16(sector, 68);
    sb.journalFirstBlock = le32(sector, 12);
    sb.journalDevice = le32(sector, 16);
    sb.journalSize = le32(sector, 20);
    sb.journalTransMax = le32(sector, 24);
    sb.journalMagic = le32(sector, 28);
    return sb;
}

std::optional<std::uint32_t> ChildBlock(Bytes block, std::uint32_t index) {
    auto head = ReadBlockHead(block);
    if (!head || index > head->itemCount) return std::nullopt;
    const std::size_t pointer = 24 + 16 * std::size_t(head->itemCount) + 8 * std::size_t(index);
    if (!fits(block, pointer, 8)) return std::nullopt;
    return le32(block, pointer);
}

FileType fileTypeOf(std::uint16_t mode) {
    switch (mode & 0xF000) {
    case 0x4000:
        return FileType::Directory;
    case 0x8000:
        return FileType::Regular;
    case 0xA000:
        return FileType::Symlink;
    case 0x1000: // FIFO
    case 0x2000: // character device
    case 0x6000: // block device
    case 0xC000: // socket
        return FileType::Special;
    default:
        return FileType::Other;
    }
}

std::optional<StatData> ReadStatData(Bytes block, std::size_t location, std::size_t length) {
    if ((length != 32 && length != 44) || !fits(block, location, length)) return std::nullopt;
    Bytes body = block.subspan(location, length);
    StatData sd;
    sd.mode = le16(body, 0);
    sd.fileType = fileTypeOf(sd.mode);
    if (length == 32) {
        sd.linkCount = le16(body, 2);
        sd.size = le32(body, 8);
        sd.modifiedTime = le32(body, 16);
        sd.auxValue = le32(body, 28);
    } else {
        sd.linkCount = le32(body, 4);
        sd.size = le64(body, 8);
        sd.modifiedTime = le32(body, 28);
        sd.auxValue = le32(body, 36);
    }
    return sd;
}

std::optional<DirEntry> ReadDirEntry(Bytes block, std::size_t location, std::uint32_t index) {
    const std::size_t at = location + 16 * std::size_t(index);
    if (!fits(block, at, 16)) return std::nullopt;
    return DirEntry{le32(block, at + 4), le32(block, at + 8), location + le16(block, at + 12)};
}

} // namespace dorvak
