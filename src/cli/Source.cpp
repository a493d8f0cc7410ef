#include "cli/Source.h"

#include "platform/DriveDiscovery.h"

#include <filesystem>

namespace sarvik::cli {

OpenedSource openSource(const std::string& path)
{
    OpenedSource opened;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_block_file(status)) {
        opened.item.devicePath = path;
        opened.item.text = "Logical Disk(" + std::filesystem::path(path).filename().string() + ")";
    } else {
        opened.item = platform::imageDriveItem(path);
    }
    platform::PosixDeviceProvider devices;
    opened.supported = disk::SelectDrive(opened.volume, opened.item, devices);
    if (!opened.supported) {
        if (!devices.lastError().empty())
            opened.error = "cannot open " + devices.lastError();
        else
            opened.error = path + ": not a FAT16, FAT32 or NTFS volume";
    }
    return opened;
}

} // namespace sarvik::cli
