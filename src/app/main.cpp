// sarvik-undelete: the desktop program. Images and devices named on the command
// line are listed in the drive tree beside the volumes that discovery finds.

#include "app/FileTypes.h"
#include "app/RecoveryWindow.h"
#include "platform/DriveDiscovery.h"
#include "platform/PosixDevice.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

// A path named by the user: an image file, or a device listed under its own name.
std::optional<sarvik::disk::DriveItem> namedDrive(const QString& argument)
{
    const QFileInfo info(argument);
    if (!info.exists())
        return std::nullopt;
    const std::string path = info.absoluteFilePath().toStdString();
    if (info.isFile())
        return sarvik::platform::imageDriveItem(path);
    sarvik::disk::DriveItem item;
    item.devicePath = path;
    item.text = "Logical Disk(" + info.fileName().toStdString() + ")";
    return item;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sarvik-undelete"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora Sarvik Undelete"));
    QApplication::setApplicationVersion(QStringLiteral(SARVIK_VERSION));
    sarvik::app::useSystemIconTheme();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Recovers deleted files and folders from FAT16, FAT32 and NTFS volumes."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("source"), QStringLiteral("Disk images or devices to list."),
                                 QStringLiteral("[IMAGE|DEVICE]..."));
    parser.process(app);

    std::vector<sarvik::disk::DriveItem> drives = sarvik::platform::FillDriveTree();
    for (const QString& argument : parser.positionalArguments()) {
        auto item = namedDrive(argument);
        if (!item) {
            std::fprintf(stderr, "sarvik-undelete: %s: no such file or device\n", qPrintable(argument));
            continue;
        }
        const bool listed = std::any_of(drives.begin(), drives.end(),
                                        [&](const auto& d) { return d.devicePath == item->devicePath; });
        if (!listed)
            drives.push_back(*item);
    }

    sarvik::platform::PosixDeviceProvider devices;
    sarvik::app::RecoveryWindow window(std::move(drives), devices);
    window.show();
    return QApplication::exec();
}
