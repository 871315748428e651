#include "shell/udisks_open.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>
#include <QVariantMap>

#include <fcntl.h>

namespace dorvak {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString kManager = QStringLiteral("org.freedesktop.UDisks2.Manager");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");

// Resolving a name is quick; only the open waits for the user.
constexpr int kResolveTimeoutMs = 15000;

QString withRights(const QString& device, const QString& reason) {
    return QStringLiteral("Cannot open %1: %2.\nRun the program with the rights to read disks: "
                          "pkexec dorvak-reiserfs, or as a member of the disk group (sudo "
                          "usermod -aG disk $USER, then log in again).")
        .arg(device, reason);
}

bool unreachable(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    return name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           name == QLatin1String("org.freedesktop.DBus.Error.NoServer") ||
           name == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

QString reasonOf(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    if (unreachable(reply)) return QStringLiteral("udisks2 is not available");
    if (name.startsWith(QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorized")) ||
        name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        return QStringLiteral("permission was not granted");
    return QStringLiteral("udisks2 could not open it (%1)").arg(reply.errorMessage());
}

} // namespace

UdisksOpener::UdisksOpener(QString busAddress) : busAddress_(std::move(busAddress)) {}

QString UdisksOpener::blockObjectPath(const QString& devicePath) {
    // udisks2 names the object after the kernel's device name, every byte
    // that is not a letter or digit written as _xx.
    const QString real = QFileInfo(devicePath).canonicalFilePath();
    const QByteArray name = QFileInfo(real.isEmpty() ? devicePath : real).fileName().toUtf8();
    QString path = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
            path += QLatin1Char(c);
        else
            path += QStringLiteral("_%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return path;
}

UdisksOpener::Result UdisksOpener::openReadOnly(const QString& devicePath, int timeoutMs) {
    Result result;
    QDBusConnection bus = busAddress_.isEmpty()
                              ? QDBusConnection::systemBus()
                              : QDBusConnection::connectToBus(
                                    busAddress_, QStringLiteral("dorvak-udisks ") + busAddress_);
    if (!bus.isConnected()) {
        result.error = withRights(devicePath, QStringLiteral("the system bus is not available"));
        return result;
    }

    // Manager.ResolveDevice knows every name of a device (/dev/mapper/NAME,
    // /dev/disk/by-id/...); older daemons do not have it.
    QString object;
    QDBusMessage resolve =
        QDBusMessage::createMethodCall(kService, kManagerPath, kManager, "ResolveDevice");
    resolve << QVariantMap{{QStringLiteral("path"), devicePath}} << QVariantMap{};
    const QDBusMessage resolved = bus.call(resolve, QDBus::Block, kResolveTimeoutMs);
    if (resolved.type() == QDBusMessage::ReplyMessage && resolved.signature() == "ao") {
        const auto paths =
            qdbus_cast<QList<QDBusObjectPath>>(resolved.arguments().at(0).value<QDBusArgument>());
        if (paths.isEmpty()) {
            result.error = withRights(devicePath, QStringLiteral("udisks2 does not know it"));
            return result;
        }
        object = paths.first().path();
    } else if (unreachable(resolved)) {
        result.error = withRights(devicePath, reasonOf(resolved));
        return result;
    } else {
        object = blockObjectPath(devicePath);
    }

    QDBusMessage open = QDBusMessage::createMethodCall(kService, object, kBlock, "OpenDevice");
    open << QStringLiteral("r") << QVariantMap{};
    QDBusMessage reply = bus.call(open, QDBus::BlockWithGui, timeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage &&
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
        QDBusMessage backup =
            QDBusMessage::createMethodCall(kService, object, kBlock, "OpenForBackup");
        backup << QVariantMap{};
        reply = bus.call(backup, QDBus::BlockWithGui, timeoutMs);
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        result.error = withRights(devicePath, reasonOf(reply));
        return result;
    }
    if (reply.signature() != "h") {
        result.error = withRights(devicePath, QStringLiteral("udisks2 handed back no descriptor"));
        return result;
    }
    const auto handed = reply.arguments().at(0).value<QDBusUnixFileDescriptor>();
    // The message owns its descriptor and closes it when it goes; keep a copy.
    if (handed.isValid()) result.fd.reset(::fcntl(handed.fileDescriptor(), F_DUPFD_CLOEXEC, 0));
    if (!result.ok())
        result.error = withRights(devicePath, QStringLiteral("udisks2 handed back no descriptor"));
    return result;
}

} // namespace dorvak
