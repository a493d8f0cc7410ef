#include "platform/PartitionSource.h"

#include "disk/PartitionTable.h"
#include "platform/Devices.h"
#include "platform/FileSystem.h"

#include <filesystem>

namespace sarvik::platform {

std::shared_ptr<const disk::BlockSource> openVolumeSource(const std::string& path, std::string* error)
{
    std::error_code ec;
    const disk::PartitionPath split = disk::SplitPartitionPath(path);
    // A file whose own name ends in "@N" is that file.
    if (split.number == 0 || std::filesystem::exists(pathOf(path), ec))
        return openWholeSource(path, error);
    std::shared_ptr<const disk::BlockSource> whole = openWholeSource(split.path, error);
    if (!whole)
        return nullptr;
    auto partition = disk::OpenPartition(whole, split.number);
    if (!partition && error != nullptr)
        *error = split.path + ": no partition " + std::to_string(split.number) + " in its partition table";
    return partition;
}

} // namespace sarvik::platform
