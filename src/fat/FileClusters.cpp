// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/FileClusters.h"

#include "fat/FatThoroughScan.h"

namespace sarvik::fat {

FreeClusters FreeClustersRead(const FatTable& table, std::uint32_t firstCluster, std::uint32_t count)
{
    FreeClusters found;
    if (count == 0 || firstCluster < 2 || firstCluster > table.maxCluster())
        return found;
    std::vector<std::uint32_t>& clusters = found.clusters;
    clusters.reserve(count);
    clusters.push_back(firstCluster);
    for (std::uint64_t c = std::uint64_t{firstCluster} + 1; clusters.size() < count && c <= table.maxCluster(); ++c) {
        const auto value = table.entry(static_cast<std::uint32_t>(c));
        if (!value)
            found.metUnreadable = true;
        else if (*value == 0)
            clusters.push_back(static_cast<std::uint32_t>(c));
    }
    if (clusters.size() != count)
        clusters.clear();
    return found;
}

std::vector<std::uint32_t> FreeClustersFrom(const FatTable& table, std::uint32_t firstCluster, std::uint32_t count)
{
    return FreeClustersRead(table, firstCluster, count).clusters;
}

} // namespace sarvik::fat
