#include "cli/Source.h"

#include "cli/Commands.h"
#include "disk/PartitionTable.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/FileSystem.h"
#include "platform/PartitionSource.h"
#include "platform/SourceVolume.h"
#include "scan/ScanSession.h"
#include "snapshot/SnapshotFile.h"

#include <array>
#include <cstdio>
#include <filesystem>

namespace sarvik::cli {

namespace {

/// "holds a partition table; name one of its partitions: PATH@1 (FAT32), ..."
std::string partitionHint(const std::string& path)
{
    const auto source = platform::openVolumeSource(path);
    if (!source)
        return {};
    const disk::PartitionTable table = disk::ReadPartitionTable(*source);
    if (table.partitions.empty())
        return {};
    std::string hint = path + ": a disk with a partition table; name one of its partitions as SOURCE:";
    for (const disk::Partition& p : table.partitions)
        hint += " " + disk::partitionPathText(path, p.number);
    return hint;
}

} // namespace

OpenedSource openSource(const std::string& path, bool soleVolume, disk::GeometryRules rules)
{
    OpenedSource opened;
    const disk::PartitionPath target = platform::resolvePartitionPath(path);
    const bool partition = target.number != 0;
    const std::string& wholePath = target.path;
    const std::string suffix = !partition    ? std::string{}
                               : target.lost ? " lost" + std::to_string(target.number)
                                             : " p" + std::to_string(target.number);
    if (platform::isDevice(wholePath)) {
        opened.item.devicePath = path;
        opened.item.text = "Logical Disk(" + platform::deviceName(wholePath) + suffix + ")";
    } else if (partition) {
        opened.item = platform::imageDriveItem(wholePath);
        opened.item.devicePath = path;
        opened.item.text = "Disk Image(" + platform::pathText(platform::pathOf(wholePath).filename()) + suffix + ")";
    } else {
        opened.item = platform::imageDriveItem(path);
    }
    const auto devices = platform::makeDeviceProvider();
    opened.selection = scan::SelectVolume(opened.volume, opened.item, *devices, rules);
    opened.supported = static_cast<bool>(opened.selection);
    if (partition && opened.volume.reader.isOpen())
        opened.item.sizeBytes = opened.volume.reader.source()->size();
    const disk::SelectStatus selected = opened.selection.status;
    if (selected == disk::SelectStatus::CannotOpen) {
        opened.error = "cannot open " + opened.selection.detail;
    } else if (selected == disk::SelectStatus::Unreadable || selected == disk::SelectStatus::UnsupportedGeometry) {
        opened.error = path + ": " + disk::selectFailureText(opened.selection);
    } else if (!opened.supported) {
        if (const std::string hint = partition ? std::string{} : partitionHint(path); !hint.empty()) {
            opened.error = hint;
            if (soleVolume) {
                std::vector<PartitionListing> volumes;
                for (PartitionListing& p : listPartitions(path))
                    if (!p.fileSystem.empty())
                        volumes.push_back(std::move(p));
                if (volumes.size() == 1) {
                    OpenedSource sole = openSource(volumes.front().source, false, rules);
                    if (sole.supported) {
                        sole.note = path + ": a disk with a partition table; its only " + volumes.front().fileSystem +
                                    " volume is " + volumes.front().source;
                        return sole;
                    }
                }
            }
        } else
            opened.error = path + ": " + disk::selectFailureText(opened.selection);
    }
    return opened;
}

std::vector<std::string> volumeNotes(const disk::VolumeInfo& info)
{
    std::vector<std::string> notes;
    if (const auto backup = disk::backupBootText(info))
        notes.push_back(*backup);
    if (const auto cut = disk::truncationText(info))
        notes.push_back(*cut + "; files whose data lies past its end cannot be recovered whole");
    return notes;
}

std::optional<int> refuseWritesOnSource(const char* command, const std::string& source, const std::string& device,
                                        const std::vector<PathToWrite>& paths)
{
    std::vector<std::string> sources{source};
    std::error_code ec;
    if (std::filesystem::is_regular_file(platform::pathOf(source), ec) && snapshot::IsSnapshotFile(source)) {
        // A snapshot is read again only as a list: the volume it names is what
        // the files come from.
        if (!device.empty())
            sources.push_back(device);
        else if (auto named = snapshot::ReadSnapshotDevicePath(source))
            sources.push_back(std::move(*named));
    }
    const std::string prefix = command[0] == '\0' ? std::string("sarvik") : std::string("sarvik ") + command;
    for (const PathToWrite& p : paths) {
        if (p.path.empty())
            continue;
        switch (platform::placeOfWrite(p.path, sources)) {
        case platform::WritePlace::OnSource:
            std::fprintf(stderr,
                         "%s: %s: the %s is on the volume being recovered: writing there can overwrite the files you "
                         "want back. Choose a folder on another drive.\n",
                         prefix.c_str(), p.path.c_str(), p.what);
            return kExitFailed;
        case platform::WritePlace::OtherPartition:
            std::fprintf(stderr,
                         "%s: warning: %s: the %s is on another partition of the disk being recovered; that "
                         "partition is not written, but a failing disk is best left alone\n",
                         prefix.c_str(), p.path.c_str(), p.what);
            break;
        case platform::WritePlace::Elsewhere:
            break;
        }
    }
    return std::nullopt;
}

void warnIfMountedReadWrite(const std::string& source)
{
    const std::vector<std::string> points = platform::readWriteMounts(source);
    if (points.empty())
        return;
    std::string where;
    for (const std::string& point : points)
        where += (where.empty() ? "" : ", ") + point;
    std::fprintf(stderr,
                 "sarvik: warning: %s is mounted read-write at %s: anything written while you work can overwrite "
                 "deleted files; unmount it or remount it read-only\n",
                 source.c_str(), where.c_str());
}

std::vector<PartitionListing> listPartitions(const std::string& path)
{
    std::vector<PartitionListing> listing;
    const auto source = platform::openVolumeSource(path);
    if (!source)
        return listing;
    const disk::PartitionTable table = disk::ReadPartitionTable(*source);
    for (const disk::Partition& p : table.partitions) {
        PartitionListing entry;
        entry.partition = p;
        entry.backupHeader = table.backupHeader;
        entry.source = disk::partitionPathText(path, p.number);
        std::array<std::byte, disk::kSectorSize> boot{};
        if (source->read(p.firstSector * disk::kSectorSize, boot) == disk::ReadStatus::Ok) {
            const disk::BootSectorClass cls = disk::ClassifyBootSector(boot);
            if (cls.supported)
                entry.fileSystem = disk::fileSystemName(cls.kind);
        }
        listing.push_back(std::move(entry));
    }
    return listing;
}

} // namespace sarvik::cli
