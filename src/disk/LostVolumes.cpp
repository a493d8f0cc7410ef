// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/LostVolumes.h"

#include "catalogue/ReadProgress.h"
#include "disk/ExfatBoot.h"
#include "disk/PartitionTable.h"
#include "disk/Volume.h"

#include <algorithm>
#include <array>
#include <deque>
#include <optional>
#include <set>

namespace sarvik::disk {

namespace {

constexpr std::size_t kBytesPerSector = 11;    // u16
constexpr std::size_t kSectorsPerCluster = 13; // u8
constexpr std::size_t kReservedSectors = 14;   // u16, FAT: sectors before the first FAT
constexpr std::size_t kMedia = 21;             // u8, FAT: the media byte, repeated in the FAT's first entry
constexpr std::size_t kNtfsMftCluster = 48;    // u64
constexpr std::size_t kFat32BackupBoot = 50;   // u16

constexpr std::uint64_t kUsualFat32Backup = 6;
constexpr std::uint64_t kExfatBackupRegion = 12;
constexpr std::uint64_t kMiB = 2048; // sectors
constexpr std::uint64_t kTrack = 63; // sectors of a track in the old cylinder layout
constexpr std::size_t kMaxQuickLooks = 4096;
/// MiBs and tracks after a volume's end where the next one is looked for.
constexpr std::uint64_t kNextSteps = 4;
constexpr std::uint64_t kDeepBlockSectors = 8192; // 4 MiB read at once

using Sector = std::array<std::byte, kSectorSize>;

bool readSector(const BlockSource& disk, std::uint64_t sector, Sector& out)
{
    return sector < disk.size() / kSectorSize && disk.read(sector * kSectorSize, out) == ReadStatus::Ok;
}

std::uint64_t roundUp(std::uint64_t value, std::uint64_t step)
{
    return (value + step - 1) / step * step;
}

/// Whether the volume that boot sector `boot` describes, started at `start`,
/// holds what that boot sector points at: the FAT's first entry (the media
/// byte, then ones), or the MFT's first record.
bool structureHolds(const BlockSource& disk, std::uint64_t start, const Sector& boot, std::uint16_t kind)
{
    const ByteReader b(boot);
    Sector at{};
    if (kind == VolumeKind::Exfat) {
        const auto exfat = parseExfatBootSector(boot);
        if (!exfat)
            return false;
        const std::uint64_t scale = exfat->bytesPerSector() / kSectorSize;
        if (!readSector(disk, start + std::uint64_t{exfat->fatOffset} * scale, at))
            return false;
        return ByteReader(at).u32or0(0) == 0xFFFFFFF8;
    }
    const std::uint32_t bytes = b.u16or0(kBytesPerSector);
    if (bytes < kSectorSize || bytes > 4096 || (bytes & (bytes - 1)) != 0)
        return false;
    const std::uint64_t scale = bytes / kSectorSize;
    if (kind == VolumeKind::Ntfs) {
        const std::uint64_t mftCluster = b.u64or0(kNtfsMftCluster);
        const std::uint64_t spc = b.u8or0(kSectorsPerCluster);
        if (spc == 0 || mftCluster > (std::uint64_t{1} << 40))
            return false;
        return readSector(disk, start + mftCluster * spc * scale, at) && ByteReader(at).equals(0, "FILE");
    }
    const std::uint64_t reserved = b.u16or0(kReservedSectors);
    if (reserved == 0 || !readSector(disk, start + reserved * scale, at))
        return false;
    const ByteReader fat(at);
    return fat.u8or0(0) == b.u8or0(kMedia) && fat.u8or0(1) == 0xFF && fat.u8or0(2) == 0xFF;
}

/// The sectors a found volume takes: what its boot sector claims, with NTFS's
/// backup boot sector after them, cut at the disk's end.
std::uint64_t volumeSectors(const Sector& boot, std::uint16_t kind, std::uint64_t start, std::uint64_t diskSectors)
{
    std::uint64_t sectors = claimedSectorsOf(boot, kind);
    if (kind == VolumeKind::Ntfs)
        sectors += std::max<std::uint64_t>(1, ByteReader(boot).u16or0(kBytesPerSector) / kSectorSize);
    return start < diskSectors ? std::min(sectors, diskSectors - start) : 0;
}

/// Where a boot sector found at a sector puts its volume when that sector is
/// its backup: so many sectors before it.
std::uint64_t backupDistance(const Sector& boot, std::uint16_t kind)
{
    const ByteReader b(boot);
    if (kind == VolumeKind::Fat32) {
        const std::uint16_t named = b.u16or0(kFat32BackupBoot);
        const std::uint64_t scale = std::max<std::uint64_t>(1, b.u16or0(kBytesPerSector) / kSectorSize);
        return (named != 0 && named != 0xFFFF ? named : kUsualFat32Backup) * scale;
    }
    if (kind == VolumeKind::Exfat) {
        const auto exfat = parseExfatBootSector(boot);
        return exfat ? kExfatBackupRegion * (exfat->bytesPerSector() / kSectorSize) : 0;
    }
    if (kind == VolumeKind::Ntfs)
        return claimedSectorsOf(boot, kind);
    return 0;
}

enum class Reading { Either, BackupOnly };

/// The volume the boot sector at `sector` belongs to: its own when what it
/// points at holds there, else the one it is the backup of.
std::optional<LostVolume> volumeAt(const BlockSource& disk, std::uint64_t diskSectors, std::uint64_t sector,
                                   const Sector& boot, Reading reading = Reading::Either)
{
    const BootSectorClass cls = ClassifyBootSector(boot);
    if (!cls.supported || claimedSectorsOf(boot, cls.kind) == 0)
        return std::nullopt;
    if (reading == Reading::Either && structureHolds(disk, sector, boot, cls.kind))
        return LostVolume{sector, volumeSectors(boot, cls.kind, sector, diskSectors), cls.kind, "boot sector"};
    const std::uint64_t back = backupDistance(boot, cls.kind);
    if (back == 0 || back > sector || !structureHolds(disk, sector - back, boot, cls.kind))
        return std::nullopt;
    const std::uint64_t start = sector - back;
    return LostVolume{start, volumeSectors(boot, cls.kind, start, diskSectors), cls.kind,
                      cls.kind == VolumeKind::Ntfs ? "backup boot sector at its end" : "backup boot sector"};
}

class QuickSearch {
public:
    QuickSearch(const BlockSource& disk, std::vector<LostVolume>& found)
        : m_disk(disk), m_diskSectors(disk.size() / kSectorSize), m_found(found)
    {
    }

    void run()
    {
        m_queue = {0, kTrack, kMiB};
        for (std::size_t looks = 0; !m_queue.empty() && looks < kMaxQuickLooks; ++looks) {
            const std::uint64_t at = m_queue.front();
            m_queue.pop_front();
            if (at < m_diskSectors && m_looked.insert(at).second)
                look(at);
        }
        // A volume that ends at the disk's end keeps NTFS's backup in the last sector.
        Sector boot{};
        if (m_diskSectors > 1 && readSector(m_disk, m_diskSectors - 1, boot))
            if (auto v = volumeAt(m_disk, m_diskSectors, m_diskSectors - 1, boot, Reading::BackupOnly))
                add(*v);
    }

private:
    void look(std::uint64_t at)
    {
        Sector boot{};
        std::optional<LostVolume> v;
        if (readSector(m_disk, at, boot))
            v = volumeAt(m_disk, m_diskSectors, at, boot);
        // The boot sector is gone: its backups say where the volume starts.
        for (const std::uint64_t backup : {kUsualFat32Backup, kExfatBackupRegion})
            if (!v && readSector(m_disk, at + backup, boot))
                if (auto found = volumeAt(m_disk, m_diskSectors, at + backup, boot, Reading::BackupOnly);
                    found && found->firstSector == at)
                    v = found;
        if (v)
            add(*v);
    }

    void add(const LostVolume& v)
    {
        if (v.sectors == 0 || std::any_of(m_found.begin(), m_found.end(),
                                          [&v](const LostVolume& f) { return f.firstSector == v.firstSector; }))
            return;
        m_found.push_back(v);
        // The next volume starts where this one ends, or at one of the next
        // MiBs or tracks (a logical partition lies a MiB or a track after
        // the extended boot record that follows).
        const std::uint64_t end = v.firstSector + v.sectors;
        m_queue.push_back(end);
        for (std::uint64_t k = 0; k < kNextSteps; ++k) {
            m_queue.push_back(roundUp(end, kMiB) + k * kMiB);
            m_queue.push_back(roundUp(end, kTrack) + k * kTrack);
        }
    }

    const BlockSource& m_disk;
    const std::uint64_t m_diskSectors;
    std::vector<LostVolume>& m_found;
    std::deque<std::uint64_t> m_queue;
    std::set<std::uint64_t> m_looked;
};

/// Every sector of the disk, read in large blocks.
std::vector<LostVolume> deepSearch(const BlockSource& disk, catalogue::ScanObserver& observer,
                                   const catalogue::ScanControl& control, std::uint64_t& unreadableSectors)
{
    const std::uint64_t diskSectors = disk.size() / kSectorSize;
    std::vector<LostVolume> found;
    catalogue::ReadProgress progress(observer, catalogue::StatusCode::SearchingForLostVolumes,
                                     diskSectors * kSectorSize);
    std::vector<std::byte> block;
    for (std::uint64_t at = 0; at < diskSectors && !control.stopRequested(); at += kDeepBlockSectors) {
        const std::uint64_t n = std::min(kDeepBlockSectors, diskSectors - at);
        block.resize(static_cast<std::size_t>(n * kSectorSize));
        progress.add(n * kSectorSize);
        if (disk.knownZeros(at * kSectorSize) >= n * kSectorSize)
            continue; // a hole holds no boot sector
        if (disk.read(at * kSectorSize, block) != ReadStatus::Ok) {
            // A block that fails is read sector by sector: a bad sector costs only itself.
            for (std::uint64_t i = 0; i < n; ++i) {
                const auto one = std::span(block).subspan(static_cast<std::size_t>(i * kSectorSize), kSectorSize);
                if (disk.read((at + i) * kSectorSize, one) != ReadStatus::Ok) {
                    std::fill(one.begin(), one.end(), std::byte{0});
                    ++unreadableSectors;
                }
            }
        }
        for (std::uint64_t i = 0; i < n; ++i) {
            const auto bytes = std::span(block).subspan(static_cast<std::size_t>(i * kSectorSize), kSectorSize);
            if (std::to_integer<unsigned>(bytes[510]) != 0x55 || std::to_integer<unsigned>(bytes[511]) != 0xAA)
                continue;
            Sector boot{};
            std::copy(bytes.begin(), bytes.end(), boot.begin());
            if (auto v = volumeAt(disk, diskSectors, at + i, boot))
                if (std::none_of(found.begin(), found.end(),
                                 [&v](const LostVolume& f) { return f.firstSector == v->firstSector; }))
                    found.push_back(*v);
        }
    }
    if (!control.stopRequested())
        progress.finish();
    return found;
}

bool byStart(const LostVolume& a, const LostVolume& b)
{
    return a.firstSector < b.firstSector;
}

} // namespace

std::vector<LostVolume> FindLostVolumes(const BlockSource& disk, LostVolumeSearch depth,
                                        catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                                        std::uint64_t* unreadableSectors)
{
    std::uint64_t unreadable = 0;
    std::vector<LostVolume> found;
    QuickSearch(disk, found).run();
    std::sort(found.begin(), found.end(), byStart);
    if (depth == LostVolumeSearch::Deep) {
        std::vector<LostVolume> more = deepSearch(disk, observer, control, unreadable);
        std::sort(more.begin(), more.end(), byStart);
        for (LostVolume& v : more)
            if (std::none_of(found.begin(), found.end(),
                             [&v](const LostVolume& f) { return f.firstSector == v.firstSector; }))
                found.push_back(std::move(v));
    }
    if (unreadableSectors != nullptr)
        *unreadableSectors = unreadable;
    return found;
}

std::optional<LostVolume> FindLostVolume(const std::shared_ptr<const BlockSource>& disk, std::uint32_t number)
{
    if (!disk || number == 0)
        return std::nullopt;
    catalogue::ScanObserver quiet;
    const catalogue::ScanControl control;
    std::vector<LostVolume> found = FindLostVolumes(*disk, LostVolumeSearch::Quick, quiet, control);
    if (number > found.size())
        found = FindLostVolumes(*disk, LostVolumeSearch::Deep, quiet, control);
    if (number > found.size())
        return std::nullopt;
    return found[number - 1];
}

DriveItem lostVolumeDriveItem(DriveKind kind, const std::string& wholePath, const std::string& prefix,
                              const std::string& name, std::uint32_t number, std::uint16_t volumeKind,
                              std::uint64_t sectors)
{
    DriveItem item;
    item.kind = kind;
    item.text = prefix;
    item.text.append("(").append(name).append(") lost ").append(std::to_string(number));
    item.text.append(": ").append(fileSystemName(volumeKind));
    item.devicePath = lostVolumePathText(wholePath, number);
    item.sizeBytes = sectors * kSectorSize;
    return item;
}

} // namespace sarvik::disk
