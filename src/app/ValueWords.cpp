// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ValueWords.h"

#include "app/FileListModel.h"
#include "app/Wording.h"
#include "disk/SectorReader.h"
#include "disk/Volume.h"
#include "recovery/RecoveryReport.h"
#include "scan/FreeSpaceSample.h"
#include "session/DisplayText.h"
#include "session/Properties.h"
#include "session/Snapshots.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace sarvik::app {

namespace {

QString words(const char* text)
{
    return QCoreApplication::translate("sarvik::app::ValueWords", text);
}

/// The locale's number format; the C locale (no language chosen) writes
/// numbers as the core does, without group separators.
QLocale numberLocale()
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale;
}

QString number(std::uint64_t n)
{
    return countWords(n);
}

/// A byte count as "N bytes", "N.N KiB", "N.N MiB" or "N.N GiB" (binary units,
/// one decimal cut, not rounded), with the locale's decimal sign.
QString binaryBytes(std::uint64_t bytes)
{
    static constexpr std::pair<std::uint64_t, const char*> kUnits[] = {
        {std::uint64_t{1} << 30, "GiB"}, {std::uint64_t{1} << 20, "MiB"}, {std::uint64_t{1} << 10, "KiB"}};
    for (const auto& [unit, name] : kUnits) {
        if (bytes < unit)
            continue;
        // Whole units and tenths, cut rather than rounded.
        const std::uint64_t whole = bytes / unit;
        const std::uint64_t tenths = bytes / (unit / 10) % 10;
        const double value = static_cast<double>(whole) + static_cast<double>(tenths) / 10.0;
        return QStringLiteral("%1 %2").arg(numberLocale().toString(value, 'f', 1), QLatin1String(name));
    }
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 bytes")).arg(number(bytes));
}

} // namespace

QString countWords(std::uint64_t n)
{
    return numberLocale().toString(qulonglong{n});
}

QString fileSizeWords(std::uint64_t size)
{
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 KB")).arg(number(size / 1024 + 1));
}

QString contentsWords(const session::FolderTotals& totals)
{
    const std::uint64_t below = totals.folders > 0 ? totals.folders - 1 : 0;
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 File(s) and %2 Folder(s)"))
        .arg(number(totals.files), number(below));
}

QString folderSizeWords(const session::FolderTotals& totals)
{
    const std::uint64_t mb = totals.bytes / 1024 / 1024;
    if (mb == 0)
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "Less than 1 MB"));
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 MB")).arg(number(mb));
}

QString conditionWords(const std::string& word, std::uint64_t inUse, std::uint64_t counted)
{
    // The Condition column's words are the file list's.
    QString shown = QCoreApplication::translate("sarvik::app::FileListModel", word.c_str());
    if (counted == 0)
        return shown;
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 (%2 of %3 clusters in use by something else)"))
        .arg(shown, number(inUse), number(counted));
}

QString dataPlaceWords(const session::DataPlace& place)
{
    using Kind = session::DataPlace::Kind;
    const QString first = number(place.first);
    switch (place.kind) {
    case Kind::None:
        break;
    case Kind::Chain:
        return words(
                   QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                     "from cluster %1, by the FAT's chain (consecutive clusters where it holds none)"))
            .arg(first);
    case Kind::Consecutive:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "from cluster %1, consecutive clusters")).arg(first);
    case Kind::Carved:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                       "from cluster %1, consecutive clusters (found by content)"))
            .arg(first);
    case Kind::InRecord:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "MFT record %1, data inside the record")).arg(first);
    case Kind::Runs: {
        QStringList runs;
        for (const catalogue::NtfsDataRun& run : place.runs) {
            QString text =
                run.sparse
                    ? words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 sparse")).arg(number(run.length))
                    : QStringLiteral("%1+%2").arg(
                          number(static_cast<std::uint64_t>(std::max<std::int64_t>(run.start, 0))), number(run.length));
            if (run.missing)
                text = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 (missing)")).arg(text);
            runs << text;
        }
        if (place.moreRuns)
            runs << QStringLiteral("...");
        if (runs.isEmpty())
            return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "MFT record %1")).arg(first);
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "MFT record %1; clusters %2"))
            .arg(first, runs.join(QStringLiteral(", ")));
    }
    }
    return {};
}

QString timeWords(const std::string& text)
{
    // The date and time end at the first blank that a letter or a sign
    // follows ("12-3-2024 10:00:00 UTC").
    std::size_t end = text.size();
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == ' ' && (text[i + 1] < '0' || text[i + 1] > '9')) {
            end = i;
            break;
        }
    const QString shown = FileListModel::localDate(text.substr(0, end));
    return end == text.size() ? shown : shown + QString::fromStdString(text.substr(end));
}

QString systemReasonWords(QString text)
{
    // Each source text is the C library's own English for its error, so that
    // without a translation nothing changes.
    struct Reason {
        int code;
        const char* words;
    };
    static const Reason kReasons[] = {
        {EACCES, QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "Permission denied")},
        {EPERM, QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "Operation not permitted")},
        {ENOSPC, QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "No space left on device")},
        {ENOENT, QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "No such file or directory")},
        {EROFS, QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "Read-only file system")},
        {EIO, QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "Input/output error")},
    };
    for (const Reason& reason : kReasons) {
        const QString system = QString::fromLocal8Bit(std::strerror(reason.code));
        const QString own = words(reason.words);
        if (!system.isEmpty() && system != own)
            text.replace(system, own);
    }
    return text;
}

QString capacityWords(const disk::VolumeInfo& info)
{
    const auto mebibytes = static_cast<std::uint32_t>(info.VolumeSectors / 2 / 1024);
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 MB ( Approx )")).arg(number(mebibytes));
}

QString selectFailureWords(const disk::SelectResult& result)
{
    const QString detail = QString::fromStdString(result.detail);
    switch (result.status) {
    case disk::SelectStatus::Ready:
        return {};
    case disk::SelectStatus::CannotOpen:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "cannot open it: %1"))
            .arg(detail.isEmpty() ? words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "unknown reason")) : detail);
    case disk::SelectStatus::Unreadable:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                       "its boot sector cannot be read (I/O error), nor a backup of it"));
    case disk::SelectStatus::NotAVolume:
        if (result.emptyGpt)
            return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                           "a disk whose GPT partition table names no partition: there is no volume to "
                                           "read"));
        if (!detail.isEmpty())
            return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                           "not a FAT12, FAT16, FAT32, exFAT or NTFS volume but a %1 file: decompress "
                                           "it and open what comes out"))
                .arg(detail);
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "not a FAT12, FAT16, FAT32, exFAT or NTFS volume"));
    case disk::SelectStatus::UnsupportedGeometry:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "a geometry these rules do not read: %1"))
            .arg(detail);
    }
    return {};
}

std::optional<QString> backupBootWords(const disk::VolumeInfo& info)
{
    if (info.VolumeSupported == 1 && info.GeometryRebuilt)
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                       "geometry rebuilt from the allocation tables and folders; the boot sector is "
                                       "gone and has no backup"));
    if (info.VolumeSupported != 1 || !info.BackupBootSector)
        return std::nullopt;
    const std::uint64_t size = std::max<std::uint32_t>(info.BytesPerSector, disk::kSectorSize);
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                   "read from the backup boot sector (sector %1); the main one cannot be read or is "
                                   "damaged"))
        .arg(number(info.BackupBootSectorAt / size));
}

std::optional<QString> truncationWords(const disk::VolumeInfo& info)
{
    if (info.VolumeSupported != 1 || info.FileSystemSectors <= info.VolumeSectors)
        return std::nullopt;
    const std::uint64_t scale = std::max<std::uint32_t>(info.BytesPerSector / disk::kSectorSize, 1);
    const std::uint64_t missing = info.FileSystemSectors - info.VolumeSectors;
    // A damaged boot sector may claim more bytes than 64 bits count.
    const std::uint64_t bytes = missing > std::numeric_limits<std::uint64_t>::max() / disk::kSectorSize
                                    ? std::numeric_limits<std::uint64_t>::max()
                                    : missing * disk::kSectorSize;
    const auto percent =
        static_cast<unsigned>(static_cast<double>(missing) * 100.0 / static_cast<double>(info.FileSystemSectors));
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                   "the image ends at sector %1 of the volume's %2: %3 (%4%) is missing"))
        .arg(number(info.VolumeSectors / scale), number(info.FileSystemSectors / scale), binaryBytes(bytes),
             number(percent));
}

QString deepSearchOfferWords(const scan::FreeSpaceSample& sample)
{
    if (!sample.holdsUnnamedData())
        return {};
    QString finding = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                              "Free space holds data no entry names (%1 of %2 sampled clusters)"))
                          .arg(number(sample.holdingData), number(sample.sampled));
    if (sample.earlierMft)
        finding += words(
            QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                              ", and the MFT records of an earlier file system (a quick format leaves them behind)"));
    QString cost =
        words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 to read")).arg(byteSizeWords(sample.bytesToRead));
    if (sample.bytesPerSecond > 0) {
        const double seconds = static_cast<double>(sample.bytesToRead) / sample.bytesPerSecond;
        // One short read, which the system may already hold in memory: a guess, and said to be one.
        cost += seconds < 1 ? words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                                      "; a rough guess at this device's speed: under a second"))
                            : words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                                      "; a rough guess at this device's speed: about %1"))
                                  .arg(durationWords(seconds));
    }
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1. Deep Search reads it: %2.")).arg(finding, cost);
}

namespace {

QString ofSize(const recovery::FileReport& r)
{
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 of %2 bytes"))
        .arg(number(r.bytesWritten), number(r.size));
}

QString because(const recovery::FileReport& r)
{
    return r.error.empty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromStdString(r.error));
}

} // namespace

QString lossWords(const recovery::FileReport& r)
{
    using recovery::FileOutcome;
    const QString zeros =
        r.zeroFilledBlocks == 0
            ? QString()
            : words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 unreadable block(s) written as zeros"))
                  .arg(number(r.zeroFilledBlocks));
    const QString andZeros = zeros.isEmpty() ? QString() : QStringLiteral("; ") + zeros;
    switch (r.outcome) {
    case FileOutcome::Written:
        return zeros.isEmpty() ? QString()
                               : words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "incomplete: %1")).arg(zeros);
    case FileOutcome::CutShort:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "cut short at %1")).arg(ofSize(r)) + andZeros;
    case FileOutcome::Incomplete:
        if (!r.error.empty())
            return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "incomplete: %1"))
                       .arg(QString::fromStdString(r.error)) +
                   andZeros;
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "incomplete: %1 written, the data ends there"))
                   .arg(ofSize(r)) +
               andZeros;
    case FileOutcome::CutAtVolumeEnd:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                       "cut at the volume's end after %1: the rest would lie past its last cluster"))
                   .arg(ofSize(r)) +
               andZeros;
    case FileOutcome::WriteFailed:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "incomplete: writing failed after %1"))
                   .arg(ofSize(r)) +
               because(r);
    case FileOutcome::CreateFailed:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "not written: could not be created")) + because(r);
    case FileOutcome::Unreadable:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "not written: its MFT record could not be read"));
    case FileOutcome::NothingToWrite:
        return r.size == 0 ? QString()
                           : words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "not written: no data left to copy"));
    case FileOutcome::Filtered:
    case FileOutcome::DuplicateSkipped:
        return {};
    }
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "not written"));
}

QStringList recoveryDetailWords(const recovery::RecoveryReport& report)
{
    QStringList lines;
    for (const recovery::FileReport& f : report.files()) {
        const QString name = QString::fromStdString(session::displayName(f.path, true));
        if (const QString loss = lossWords(f); !loss.isEmpty())
            lines << QStringLiteral("%1: %2").arg(name, loss);
        else if (f.clustersInUse != 0)
            lines << words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                             "%1: written from %2 cluster(s) now in use by other files"))
                         .arg(name, number(f.clustersInUse));
    }
    for (const std::string& f : report.failedFolders())
        lines << words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1: folder could not be created"))
                     .arg(QString::fromStdString(session::displayName(f, true)));
    return lines;
}

QString damageWords(const snapshot::DamageNote& note)
{
    using snapshot::SnapshotDamage;
    const QString record = (note.folders ? words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "folder record %1 of %2"))
                                         : words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "file record %1 of %2")))
                               .arg(number(note.index), number(note.count));
    const QString value = number(note.value);
    const QString limit = number(note.limit);
    QString what;
    switch (note.what) {
    case SnapshotDamage::None:
        return {};
    case SnapshotDamage::EndsBeforeRecord:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the file ends before %1")).arg(record);
        break;
    case SnapshotDamage::RecordTooShort:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                       "%1 has length %2, less than the %3 bytes of its fixed part"))
                   .arg(record, value, limit);
        break;
    case SnapshotDamage::RecordNameTooLong:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "%1 has a name of %2 characters (at most %3)"))
                   .arg(record, value, limit);
        break;
    case SnapshotDamage::EndsInsideRecord:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the file ends inside %1")).arg(record);
        break;
    case SnapshotDamage::EndsBeforeCount:
        what = note.folders
                   ? words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the file ends before the folder count"))
                   : words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the file ends before the file count"));
        break;
    case SnapshotDamage::CarvedListDamaged:
        what =
            words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the list of files found by their content is damaged"));
        break;
    case SnapshotDamage::StreamListDamaged:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the list of named streams is damaged"));
        break;
    case SnapshotDamage::EndsInsideLosses:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                       "the file ends inside the record of what its scan could not read"));
        break;
    case SnapshotDamage::EndsInsideTrailers:
        what =
            words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the file ends inside the trailers after its records"));
        break;
    case SnapshotDamage::EndsBeforeThoroughMark:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                       "the file ends before the mark that closes a thorough scan's snapshot"));
        break;
    case SnapshotDamage::EndsInsideVolume:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the file ends inside the volume description"));
        break;
    case SnapshotDamage::DevicePathTooLong:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the device path is %1 characters long (at most %2)"))
                   .arg(value, limit);
        break;
    case SnapshotDamage::LabelTooLong:
        what =
            words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the volume label is %1 characters long (at most %2)"))
                .arg(value, limit);
        break;
    case SnapshotDamage::EndsInsideLabel:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the file ends inside the volume label"));
        break;
    case SnapshotDamage::EndsInsideGeometry:
        what = words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "the file ends inside the geometry block"));
        break;
    }
    return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "The snapshot is damaged: %1 (at byte %2)"))
        .arg(what, number(note.offset));
}

QString snapshotRefusalWords(const session::SnapshotLoad& load)
{
    using session::SnapshotRefusal;
    const QString detail = QString::fromStdString(load.detail);
    switch (load.reason) {
    case SnapshotRefusal::CannotOpen:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "Unable to open the file"));
    case SnapshotRefusal::NotASnapshot:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "    Invalid version of the file found : %1"))
            .arg(detail);
    case SnapshotRefusal::OtherVersion:
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords",
                                       "              version of file does not match with current version 1.0"));
    case SnapshotRefusal::Damaged:
        if (load.damage.what != snapshot::SnapshotDamage::None)
            return damageWords(load.damage);
        return words(QT_TRANSLATE_NOOP("sarvik::app::ValueWords", "The snapshot is damaged: %1")).arg(detail);
    case SnapshotRefusal::None:
    case SnapshotRefusal::Other:
        break;
    }
    return QString::fromStdString(load.refusal);
}

} // namespace sarvik::app
