// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/FreeSpaceSample.h"

#include "carve/FatCarve.h"
#include "carve/NtfsCarve.h"
#include "catalogue/ReadProgress.h"
#include "disk/FreeSpaceReads.h"
#include "ntfs/MftRecord.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace sarvik::scan {

namespace {

// Bytes read of each sampled cluster: enough to tell old data from a wiped cluster.
constexpr std::uint64_t kHeadBytes = 4096;
// The read that measures the device's speed: at most 4 MiB, and at most a
// sixty-fourth of what the deep search would read (at least 64 KiB), so that
// a volume with little free space is not read at length to say that reading
// it is short.
constexpr std::uint64_t kSpeedReadBytes = std::uint64_t{4} << 20;
constexpr std::uint64_t kSpeedReadMinimum = std::uint64_t{64} << 10;
constexpr std::uint64_t kSpeedReadShare = 64;
// The sample points at the deep search when at least this many of its clusters
// hold data, and at least one in this many: a cluster or two of stray bytes
// on a blank card is no reason to read all of it, a few files' worth is.
constexpr std::uint32_t kMinClusters = 2;
constexpr std::uint32_t kShareDivisor = 100;

std::vector<carve::Extent> unclaimedExtents(const ScanSession& session)
{
    const std::uint16_t kind = session.volume.geometry.GeometryKind;
    if (kind == disk::VolumeKind::Exfat)
        return carve::UnclaimedExfatExtents(session.volume, session.catalogue);
    if (disk::isFatKind(kind))
        return carve::UnclaimedFatExtents(session.volume, session.catalogue);
    if (kind == disk::VolumeKind::Ntfs)
        return carve::UnclaimedNtfsExtents(session.volume, session.mftRuns, session.catalogue);
    return {};
}

/// Whether the cluster after the end of the MFT's last run holds a record of
/// the MFT's format: a quick format writes a short MFT where the old one began
/// and leaves the rest of the old one behind it.
bool recordAfterMft(const ScanSession& session)
{
    const auto& runs = session.mftRuns;
    const disk::VolumeGeometry& g = session.volume.geometry;
    if (g.GeometryKind != disk::VolumeKind::Ntfs || runs.RunCount() == 0 || g.SectorsPerCluster == 0)
        return false;
    const std::uint64_t end = runs.RunStarts().back() + runs.RunLengths().back();
    const auto base = static_cast<std::uint64_t>(std::max<std::int64_t>(g.ClusterBaseSector, 0));
    if (end < base)
        return false;
    const std::uint64_t next =
        base + (end - base + g.SectorsPerCluster - 1) / g.SectorsPerCluster * g.SectorsPerCluster;
    ntfs::MftRecord record(g.MftRecordSectors);
    return session.volume.reader.read(next, record.sectors(), record) == disk::ReadStatus::Ok &&
           ntfs::hasFileSignature(record) && ntfs::RecordFixupMatches(record);
}

/// True when `bytes` are not one value repeated (a wiped or never written cluster).
bool holdsData(std::span<const std::byte> bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [&](std::byte b) { return b != bytes.front(); });
}

} // namespace

bool FreeSpaceSample::holdsUnnamedData() const noexcept
{
    return earlierMft || (holdingData >= kMinClusters && std::uint64_t{holdingData} * kShareDivisor >= sampled);
}

std::string FreeSpaceSample::finding() const
{
    std::string text = "Free space holds data no entry names (" + std::to_string(holdingData) + " of " +
                       std::to_string(sampled) + " sampled clusters)";
    if (earlierMft)
        text += ", and the MFT records of an earlier file system (a quick format leaves them behind)";
    return text;
}

std::string FreeSpaceSample::cost() const
{
    std::string text = catalogue::byteSizeText(bytesToRead) + " to read";
    if (bytesPerSecond > 0) {
        const double seconds = static_cast<double>(bytesToRead) / bytesPerSecond;
        // One short read, which the system may already hold in memory: a guess, and said to be one.
        text += "; a rough guess at this device's speed: " +
                (seconds < 1 ? std::string("under a second") : "about " + catalogue::durationText(seconds));
    }
    return text;
}

FreeSpaceSample SampleFreeSpace(const ScanSession& session, const catalogue::ScanControl* control)
{
    FreeSpaceSample sample;
    const auto& source = session.volume.reader.source();
    const std::uint64_t unit = std::uint64_t{session.volume.geometry.SectorsPerCluster} * disk::kSectorSize;
    if (!source || unit == 0)
        return sample;
    sample.earlierMft = recordAfterMft(session);
    const std::vector<carve::Extent> extents = unclaimedExtents(session);
    std::uint64_t units = 0;
    for (const carve::Extent& e : extents) {
        sample.unclaimedBytes += e.length;
        units += e.length / unit;
    }
    sample.bytesToRead = units * disk::freeClusterReadBytes(unit);
    if (units == 0)
        return sample;

    // Points spread evenly over the unclaimed clusters, each the middle of its
    // share, taken in disk order as the extents are.
    const std::uint64_t points = std::min<std::uint64_t>(units, kSampleClusters);
    std::vector<std::byte> head(static_cast<std::size_t>(std::min(unit, kHeadBytes)));
    std::size_t extent = 0;
    std::uint64_t before = 0; // units of the extents before `extent`
    for (std::uint64_t i = 0; i < points; ++i) {
        if (control != nullptr && control->stopRequested())
            return sample;
        const std::uint64_t u = (2 * i + 1) * units / (2 * points);
        while (u >= before + extents[extent].length / unit) {
            before += extents[extent].length / unit;
            ++extent;
        }
        const std::uint64_t at = extents[extent].offset + (u - before) * unit;
        if (source->read(at, head) != disk::ReadStatus::Ok)
            continue;
        ++sample.sampled;
        sample.holdingData += holdsData(head) ? 1u : 0u;
    }

    // The speed: bytes from the middle of the longest stretch, read in one go.
    // Its middle lies away from the metadata just read, which the system's
    // read-ahead would otherwise take this read to continue.
    const auto longest = std::max_element(extents.begin(), extents.end(),
                                          [](const auto& a, const auto& b) { return a.length < b.length; });
    // The buffer is not cleared first: the read fills it, and its bytes are not looked at.
    const std::uint64_t wanted = std::clamp(sample.bytesToRead / kSpeedReadShare, kSpeedReadMinimum, kSpeedReadBytes);
    const auto length = static_cast<std::size_t>(std::min(longest->length, wanted));
    const auto bytes = std::make_unique_for_overwrite<std::byte[]>(length);
    const disk::MutableByteSpan block(bytes.get(), length);
    const std::uint64_t middle = longest->offset + (longest->length - block.size()) / 2 / unit * unit;
    const auto start = std::chrono::steady_clock::now();
    if (source->read(middle, block) == disk::ReadStatus::Ok) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds > 0)
            sample.bytesPerSecond = static_cast<double>(block.size()) / seconds;
    }
    return sample;
}

} // namespace sarvik::scan
