// SPDX-License-Identifier: GPL-3.0-or-later
// sarvik drives, sarvik info

#include "catalogue/NameText.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "cli/Session.h"
#include "cli/Source.h"
#include "cli/TextWidth.h"
#include "cli/TimeText.h"
#include "container/ContainerSource.h"
#include "container/ShadowCopies.h"
#include "disk/ExfatBoot.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/FileSystem.h"
#include "platform/PartitionSource.h"
#include "platform/StorageOverlap.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace sarvik::cli {

namespace {

/// What `drives` shows of a volume beside its device and size, as lsblk does.
struct DriveFacts {
    std::string fileSystem; ///< a kind word ("fat32"), the mount's type, or empty
    std::string label;
    std::string mountPoint; ///< where it is mounted, or empty
    /// An NTFS volume's shadow copies, as `info` lists them; none for others.
    std::optional<container::ShadowCopyList> shadowCopies;
};

container::ShadowCopyList shadowCopiesOf(const std::string& path);
Json shadowCopiesJson(const std::string& path, const container::ShadowCopyList& list);
std::string shadowSource(const std::string& path, std::uint32_t number);

/// The mounts of this machine (none where /proc is not there, or on Windows).
std::vector<platform::MountEntry> machineMounts()
{
#if defined(_WIN32)
    return {};
#else
    std::ifstream in("/proc/self/mountinfo");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return platform::parseMountInfo(text);
#endif
}

/// The mount of `devicePath`: the one whose source names it, or whose device
/// number is the block device's own.
const platform::MountEntry* mountOf(const std::string& devicePath, const std::vector<platform::MountEntry>& mounts)
{
    std::error_code ec;
    const std::filesystem::path path = platform::pathOf(devicePath);
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
    std::uint64_t device = 0;
#if !defined(_WIN32)
    if (struct stat st{}; ::stat(devicePath.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        device = st.st_rdev;
#endif
    for (const auto& m : mounts)
        if ((device != 0 && m.device == device) || m.source == devicePath || (!real.empty() && m.source == real))
            return &m;
    return nullptr;
}

DriveFacts driveFacts(const disk::DriveItem& d, const std::vector<platform::MountEntry>& mounts)
{
    DriveFacts facts;
    const platform::MountEntry* mount = mountOf(d.devicePath, mounts);
    if (mount != nullptr)
        facts.mountPoint = mount->mountPoint;
    // The boot sector as a scan would read it; a device this user may not
    // read shows what its mount says.
    const OpenedSource opened = openSource(d.devicePath);
    if (opened.supported) {
        facts.fileSystem = disk::fileSystemKeyword(opened.volume.info.FileSystemKind);
        facts.label = catalogue::toUtf8(opened.volume.info.VolumeLabel);
        if (opened.volume.geometry.GeometryKind == disk::VolumeKind::Ntfs)
            facts.shadowCopies = shadowCopiesOf(d.devicePath);
    } else if (mount != nullptr) {
        facts.fileSystem = mount->fsType;
    }
    return facts;
}

} // namespace

int runDrives(const CommandSpec& spec, const ParsedArgs& parsed)
{
    std::vector<std::string> images;
    for (const std::string& a : parsed.positional) {
        if (!std::filesystem::is_regular_file(platform::pathOf(a)))
            return usageError(spec, "'" + a + "' is not an image file");
        images.push_back(a); // listed after this machine's drives, one item per partition
    }
    auto drives = platform::FillDriveTree();
    for (const std::string& image : images)
        for (auto& item : platform::imageDriveItems(image))
            drives.push_back(std::move(item));
    const auto mounts = machineMounts();
    std::vector<DriveFacts> facts;
    facts.reserve(drives.size());
    for (const auto& d : drives)
        facts.push_back(driveFacts(d, mounts));
    if (parsed.has("json")) {
        JsonStream w(stdout);
        w.beginDocument().beginArray("drives");
        for (std::size_t i = 0; i < drives.size(); ++i) {
            const auto& d = drives[i];
            Json drive{{"text", d.text},
                       {"devicePath", d.devicePath},
                       {"removable", d.kind == disk::DriveKind::Removable},
                       {"sizeBytes", d.sizeBytes},
                       {"fileSystem", facts[i].fileSystem},
                       {"label", facts[i].label},
                       {"mountPoint", facts[i].mountPoint.empty() ? Json(nullptr) : Json(facts[i].mountPoint)}};
            if (const auto& copies = facts[i].shadowCopies) {
                drive["shadowCopies"] = shadowCopiesJson(d.devicePath, *copies);
                drive["shadowCopiesError"] = copies->error.empty() ? Json(nullptr) : Json(copies->error);
            }
            w.value({}, drive);
        }
        w.endArray().endObject();
        return kExitDone;
    }
    // As lsblk -o NAME,SIZE,FSTYPE,LABEL,MOUNTPOINT lays them out: the device
    // (or image) in full, each column as wide as its widest value.
    const std::vector<std::string> heads{"DEVICE", "SIZE", "FSTYPE", "LABEL", "MOUNTPOINT"};
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < drives.size(); ++i)
        rows.push_back({terminalText(drives[i].devicePath), iecSize(drives[i].sizeBytes), facts[i].fileSystem,
                        terminalText(facts[i].label), terminalText(facts[i].mountPoint)});
    std::vector<std::size_t> widths;
    widths.reserve(heads.size());
    for (const std::string& h : heads)
        widths.push_back(displayWidth(h));
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(row[c]));
    const auto printRow = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c == 1)
                line += rightAligned(row[c], widths[c]); // sizes line up on their units
            else if (c + 1 < row.size())
                line += fitted(row[c], widths[c]);
            else
                line += row[c];
            if (c + 1 < row.size())
                line += "  ";
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::puts(line.c_str());
    };
    printRow(heads);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        printRow(rows[i]);
        // Under an NTFS volume, its shadow copies, each a source of its own.
        const auto& copies = facts[i].shadowCopies;
        if (!copies)
            continue;
        if (!copies->error.empty())
            std::printf("  shadow copies cannot be read: %s\n", terminalText(copies->error).c_str());
        for (const container::ShadowCopy& copy : copies->copies) {
            const std::string time =
                copy.creationTime == 0 ? "(no time)              " : fileTimeText(copy.creationTime) + " UTC";
            const std::string what =
                copy.error.empty() ? shadowSource(drives[i].devicePath, copy.number) : "cannot be read: " + copy.error;
            std::printf("  vss%-3u %s  %s\n", copy.number, time.c_str(), terminalText(what).c_str());
        }
    }
    return kExitDone;
}

namespace {

/// The container that holds `path` (a partition "PATH@N" too); nothing for a
/// raw image or a device.
std::shared_ptr<const container::ContainerSource> containerOf(const std::string& path)
{
    return std::dynamic_pointer_cast<const container::ContainerSource>(
        platform::openWholeSource(platform::resolvePartitionPath(path).path));
}

/// The container's description and hashes, for `info --json`.
Json containerJson(const container::ContainerSource& image)
{
    return Json{{"description", image.description()}, {"hashes", image.hashes()}};
}

/// The shadow copies of the volume `path` ("PATH", "PATH@N"); none for a
/// shadow copy itself, which has none of its own.
container::ShadowCopyList shadowCopiesOf(const std::string& path)
{
    if (platform::resolvePartitionPath(path).shadow != 0)
        return {};
    const auto volume = platform::openVolumeSource(path);
    return volume ? container::listShadowCopies(volume) : container::ShadowCopyList{};
}

/// The source that names shadow copy `number` of the volume `path`.
std::string shadowSource(const std::string& path, std::uint32_t number)
{
    return path + "@vss" + std::to_string(number);
}

/// The shadow copies of `path` for `info --json`: each with its source, time
/// and size, or why it cannot be read.
Json shadowCopiesJson(const std::string& path, const container::ShadowCopyList& list)
{
    Json copies = Json::array();
    for (const container::ShadowCopy& copy : list.copies)
        copies.push_back(
            Json{{"number", copy.number},
                 {"source", shadowSource(path, copy.number)},
                 {"created", copy.creationTime == 0 ? Json(nullptr) : Json(fileTimeIso(copy.creationTime))},
                 {"sizeBytes", copy.size},
                 {"error", copy.error.empty() ? Json(nullptr) : Json(copy.error)}});
    return copies;
}

/// "Shadow copies : ..." and a line for each, for `info`; `indent` leads
/// each line (under a partition of a whole disk).
void printShadowCopies(const std::string& path, const container::ShadowCopyList& list, const char* indent)
{
    if (!list.error.empty())
        std::printf("%sShadow copies       : cannot be read: %s\n", indent, terminalText(list.error).c_str());
    else if (list.copies.empty())
        std::printf("%sShadow copies       : none\n", indent);
    else
        std::printf("%sShadow copies       : %zu\n", indent, list.copies.size());
    for (const container::ShadowCopy& copy : list.copies) {
        const std::string time =
            copy.creationTime == 0 ? "(no time)              " : fileTimeText(copy.creationTime) + " UTC";
        const std::string what = copy.error.empty() ? shadowSource(path, copy.number) : "cannot be read: " + copy.error;
        std::printf("%s  vss%-3u %s  %s\n", indent, copy.number, time.c_str(), terminalText(what).c_str());
    }
}

/// "Container : ..." lines for `info`.
void printContainer(const container::ContainerSource* image)
{
    if (image != nullptr) {
        std::printf("Container           : %s\n", image->description().c_str());
        for (const std::string& hash : image->hashes())
            std::printf("Stored hash         : %s\n", hash.c_str());
    }
    std::printf("Image formats read  : %s\n", container::readableFormatsText().c_str());
}

void printPartitions(const std::string& path, const std::vector<PartitionListing>& partitions, bool json)
{
    const auto image = containerOf(path);
    if (json) {
        JsonStream w(stdout);
        w.beginDocument().value("source", path);
        if (image)
            w.value("container", containerJson(*image));
        w.beginArray("partitions");
        for (const auto& p : partitions) {
            Json entry{{"number", p.partition.number},
                       {"source", p.source},
                       {"firstSector", p.partition.firstSector},
                       {"sectors", p.partition.sectors},
                       {"type", p.partition.mbrType},
                       {"typeName", p.partition.typeName},
                       {"logical", p.partition.logical},
                       {"fileSystem", p.fileSystem}};
            if (!p.partition.typeGuid.empty())
                entry["typeGuid"] = p.partition.typeGuid;
            if (p.fileSystem == "NTFS") {
                const auto copies = shadowCopiesOf(p.source);
                entry["shadowCopies"] = shadowCopiesJson(p.source, copies);
                entry["shadowCopiesError"] = copies.error.empty() ? Json(nullptr) : Json(copies.error);
            }
            w.value({}, entry);
        }
        w.endArray();
        if (!partitions.empty() && partitions.front().backupHeader)
            w.value("backupGptHeader", true);
        w.endObject();
        return;
    }
    std::printf("Disk                : %s\n", path.c_str());
    printContainer(image.get());
    if (!partitions.empty() && partitions.front().backupHeader)
        std::printf("Partition table     : GPT, read from its backup header at the disk's end (the primary is gone)\n");
    if (partitions.empty())
        std::printf("Partition table     : GPT, naming no partition: no volume to read ('sarvik volumes %s "
                    "--deep' searches it for lost ones)\n",
                    path.c_str());
    std::printf("Partitions          : %zu\n", partitions.size());
    for (const auto& p : partitions) {
        std::printf(
            "  %-3u %-10s start %-10llu %10llu sectors  %-24s %s\n", p.partition.number,
            p.fileSystem.empty() ? "-" : p.fileSystem.c_str(), static_cast<unsigned long long>(p.partition.firstSector),
            static_cast<unsigned long long>(p.partition.sectors), p.source.c_str(), p.partition.typeName.c_str());
        if (p.fileSystem != "NTFS")
            continue;
        // Only a volume that has or had shadow copies says so here.
        if (const auto copies = shadowCopiesOf(p.source); !copies.copies.empty() || !copies.error.empty())
            printShadowCopies(p.source, copies, "      ");
    }
}

} // namespace

namespace {

/// What `sarvik info` was asked.
struct InfoRequest {
    std::string path;
    bool json = false;
    disk::GeometryRules rules = disk::GeometryRules::Thorough;
};

/// The volume `info` describes: opened from a device or image, or as a
/// snapshot recorded it (`snapshot` then holds the loaded session).
struct InfoSource {
    OpenedSource source;
    std::unique_ptr<scan::ScanSession> snapshot;
    std::shared_ptr<const container::ContainerSource> container; ///< what holds the volume, if one does
};

/// What the boot region of an exFAT volume says, for info; nothing for other volumes.
std::vector<disk::ExfatVolumeFact> exfatFacts(const OpenedSource& src)
{
    const disk::VolumeGeometry& g = src.volume.geometry;
    if (!src.supported || g.GeometryKind != disk::VolumeKind::Exfat || !src.volume.reader.source())
        return {};
    return disk::describeExfatBootRegion(*src.volume.reader.source());
}

Json infoJson(const InfoRequest& request, const InfoSource& in)
{
    const OpenedSource& src = in.source;
    const disk::VolumeInfo& info = src.volume.info;
    const disk::VolumeGeometry& g = src.volume.geometry;
    const disk::PartitionBlock& p = src.volume.partition;
    const disk::VolumeInfoTexts texts = disk::ShowVolumeInfo(info);
    Json j = Json::object();
    j["schemaVersion"] = kJsonSchemaVersion;
    j["source"] = request.path;
    j["driveText"] = src.item.text;
    j["volumeKind"] = disk::fileSystemKeyword(info.FileSystemKind);
    j["devicePath"] = info.DevicePath;
    j["volumeClusterSectors"] = info.VolumeClusterSectors;
    j["volumeSectors"] = info.VolumeSectors;
    j["capacityBytes"] = info.VolumeSectors * disk::kSectorSize;
    j["volumeSupported"] = info.VolumeSupported == 1;
    j["volumeLabel"] = catalogue::toUtf8(info.VolumeLabel);
    j["bytesPerSector"] = info.BytesPerSector;
    if (in.container)
        j["container"] = containerJson(*in.container);
    if (src.supported) {
        j["fileSystemSectors"] = info.FileSystemSectors;
        j["backupBootSector"] = info.BackupBootSector;
        if (g.GeometryKind == disk::VolumeKind::Ntfs)
            j["mftRecordBytes"] = std::uint64_t{g.MftRecordSectors} * disk::kSectorSize;
        std::string notes;
        for (const std::string& note : volumeNotes(info))
            notes += (notes.empty() ? "" : "; ") + note;
        j["notes"] = notes;
        j["partitionStartSector"] = p.PartitionStartSector;
        j["partitionSectors"] = p.PartitionSectors;
        j["geometryKind"] = disk::fileSystemKeyword(g.GeometryKind);
        j["fatSectors"] = g.FatSectors;
        j["sectorsPerCluster"] = g.SectorsPerCluster;
        j["rootDirSectors"] = g.RootDirSectors;
        j["rootDirStart"] = g.RootDirStart;
        j["reservedSectors"] = g.ReservedSectors;
        j["clusterBaseSector"] = g.ClusterBaseSector;
        j["firstFatSector"] = g.FirstFatSector;
        j["secondFatSector"] = g.SecondFatSector;
        j["mftStartSector"] = g.MftStartSector;
        j["ntfsReserved"] = g.NtfsReserved;
        j["mftRecordSectors"] = g.MftRecordSectors;
        j["indexRecordSectors"] = g.IndexRecordSectors;
        j["searchEndSector"] = g.SearchEndSector;
        for (const auto& fact : exfatFacts(src))
            j[fact.key] = fact.number ? Json(*fact.number) : Json(fact.text);
        if (!in.snapshot && g.GeometryKind == disk::VolumeKind::Ntfs &&
            platform::resolvePartitionPath(request.path).shadow == 0) {
            const auto copies = shadowCopiesOf(request.path);
            j["shadowCopies"] = shadowCopiesJson(request.path, copies);
            j["shadowCopiesError"] = copies.error.empty() ? Json(nullptr) : Json(copies.error);
        }
    }
    j["drivePage"] = Json{{"volumeLabel", catalogue::toUtf8(texts.label)},
                          {"capacity", texts.capacity},
                          {"sectorsPerCluster", texts.sectorsPerCluster},
                          {"bytesPerSector", texts.bytesPerSector},
                          {"fileSystem", texts.fileSystem}};
    if (in.snapshot) {
        j["folderCount"] = in.snapshot->catalogue.folderCount();
        j["fileCount"] = in.snapshot->catalogue.fileCount();
    }
    return j;
}

void infoText(const InfoRequest& request, const InfoSource& in)
{
    const OpenedSource& src = in.source;
    const disk::VolumeGeometry& g = src.volume.geometry;
    const disk::VolumeInfoTexts texts = disk::ShowVolumeInfo(src.volume.info);
    // The path as given: a device, an image, PATH@N, or a snapshot.
    std::printf("Source              : %s%s\n", terminalText(request.path).c_str(),
                in.snapshot ? " (a recovery snapshot)" : "");
    std::printf("Volume Label        : %s\n", catalogue::toUtf8(texts.label).c_str());
    // The size in binary units, and exactly.
    const std::uint64_t bytes = src.volume.info.VolumeSectors * disk::kSectorSize;
    std::printf("Capacity            : %s (%llu bytes)\n", iecSize(bytes).c_str(),
                static_cast<unsigned long long>(bytes));
    std::printf("Sectors per cluster : %s\n", texts.sectorsPerCluster.c_str());
    std::printf("Bytes per sector    : %s\n", texts.bytesPerSector.c_str());
    std::printf("File System         : %s\n", texts.fileSystem.c_str());
    if (!in.snapshot)
        printContainer(in.container.get());
    if (src.supported) {
        std::printf("Start Sector        : %s\n", disk::sectorText(g.ClusterBaseSector).c_str());
        if (g.GeometryKind != disk::VolumeKind::Ntfs) {
            std::printf("Reserved Sectors    : %u\n", g.ReservedSectors);
            std::printf("FAT Sectors         : %u\n", g.FatSectors);
            std::printf("First FAT           : %u\n", g.FirstFatSector);
            std::printf("Second FAT          : %u\n", g.SecondFatSector);
            if (g.GeometryKind == disk::VolumeKind::Fat12 || g.GeometryKind == disk::VolumeKind::Fat16)
                std::printf("Root Directory      : sector %u, %u sectors\n", g.RootDirStart, g.RootDirSectors);
            else
                std::printf("Root Directory      : cluster %u\n", g.RootDirStart);
            for (const auto& fact : exfatFacts(src))
                std::printf("%-20s: %s\n", fact.label.c_str(),
                            fact.number ? std::to_string(*fact.number).c_str() : fact.text.c_str());
        } else {
            std::printf("MFT Start           : %llu\n", static_cast<unsigned long long>(g.MftStartSector));
            std::printf("MFT Record Size     : %u bytes\n", g.MftRecordSectors * disk::kSectorSize);
            std::printf("Index Record Sectors: %u\n", g.IndexRecordSectors);
        }
        for (const std::string& note : volumeNotes(src.volume.info))
            std::printf("Note                : %s\n", note.c_str());
        if (!in.snapshot && g.GeometryKind == disk::VolumeKind::Ntfs &&
            platform::resolvePartitionPath(request.path).shadow == 0)
            printShadowCopies(request.path, shadowCopiesOf(request.path), "");
    }
    if (in.snapshot) {
        std::printf("Directories         : %u\n", in.snapshot->catalogue.folderCount());
        std::printf("Files               : %u\n", in.snapshot->catalogue.fileCount());
    }
}

/// Opens what `info` describes. Nothing when it was a whole disk (its
/// partitions are then printed) or a snapshot that could not be loaded
/// (`status` then says which).
std::optional<InfoSource> openInfoSource(const InfoRequest& request, int& status)
{
    InfoSource in;
    const std::string& path = request.path;
    if (isSnapshotSource(path)) {
        // A snapshot carries the volume description and geometry of its scan.
        in.snapshot = loadSnapshotSession(path, {});
        if (!in.snapshot) {
            status = kExitFailed;
            return std::nullopt;
        }
        in.source.volume = in.snapshot->volume;
        in.source.supported = in.source.volume.info.VolumeSupported == 1;
        in.source.item.text = "Snapshot(" + platform::pathText(platform::pathOf(path).filename()) + ")";
        if (!in.source.supported)
            in.source.error = path + ": the snapshot describes no supported volume";
        return in;
    }
    in.source = openSource(path, false, request.rules);
    in.container = containerOf(path);
    if (!in.source.supported && !in.source.volume.reader.isOpen()) {
        // A whole disk: its partitions, each a SOURCE of its own.
        // A GPT that names no partition is listed so too, with none.
        if (const auto partitions = listPartitions(path); !partitions.empty() || in.source.selection.emptyGpt) {
            printPartitions(path, partitions, request.json);
            status = kExitDone;
            return std::nullopt;
        }
    }
    return in;
}

} // namespace

int runInfo(const CommandSpec& spec, const ParsedArgs& parsed)
{
    if (parsed.positional.size() != 1)
        return usageError(spec, parsed.positional.empty() ? "SOURCE is missing" : "one SOURCE only");
    InfoRequest request;
    request.path = parsed.positional.front();
    request.json = parsed.has("json");
    if (parsed.lastOf({"classic", "thorough"}).value_or("thorough") == "classic")
        request.rules = disk::GeometryRules::Classic;

    int status = kExitDone;
    const auto in = openInfoSource(request, status);
    if (!in)
        return status;
    if (request.json) {
        JsonStream w(stdout);
        w.beginObject().members(infoJson(request, *in)).endObject();
    } else {
        infoText(request, *in);
    }
    if (!in->source.supported) {
        std::fprintf(stderr, "sarvik: %s\n", in->source.error.c_str());
        return kExitFailed;
    }
    return kExitDone;
}

} // namespace sarvik::cli
