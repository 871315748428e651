#pragma once
// Whether a destination folder lies on the disk being recovered. Writing
// there would fill the free blocks that deleted files still occupy, so the
// copy-out refuses such a destination, and a folder chooser can ask first.
//
// Two block devices share a disk when their underlying disks meet: a
// partition stands for the disk it belongs to, and a device built on others
// (device-mapper, md) for the disks under its `slaves`, as sysfs lists them.
// A destination's writes are followed further: through a loop device to its
// backing file (`loop/backing_file`) and the file system that holds it, and
// from a file system with an anonymous device number (btrfs, overlay) through
// the mount table to the device it was mounted from, or for an overlay to
// its upper and work folders. An image file source conflicts only with a
// destination whose file system is stored in that file.

#include <set>
#include <string>
#include <sys/types.h>

namespace dorvak {

struct SystemPaths {
    std::string sys = "/sys";
    std::string mountInfo = "/proc/self/mountinfo";
};

// The whole disks under block device `device`, as sysfs folders; empty when
// sysfs does not know the device.
std::set<std::string> underlyingDisks(dev_t device, const SystemPaths& paths = {});

// Empty when `destination` may be written while `source` is read; otherwise
// the message that says why not.
std::string destinationOnSourceDisk(const std::string& source, const std::string& destination,
                                    const SystemPaths& paths = {});

} // namespace dorvak
