// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place of the presentation layer that reaches into the catalogue's
// lists by file system: what the rest of src/session needs of an entry (its
// size, its folder, its name, its copy) asked by the row or the index the
// list and the search hand out.

#include "catalogue/Catalogue.h"
#include "catalogue/FileList.h"
#include "recovery/Condition.h"
#include "recovery/FileRecovery.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::session {

/// How many folders and files the session's lists hold.
struct ListSizes {
    std::size_t folders = 0;
    std::size_t files = 0;
};
[[nodiscard]] ListSizes listSizes(const scan::ScanSession& session);

/// Whether a row stands for a folder: a folder row, or a row typed "Folder"
/// or "Deleted Folder".
[[nodiscard]] bool isFolderRow(const catalogue::FileRow& row);

/// The size of file `fileIndex` of the catalogue's file list of `kind`.
[[nodiscard]] std::uint64_t fileSize(const catalogue::Catalogue& catalogue, catalogue::CatalogueKind kind,
                                     std::size_t fileIndex);

/// The key of the folder that file `fileIndex` names as its parent; nothing
/// when there is no such file.
[[nodiscard]] std::optional<std::uint64_t> fileParentKey(const scan::ScanSession& session, std::size_t fileIndex);

/// What tells one entry from the others of its list across two scans of the
/// same volume (the entries are numbered afresh), with the name it was given.
struct RenamedEntry {
    catalogue::EntryIdentity identity;
    std::string name;
    [[nodiscard]] bool sameEntry(const RenamedEntry& other) const { return identity == other.identity; }
};

/// Gives the entry behind `row` the name `name8` (as the catalogue holds
/// names) in the session's lists and, for a folder, its tree; returns what
/// identifies the entry, or nothing when no entry matched.
std::optional<RenamedEntry> renameEntry(scan::ScanSession& session, const catalogue::FileRow& row,
                                        const std::string& name8);

/// Gives the entry `renamed` identifies its name in `session` (a later scan
/// of the same volume); entries it does not match keep theirs.
void applyRename(scan::ScanSession& session, const RenamedEntry& renamed);

/// Copies the file of `row` to `target` as Open does (one file, named as
/// listed); returns the files written.
int copyRowForOpen(recovery::FileRecovery& copier, const scan::ScanSession& session, const catalogue::FileRow& row,
                   const recovery::TargetFolder& target);

/// Copies the file of `row` of a catalogue of a volume of `kind` to `target`
/// as a preview does (the entry at the row's index); returns the files written.
int copyFileHead(recovery::FileRecovery& copier, std::uint16_t kind, const catalogue::Catalogue& catalogue,
                 const catalogue::FileRow& row, const recovery::TargetFolder& target);

/// The states of the clusters of file row `row`, as `estimator` finds them;
/// nothing when they are not known.
[[nodiscard]] std::optional<std::vector<recovery::ClusterPart>> clusterParts(recovery::ConditionEstimator& estimator,
                                                                             std::uint16_t kind,
                                                                             const catalogue::Catalogue& catalogue,
                                                                             const catalogue::FileRow& row);

} // namespace sarvik::session
