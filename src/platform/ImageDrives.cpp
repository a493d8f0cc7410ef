// SPDX-License-Identifier: GPL-3.0-or-later
// Drive items for disk images and the partitions of a whole disk: the same on
// every system.

#include "disk/LostVolumes.h"
#include "disk/PartitionTable.h"
#include "disk/Volume.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/FileSystem.h"

#include <array>

namespace sarvik::platform {

namespace fs = std::filesystem;

std::vector<disk::DriveItem> partitionDriveItems(const disk::DriveItem& whole, const std::string& prefix,
                                                 const std::string& name)
{
    std::vector<disk::DriveItem> items;
    const auto source = openWholeSource(whole.devicePath);
    if (!source)
        return items;
    std::array<std::byte, disk::kSectorSize> boot{};
    for (const disk::Partition& p : disk::ReadPartitionTable(*source).partitions) {
        disk::DriveItem item;
        item.kind = whole.kind;
        item.text = prefix;
        item.text.append("(").append(name).append(") ").append(std::to_string(p.number));
        if (source->read(p.firstSector * disk::kSectorSize, boot) == disk::ReadStatus::Ok)
            if (const auto kind = disk::ClassifyBootSector(boot).kind; kind != disk::VolumeKind::Unsupported)
                item.text += ": " + disk::fileSystemName(kind);
        item.devicePath = disk::partitionPathText(whole.devicePath, p.number);
        item.sizeBytes = p.sectors * disk::kSectorSize;
        items.push_back(std::move(item));
    }
    return items;
}

disk::DriveItem imageDriveItem(const std::string& path)
{
    disk::DriveItem item;
    item.kind = disk::DriveKind::Image;
    item.devicePath = path;
    item.text = "Disk Image(" + pathText(pathOf(path).filename()) + ")";
    // A container's disk is its media, not the file that holds it.
    if (const auto source = openWholeSource(path)) {
        item.sizeBytes = source->size();
        return item;
    }
    std::error_code ec;
    const auto size = fs::file_size(pathOf(path), ec);
    item.sizeBytes = ec ? 0 : size;
    return item;
}

std::vector<disk::DriveItem> lostVolumeDriveItems(const disk::DriveItem& whole, const std::string& prefix,
                                                  const std::string& name)
{
    std::vector<disk::DriveItem> items;
    const auto source = openWholeSource(whole.devicePath);
    if (!source)
        return items;
    // A volume that starts at sector 0 is read as it is.
    std::array<std::byte, disk::kSectorSize> boot{};
    if (source->read(0, boot) == disk::ReadStatus::Ok && disk::ClassifyBootSector(boot).supported)
        return items;
    catalogue::ScanObserver quiet;
    const catalogue::ScanControl control;
    const auto found = disk::FindLostVolumes(*source, disk::LostVolumeSearch::Quick, quiet, control);
    for (std::size_t i = 0; i < found.size(); ++i)
        items.push_back(disk::lostVolumeDriveItem(whole.kind, whole.devicePath, prefix, name,
                                                  static_cast<std::uint32_t>(i + 1), found[i].kind, found[i].sectors));
    return items;
}

std::vector<disk::DriveItem> imageDriveItems(const std::string& path)
{
    const disk::DriveItem whole = imageDriveItem(path);
    const std::string name = pathText(pathOf(path).filename());
    auto parts = partitionDriveItems(whole, "Disk Image", name);
    if (parts.empty())
        parts = lostVolumeDriveItems(whole, "Disk Image", name);
    if (parts.empty())
        return {whole};
    return parts;
}

} // namespace sarvik::platform
