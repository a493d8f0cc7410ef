// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One bit per cluster of a volume, set when something claims the cluster: read
// from an allocation bitmap (cluster k is bit k % 8 of byte k / 8, as NTFS's
// $Bitmap keeps it), claimed further by the runs of found files, then walked
// for the stretches that nothing claims. It works a 64-bit word at a time, so
// a volume of millions of clusters costs microseconds rather than a loop over
// each cluster.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sarvik::carve {

class ClusterBits {
public:
    /// `clusters` clusters, cluster k claimed when its bit in `bitmap` is set;
    /// bits `bitmap` does not hold read as unclaimed.
    ClusterBits(std::span<const std::byte> bitmap, std::uint64_t clusters);

    [[nodiscard]] std::uint64_t size() const noexcept { return m_clusters; }
    [[nodiscard]] bool claimed(std::uint64_t cluster) const noexcept;
    /// Claims the clusters of [from, to) that lie below size().
    void claim(std::uint64_t from, std::uint64_t to) noexcept;
    /// The first unclaimed cluster at or after `from`; size() when none is.
    [[nodiscard]] std::uint64_t nextFree(std::uint64_t from) const noexcept;
    /// The first claimed cluster at or after `from`; size() when none is.
    [[nodiscard]] std::uint64_t nextClaimed(std::uint64_t from) const noexcept;

private:
    std::vector<std::uint64_t> m_words; ///< bits at size() and after are set
    std::uint64_t m_clusters = 0;
};

} // namespace sarvik::carve
