// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How much the deep search reads of each free cluster. A large cluster is
// recognised by its start: a folder's entries or a file's signature show in
// its first bytes, so only those are read, and the rest of the cluster only
// where its start may be a folder's. On a card of 128 KiB clusters that reads
// a thirty-second of its free space instead of all of it.

#include <cstdint>

namespace sarvik::disk {

/// Clusters of this many bytes or more are read by their head only.
inline constexpr std::uint64_t kHeadOnlyClusterBytes = std::uint64_t{16} << 10;
/// The bytes read of such a cluster's start.
inline constexpr std::uint64_t kClusterHeadBytes = 4096;

/// The bytes the deep search reads of a free cluster of `clusterBytes`, at
/// most (a cluster whose start may be a folder's is then read whole).
[[nodiscard]] constexpr std::uint64_t freeClusterReadBytes(std::uint64_t clusterBytes) noexcept
{
    return clusterBytes >= kHeadOnlyClusterBytes ? kClusterHeadBytes : clusterBytes;
}

} // namespace sarvik::disk
