#include "recovery/NtfsCompressed.h"

#include <algorithm>
#include <vector>

namespace sarvik::recovery {

namespace {
constexpr std::size_t kChunkOutput = 4096;
constexpr std::size_t kAttrFlags = 0x0C;           // u16: 0x0001 compressed
constexpr std::size_t kAttrCompressionUnit = 0x22; // u8: log2 of the clusters in a unit
constexpr std::uint16_t kCompressedFlag = 0x0001;
constexpr std::uint32_t kMaxUnitShift = 8;
constexpr std::uint64_t kMaxUnitBytes = 1u << 20;
constexpr std::int64_t kMissing = -2;
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
    info.compressed = (r.u16or0(attributeOffset + kAttrFlags) & kCompressedFlag) != 0 && shift != 0 &&
                      shift <= kMaxUnitShift;
    info.unitClusters = info.compressed ? 1u << shift : 0;
    return info;
}

CompressedCopy CopyCompressedRuns(const disk::SelectedVolume& volume, const NtfsRunList& runs,
                                  std::uint32_t unitClusters, std::uint64_t size,
                                  const std::function<bool(disk::ByteSpan)>& write, const std::function<bool()>& stop)
{
    CompressedCopy result;
    const auto& g = volume.geometry;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * disk::kSectorSize;
    const std::uint64_t unitBytes = clusterBytes * unitClusters;
    if (clusterBytes == 0 || unitBytes == 0 || unitBytes > kMaxUnitBytes)
        return result;

    // Each cluster of the attribute in order: its cluster number, -1 when sparse,
    // kMissing when no piece of the attribute describes it.
    const std::uint64_t clustersNeeded = (size + clusterBytes - 1) / clusterBytes;
    const std::uint64_t wantedClusters = (clustersNeeded + unitClusters - 1) / unitClusters * unitClusters;
    std::vector<std::int64_t> clusters;
    for (const NtfsRun& run : runs) {
        for (std::uint64_t k = 0; k < run.length && clusters.size() < wantedClusters; ++k)
            clusters.push_back(run.missing ? kMissing : run.sparse ? -1 : run.start + static_cast<std::int64_t>(k));
        if (clusters.size() >= wantedClusters)
            break;
    }
    clusters.resize(static_cast<std::size_t>(wantedClusters), -1);

    std::vector<std::byte> stored(static_cast<std::size_t>(unitBytes));
    std::vector<std::byte> unit(static_cast<std::size_t>(unitBytes));
    for (std::size_t u = 0; u < clusters.size() && result.written < size; u += unitClusters) {
        if (stop()) {
            result.interrupted = true;
            return result;
        }
        std::size_t present = 0;
        // A unit with a cluster that no extent describes cannot be told from a
        // compressed one: it is written as zeros and counted.
        bool readable = std::find(clusters.begin() + static_cast<std::ptrdiff_t>(u),
                                  clusters.begin() + static_cast<std::ptrdiff_t>(u + unitClusters),
                                  kMissing) == clusters.begin() + static_cast<std::ptrdiff_t>(u + unitClusters);
        for (std::size_t k = 0; k < unitClusters; ++k) {
            const std::int64_t c = clusters[u + k];
            if (c < 0)
                break;
            const auto sector = g.clusterSector(static_cast<std::uint64_t>(c));
            const auto at = std::span(stored).subspan(present * clusterBytes, clusterBytes);
            if (!sector || volume.reader.read(*sector, g.SectorsPerCluster, at) != disk::ReadStatus::Ok)
                readable = false;
            ++present;
        }
        std::fill(unit.begin(), unit.end(), std::byte{0});
        if (present == unitClusters) {
            if (readable)
                unit = stored;
            else
                ++result.zeroFilledUnits;
        } else if (present > 0) {
            const auto made = readable ? Lznt1Decompress(std::span(stored).first(present * clusterBytes), unit)
                                       : std::nullopt;
            if (!made) {
                std::fill(unit.begin(), unit.end(), std::byte{0});
                ++result.zeroFilledUnits;
            }
        } else if (!readable) {
            ++result.zeroFilledUnits;
        }
        const std::uint64_t take = std::min<std::uint64_t>(unitBytes, size - result.written);
        if (!write(disk::ByteSpan(unit.data(), static_cast<std::size_t>(take)))) {
            result.writeFailed = true;
            return result;
        }
        result.written += take;
    }
    return result;
}

} // namespace sarvik::recovery
