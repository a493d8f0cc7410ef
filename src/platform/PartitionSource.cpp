#include "platform/PartitionSource.h"

#include "disk/LostVolumes.h"
#include "platform/Devices.h"
#include "platform/FileSystem.h"

#include <filesystem>

namespace sarvik::platform {

disk::PartitionPath resolvePartitionPath(const std::string& path)
{
    disk::PartitionPath split = disk::SplitPartitionPath(path);
    std::error_code ec;
    if (split.number == 0 || std::filesystem::exists(pathOf(path), ec))
        return {path, 0};
    return split;
}

std::shared_ptr<const disk::BlockSource> openVolumeSource(const std::string& path, std::string* error)
{
    const disk::PartitionPath target = resolvePartitionPath(path);
    std::shared_ptr<const disk::BlockSource> whole = openWholeSource(target.path, error);
    if (!whole || target.number == 0)
        return whole;
    if (target.lost) {
        auto lost = disk::OpenLostVolume(whole, target.number);
        if (!lost && error != nullptr)
            *error = target.path + ": the search for lost volumes finds no volume " + std::to_string(target.number);
        return lost;
    }
    auto partition = disk::OpenPartition(whole, target.number);
    if (!partition && error != nullptr)
        *error = target.path + ": no partition " + std::to_string(target.number) + " in its partition table";
    return partition;
}

} // namespace sarvik::platform
