// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Source.h"

#include "catalogue/Catalogue.h"
#include "cli/Commands.h"
#include "disk/LostVolumes.h"
#include "disk/PartitionTable.h"
#include "platform/Devices.h"
#include "platform/DiskManager.h"
#include "platform/DriveDiscovery.h"
#include "platform/FileSystem.h"
#include "platform/PartitionSource.h"
#include "platform/SourceVolume.h"
#include "recovery/SaveWorker.h"
#include "scan/ScanSession.h"
#include "snapshot/SnapshotFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

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

/// "no partition table names a volume; the search for lost volumes finds PATH@lost1 (FAT16), ..."
std::string lostVolumeHint(const std::string& path)
{
    const auto source = platform::openWholeSource(path);
    if (!source)
        return {};
    catalogue::ScanObserver quiet;
    const catalogue::ScanControl control;
    const auto found = disk::FindLostVolumes(*source, disk::LostVolumeSearch::Quick, quiet, control);
    if (found.empty())
        return {};
    std::string hint = path + ": not a volume, and no partition table names one; the search for lost volumes finds";
    for (std::size_t i = 0; i < found.size(); ++i)
        hint += (i == 0 ? " " : ", ") + disk::lostVolumePathText(path, static_cast<std::uint32_t>(i + 1)) + " (" +
                disk::fileSystemName(found[i].kind) + ")";
    return hint + " ('sarvik volumes " + path + "' lists them)";
}

/// The one partition of disk `path` that opens as a volume (as "PATH@N"
/// opens it: from a backup boot sector too), with a note that names it;
/// nothing when none or several do.
std::optional<OpenedSource> soleVolumeOf(const std::string& path, disk::GeometryRules rules)
{
    std::optional<OpenedSource> sole;
    std::string source;
    for (const PartitionListing& p : listPartitions(path)) {
        OpenedSource one = openSource(p.source, false, rules);
        if (!one.supported)
            continue;
        if (sole)
            return std::nullopt; // more than one: the user names it
        sole = std::move(one);
        source = p.source;
    }
    if (sole)
        sole->note = path + ": a disk with a partition table; its only " +
                     disk::fileSystemName(sole->volume.info.FileSystemKind) + " volume is " + source +
                     ", which is read";
    return sole;
}

} // namespace

std::string openFailureText(const std::string& path, const std::string& systemText)
{
#if defined(_WIN32)
    // Windows' own text says to run it from an elevated prompt.
    return systemText.empty() ? path : systemText;
#else
    const std::string whole = platform::resolvePartitionPath(path).path;
    if (platform::runningAsAdministrator() || !platform::accessRefused(whole))
        return systemText.empty() ? path : systemText;
    if (platform::isDevice(whole))
        return whole +
               ": permission denied: run it as root (sudo), or add --udisks to have the system's disk manager open "
               "it once polkit has asked for the password, or join the disk group";
    return whole + ": Permission denied: run with sudo, or copy the image somewhere you can read it";
#endif
}

std::optional<int> openThroughDiskManager(const std::string& source)
{
    const std::string whole = platform::resolvePartitionPath(source).path;
    if (!platform::accessRefused(whole))
        return std::nullopt; // readable already, or missing: the command says so
#if defined(_WIN32)
    std::fprintf(stderr, "sarvik: --udisks: there is no UDisks2 on this system; run it as the administrator\n");
#else
    const platform::DiskManagerOpen opened = platform::openThroughDiskManager(whole);
    switch (opened.outcome) {
    case platform::DiskManagerOpen::Outcome::Opened:
        return std::nullopt;
    case platform::DiskManagerOpen::Outcome::Refused:
        std::fprintf(stderr, "sarvik: UDisks2 did not open %s: %s\n", whole.c_str(), opened.reason.c_str());
        break;
    case platform::DiskManagerOpen::Outcome::Unavailable:
        std::fprintf(stderr,
                     "sarvik: --udisks: UDisks2 cannot open %s (%s); run it as root (sudo) or join the disk group\n",
                     whole.c_str(), opened.reason.c_str());
        break;
    }
#endif
    return kExitFailed;
}

std::optional<std::uint64_t> parseByteCount(const std::string& text)
{
    std::uint64_t number = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, number);
    if (ec != std::errc{} || end == first)
        return std::nullopt;
    const std::string unit(end, last);
    std::uint64_t scale = 0;
    constexpr std::array<std::pair<const char*, std::uint64_t>, 11> kUnits{{
        {"", disk::kSectorSize},
        {"s", disk::kSectorSize},
        {"B", 1},
        {"K", 1ULL << 10},
        {"KiB", 1ULL << 10},
        {"M", 1ULL << 20},
        {"MiB", 1ULL << 20},
        {"G", 1ULL << 30},
        {"GiB", 1ULL << 30},
        {"T", 1ULL << 40},
        {"TiB", 1ULL << 40},
    }};
    for (const auto& [name, bytes] : kUnits)
        if (unit == name)
            scale = bytes;
    if (scale == 0 || number > UINT64_MAX / scale)
        return std::nullopt;
    return number * scale;
}

std::optional<int> applyRegionOptions(const CommandSpec& spec, ParsedArgs& parsed)
{
    if ((!parsed.has("offset") && !parsed.has("size")) || parsed.positional.empty())
        return std::nullopt;
    std::array<std::uint64_t, 2> bytes{0, 0};
    constexpr std::array<const char*, 2> names{"offset", "size"};
    for (std::size_t i = 0; i < 2; ++i) {
        const auto text = parsed.value(names[i]);
        if (!text)
            continue;
        const auto count = parseByteCount(*text);
        if (!count || (i == 1 && *count == 0))
            return usageError(spec, std::string("--") + names[i] + " " + *text +
                                        ": not a count of sectors or of bytes with a unit (2048, 1048576B, 1M)");
        bytes[i] = *count;
    }
    std::string& source = parsed.positional.front();
    std::error_code ec;
    if (std::filesystem::is_regular_file(platform::pathOf(source), ec) && snapshot::IsSnapshotFile(source))
        return usageError(spec, "--offset and --size name a stretch of a disk or image, not of a snapshot");
    if (platform::resolvePartitionPath(source).isPart())
        return usageError(spec, "--offset counts from the start of the disk or image: name it without '@'");
    source = disk::regionPathText(source, bytes[0], bytes[1]);
    return std::nullopt;
}

namespace {

/// For "PATH@lost0", "PATH@-1", "PATH@lostx" naming a PATH that exists (the
/// suffix did not parse as a number, so the whole was taken for a file name
/// that does not exist): how partitions and lost volumes are numbered. Empty
/// otherwise.
std::string badNumberHint(const std::string& path)
{
    const std::size_t at = path.rfind('@');
    std::error_code ec;
    if (at == std::string::npos || at == 0 || platform::resolvePartitionPath(path).isPart() ||
        std::filesystem::exists(platform::pathOf(path), ec))
        return {};
    const std::string volume = path.substr(0, at);
    const disk::PartitionPath ofVolume = platform::resolvePartitionPath(volume);
    if (!std::filesystem::exists(platform::pathOf(ofVolume.path), ec))
        return {};
    const std::string whole = ofVolume.path;
    const std::string suffix = path.substr(at + 1);
    if (suffix.starts_with("vss"))
        return path + ": shadow copies are numbered from 1 ('" + suffix + "' is not such a number); 'sarvik info " +
               volume + "' lists them";
    if (ofVolume.isPart())
        return {};
    if (suffix.starts_with("lost"))
        return path + ": lost volumes are numbered from 1 ('" + suffix + "' is not such a number); 'sarvik volumes " +
               whole + "' lists them";
    return path + ": partitions are numbered from 1 ('" + suffix + "' is not such a number); 'sarvik info " + whole +
           "' lists them";
}

} // namespace

OpenedSource openSource(const std::string& path, bool soleVolume, disk::GeometryRules rules)
{
    OpenedSource opened;
    const disk::PartitionPath target = platform::resolvePartitionPath(path);
    const bool partition = target.isPart();
    const std::string& wholePath = target.path;
    const std::string suffix = (!partition || (target.number == 0 && !target.region) ? std::string{}
                                : target.region ? " at byte " + std::to_string(target.offset)
                                : target.lost   ? " lost" + std::to_string(target.number)
                                                : " p" + std::to_string(target.number)) +
                               (target.shadow == 0 ? std::string{} : " vss" + std::to_string(target.shadow));
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
    // A stretch given by its start alone ends where the file system found there
    // says it does, so that nothing after it (another volume) is taken for its own.
    const std::uint64_t claimed = opened.volume.info.FileSystemSectors * disk::kSectorSize;
    if (opened.supported && target.region && target.size == 0 && opened.volume.reader.isOpen() && claimed != 0 &&
        claimed < opened.volume.reader.source()->size())
        return openSource(disk::regionPathText(wholePath, target.offset, claimed), soleVolume, rules);
    if (partition && opened.volume.reader.isOpen())
        opened.item.sizeBytes = opened.volume.reader.source()->size();
    const disk::SelectStatus selected = opened.selection.status;
    if (selected == disk::SelectStatus::CannotOpen) {
        opened.error = "cannot open " + openFailureText(path, opened.selection.detail);
        if (const std::string hint = badNumberHint(path); !hint.empty())
            opened.error = hint;
    } else if (selected == disk::SelectStatus::Unreadable || selected == disk::SelectStatus::UnsupportedGeometry) {
        opened.error = path + ": " + disk::selectFailureText(opened.selection);
    } else if (!opened.supported) {
        if (const std::string hint = partition ? std::string{} : partitionHint(path); !hint.empty()) {
            opened.error = hint;
            if (soleVolume)
                if (auto sole = soleVolumeOf(path, rules))
                    return std::move(*sole);
        } else if (const std::string lost = partition ? std::string{} : lostVolumeHint(path); !lost.empty()) {
            opened.error = lost;
        } else {
            opened.error = path + ": " + disk::selectFailureText(opened.selection);
        }
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

namespace {

/// SOURCE and, for a snapshot, the volume its files come from.
std::vector<std::string> sourcesRead(const std::string& source, const std::string& device)
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
    return sources;
}

} // namespace

std::vector<std::string> filesOfSource(const std::string& source, const std::string& device)
{
    std::vector<std::string> files;
    for (const std::string& read : sourcesRead(source, device))
        for (std::string& file : platform::filesReadFor(read))
            if (std::find(files.begin(), files.end(), file) == files.end())
                files.push_back(std::move(file));
    return files;
}

std::optional<int> refuseWritesOnSource(const char* command, const std::string& source, const std::string& device,
                                        const std::vector<PathToWrite>& paths)
{
    const std::vector<std::string> sources = sourcesRead(source, device);
    const std::string prefix = command[0] == '\0' ? std::string("sarvik") : std::string("sarvik ") + command;
    std::vector<std::string> files;
    for (const PathToWrite& p : paths) {
        if (p.path.empty())
            continue;
        // A file of the source's set (other than the one named) named as a
        // path to write: said as such.
        if (files.empty())
            files = filesOfSource(source, device);
        for (const std::string& file : files) {
            if (std::any_of(sources.begin(), sources.end(), [&file](const std::string& named) {
                    return platform::resolvePartitionPath(named).path == file;
                }))
                continue;
            std::error_code same;
            if (std::filesystem::equivalent(platform::pathOf(p.path), platform::pathOf(file), same) && !same) {
                std::fprintf(stderr,
                             "%s: %s: the %s would be written over %s, a file the source is read from; nothing was "
                             "written. Choose a folder on another drive.\n",
                             prefix.c_str(), p.path.c_str(), p.what, file.c_str());
                return kExitFailed;
            }
        }
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

const char* noThreadText()
{
#if defined(_WIN32)
    return catalogue::kOutOfMemoryMessage;
#else
    // The system says "try again" both when the limit of threads is reached
    // and when a thread's stack does not fit the address space: room for a
    // stack tells the two apart.
    constexpr std::size_t kStackBytes = std::size_t{8} << 20;
    void* room = ::mmap(nullptr, kStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (room == MAP_FAILED)
        return catalogue::kOutOfMemoryMessage;
    ::munmap(room, kStackBytes);
    return recovery::kNoThreadMessage;
#endif
}

std::optional<int> refuseWithoutThreads()
{
    try {
        std::thread([] {}).join();
    } catch (const std::system_error&) {
        std::fprintf(stderr, "sarvik: %s\n", noThreadText());
        return kExitFailed;
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
