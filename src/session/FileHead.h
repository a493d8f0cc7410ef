// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a preview reads of a found file, on a worker: its first bytes, copied
// from the volume by the copy itself (FileRecovery, into memory, never into a
// file), and the states of its clusters from the condition estimate. The
// bytes go to a sink of the caller's, so that a front end keeps them in its
// own buffer without a second copy.

#include "catalogue/Catalogue.h"
#include "catalogue/FileList.h"
#include "catalogue/FolderTree.h"
#include "catalogue/RecoveryControl.h"
#include "disk/Volume.h"
#include "recovery/Condition.h"
#include "recovery/FileRecovery.h"
#include "recovery/FileSources.h"
#include "recovery/RecoveryReport.h"
#include "recovery/RecoverySettings.h"
#include "search/NamePatterns.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace sarvik::session {

/// Bytes a preview reads of a file unless the user asks for all of it.
inline constexpr std::uint64_t kPreviewBytes = std::uint64_t{16} << 20;
/// Bytes it reads at most when asked for all: the bytes are held in memory.
inline constexpr std::uint64_t kPreviewMostBytes = std::uint64_t{1} << 30;

/// Takes the bytes of a file's head as the copy writes them.
using ByteSink = std::function<void(const std::byte* bytes, std::size_t count)>;

/// The file's clusters in copy order, as the Condition column estimates them;
/// nothing when the estimate is unknown.
using ClusterParts = std::optional<std::vector<recovery::ClusterPart>>;

/// Reads files of one scanned volume for a preview. Used by one worker thread
/// at a time; made from the session it reads, which must stay unchanged while
/// a read runs.
class FileHeadReader {
public:
    FileHeadReader(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue,
                   const catalogue::FolderTree& tree, const recovery::RecoverySettings& settings);
    ~FileHeadReader();
    FileHeadReader(const FileHeadReader&) = delete;
    FileHeadReader& operator=(const FileHeadReader&) = delete;

    /// Hands the first `limit` bytes of file row `row` to `sink`; returns how
    /// many. The copy ends early once `generation` is no longer `latest`.
    std::uint64_t readHead(const catalogue::FileRow& row, std::uint64_t limit, const ByteSink& sink,
                           const std::atomic<std::uint64_t>& latest, std::uint64_t generation);
    /// The states of the clusters of file row `row`.
    [[nodiscard]] ClusterParts parts(const catalogue::FileRow& row);
    /// Bytes per cluster of the volume.
    [[nodiscard]] std::uint64_t clusterBytes() const;
    /// The files of the catalogue read from a shadow copy (previous
    /// versions): their bytes come from it, and their clusters are not
    /// estimated (a copy holds them whole). Set before the first read.
    void setFileSources(std::shared_ptr<const recovery::FileSources> sources) { m_sources = std::move(sources); }

private:
    disk::SelectedVolume m_volume;
    const catalogue::Catalogue& m_catalogue;
    const catalogue::FolderTree& m_tree;
    search::FilterPatterns m_noFilters;
    recovery::RecoverySettings m_settings;
    catalogue::RecoveryControl m_control;
    recovery::RecoveryReport m_report;
    recovery::RecoveryObserver m_observer;
    std::unique_ptr<recovery::FileRecovery> m_copy;
    std::unique_ptr<recovery::ConditionEstimator> m_conditions;
    std::shared_ptr<const recovery::FileSources> m_sources;
};

/// How many of `size` bytes read from the head of a file are still the
/// file's: up to the first cluster that is not intact, and before a run of at
/// least `zeroTail` zeros at the end (`lastNonZero`: the bytes up to the last
/// one that is not zero).
[[nodiscard]] std::uint64_t intactBytes(std::uint64_t size, std::uint64_t lastNonZero, const ClusterParts& parts,
                                        std::uint64_t clusterBytes, std::uint64_t zeroTail);

} // namespace sarvik::session
