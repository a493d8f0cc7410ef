// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values the core and the session layer give as numbers and codes, worded
// in the user's language with the locale's digits: the sizes and counts of the
// Properties box, the drive page's capacity and why a drive is not ready, the
// deep search's offer. The English words match the core's own texts, which the
// command line and the other front ends keep.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

namespace sarvik::disk {
struct SelectResult;
struct VolumeInfo;
} // namespace sarvik::disk
namespace sarvik::recovery {
class RecoveryReport;
struct FileReport;
} // namespace sarvik::recovery
namespace sarvik::scan {
struct FreeSpaceSample;
}
namespace sarvik::snapshot {
struct DamageNote;
} // namespace sarvik::snapshot
namespace sarvik::session {
struct DataPlace;
struct FolderTotals;
struct SnapshotLoad;
} // namespace sarvik::session

namespace sarvik::app {

/// A count with the locale's digits and group separators; in the C locale
/// without separators, as the core writes it.
[[nodiscard]] QString countWords(std::uint64_t n);
/// A file's size as the Properties box gives it: size / 1024 + 1, then " KB".
[[nodiscard]] QString fileSizeWords(std::uint64_t size);
/// What a folder holds, the folder itself not counted: "N File(s) and M Folder(s)".
[[nodiscard]] QString contentsWords(const session::FolderTotals& totals);
/// A folder's size in whole MB, or "Less than 1 MB".
[[nodiscard]] QString folderSizeWords(const session::FolderTotals& totals);

/// A file's Condition as the Properties box gives it: the column's word and,
/// when clusters were counted, how many of them are in use by something else.
[[nodiscard]] QString conditionWords(const std::string& word, std::uint64_t inUse, std::uint64_t counted);

/// Where a file's data lies, as the Properties box gives it: its first
/// cluster and how the rest follows, or its MFT record and the runs of it.
[[nodiscard]] QString dataPlaceWords(const session::DataPlace& place);
/// A date or a date and time of the catalogue ("d-m-yyyy h:m:s") in the
/// locale's form; a zone after it ("UTC") stays. Any other text stays as it is.
[[nodiscard]] QString timeWords(const std::string& text);

/// `text` with the system's reasons for the common failures (permission
/// denied, no space left, no such file, read-only file system, I/O error) in
/// the user's language; other reasons stay as the system gives them.
[[nodiscard]] QString systemReasonWords(QString text);

/// The drive page's capacity: "N MB ( Approx )".
[[nodiscard]] QString capacityWords(const disk::VolumeInfo& info);
/// Why a drive is not ready; empty when it is.
[[nodiscard]] QString selectFailureWords(const disk::SelectResult& result);
/// That the boot sector came from its backup (or the geometry was rebuilt).
[[nodiscard]] std::optional<QString> backupBootWords(const disk::VolumeInfo& info);
/// That the device ends before the volume does, and how much is missing.
[[nodiscard]] std::optional<QString> truncationWords(const disk::VolumeInfo& info);

/// The deep search strip's offer after a sample that found data no entry
/// names; empty when there is nothing to offer.
[[nodiscard]] QString deepSearchOfferWords(const scan::FreeSpaceSample& sample);

/// What did not come back whole of one file ("cut short at 10 of 20 bytes");
/// empty when it came back whole or was left out on purpose.
[[nodiscard]] QString lossWords(const recovery::FileReport& file);
/// The lines behind the recovery box's Details: one per file or folder that
/// did not come back whole, or that was written from clusters now in use.
[[nodiscard]] QStringList recoveryDetailWords(const recovery::RecoveryReport& report);

/// Where and how a snapshot is damaged: "The snapshot is damaged: ... (at byte N)".
[[nodiscard]] QString damageWords(const snapshot::DamageNote& note);
/// Why a snapshot file was not loaded; its reason as the load gave it where
/// the load did not say which kind it is.
[[nodiscard]] QString snapshotRefusalWords(const session::SnapshotLoad& load);

} // namespace sarvik::app
