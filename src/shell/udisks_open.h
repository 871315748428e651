#pragma once
// UdisksOpener: opens a disk the user may not read by asking udisks2 for a
// read-only descriptor over D-Bus. The daemon asks polkit, which shows the
// desktop's password prompt; on success it hands back a descriptor of the
// device opened O_RDONLY, which the sector reader reads like any other
// (SectorReader::openDescriptor). Block.OpenDevice with mode "r" is asked
// first; daemons older than 2.7.3 only know Block.OpenForBackup.
//
// No widgets: the window calls it when opening a device fails with EACCES or
// EPERM and shows `error` when no descriptor comes back.

#include "disk/unique_fd.h"

#include <QString>

namespace dorvak {

class UdisksOpener {
public:
    // The system bus, or for tests the bus at `busAddress`
    // ("unix:path=/tmp/...").
    explicit UdisksOpener(QString busAddress = {});

    struct Result {
        UniqueFd fd;   // valid on success
        QString error; // on failure: names the device, says how to run with rights
        bool ok() const { return fd.valid(); }
    };

    // Blocks until the daemon answers: the user may take a while at the
    // password prompt. The window's events are processed meanwhile
    // (QDBus::BlockWithGui), so it keeps painting.
    Result openReadOnly(const QString& devicePath, int timeoutMs = 5 * 60 * 1000);

    // The D-Bus object path udisks2 gives the block device `devicePath`
    // (after symbolic links such as /dev/mapper/NAME are followed), for
    // daemons without Manager.ResolveDevice.
    static QString blockObjectPath(const QString& devicePath);

private:
    QString busAddress_;
};

} // namespace dorvak
