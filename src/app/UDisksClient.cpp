// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UDisksClient.h"

#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>
#include <QMap>
#include <QVariantMap>

namespace sarvik::app {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManager = QStringLiteral("/org/freedesktop/UDisks2");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kPartition = QStringLiteral("org.freedesktop.UDisks2.Partition");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kLoop = QStringLiteral("org.freedesktop.UDisks2.Loop");

/// A list of the service's objects is quick; an open waits while polkit asks
/// for the password.
constexpr int kListTimeoutMs = 5000;
constexpr int kOpenTimeoutMs = 5 * 60 * 1000;

using Interfaces = QMap<QString, QVariantMap>; ///< interface name -> its properties
using Objects = QMap<QString, Interfaces>;     ///< object path -> its interfaces

/// The objects of the service (GetManagedObjects); nothing when it does not answer.
std::optional<Objects> managedObjects()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return std::nullopt;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kManager, kObjectManager, QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, kListTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const auto argument = reply.arguments().constFirst().value<QDBusArgument>();
    Objects objects;
    argument.beginMap();
    while (!argument.atEnd()) {
        QDBusObjectPath path;
        Interfaces interfaces;
        argument.beginMapEntry();
        argument >> path >> interfaces;
        argument.endMapEntry();
        objects.insert(path.path(), interfaces);
    }
    argument.endMap();
    return objects;
}

/// A path the service gives as bytes ending in NUL ("ay").
std::string bytesText(const QVariant& value)
{
    QByteArray bytes = value.toByteArray();
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return bytes.toStdString();
}

std::string baseName(const std::string& path)
{
    return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

/// The block object whose device is `devicePath`; empty when there is none.
QString blockObject(const Objects& objects, const std::string& devicePath)
{
    for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
        const auto block = object->constFind(kBlock);
        if (block != object->cend() && (bytesText(block->value(QStringLiteral("Device"))) == devicePath ||
                                        bytesText(block->value(QStringLiteral("PreferredDevice"))) == devicePath))
            return object.key();
    }
    return {};
}

/// The block devices the service lists, as discovery describes them.
std::vector<platform::BlockDevice> blockDevices(const Objects& objects)
{
    std::vector<platform::BlockDevice> blocks;
    for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
        const auto block = object->constFind(kBlock);
        if (block == object->cend())
            continue;
        platform::BlockDevice device;
        device.devicePath = bytesText(block->value(QStringLiteral("Device")));
        device.name = baseName(device.devicePath);
        device.disk = device.name;
        device.sizeBytes = block->value(QStringLiteral("Size")).toULongLong();
        const QString drive = block->value(QStringLiteral("Drive")).value<QDBusObjectPath>().path();
        device.removable = objects.value(drive).value(kDrive).value(QStringLiteral("MediaRemovable")).toBool();
        if (const auto loop = object->constFind(kLoop); loop != object->cend())
            device.attached = !bytesText(loop->value(QStringLiteral("BackingFile"))).empty();
        if (const auto partition = object->constFind(kPartition); partition != object->cend()) {
            const QString table = partition->value(QStringLiteral("Table")).value<QDBusObjectPath>().path();
            const std::string tableDevice =
                bytesText(objects.value(table).value(kBlock).value(QStringLiteral("Device")));
            if (!tableDevice.empty())
                device.disk = baseName(tableDevice);
        }
        if (!device.name.empty())
            blocks.push_back(std::move(device));
    }
    return blocks;
}

} // namespace

UDisksClient::UDisksClient(QObject* parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(250);
    connect(&m_settle, &QTimer::timeout, this, &UDisksClient::drivesChanged);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    for (const char* signal : {"InterfacesAdded", "InterfacesRemoved"})
        bus.connect(kService, kManager, kObjectManager, QString::fromLatin1(signal), &m_settle, SLOT(start()));
}

std::optional<std::vector<disk::DriveItem>> UDisksClient::drives() const
{
    const std::optional<Objects> objects = managedObjects();
    if (!objects)
        return std::nullopt;
    return platform::driveItemsOf(blockDevices(*objects));
}

ServiceOpen UDisksClient::openDevice(const std::string& devicePath)
{
    const std::optional<Objects> objects = managedObjects();
    if (!objects)
        return {ServiceOpen::Outcome::Unavailable, tr("UDisks2 does not run on the system bus")};
    const QString object = blockObject(*objects, devicePath);
    if (object.isEmpty())
        return {ServiceOpen::Outcome::Unavailable,
                tr("UDisks2 does not know %1").arg(QString::fromStdString(devicePath))};
    QDBusMessage call = QDBusMessage::createMethodCall(kService, object, kBlock, QStringLiteral("OpenDevice"));
    call << QStringLiteral("r") << QVariantMap{{QStringLiteral("auth.no_user_interaction"), false}};
    // polkit's agent may ask the user for a password before the answer comes.
    call.setInteractiveAuthorizationAllowed(true);
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, kOpenTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString name = reply.errorName();
        const bool gone = name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                          name == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
        const QString reason = reply.errorMessage().isEmpty() ? name : reply.errorMessage();
        return {gone ? ServiceOpen::Outcome::Unavailable : ServiceOpen::Outcome::Refused, reason};
    }
    const auto descriptor = reply.arguments().isEmpty()
                                ? QDBusUnixFileDescriptor{}
                                : reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
    if (!descriptor.isValid())
        return {ServiceOpen::Outcome::Refused, tr("UDisks2 answered without a file descriptor")};
    std::string error;
    if (!platform::serveDevice(devicePath, descriptor.fileDescriptor(), error))
        return {ServiceOpen::Outcome::Refused, QString::fromStdString(error)};
    return {ServiceOpen::Outcome::Opened, {}};
}

} // namespace sarvik::app
