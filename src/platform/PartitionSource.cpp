// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PartitionSource.h"

#include "container/ShadowCopies.h"
#include "platform/Devices.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

namespace sarvik::platform {

disk::PartitionPath resolvePartitionPath(const std::string& path)
{
    disk::PartitionPath split = disk::SplitPartitionPath(path);
    std::error_code ec;
    if (!split.isPart() || std::filesystem::exists(pathOf(path), ec))
        return {path, 0};
    return split;
}

namespace {

/// The volume `target` names, without its shadow copy.
std::shared_ptr<const disk::BlockSource> openTarget(const disk::PartitionPath& target, std::string* error);

} // namespace

std::shared_ptr<const disk::BlockSource> openVolumeSource(const std::string& path, std::string* error)
{
    const disk::PartitionPath target = resolvePartitionPath(path);
    if (target.shadow == 0)
        return openTarget(target, error);
    // A shadow copy reads through the volume it belongs to, as that is opened.
    disk::PartitionPath volumePath = target;
    volumePath.shadow = 0;
    const auto volume = openTarget(volumePath, error);
    if (!volume)
        return nullptr;
    // A whole disk keeps its shadow copies in its NTFS partitions.
    if (!volumePath.isPart() && !disk::ReadPartitionTable(*volume).partitions.empty()) {
        if (error != nullptr)
            *error = path + ": a disk with a partition table; shadow copies are named by its NTFS partitions (" +
                     target.path + "@N@vss" + std::to_string(target.shadow) + ")";
        return nullptr;
    }
    std::string why;
    auto copy = container::openShadowCopy(volume, target.shadow, why);
    if (!copy && error != nullptr)
        *error = target.textFor(target.path) + ": " + why;
    return copy;
}

namespace {

std::shared_ptr<const disk::BlockSource> openTarget(const disk::PartitionPath& target, std::string* error)
{
    std::shared_ptr<const disk::BlockSource> whole = openWholeSource(target.path, error);
    if (!whole || !target.isPart())
        return whole;
    if (target.region) {
        // A stretch the user named: it starts inside, and what it asks past the
        // end is not there (an image cut short reads as a volume cut short).
        if (target.offset >= whole->size()) {
            if (error != nullptr)
                *error = target.path + ": the offset " + std::to_string(target.offset) + " lies past its end (" +
                         std::to_string(whole->size()) + " bytes)";
            return nullptr;
        }
        const std::uint64_t left = whole->size() - target.offset;
        return std::make_shared<disk::OffsetBlockSource>(whole, target.offset,
                                                         target.size == 0 ? left : std::min(target.size, left));
    }
    if (target.lost) {
        const auto lost = lostVolume(target.path, target.number);
        if (!lost && error != nullptr)
            *error = target.path + ": the search for lost volumes finds no volume " + std::to_string(target.number);
        if (!lost)
            return nullptr;
        return std::make_shared<disk::OffsetBlockSource>(whole, lost->firstSector * disk::kSectorSize,
                                                         lost->sectors * disk::kSectorSize);
    }
    auto partition = disk::OpenPartition(whole, target.number);
    if (!partition && error != nullptr)
        *error = target.path + ": no partition " + std::to_string(target.number) + " in its partition table";
    return partition;
}

} // namespace

std::optional<disk::LostVolume> lostVolume(const std::string& path, std::uint32_t number)
{
    static std::mutex lock;
    static std::map<std::pair<std::string, std::uint32_t>, std::optional<disk::LostVolume>> found;
    const std::lock_guard guard(lock);
    const auto key = std::make_pair(path, number);
    if (const auto it = found.find(key); it != found.end())
        return it->second;
    const auto whole = openWholeSource(path);
    auto volume = whole ? disk::FindLostVolume(whole, number) : std::nullopt;
    found.emplace(key, volume);
    return volume;
}

} // namespace sarvik::platform
