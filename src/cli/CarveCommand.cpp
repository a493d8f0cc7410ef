// SPDX-License-Identifier: GPL-3.0-or-later
// sarvik carve: the search by content alone, over a whole volume, a partition
// or a disk with no file system at all.

#include "carve/Carver.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Options.h"
#include "cli/Progress.h"
#include "cli/Source.h"
#include "cli/TextWidth.h"
#include "platform/FileSystem.h"
#include "platform/PartitionSource.h"
#include "recovery/OriginalTimes.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace sarvik::cli {

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::size_t kCopyBytes = std::size_t{1} << 20;
/// A JPEG whose data breaks off is tried on past up to this many units (a file
/// in two pieces): enough for a small file written between them.
constexpr std::uint64_t kJoinUnits = 32;

/// Where files may start, and how they are numbered: clusters of a volume's
/// data area, or sectors of a source without a file system.
struct Layout {
    carve::Extent extent;
    std::uint64_t unitBytes = kSector;
    std::uint64_t unitZero = 0; ///< byte offset of unit 0
    std::string what;
};

Layout layoutOf(const OpenedSource& opened, std::uint64_t size)
{
    Layout l{{0, size}, kSector, 0, "no FAT, exFAT or NTFS volume: searched sector by sector"};
    if (!opened.supported)
        return l;
    const auto& g = opened.volume.geometry;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    if (clusterBytes == 0)
        return l;
    l.unitBytes = clusterBytes;
    if (g.GeometryKind == disk::VolumeKind::Ntfs) {
        l.what = "NTFS volume: every cluster searched";
        return l;
    }
    // FAT: clusters are numbered from the data area's start, cluster 2 its first.
    const auto first = g.clusterSector(2);
    if (!first || *first * kSector >= size)
        return l;
    l.extent = {*first * kSector, size - *first * kSector};
    l.unitZero = *first * kSector - 2 * clusterBytes;
    l.what = disk::fileSystemName(g.GeometryKind) + " volume: every cluster searched, in use or free";
    return l;
}

/// Writes the carved file's bytes into `folder`; false (with a message) when that fails.
bool writeCarved(const disk::BlockSource& source, const carve::CarvedFile& f, recovery::OutputFolder& folder,
                 const std::string& name, const std::string& shown)
{
    auto file = folder.createFile(name, false);
    if (!file) {
        std::fprintf(stderr, "sarvik carve: cannot create %s\n", shown.c_str());
        return false;
    }
    std::vector<std::byte> buffer(kCopyBytes);
    // A file joined from pieces is read piece by piece.
    const std::vector<carve::Extent> whole{{f.offset, f.length}};
    for (const carve::Extent& piece : f.pieces.empty() ? whole : f.pieces) {
        for (std::uint64_t at = 0; at < piece.length;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBytes, piece.length - at));
            const auto span = std::span(buffer).first(n);
            if (source.read(piece.offset + at, span) != disk::ReadStatus::Ok) {
                std::fprintf(stderr, "sarvik carve: %s: the source cannot be read at byte %llu\n", shown.c_str(),
                             static_cast<unsigned long long>(piece.offset) + at);
                (void)file->close();
                return false;
            }
            if (!file->write(span)) {
                std::fprintf(stderr, "sarvik carve: cannot write %s: %s\n", shown.c_str(), file->error().c_str());
                (void)file->close();
                return false;
            }
            at += n;
        }
    }
    if (!file->close()) {
        std::fprintf(stderr, "sarvik carve: cannot write %s: %s\n", shown.c_str(), file->error().c_str());
        return false;
    }
    return true;
}

} // namespace

int runCarve(const CommandSpec& spec, const ParsedArgs& parsed)
{
    if (parsed.positional.size() != 1)
        return usageError(spec, parsed.positional.empty() ? "SOURCE is missing" : "one SOURCE only");
    const std::string sourcePath = parsed.positional.front();
    const std::string to = parsed.value("to").value_or("");
    carve::CarveOptions options;
    if (const auto list = parsed.value("types")) {
        std::string unknown;
        const auto types = carve::parseTypeList(*list, unknown);
        if (!types)
            return usageError(spec, "unknown type '" + unknown + "'");
        options.types = *types;
    }
    if (const auto exit = refuseWritesOnSource("carve", sourcePath, "", {{"destination", to}}))
        return *exit;
    std::shared_ptr<recovery::OutputFolder> destination;
    if (!to.empty()) {
        if (const std::string why = platform::createFolder(to); !why.empty()) {
            std::fprintf(stderr, "sarvik carve: cannot create %s: %s\n", to.c_str(), why.c_str());
            return kExitFailed;
        }
        std::string error;
        destination = platform::openOutputFolder(to, error);
        if (!destination) {
            std::fprintf(stderr, "sarvik carve: cannot write to %s\n", error.c_str());
            return kExitFailed;
        }
        destination->keepOff(filesOfSource(sourcePath, ""));
    }

    const OpenedSource opened = openSource(sourcePath);
    // Bytes with no volume on them are carved all the same.
    std::shared_ptr<const disk::BlockSource> held = opened.volume.reader.source();
    if (!held && opened.selection.status != disk::SelectStatus::CannotOpen)
        held = platform::openVolumeSource(sourcePath);
    if (!held) {
        std::fprintf(stderr, "sarvik carve: %s\n", opened.error.c_str());
        return kExitFailed;
    }
    const disk::BlockSource& source = *held;
    warnIfMountedReadWrite(sourcePath);
    const Layout layout = layoutOf(opened, source.size());
    options.unitBytes = layout.unitBytes;
    options.joinUnits = kJoinUnits;
    std::printf("%s: %s\n", sourcePath.c_str(), layout.what.c_str());

    TerminalProgress progress("Carving");
    catalogue::ScanControl control;
    carve::CarveResult result;
    {
        const StopOnSignals signals(control);
        result = carve::Carve(source, {&layout.extent, 1}, options, progress, control);
    }
    progress.finish();

    int status = kExitDone;
    std::size_t whole = 0;
    std::vector<std::shared_ptr<recovery::OutputFolder>> typeFolders(carve::kFileTypeCount);
    for (const carve::CarvedFile& f : result.files) {
        const std::uint64_t unit = (f.offset - layout.unitZero) / layout.unitBytes;
        const std::string folder(carve::typeName(f.type));
        const std::string name = "f" + std::to_string(unit) + "." + f.extension;
        const std::string when = carve::timeText(f);
        std::string joined;
        if (!f.pieces.empty()) {
            joined = "  joined from " + std::to_string(f.pieces.size()) + " pieces at";
            for (const carve::Extent& piece : f.pieces)
                joined += " " + std::to_string((piece.offset - layout.unitZero) / layout.unitBytes);
        }
        std::printf("%-7s %12llu %12llu  %-10s %s/%s%s%s%s\n", folder.c_str(), static_cast<unsigned long long>(unit),
                    static_cast<unsigned long long>(f.length), f.complete ? "whole" : "incomplete", folder.c_str(),
                    name.c_str(), when.empty() ? "" : "  ", when.c_str(), joined.c_str());
        whole += f.complete ? 1 : 0;
        if (!f.complete)
            status = worseStatus(status, kExitLosses);
        if (!destination)
            continue;
        auto& sub = typeFolders[static_cast<std::size_t>(f.type)];
        if (!sub)
            sub = destination->makeFolder(folder);
        std::string shown = to;
        shown.append("/").append(folder).append("/").append(name);
        if (!sub || !writeCarved(source, f, *sub, name, shown)) {
            status = worseStatus(status, kExitFailed);
            continue;
        }
        // The copy gets the date the file keeps of itself (a wall-clock one read in local time).
        if (const auto packed = carve::fatDateTimeOf(f)) {
            const auto modified = f.timeIsLocal ? recovery::fatDateTimeToUnix(packed->first, packed->second)
                                                : std::optional<std::int64_t>(f.time - f.time % 2);
            if (modified && !sub->setTimes(name, {*modified + f.time % 2, *modified + f.time % 2}))
                std::fprintf(stderr, "sarvik carve: %s: its date could not be set\n", shown.c_str());
        }
        if (!f.pieces.empty())
            std::fprintf(stderr,
                         "sarvik carve: %s was joined from %zu pieces: its data broke off and went on %llu "
                         "bytes further\n",
                         shown.c_str(), f.pieces.size(),
                         static_cast<unsigned long long>(f.pieces[1].offset - f.pieces[0].offset - f.pieces[0].length));
        if (!f.complete)
            std::fprintf(stderr, "sarvik carve: %s is incomplete: its format breaks off after %llu bytes\n",
                         shown.c_str(), static_cast<unsigned long long>(f.length));
    }
    std::printf("%zu file(s) found: %zu whole, %zu incomplete; %s searched\n", result.files.size(), whole,
                result.files.size() - whole, iecSize(result.bytesSearched).c_str());
    if (result.unreadableBytes != 0) {
        std::fprintf(stderr, "sarvik carve: %llu bytes could not be read\n",
                     static_cast<unsigned long long>(result.unreadableBytes));
        status = worseStatus(status, kExitLosses);
    }
    if (result.stopped) {
        std::fprintf(stderr, "sarvik: interrupted; the search did not end\n");
        status = interruptedStatus();
    }
    return status;
}

} // namespace sarvik::cli
