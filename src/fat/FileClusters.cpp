#include "fat/FileClusters.h"

#include "fat/FatThoroughScan.h"

namespace sarvik::fat {

std::vector<std::uint32_t> FreeClustersFrom(const FatTable& table, std::uint32_t firstCluster, std::uint32_t count)
{
    if (count == 0 || firstCluster < 2 || firstCluster > table.maxCluster())
        return {};
    std::vector<std::uint32_t> clusters;
    clusters.reserve(count);
    clusters.push_back(firstCluster);
    for (std::uint64_t c = std::uint64_t{firstCluster} + 1; clusters.size() < count && c <= table.maxCluster(); ++c) {
        const auto value = table.entry(static_cast<std::uint32_t>(c));
        if (value && *value == 0)
            clusters.push_back(static_cast<std::uint32_t>(c));
    }
    if (clusters.size() != count)
        return {};
    return clusters;
}

} // namespace sarvik::fat
