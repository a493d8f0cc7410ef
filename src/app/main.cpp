// SPDX-License-Identifier: GPL-3.0-or-later
// sarvik-undelete: the desktop program. Images and devices named on the command
// line are listed in the drive tree beside the volumes that discovery finds.

#include "app/FileTypes.h"
#include "app/MessageBoxes.h"
#include "app/NamedDrives.h"
#include "app/RecentPlaces.h"
#include "app/RecoveryWindow.h"
#include "app/Translations.h"
#include "app/UDisksClient.h"
#include "platform/Console.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

constexpr const char* kUsage = "Usage: sarvik-undelete [IMAGE|DEVICE]...\n"
                               "Recovers deleted files and folders from FAT12, FAT16, FAT32, exFAT and NTFS volumes.\n"
                               "Images and devices named here are listed in the drive tree beside the volumes\n"
                               "of this machine. Without a display, use the command-line program sarvik.\n";

} // namespace

int main(int argc, char* argv[])
{
    sarvik::platform::setUpProcess();
    // Help and version work without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "-v" || arg == "--version") {
            std::printf("sarvik-undelete %s\n", SARVIK_VERSION);
            return 0;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("sarvik-undelete: no display found; the command-line program sarvik works without one\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    // The window speaks the system's language where a translation of it is built in.
    sarvik::app::installTranslations(app);
    QApplication::setApplicationName(QStringLiteral("sarvik-undelete"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora Sarvik Undelete"));
    QApplication::setApplicationVersion(QStringLiteral(SARVIK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.velmora.SarvikUndelete"));
    QIcon windowIcon(QStringLiteral(":/icons/48.png"));
    windowIcon.addFile(QStringLiteral(":/icons/256.png"));
    QApplication::setWindowIcon(windowIcon);
    sarvik::app::useSystemIconTheme();
    sarvik::app::RecentPlaces::instance().keepInSettings();
    sarvik::app::keepDialogTitlesWhole(&app);

    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("source"), QStringLiteral("Disk images or devices to list."),
                                 QStringLiteral("[IMAGE|DEVICE]..."));
    parser.process(app);

    // The system's disk manager lists the drives where it runs; sysfs elsewhere.
    std::optional<std::vector<sarvik::disk::DriveItem>> managed = sarvik::app::UDisksClient().drives();
    std::vector<sarvik::disk::DriveItem> drives = managed ? std::move(*managed) : sarvik::platform::FillDriveTree();
    QStringList refused;
    for (const QString& argument : parser.positionalArguments()) {
        const sarvik::app::NamedDrives named = sarvik::app::namedDrives(argument);
        if (!named.refusal.isEmpty()) {
            std::fprintf(stderr, "sarvik-undelete: %s\n", qPrintable(named.refusal));
            refused << named.refusal;
            continue;
        }
        for (const auto& item : named.items) {
            const bool listed = std::any_of(drives.begin(), drives.end(),
                                            [&](const auto& d) { return d.devicePath == item.devicePath; });
            if (!listed)
                drives.push_back(item);
        }
    }

    sarvik::platform::SystemDeviceProvider devices;
    sarvik::app::RecoveryWindow window(std::move(drives), devices);
    window.keepStateInSettings();
    window.watchDrives();
    window.show();
    window.showRefusedSources(refused);
    return QApplication::exec();
}
