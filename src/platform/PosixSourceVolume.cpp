// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SourceVolume.h"

#include "disk/PartitionTable.h"
#include "platform/Devices.h"
#include "platform/PartitionSource.h"
#include "platform/StorageOverlap.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace sarvik::platform {

namespace {

namespace fs = std::filesystem;

/// Bound on the files followed to the file systems that hold them.
constexpr std::size_t kMaxFilesFollowed = 16;

std::string readText(const fs::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::uint64_t modelNumber(dev_t device)
{
    return deviceNumber(major(device), minor(device));
}

/// The storage a path stands for: a block device, or a regular file.
std::optional<StorageId> identify(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    if (S_ISBLK(st.st_mode))
        return StorageId{StorageId::Kind::Block, modelNumber(st.st_rdev), 0};
    if (S_ISREG(st.st_mode))
        return StorageId{StorageId::Kind::File, modelNumber(st.st_dev), st.st_ino};
    return std::nullopt;
}

/// The system's block devices and mounts, read once per question.
struct SystemView {
    BlockTopology topology = readBlockTopology("/sys/class/block", identify);
    std::vector<MountEntry> mounts = parseMountInfo(readText("/proc/self/mountinfo"));
};

/// The files a FUSE daemon serving `mountPoint` holds open: the device or
/// image behind a mount whose source names neither ("fusefat").
std::vector<StorageId> fuseDaemonFiles(const std::string& mountPoint)
{
    std::vector<StorageId> files;
    std::error_code ec;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) { return std::isdigit(c) != 0; }))
            continue;
        std::error_code linkError;
        const fs::path cwd = fs::read_symlink(process.path() / "cwd", linkError);
        if (linkError ||
            !commandNamesMount(splitCommandLine(readText(process.path() / "cmdline")), cwd.string(), mountPoint))
            continue;
        std::vector<StorageId> held;
        bool servesFuse = false;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", linkError)) {
            std::error_code e;
            if (fs::read_symlink(fd.path(), e) == "/dev/fuse")
                servesFuse = true;
            else if (const auto id = identify(fd.path().string()))
                held.push_back(*id);
        }
        if (servesFuse)
            files.insert(files.end(), held.begin(), held.end());
    }
    return files;
}

/// What a mount writes into: its device, or the file or device its source
/// names, or for a FUSE mount that names neither what its daemon holds open.
std::vector<StorageId> mountBacking(const MountEntry& mount)
{
    if (!mount.source.empty() && mount.source.front() == '/')
        if (const auto id = identify(mount.source))
            return {*id};
    if (mount.fsType.starts_with("fuse"))
        return fuseDaemonFiles(mount.mountPoint);
    return {};
}

/// The regions writing into the file system `device` (st_dev) writes.
std::vector<StorageRegion> fileSystemRegions(std::uint64_t device, const SystemView& view)
{
    if (view.topology.find(device) != nullptr)
        return regionsUnder({{StorageId::Kind::Block, device, 0}}, view.topology);
    std::vector<StorageRegion> regions;
    for (const MountEntry& m : view.mounts)
        if (m.device == device)
            for (const StorageId& id : mountBacking(m)) {
                const auto under = regionsUnder({id}, view.topology);
                regions.insert(regions.end(), under.begin(), under.end());
            }
    return regions;
}

/// The regions that writing `path` writes. A file written is followed to the
/// file system that holds it: an image mounted or looped elsewhere is written
/// through to the volume it lies on.
std::vector<StorageRegion> writeRegions(const std::string& path, const SystemView& view)
{
    std::error_code ec;
    fs::path at = fs::absolute(path, ec);
    struct stat st {};
    while (::stat(at.c_str(), &st) != 0) {
        if (at == at.parent_path() || at.empty())
            return {};
        at = at.parent_path();
    }
    std::vector<StorageRegion> regions;
    if (S_ISBLK(st.st_mode))
        return regionsUnder({{StorageId::Kind::Block, modelNumber(st.st_rdev), 0}}, view.topology);
    if (S_ISREG(st.st_mode) && at == fs::absolute(path, ec))
        regions.push_back({{StorageId::Kind::File, modelNumber(st.st_dev), st.st_ino}});
    const auto own = fileSystemRegions(modelNumber(st.st_dev), view);
    regions.insert(regions.end(), own.begin(), own.end());
    std::vector<std::uint64_t> followed{modelNumber(st.st_dev)};
    for (std::size_t i = 0; i < regions.size() && followed.size() < kMaxFilesFollowed; ++i) {
        const StorageId id = regions[i].id;
        if (id.kind != StorageId::Kind::File ||
            std::find(followed.begin(), followed.end(), id.device) != followed.end())
            continue;
        followed.push_back(id.device);
        const auto holder = fileSystemRegions(id.device, view);
        regions.insert(regions.end(), holder.begin(), holder.end());
    }
    return regions;
}

/// The regions a source reads: its device or file, narrowed to partition N
/// for "PATH@N", and everything under it.
std::vector<StorageRegion> sourceRegions(const std::string& source, const SystemView& view)
{
    const disk::PartitionPath target = resolvePartitionPath(source);
    const auto id = identify(target.path);
    if (!id)
        return {};
    StorageRegion region{*id};
    // A lost volume "PATH@lostN" is taken as the whole of PATH: found by a
    // search, its place is not worth trusting for a write.
    if (target.region) {
        region.start = target.offset;
        region.end = target.size == 0 ? region.end : std::min(region.end, target.offset + target.size);
    } else if (target.number != 0 && !target.lost)
        if (const auto whole = openWholeSource(target.path))
            for (const disk::Partition& p : disk::ReadPartitionTable(*whole).partitions)
                if (p.number == target.number) {
                    region.start = p.firstSector * disk::kSectorSize;
                    region.end = region.start + p.sectors * disk::kSectorSize;
                }
    std::vector<StorageRegion> regions = regionsUnder(region, view.topology);
    // The other files a container is read from (segments, extents, parents)
    // are the source as much as the file named.
    for (const std::string& file : filesReadFor(source))
        if (const auto other = identify(file); other && !(*other == *id)) {
            const auto under = regionsUnder({*other}, view.topology);
            regions.insert(regions.end(), under.begin(), under.end());
        }
    return regions;
}

} // namespace

WritePlace placeOfWrite(const std::string& path, const std::vector<std::string>& sources)
{
    const SystemView view;
    const auto target = writeRegions(path, view);
    WritePlace place = WritePlace::Elsewhere;
    for (const std::string& source : sources) {
        const Overlap overlap = overlapOf(target, sourceRegions(source, view));
        if (overlap == Overlap::Same)
            return WritePlace::OnSource;
        if (overlap == Overlap::SameDisk)
            place = WritePlace::OtherPartition;
    }
    return place;
}

std::vector<std::string> readWriteMounts(const std::string& source)
{
    const SystemView view;
    const auto read = sourceRegions(source, view);
    std::vector<std::string> points;
    for (const MountEntry& m : view.mounts) {
        if (!m.readWrite || std::find(points.begin(), points.end(), m.mountPoint) != points.end())
            continue;
        std::vector<StorageRegion> mounted;
        if (view.topology.find(m.device) != nullptr)
            mounted = regionsUnder({{StorageId::Kind::Block, m.device, 0}}, view.topology);
        else
            for (const StorageId& id : mountBacking(m)) {
                const auto under = regionsUnder({id}, view.topology);
                mounted.insert(mounted.end(), under.begin(), under.end());
            }
        if (overlapOf(mounted, read) == Overlap::Same)
            points.push_back(m.mountPoint);
    }
    return points;
}

} // namespace sarvik::platform
