// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Later directory clusters of deleted folders that no folder walk reaches.
//
// A folder that grew while other files were being written got its later
// clusters wherever the allocator stood, not after its first one. Once the
// folder is deleted its chain is gone from the table, and only the entries
// themselves are left. Here: how such a cluster is told from other free data
// (strictly: every entry deleted and well formed, dates and clusters
// plausible, long names matching their short entries), and the evidence that
// ties it to the folder whose entries end just before it. Also: the first
// cluster of a deleted folder whose own entry was overwritten.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sarvik::fat {

/// True when a free cluster reads as a later cluster of a deleted folder: no
/// "." entry, at least one short entry, every entry before the end marker
/// marked deleted and well formed (legal name bytes and attributes, valid
/// times and dates, a file's cluster and size agreeing, a folder's cluster on
/// the volume), only end markers after it, and every run of long-name entries
/// followed by the short entry whose checksum it carries, except a run cut by
/// the end of the cluster.
[[nodiscard]] bool looksLikeOrphanDirectoryCluster(std::span<const std::byte> cluster, std::uint32_t maxCluster,
                                                   bool fat32);

/// The parent named by a free cluster that reads as the first cluster of a
/// deleted folder whose own entry is gone: a well-formed "." entry whose
/// cluster is `self`, a well-formed ".." entry whose cluster is 0 (the root) or
/// another cluster on the volume, then only deleted, well-formed entries (as
/// looksLikeOrphanDirectoryCluster asks of them) and end markers. Nothing when
/// the cluster is not such a folder's.
[[nodiscard]] std::optional<std::uint32_t> lostFolderParent(std::span<const std::byte> cluster, std::uint32_t self,
                                                            std::uint32_t maxCluster, bool fat32);

/// How a stretch of a folder's entries ends, for finding the cluster that
/// continues it.
struct DirectoryEnd {
    /// No end marker: the folder went on in another cluster.
    bool open = false;
    /// The long-name entries after the last short entry: a name that the end of
    /// the cluster cut, whose short entry lies in the next cluster.
    std::vector<std::byte> tailLongName;
    /// The cluster after the data of the last file entry with data, taken as
    /// consecutive; 0 when unknown (no such entry, or a folder entry after it).
    std::uint32_t nextDataCluster = 0;
};

/// The end of `directory` (a folder's bytes, or one more cluster of it).
[[nodiscard]] DirectoryEnd directoryEnd(std::span<const std::byte> directory, std::uint32_t clusterBytes, bool fat32);

/// True when `cluster` carries on the name cut at `end`: its leading long-name
/// entries and its first short entry carry the checksum of the cut pieces, the
/// cut pieces hold the end of the name and the leading ones are full.
[[nodiscard]] bool continuesLongName(const DirectoryEnd& end, std::span<const std::byte> cluster);

/// The first cluster of the first entry of `cluster` that has data, when that
/// entry is a file; 0 when the first such entry is a folder, or there is none.
[[nodiscard]] std::uint32_t firstDataCluster(std::span<const std::byte> cluster, bool fat32);

/// The first clusters of the folder entries in `cluster`.
[[nodiscard]] std::vector<std::uint32_t> folderEntryClusters(std::span<const std::byte> cluster, bool fat32);

} // namespace sarvik::fat
