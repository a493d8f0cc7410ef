// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DriveDiscovery.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace sarvik::platform {

namespace fs = std::filesystem;

namespace {

std::string readLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool isPartition(const fs::path& dir)
{
    std::error_code ec;
    return fs::exists(dir / "partition", ec);
}

// Orders sda2 before sda10: runs of digits compare by value.
bool naturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])) != 0)
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])) != 0)
                ++ej;
            const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

std::vector<disk::DriveItem> driveItemsOf(std::vector<BlockDevice> blocks)
{
    // Disk by disk, each whole disk before its partitions.
    std::sort(blocks.begin(), blocks.end(), [](const BlockDevice& a, const BlockDevice& b) {
        if (a.disk != b.disk)
            return naturalLess(a.disk, b.disk);
        const bool aPart = a.name != a.disk;
        const bool bPart = b.name != b.disk;
        if (aPart != bPart)
            return bPart;
        return naturalLess(a.name, b.name);
    });
    std::vector<disk::DriveItem> items;
    for (std::size_t first = 0; first < blocks.size();) {
        const std::string diskName = blocks[first].disk;
        std::size_t end = first;
        while (end < blocks.size() && blocks[end].disk == diskName)
            ++end;
        const auto wholeAt = std::find_if(blocks.begin() + static_cast<std::ptrdiff_t>(first),
                                          blocks.begin() + static_cast<std::ptrdiff_t>(end),
                                          [&](const BlockDevice& b) { return b.name == diskName; });
        const bool hasWhole = wholeAt != blocks.begin() + static_cast<std::ptrdiff_t>(end);
        const std::size_t partitions = end - first - (hasWhole ? 1 : 0);
        const bool loop = diskName.starts_with("loop");
        // RAM disks, compressed swap and optical drives hold no volume of ours;
        // nor does a loop device with nothing attached.
        const bool skipped = diskName.starts_with("ram") || diskName.starts_with("zram") ||
                             diskName.starts_with("sr") || (hasWhole && loop && !wholeAt->attached);
        const bool removable = !loop && hasWhole && wholeAt->removable;
        const std::string prefix = removable ? "Removable Disk" : "Logical Disk";
        for (std::size_t i = first; i < end && !skipped; ++i) {
            const BlockDevice& block = blocks[i];
            const bool whole = block.name == diskName;
            if ((whole && partitions > 0) || block.sizeBytes == 0)
                continue; // listed through its partitions, or no medium
            disk::DriveItem item;
            item.kind = removable ? disk::DriveKind::Removable : disk::DriveKind::Fixed;
            item.text = prefix;
            item.text.append("(").append(block.name).append(")");
            item.devicePath = block.devicePath;
            item.sizeBytes = block.sizeBytes;
            // A whole disk the system shows no partitions of (a loop device
            // attached without a partition scan, an image of a whole disk) may
            // still hold a table: then its partitions are listed instead.
            auto parts = whole ? partitionDriveItems(item, prefix, block.name) : std::vector<disk::DriveItem>{};
            if (parts.empty())
                items.push_back(std::move(item));
            else
                std::move(parts.begin(), parts.end(), std::back_inserter(items));
        }
        first = end;
    }
    return items;
}

std::vector<disk::DriveItem> FillDriveTree(const std::string& sysfsRoot, const std::string& devRoot)
{
    const fs::path blockDir = fs::path(sysfsRoot) / "block";
    std::error_code ec;
    std::vector<BlockDevice> blocks;
    const auto sizeOf = [](const fs::path& dir) -> std::uint64_t {
        try {
            return std::stoull(readLine(dir / "size")) * 512;
        } catch (...) {
            return 0;
        }
    };
    for (const auto& entry : fs::directory_iterator(blockDir, ec)) {
        const std::string diskName = entry.path().filename().string();
        const fs::path diskDir = blockDir / diskName;
        BlockDevice whole{diskName,        (fs::path(devRoot) / diskName).string(), diskName,
                          sizeOf(diskDir), readLine(diskDir / "removable") == "1",  true};
        if (diskName.starts_with("loop"))
            whole.attached = !readLine(diskDir / "loop" / "backing_file").empty();
        blocks.push_back(whole);
        for (const auto& child : fs::directory_iterator(diskDir, ec))
            if (child.is_directory(ec) && isPartition(child.path())) {
                const std::string name = child.path().filename().string();
                blocks.push_back(
                    {name, (fs::path(devRoot) / name).string(), diskName, sizeOf(child.path()), false, true});
            }
    }
    return driveItemsOf(std::move(blocks));
}

} // namespace sarvik::platform
