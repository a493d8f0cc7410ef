// sarvik drives, sarvik info

#include "catalogue/NameText.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Session.h"
#include "cli/Source.h"
#include "exfat/ExfatBoot.h"

#include <filesystem>
#include "platform/DriveDiscovery.h"

#include <cstdio>

namespace sarvik::cli {

int runDrives(const std::vector<std::string>& args)
{
    bool json = false;
    std::vector<std::string> images;
    for (const std::string& a : args) {
        if (a == "--json") {
            json = true;
        } else if (!a.starts_with("--") && std::filesystem::is_regular_file(a)) {
            images.push_back(a); // listed after this machine's drives, one item per partition
        } else {
            std::fprintf(stderr, "sarvik drives: unexpected argument '%s'\n", a.c_str());
            return 2;
        }
    }
    auto drives = platform::FillDriveTree();
    for (const std::string& image : images)
        for (auto& item : platform::imageDriveItems(image))
            drives.push_back(std::move(item));
    if (json) {
        JsonWriter w;
        w.beginObject().beginArray("drives");
        for (const auto& d : drives)
            w.beginObject()
                .value("text", d.text)
                .value("devicePath", d.devicePath)
                .value("removable", d.kind == disk::DriveKind::Removable ? "yes" : "no")
                .value("sizeBytes", d.sizeBytes)
                .endObject();
        w.endArray().endObject();
        std::fputs(w.str().c_str(), stdout);
        return 0;
    }
    std::puts("My Computer");
    for (const auto& d : drives)
        std::printf("  %-28s %-20s %10llu MB\n", d.text.c_str(), d.devicePath.c_str(),
                    static_cast<unsigned long long>(d.sizeBytes / (1024 * 1024)));
    return 0;
}

namespace {

void printPartitions(const std::string& path, const std::vector<PartitionListing>& partitions, bool json)
{
    if (json) {
        JsonWriter w;
        w.beginObject().value("source", path).beginArray("partitions");
        for (const auto& p : partitions)
            w.beginObject()
                .value("number", p.partition.number)
                .value("source", p.source)
                .value("firstSector", p.partition.firstSector)
                .value("sectors", p.partition.sectors)
                .value("type", p.partition.mbrType)
                .value("logical", p.partition.logical ? "yes" : "no")
                .value("fileSystem", p.fileSystem)
                .endObject();
        w.endArray().endObject();
        std::fputs(w.str().c_str(), stdout);
        return;
    }
    std::printf("Disk                : %s\n", path.c_str());
    std::printf("Partitions          : %zu\n", partitions.size());
    for (const auto& p : partitions)
        std::printf("  %-3u %-10s start %-10llu %10llu sectors  %s\n", p.partition.number,
                    p.fileSystem.empty() ? "-" : p.fileSystem.c_str(),
                    static_cast<unsigned long long>(p.partition.firstSector),
                    static_cast<unsigned long long>(p.partition.sectors), p.source.c_str());
}

} // namespace

int runInfo(const std::vector<std::string>& args)
{
    bool json = false;
    disk::GeometryRules rules = disk::GeometryRules::Thorough;
    std::string path;
    for (const std::string& a : args) {
        if (a == "--json")
            json = true;
        else if (a == "--classic" || a == "--thorough")
            rules = a == "--classic" ? disk::GeometryRules::Classic : disk::GeometryRules::Thorough;
        else if (path.empty() && !a.starts_with("--"))
            path = a;
        else {
            std::fprintf(stderr, "sarvik info: unexpected argument '%s'\n", a.c_str());
            return 2;
        }
    }
    if (path.empty()) {
        std::fputs("usage: sarvik info SOURCE [--json]\n", stderr);
        return 2;
    }
    OpenedSource src;
    std::unique_ptr<scan::ScanSession> snapshot;
    if (isSnapshotSource(path)) {
        // A snapshot carries the volume description and geometry of its scan.
        snapshot = loadSnapshotSession(path, {});
        if (!snapshot)
            return 1;
        src.volume = snapshot->volume;
        src.supported = src.volume.info.VolumeSupported == 1;
        src.item.text = "Snapshot(" + std::filesystem::path(path).filename().string() + ")";
        if (!src.supported)
            src.error = path + ": the snapshot describes no supported volume";
    } else {
        src = openSource(path, false, rules);
        if (!src.supported && !src.volume.reader.isOpen()) {
            // A whole disk: its partitions, each a SOURCE of its own.
            if (const auto partitions = listPartitions(path); !partitions.empty()) {
                printPartitions(path, partitions, json);
                return 0;
            }
        }
    }
    const disk::VolumeInfo& info = src.volume.info;
    const disk::VolumeGeometry& g = src.volume.geometry;
    const disk::PartitionBlock& p = src.volume.partition;
    const disk::VolumeInfoTexts texts = disk::ShowVolumeInfo(info);
    const auto exfatFacts = src.supported && g.GeometryKind == disk::VolumeKind::Exfat && src.volume.reader.source()
                                ? exfat::describeBootRegion(*src.volume.reader.source())
                                : std::vector<exfat::VolumeFact>{};

    if (json) {
        JsonWriter w;
        w.beginObject()
            .value("source", path)
            .value("driveText", src.item.text)
            .value("VolumeKind", info.VolumeKind)
            .value("DevicePath", info.DevicePath)
            .value("VolumeClusterSectors", info.VolumeClusterSectors)
            .value("VolumeSectors", info.VolumeSectors)
            .value("VolumeSupported", info.VolumeSupported)
            .value("VolumeLabel", catalogue::toUtf8(info.VolumeLabel))
            .value("BytesPerSector", info.BytesPerSector);
        if (src.supported) {
            w.value("FileSystemSectors", info.FileSystemSectors)
                .value("BackupBootSector", info.BackupBootSector ? "yes" : "no");
            if (g.GeometryKind == disk::VolumeKind::Ntfs)
                w.value("MftRecordBytes", std::uint64_t{g.MftRecordSectors} * disk::kSectorSize);
            std::string notes;
            for (const std::string& note : volumeNotes(info))
                notes += (notes.empty() ? "" : "; ") + note;
            w.value("notes", notes);
            w.value("PartitionStartSector", p.PartitionStartSector)
                .value("PartitionSectors", p.PartitionSectors)
                .value("GeometryKind", g.GeometryKind)
                .value("FatSectors", g.FatSectors)
                .value("SectorsPerCluster", g.SectorsPerCluster)
                .value("RootDirSectors", g.RootDirSectors)
                .value("RootDirStart", g.RootDirStart)
                .value("ReservedSectors", g.ReservedSectors)
                .value("ClusterBaseSector", g.ClusterBaseSector)
                .value("FirstFatSector", g.FirstFatSector)
                .value("SecondFatSector", g.SecondFatSector)
                .value("MftStartSector", g.MftStartSector)
                .value("NtfsReserved", g.NtfsReserved)
                .value("MftRecordSectors", g.MftRecordSectors)
                .value("IndexRecordSectors", g.IndexRecordSectors)
                .value("SearchEndSector", g.SearchEndSector);
            for (const auto& fact : exfatFacts)
                fact.number ? w.value(fact.key, *fact.number) : w.value(fact.key, fact.text);
        }
        w.beginObject("drivePage")
            .value("volumeLabel", catalogue::toUtf8(texts.label))
            .value("capacity", texts.capacity)
            .value("sectorsPerCluster", texts.sectorsPerCluster)
            .value("bytesPerSector", texts.bytesPerSector)
            .value("fileSystem", texts.fileSystem)
            .endObject();
        if (snapshot) {
            w.value("FolderCount", snapshot->catalogue.FolderCount).value("FileCount", snapshot->catalogue.FileCount);
        }
        w.endObject();
        std::fputs(w.str().c_str(), stdout);
    } else {
        std::printf("Drive               : %s\n", src.item.text.c_str());
        std::printf("Volume Label        : %s\n", catalogue::toUtf8(texts.label).c_str());
        std::printf("Capacity            : %s\n", texts.capacity.c_str());
        std::printf("Sectors per cluster : %s\n", texts.sectorsPerCluster.c_str());
        std::printf("Bytes per sector    : %s\n", texts.bytesPerSector.c_str());
        std::printf("File System         : %s\n", texts.fileSystem.c_str());
        if (src.supported) {
            const bool ntfs = g.GeometryKind == disk::VolumeKind::Ntfs;
            std::printf("Start Sector        : %s\n", disk::sectorText(g.ClusterBaseSector).c_str());
            if (!ntfs) {
                std::printf("Reserved Sectors    : %u\n", g.ReservedSectors);
                std::printf("FAT Sectors         : %u\n", g.FatSectors);
                std::printf("First FAT           : %u\n", g.FirstFatSector);
                std::printf("Second FAT          : %u\n", g.SecondFatSector);
                if (g.GeometryKind == disk::VolumeKind::Fat16)
                    std::printf("Root Directory      : sector %u, %u sectors\n", g.RootDirStart, g.RootDirSectors);
                else
                    std::printf("Root Directory      : cluster %u\n", g.RootDirStart);
                for (const auto& fact : exfatFacts)
                    std::printf("%-20s: %s\n", fact.label.c_str(),
                                fact.number ? std::to_string(*fact.number).c_str() : fact.text.c_str());
            } else {
                std::printf("MFT Start           : %llu\n", static_cast<unsigned long long>(g.MftStartSector));
                std::printf("MFT Record Size     : %u bytes\n", g.MftRecordSectors * disk::kSectorSize);
                std::printf("Index Record Sectors: %u\n", g.IndexRecordSectors);
            }
        }
        if (src.supported)
            for (const std::string& note : volumeNotes(info))
                std::printf("Note                : %s\n", note.c_str());
        if (snapshot) {
            std::printf("Directories         : %u\n", snapshot->catalogue.FolderCount);
            std::printf("Files               : %u\n", snapshot->catalogue.FileCount);
        }
    }
    if (!src.supported) {
        std::fprintf(stderr, "sarvik: %s\n", src.error.c_str());
        return 1;
    }
    return 0;
}

} // namespace sarvik::cli
