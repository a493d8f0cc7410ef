// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real test volumes: their images, read whole and scanned, and the manifests that tools/make-test-volumes.sh and
// the NTFS volume scripts write beside each volume: one tab-separated row per folder or file, with path, type, size,
// sha256, state (live or deleted), whether it lies in a deleted folder, whether its clusters are contiguous, its first
// cluster (FAT) and free-form notes ("mft=N", "mft_record_reused", "extents=...").

#include "recovery/RecoveryReport.h"
#include "recovery/RecoverySettings.h"
#include "scan/ScanSession.h"
#include "support/MemoryOutputFolder.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::test {

struct ManifestRow {
    std::string path, type, sha256, state, inDeletedFolder, contiguous, notes;
    std::uint64_t size = 0;         ///< 0 where the manifest says "-"
    std::uint32_t firstCluster = 0; ///< 0 where the manifest says "-"
    std::uint32_t mft = 0;          ///< the "mft=N" note; 0 without one
    bool hasMft = false;

    [[nodiscard]] bool deleted() const { return state == "deleted"; }
    [[nodiscard]] bool isFile() const { return type == "file"; }
    [[nodiscard]] bool noted(const std::string& word) const { return notes.find(word) != std::string::npos; }
};

/// The rows of `file` after its header; rows with fewer than 9 fields are passed over.
[[nodiscard]] std::vector<ManifestRow> readManifest(const std::filesystem::path& file);

/// The bytes of an image file.
[[nodiscard]] std::vector<std::byte> readImageFile(const std::filesystem::path& file);

/// Selects `bytes` (held in memory as "vol.img") in `session` and scans it, in
/// the thorough mode when asked, with the deep search when asked (carving
/// too, unless `carve` is false). False when it is no supported volume.
[[nodiscard]] bool scanImage(scan::ScanSession& session, std::vector<std::byte> bytes, bool thorough = false,
                             bool deep = false, bool carve = true);
/// The same with the bytes held by `source` (which may have bad ranges).
[[nodiscard]] bool scanSource(scan::ScanSession& session, const std::shared_ptr<disk::MemoryBlockSource>& source,
                              bool thorough = false, bool deep = false, bool carve = true);

/// What copying `rows` of `session` (RecoveryMode::All) into a memory folder
/// "/dest" wrote and reported.
struct MemoryCopy {
    std::shared_ptr<recovery::MemoryOutputFolder> dest;
    recovery::RecoveryReport report;
};
[[nodiscard]] MemoryCopy recoverRows(const scan::ScanSession& session, const std::vector<catalogue::FileRow>& rows,
                                     const recovery::RecoverySettings& settings = {});

} // namespace sarvik::test
