// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/NamedDrives.h"

#include "platform/DriveDiscovery.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <filesystem>

namespace sarvik::app {

NamedDrives namedDrives(const QString& path)
{
    NamedDrives named;
    const QFileInfo info(path);
    const QString shown = QFileInfo(path).absoluteFilePath();
    if (!info.exists()) {
        named.refusal = QCoreApplication::translate("sarvik::app::RecoveryWindow", "%1 does not exist.").arg(shown);
        return named;
    }
    if (info.isDir()) {
        named.refusal = QCoreApplication::translate("sarvik::app::RecoveryWindow",
                                                    "%1 is a folder. Choose a disk image file or a device.")
                            .arg(shown);
        return named;
    }
    const std::string absolute = info.absoluteFilePath().toStdString();
    if (info.isFile()) {
        named.items = platform::imageDriveItems(absolute);
        return named;
    }
    std::error_code ec;
    if (!std::filesystem::is_block_file(absolute, ec)) {
        named.refusal = QCoreApplication::translate("sarvik::app::RecoveryWindow",
                                                    "%1 is neither a disk image file nor a block device.")
                            .arg(shown);
        return named;
    }
    disk::DriveItem item;
    item.devicePath = absolute;
    item.text = "Logical Disk(" + info.fileName().toStdString() + ")";
    named.items.push_back(std::move(item));
    return named;
}

} // namespace sarvik::app
