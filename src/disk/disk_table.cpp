#include "disk/disk_table.h"
#include "disk/unique_fd.h"

#include "disk/container_source.h"
#include "disk/sector_reader.h"
#include "disk/sector_source.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace dorvak {
namespace fs = std::filesystem;

namespace {

std::string readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\t'))
        line.pop_back();
    line.erase(0, line.find_first_not_of(" \t"));
    return line;
}

bool isVirtual(const std::string& name) {
    for (const char* prefix : {"loop", "ram", "zram", "dm-", "md", "nbd"})
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

// Natural order, so sdb comes before sdaa and nvme0n2 before nvme0n10.
bool naturalLess(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

void fillGeometry(DiskInfo& info, const std::string& device) {
    info.heads = 255;
    info.sectorsPerTrack = 63;
    const UniqueFd fd(::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.valid()) {
        struct hd_geometry geo {};
        if (::ioctl(fd.get(), HDIO_GETGEO, &geo) == 0 && geo.heads != 0 && geo.sectors != 0) {
            info.heads = geo.heads;
            info.sectorsPerTrack = geo.sectors;
        }
    }
    const std::uint64_t perCylinder = std::uint64_t(info.heads) * info.sectorsPerTrack;
    info.cylinders = static_cast<std::uint32_t>(info.totalSectors / perCylinder);
}

// Device-mapper kind from the uuid its creator gave it. LVM's own hidden
// layers (thin pool data and metadata, raid images, snapshot origins) carry
// a suffix after the 68-character "LVM-" uuid and hold no file system of
// their own.
std::string mapperKind(const std::string& uuid, bool& internal) {
    internal = false;
    if (uuid.rfind("LVM-", 0) == 0) {
        internal = uuid.size() > 68 && uuid[68] == '-';
        return "lvm";
    }
    if (uuid.rfind("CRYPT-", 0) == 0) return "crypt";
    return "device-mapper";
}

// /dev/md/NAME links to ../mdN when the array has a name.
std::string mdPath(const std::string& devRoot, const std::string& node) {
    std::error_code ec;
    for (const auto& link : fs::directory_iterator(fs::path(devRoot) / "md", ec)) {
        std::error_code lec;
        if (fs::read_symlink(link.path(), lec).filename() == node) return link.path().string();
    }
    return (fs::path(devRoot) / node).string();
}

std::uint64_t sectorsOf(const fs::path& dir) {
    const std::string size = readLine(dir / "size");
    return size.empty() ? 0 : std::strtoull(size.c_str(), nullptr, 10);
}

} // namespace

bool isStackedDevice(const std::string& path, const std::string& sysDevBlock) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
    const fs::path dir = fs::path(sysDevBlock) / (std::to_string(major(st.st_rdev)) + ":" +
                                                  std::to_string(minor(st.st_rdev)));
    std::error_code ec;
    return fs::exists(dir / "dm", ec) || fs::exists(dir / "md", ec);
}

void DiskTable::addStacked(const std::string& sysBlock, const std::string& devRoot) {
    struct Stacked {
        std::string sortKey;
        DiskInfo info;
    };
    std::vector<Stacked> mappers, arrays;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysBlock, ec)) {
        const std::string node = entry.path().filename().string();
        const fs::path dir = entry.path();
        DiskInfo info;
        info.totalSectors = sectorsOf(dir);
        // An inactive array or a suspended mapping has no size: nothing to read.
        if (info.totalSectors == 0) continue;
        info.hasMedia = true;
        info.wholeVolume = true;
        if (node.rfind("dm-", 0) == 0) {
            const std::string name = readLine(dir / "dm/name");
            bool internal = false;
            info.kind = mapperKind(readLine(dir / "dm/uuid"), internal);
            if (name.empty() || internal) continue;
            info.path = (fs::path(devRoot) / "mapper" / name).string();
            info.model = info.path;
            mappers.push_back({name, std::move(info)});
        } else if (node.rfind("md", 0) == 0 && fs::exists(dir / "md", ec)) {
            info.kind = "md";
            info.path = mdPath(devRoot, node);
            info.model = info.path;
            arrays.push_back({node, std::move(info)});
        }
    }
    std::sort(mappers.begin(), mappers.end(),
              [](const Stacked& a, const Stacked& b) { return a.sortKey < b.sortKey; });
    std::sort(arrays.begin(), arrays.end(),
              [](const Stacked& a, const Stacked& b) { return naturalLess(a.sortKey, b.sortKey); });
    for (auto* list : {&mappers, &arrays})
        for (auto& s : *list) {
            fillGeometry(s.info, s.info.path);
            if (!addSlot(std::move(s.info))) return;
        }
}

bool DiskTable::addSlot(DiskInfo info) {
    if (diskSlotCount >= kSlots) return false;
    if (info.hasMedia) {
        if (diskCount >= kReadableDisks) return false;
        listed_.push_back(diskSlotCount);
        ++diskCount;
    }
    slots[diskSlotCount++] = std::move(info);
    return true;
}

void DiskTable::EnumerateDisks(const std::string& sysBlock, const std::string& devRoot) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysBlock, ec)) {
        std::string name = entry.path().filename().string();
        if (!isVirtual(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    for (const auto& name : names) {
        const fs::path dir = fs::path(sysBlock) / name;
        DiskInfo info;
        info.path = (fs::path(devRoot) / name).string();
        info.totalSectors = sectorsOf(dir);
        info.hasMedia = info.totalSectors != 0;
        if (!info.hasMedia) {
            info.model = "Media missing or not inserted";
        } else {
            const std::string real = fs::canonical(dir, ec).string();
            info.model = real.find("/usb") != std::string::npos ? "USB Device"
                                                                : readLine(dir / "device/model");
            if (info.model.empty()) info.model = name;
            fillGeometry(info, info.path);
        }
        if (!addSlot(std::move(info))) return;
    }
    addStacked(sysBlock, devRoot);
}

IoResult<> DiskTable::addImage(const std::string& path) {
    auto opened = openSectorSource(path);
    if (!opened) return opened.error();
    const std::unique_ptr<SectorSource>& source = *opened;
    DiskInfo info;
    info.path = path;
    info.model = fs::path(path).filename().string();
    info.kind = "image";
    info.format = source->formatName();
    info.totalSectors = source->sizeBytes() / kSectorSize;
    info.hasMedia = true;
    fillGeometry(info, path);
    if (!addSlot(std::move(info)))
        return IoError{ENOSPC, "Cannot add " + path + ": the disk list is full"};
    return {};
}

const DiskInfo* DiskTable::disk(std::uint32_t number) const {
    return number < listed_.size() ? &slots[listed_[number]] : nullptr;
}

std::string DiskTable::capacityText(const DiskInfo& info) {
    return std::to_string(info.totalSectors / 2048) + " MB ( Approx )";
}

} // namespace dorvak
