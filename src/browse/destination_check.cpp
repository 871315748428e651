#include "browse/destination_check.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace dorvak {
namespace {

namespace fs = std::filesystem;

// Device stacks are shallow; the bound only ends a looping (fake) sysfs.
constexpr int kMaxStackDepth = 16;

std::string number(dev_t device) {
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

void collect(const fs::path& node, int depth, std::set<std::string>& out) {
    std::error_code ec;
    fs::path dir = fs::canonical(node, ec);
    if (ec || depth > kMaxStackDepth) return;
    if (fs::exists(dir / "partition", ec)) dir = dir.parent_path();
    bool stacked = false;
    for (const auto& slave : fs::directory_iterator(dir / "slaves", ec)) {
        stacked = true;
        collect(slave.path(), depth + 1, out);
    }
    if (!stacked) out.insert(dir.string());
}

// The device a mount with this (anonymous) device number was mounted from.
bool mountSource(dev_t device, const std::string& mountInfo, dev_t& source) {
    std::ifstream in(mountInfo);
    const std::string wanted = number(device);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, parent, numbers, word;
        fields >> id >> parent >> numbers;
        if (numbers != wanted) continue;
        while (fields >> word && word != "-") {
        }
        std::string type, from;
        fields >> type >> from;
        struct stat st {};
        if (::stat(from.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
            source = st.st_rdev;
            return true;
        }
    }
    return false;
}

} // namespace

std::set<std::string> underlyingDisks(dev_t device, const SystemPaths& paths) {
    std::set<std::string> out;
    collect(fs::path(paths.sys) / "dev" / "block" / number(device), 0, out);
    return out;
}

std::string destinationOnSourceDisk(const std::string& source, const std::string& destination,
                                    const SystemPaths& paths) {
    struct stat src {
    }, dst{};
    if (::stat(source.c_str(), &src) != 0 || !S_ISBLK(src.st_mode)) return {};
    if (::stat(destination.c_str(), &dst) != 0) return {}; // the copy-out reports that itself
    std::set<std::string> destinationDisks = underlyingDisks(dst.st_dev, paths);
    if (dev_t from{}; destinationDisks.empty() && mountSource(dst.st_dev, paths.mountInfo, from))
        destinationDisks = underlyingDisks(from, paths);
    for (const std::string& disk : underlyingDisks(src.st_rdev, paths))
        if (destinationDisks.count(disk))
            return "The destination " + destination + " lies on the disk being recovered (" +
                   source +
                   "): writing there could overwrite deleted files. Choose a folder on "
                   "another disk.";
    return {};
}

} // namespace dorvak
