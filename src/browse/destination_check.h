#pragma once
// Whether a destination folder lies on the disk being recovered. Writing
// there would fill the free blocks that deleted files still occupy, so the
// copy-out refuses such a destination, and a folder chooser can ask first.
//
// Two block devices share a disk when their underlying disks meet: a
// partition stands for the disk it belongs to, and a device built on others
// (device-mapper, md, a loop device over a partition) for the disks under
// its `slaves`, as sysfs lists them. A destination whose file system reports
// an anonymous device number (btrfs, overlay) is traced through the mount
// table to the device it was mounted from.

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
// the message that says why not. A source that is not a block device (an
// image file) never conflicts.
std::string destinationOnSourceDisk(const std::string& source, const std::string& destination,
                                    const SystemPaths& paths = {});

} // namespace dorvak
