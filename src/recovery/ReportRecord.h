// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recovery report: one JSON object a line for every file a copy was asked
// for. The command line writes it as each file is done (recover --report), the
// desktop program from its end-of-recovery list (Save List); both write these
// records, so a report reads the same whichever program made it.

#include "catalogue/Catalogue.h"
#include "catalogue/FolderTree.h"
#include "recovery/RecoveryReport.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace sarvik::recovery {

/// The scan a copy came from: where its files were and how large a cluster is.
struct ReportVolume {
    const catalogue::Catalogue& catalogue;
    const catalogue::FolderTree& tree;
    std::uint32_t sectorsPerCluster = 0;
};

/// "/A/B/name" (UTF-8) for entry `fileIndex` of the tree's kind of file list;
/// nothing when the tree did not place its folder.
[[nodiscard]] std::optional<std::string> fileEntryPath(const catalogue::Catalogue& catalogue,
                                                       const catalogue::FolderTree& tree, std::size_t fileIndex);

/// The layout version of a record (docs/schema/report-line.schema.json): every
/// line carries it, so that each one stands alone.
inline constexpr int kReportSchemaVersion = 1;

/// The record of one file the copy has finished with, as one line of JSON
/// without the line end: schemaVersion, source, written, size, bytesWritten, recordNumber
/// (NTFS) or firstCluster (FAT), outcome, reason, zeroFilledBlocks,
/// overwrittenShare and sha256.
[[nodiscard]] std::string reportRecord(const ReportVolume& volume, const FileReport& file);

/// Every file of `report`, a record a line (each line ends with '\n').
[[nodiscard]] std::string reportRecords(const ReportVolume& volume, const RecoveryReport& report);

} // namespace sarvik::recovery
