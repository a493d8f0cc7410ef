// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/NtfsCompressed.h"

#include "ntfs/AttributeHeader.h"

#include <algorithm>
#include <vector>

namespace sarvik::ntfs {

namespace {
constexpr std::size_t kChunkOutput = 4096;
constexpr std::uint32_t kMaxUnitShift = 8;
constexpr std::uint64_t kMaxUnitBytes = 1u << 20;
constexpr std::int64_t kSparse = -1;
constexpr std::int64_t kMissing = -2;

/// The clusters of a run list one at a time: a cluster number, kSparse or
/// kMissing; nothing past the last run.
class ClusterCursor {
public:
    explicit ClusterCursor(const NtfsRunList& runs) : m_runs(runs) {}
    std::optional<std::int64_t> next()
    {
        while (m_run < m_runs.size() && m_index >= m_runs[m_run].length) {
            ++m_run;
            m_index = 0;
        }
        if (m_run == m_runs.size())
            return std::nullopt;
        const NtfsRun& run = m_runs[m_run];
        const std::uint64_t k = m_index++;
        if (run.missing)
            return kMissing;
        if (run.sparse)
            return kSparse;
        // Past any cluster number a volume can have: no cluster at all.
        if (run.start < 0 || k > (std::uint64_t{1} << 48) ||
            static_cast<std::uint64_t>(run.start) > (std::uint64_t{1} << 48))
            return kMissing;
        return run.start + static_cast<std::int64_t>(k);
    }

private:
    const NtfsRunList& m_runs;
    std::size_t m_run = 0;
    std::uint64_t m_index = 0;
};
} // namespace

std::optional<std::size_t> Lznt1Decompress(disk::ByteSpan input, disk::MutableByteSpan output)
{
    const disk::ByteReader r(input);
    std::size_t in = 0;
    std::size_t out = 0;
    while (r.has(in, 2)) {
        const std::uint16_t header = r.u16or0(in);
        if (header == 0)
            break;
        const std::size_t chunkBytes = (header & 0x0FFFu) + 1u;
        const std::size_t chunkStart = in + 2;
        if (!r.has(chunkStart, chunkBytes))
            return std::nullopt;
        const std::size_t chunkEnd = chunkStart + chunkBytes;
        const std::size_t outStart = out;
        if ((header & 0x8000u) == 0) {
            for (std::size_t i = chunkStart; i < chunkEnd; ++i, ++out)
                if (out < output.size())
                    output[out] = input[i];
        } else {
            std::size_t pos = chunkStart;
            while (pos < chunkEnd) {
                const std::uint8_t flags = r.u8or0(pos++);
                for (unsigned bit = 0; bit < 8 && pos < chunkEnd; ++bit) {
                    if ((flags & (1u << bit)) == 0) {
                        if (out < output.size())
                            output[out] = input[pos];
                        ++pos;
                        ++out;
                        continue;
                    }
                    if (pos + 2 > chunkEnd)
                        return std::nullopt;
                    const std::uint16_t token = r.u16or0(pos);
                    pos += 2;
                    const std::size_t done = out - outStart;
                    if (done == 0)
                        return std::nullopt;
                    unsigned lengthBits = 12;
                    for (std::size_t p = done - 1; p >= 0x10; p >>= 1)
                        --lengthBits;
                    const std::size_t length = (token & ((1u << lengthBits) - 1u)) + 3u;
                    const std::size_t offset = (std::size_t{token} >> lengthBits) + 1u;
                    if (offset > done || done + length > kChunkOutput)
                        return std::nullopt;
                    for (std::size_t k = 0; k < length; ++k, ++out)
                        if (out < output.size())
                            output[out] = out - offset < output.size() ? output[out - offset] : std::byte{0};
                }
            }
        }
        in = chunkEnd;
        // A chunk that gives less than 4 KiB and is followed by another is padded with zeros.
        if (r.has(in, 2) && r.u16or0(in) != 0 && out - outStart < kChunkOutput) {
            for (; out - outStart < kChunkOutput; ++out)
                if (out < output.size())
                    output[out] = std::byte{0};
        }
    }
    return std::min(out, output.size());
}

CompressionInfo ReadCompressionInfo(disk::ByteSpan record, std::size_t attributeOffset) noexcept
{
    const disk::ByteReader r(record);
    CompressionInfo info;
    const std::uint8_t shift = r.u8or0(attributeOffset + kAttrCompressionUnit);
    info.compressed = (r.u16or0(attributeOffset + kAttrFlags) & kAttrCompressedFlag) != 0;
    info.unitClusters = info.compressed && shift != 0 && shift <= kMaxUnitShift ? 1u << shift : 0;
    return info;
}

CompressedCopy CopyCompressedRuns(const disk::SelectedVolume& volume, const disk::VolumeExtent& extent,
                                  const NtfsRunList& runs, std::uint32_t unitClusters, std::uint64_t size,
                                  const std::function<bool(disk::ByteSpan)>& write,
                                  const std::function<bool(std::uint64_t)>& hole, const std::function<bool()>& stop)
{
    CompressedCopy result;
    const auto& g = volume.geometry;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * disk::kSectorSize;
    const std::uint64_t unitBytes = clusterBytes * unitClusters;
    if (clusterBytes == 0 || unitBytes == 0 || unitBytes > kMaxUnitBytes)
        return result;
    // No file holds more clusters than its whole volume, whatever its size
    // says; sparse clusters hold none and do not count, but the file covers at
    // most kMaxFileClusters.
    const std::uint64_t mostBytes = kMaxFileClusters * clusterBytes; // a cluster is at most kMaxUnitBytes
    const bool tooLong = size > mostBytes;
    size = std::min(size, mostBytes);
    std::uint64_t onDisk = 0;

    ClusterCursor cursor(runs);
    std::vector<std::int64_t> clusters(unitClusters);
    std::vector<std::byte> stored(static_cast<std::size_t>(unitBytes));
    std::vector<std::byte> unit(static_cast<std::size_t>(unitBytes));
    while (result.written < size) {
        if (stop()) {
            result.interrupted = true;
            return result;
        }
        // The unit's clusters; a list that ends within a unit leaves the rest
        // sparse, one that ends before it ends the copy.
        std::size_t described = 0;
        for (auto& c : clusters) {
            const auto next = cursor.next();
            c = next.value_or(kSparse);
            if (next)
                ++described;
        }
        if (described == 0)
            break;
        // A unit with a cluster that no extent describes cannot be told from a
        // compressed one: it is written as zeros and counted.
        bool readable = std::find(clusters.begin(), clusters.end(), kMissing) == clusters.end();
        std::size_t present = 0;
        for (const std::int64_t c : clusters) {
            if (c < 0)
                break;
            const auto cluster = static_cast<std::uint64_t>(c);
            const auto sector = g.clusterSector(cluster);
            const auto at = std::span(stored).subspan(present * clusterBytes, clusterBytes);
            if (cluster < extent.firstCluster || cluster >= extent.readableEnd || !sector ||
                volume.reader.read(*sector, g.SectorsPerCluster, at) != disk::ReadStatus::Ok)
                readable = false;
            ++present;
        }
        onDisk += present;
        if (onDisk > extent.clusterCount()) {
            result.cutAtVolumeEnd = true;
            return result;
        }
        std::fill(unit.begin(), unit.end(), std::byte{0});
        if (present == unitClusters) {
            if (readable)
                unit = stored;
            else
                ++result.zeroFilledUnits;
        } else if (present > 0) {
            const auto made =
                readable ? Lznt1Decompress(std::span(stored).first(present * clusterBytes), unit) : std::nullopt;
            if (!made) {
                std::fill(unit.begin(), unit.end(), std::byte{0});
                ++result.zeroFilledUnits;
            }
        } else if (!readable) {
            ++result.zeroFilledUnits;
        }
        const std::uint64_t take = std::min<std::uint64_t>(unitBytes, size - result.written);
        // A unit of sparse clusters only holds nothing on disk: a hole.
        const bool sparse = present == 0 && readable;
        if (!(sparse ? hole(take) : write(disk::ByteSpan(unit.data(), static_cast<std::size_t>(take))))) {
            result.writeFailed = true;
            return result;
        }
        result.written += take;
    }
    result.cutAtVolumeEnd = tooLong && result.written >= size;
    return result;
}

} // namespace sarvik::ntfs
