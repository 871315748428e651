#include "disk/disk_table.h"
#include "disk/unique_fd.h"

#include "disk/sector_reader.h"
#include "disk/sector_source.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
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

} // namespace

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
        const std::string size = readLine(dir / "size");
        info.totalSectors = size.empty() ? 0 : std::strtoull(size.c_str(), nullptr, 10);
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
        if (!addSlot(std::move(info))) break;
    }
}

bool DiskTable::addImage(const std::string& path, std::string* error) {
    auto source = FileSectorSource::open(path, error);
    if (!source) return false;
    DiskInfo info;
    info.path = path;
    info.model = fs::path(path).filename().string();
    info.totalSectors = source->sizeBytes() / kSectorSize;
    info.hasMedia = true;
    fillGeometry(info, path);
    if (!addSlot(std::move(info))) {
        if (error) *error = "Cannot add " + path + ": the disk list is full";
        return false;
    }
    return true;
}

const DiskInfo* DiskTable::disk(std::uint32_t number) const {
    return number < listed_.size() ? &slots[listed_[number]] : nullptr;
}

std::string DiskTable::capacityText(const DiskInfo& info) {
    return std::to_string(info.totalSectors / 2048) + " MB ( Approx )";
}

} // namespace dorvak
