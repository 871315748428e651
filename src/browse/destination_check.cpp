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

// Device stacks are shallow; the bound only ends a looping (fake) sysfs or
// a loop device whose file lies on itself.
constexpr int kMaxStackDepth = 16;

std::string number(dev_t device) {
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// What a file system's writes finally land on: whole disks (sysfs folders)
// and the files that loop devices on the way are backed by.
struct Backing {
    std::set<std::string> disks;
    std::set<std::pair<dev_t, ino_t>> files;
};

class Resolver {
public:
    // `followLoops`: whether a loop device stands for where its file lies
    // too (a destination's writes land there) or for itself only (a source
    // over an image file is the image, whatever disk holds it).
    Resolver(const SystemPaths& paths, bool followLoops)
        : paths_(paths), followLoops_(followLoops) {}
    Backing out;

    // A block device, by its number.
    void device(dev_t device, int depth) {
        node(fs::path(paths_.sys) / "dev" / "block" / number(device), depth);
    }

    // The file system whose files report `device` as their st_dev.
    void fileSystem(dev_t device, int depth) {
        const std::size_t before = out.disks.size();
        this->device(device, depth);
        if (out.disks.size() == before) mounted(device, depth);
    }

private:
    void node(const fs::path& path, int depth) {
        std::error_code ec;
        fs::path dir = fs::canonical(path, ec);
        if (ec || depth > kMaxStackDepth) return;
        if (fs::exists(dir / "partition", ec)) dir = dir.parent_path();
        bool stacked = false;
        for (const auto& slave : fs::directory_iterator(dir / "slaves", ec)) {
            stacked = true;
            node(slave.path(), depth + 1);
        }
        if (!stacked) out.disks.insert(dir.string());
        // A loop device lists no slaves: its writes go into its backing
        // file, on whatever that file lies on.
        std::string backing;
        struct stat st {};
        if (std::ifstream in(dir / "loop" / "backing_file");
            in && std::getline(in, backing) && ::stat(backing.c_str(), &st) == 0) {
            out.files.insert({st.st_dev, st.st_ino});
            if (followLoops_) fileSystem(st.st_dev, depth + 1);
        }
    }

    // A file system with an anonymous device number (btrfs, overlay, tmpfs),
    // traced through the mount table: the block device it was mounted from,
    // or for an overlay the folders it writes into (upper and work).
    void mounted(dev_t device, int depth) {
        if (depth > kMaxStackDepth) return;
        std::ifstream in(paths_.mountInfo);
        const std::string wanted = number(device);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string id, parent, numbers, word;
            fields >> id >> parent >> numbers;
            if (numbers != wanted) continue;
            while (fields >> word && word != "-") {
            }
            std::string type, from, options;
            fields >> type >> from >> options;
            struct stat st {};
            if (::stat(from.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
                this->device(st.st_rdev, depth + 1);
            } else if (type == "overlay") {
                for (const char* key : {"upperdir=", "workdir="}) {
                    const std::string dir = option(options, key);
                    if (!dir.empty() && ::stat(dir.c_str(), &st) == 0)
                        fileSystem(st.st_dev, depth + 1);
                }
            }
            return;
        }
    }

    // The value of `key` among comma-separated mount options, with the
    // mount table's octal escapes ("\040" for a space) undone.
    static std::string option(const std::string& options, const std::string& key) {
        for (std::size_t at = 0; at < options.size();) {
            const std::size_t end = std::min(options.find(',', at), options.size());
            if (options.compare(at, key.size(), key) != 0) {
                at = end + 1;
                continue;
            }
            std::string value;
            for (std::size_t i = at + key.size(); i < end; ++i) {
                const bool escape = options[i] == '\\' && i + 3 < end &&
                                    options.find_first_not_of("01234567", i + 1) >= i + 4;
                value +=
                    escape ? char(std::stoi(options.substr(i + 1, 3), nullptr, 8)) : options[i];
                if (escape) i += 3;
            }
            return value;
        }
        return {};
    }

    const SystemPaths& paths_;
    bool followLoops_;
};

} // namespace

std::set<std::string> underlyingDisks(dev_t device, const SystemPaths& paths) {
    Resolver r(paths, false);
    r.device(device, 0);
    return r.out.disks;
}

std::string destinationOnSourceDisk(const std::string& source, const std::string& destination,
                                    const SystemPaths& paths) {
    struct stat src {
    }, dst{};
    if (::stat(source.c_str(), &src) != 0) return {};
    if (::stat(destination.c_str(), &dst) != 0) return {}; // the copy-out reports that itself
    Resolver to(paths, true);
    to.fileSystem(dst.st_dev, 0);
    if (S_ISREG(src.st_mode)) {
        // An image file: wrong only when the destination's file system is
        // stored in that very file (mounted from it through a loop device).
        if (to.out.files.count({src.st_dev, src.st_ino}))
            return "The destination " + destination +
                   " lies in a file system stored in the image being recovered (" + source +
                   "): writing there would change the image. Choose a folder elsewhere.";
        return {};
    }
    if (!S_ISBLK(src.st_mode)) return {};
    Resolver from(paths, false);
    from.device(src.st_rdev, 0);
    bool shared = false;
    for (const auto& file : from.out.files) // a loop source: its image file
        shared = shared || to.out.files.count(file);
    for (const std::string& disk : from.out.disks)
        shared = shared || to.out.disks.count(disk);
    if (shared)
        return "The destination " + destination + " lies on the disk being recovered (" + source +
               "): writing there could overwrite deleted files. Choose a folder on "
               "another disk.";
    return {};
}

} // namespace dorvak
