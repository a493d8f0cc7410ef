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

bool hasPartitions(const fs::path& diskDir)
{
    std::error_code ec;
    for (const auto& child : fs::directory_iterator(diskDir, ec))
        if (child.is_directory(ec) && isPartition(child.path()))
            return true;
    return false;
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

std::vector<disk::DriveItem> FillDriveTree(const std::string& sysfsRoot, const std::string& devRoot)
{
    std::vector<disk::DriveItem> items;
    const fs::path blockDir = fs::path(sysfsRoot) / "block";
    std::error_code ec;
    std::vector<std::string> disks;
    for (const auto& entry : fs::directory_iterator(blockDir, ec))
        disks.push_back(entry.path().filename().string());
    std::sort(disks.begin(), disks.end(), naturalLess);

    for (const std::string& diskName : disks) {
        // RAM disks, compressed swap and optical drives hold no volume of ours.
        if (diskName.starts_with("ram") || diskName.starts_with("zram") || diskName.starts_with("sr"))
            continue;
        const fs::path diskDir = blockDir / diskName;
        const bool loop = diskName.starts_with("loop");
        if (loop && readLine(diskDir / "loop" / "backing_file").empty())
            continue; // an unattached loop device
        const bool removable = !loop && readLine(diskDir / "removable") == "1";
        const auto kind = removable ? disk::DriveKind::Removable : disk::DriveKind::Fixed;

        std::vector<std::string> volumes;
        if (hasPartitions(diskDir)) {
            for (const auto& child : fs::directory_iterator(diskDir, ec))
                if (child.is_directory(ec) && isPartition(child.path()))
                    volumes.push_back(child.path().filename().string());
            std::sort(volumes.begin(), volumes.end(), naturalLess);
        } else {
            volumes.push_back(diskName);
        }
        for (const std::string& name : volumes) {
            const fs::path dir = name == diskName ? diskDir : diskDir / name;
            std::uint64_t sectors = 0;
            try {
                sectors = std::stoull(readLine(dir / "size"));
            } catch (...) {
                sectors = 0;
            }
            if (sectors == 0)
                continue; // no medium
            disk::DriveItem item;
            item.kind = kind;
            const std::string prefix = removable ? "Removable Disk" : "Logical Disk";
            item.text = prefix;
            item.text.append("(").append(name).append(")");
            item.devicePath = (fs::path(devRoot) / name).string();
            item.sizeBytes = sectors * 512;
            // A whole disk the system shows no partitions of (a loop device
            // attached without a partition scan, an image of a whole disk) may
            // still hold a table: then its partitions are listed instead.
            auto parts = name == diskName ? partitionDriveItems(item, prefix, name) : std::vector<disk::DriveItem>{};
            if (parts.empty())
                items.push_back(std::move(item));
            else
                std::move(parts.begin(), parts.end(), std::back_inserter(items));
        }
    }
    return items;
}

} // namespace sarvik::platform
