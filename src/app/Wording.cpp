// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Wording.h"

#include "recovery/RecoveryReport.h"
#include "scan/ScanSession.h"
#include "session/EntryAccess.h"
#include "session/RecoveryOutcome.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>

namespace sarvik::app {

namespace {

QString words(const char* text)
{
    return QCoreApplication::translate("sarvik::app::Wording", text);
}

// Counts in a status line change many times a second: their digits are the
// locale's, without group separators that would make the line jump.
QString number(std::uint64_t n)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(qulonglong{n});
}

// "PHASE: 1.2 GB of 59.1 GB, 12 min left" (the time once known).
QString readWords(const QString& phase, const catalogue::StatusReport& r)
{
    QString text = QCoreApplication::translate("sarvik::app::Wording", "%1: %2 of %3")
                       .arg(phase, byteSizeWords(std::min(r.done, r.total)), byteSizeWords(r.total));
    if (r.secondsLeft >= 1)
        text =
            QCoreApplication::translate("sarvik::app::Wording", "%1, %2 left").arg(text, durationWords(r.secondsLeft));
    return text;
}

} // namespace

QString byteSizeWords(std::uint64_t bytes)
{
    if (bytes < 1000)
        return bytes == 1 ? words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "1 byte"))
                          : words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 bytes")).arg(bytes);
    static constexpr std::array<const char*, 5> kUnits{"KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    while (value >= 999.95 && unit + 1 < kUnits.size()) {
        value /= 1000.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(QLocale().toString(value, 'f', 1), QLatin1String(kUnits[unit]));
}

QString durationWords(double seconds)
{
    const auto whole = static_cast<std::uint64_t>(std::llround(std::max(seconds, 1.0)));
    if (whole < 60)
        return words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 s")).arg(whole);
    const std::uint64_t minutes = (whole + 30) / 60;
    if (minutes < 60)
        return words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 min")).arg(minutes);
    const std::uint64_t hours = minutes / 60;
    const std::uint64_t rest = minutes % 60;
    if (rest == 0)
        return words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 h")).arg(hours);
    return words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 h %2 min")).arg(hours).arg(rest);
}

QString statusWords(const catalogue::StatusReport& r, std::uint64_t mftRecordSectors)
{
    using catalogue::StatusCode;
    const auto count = [&r](const char* phase) {
        return QCoreApplication::translate("sarvik::app::Wording", "%1: %2 of %3")
            .arg(words(phase), number(r.done), number(r.total));
    };
    switch (r.code) {
    case StatusCode::CreatingDirectoryTree:
        return words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Creating Directory Tree"));
    case StatusCode::SearchingForLostData:
        return words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Searching For Lost Data"));
    case StatusCode::LookingForOrphanedFolders:
        return words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Looking for orphaned folders"));
    case StatusCode::ReadingRootFolder:
        return words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Reading the root folder"));
    case StatusCode::ReadingFolders:
        return count(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Reading folders"));
    case StatusCode::PlacingLostFolders:
        return count(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Placing lost folders"));
    case StatusCode::ReadingMftSectors:
        // Sectors of the MFT mean nothing to a user; records do, where they are counted.
        if (mftRecordSectors != 0)
            return QCoreApplication::translate("sarvik::app::Wording", "%1: %2 of %3")
                .arg(words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Reading MFT records")),
                     number(r.done / mftRecordSectors), number(r.total / mftRecordSectors));
        return QCoreApplication::translate("sarvik::app::Wording", "Reading %1\\%2").arg(r.done).arg(r.total);
    case StatusCode::ReadingMftRecordsInFreeSpace:
        return words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Reading MFT records found in free space"));
    case StatusCode::SearchingFreeSpace:
        return readWords(words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Searching free space")), r);
    case StatusCode::SearchingFreeClustersForFiles:
        return readWords(words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Searching free clusters for files")), r);
    case StatusCode::SearchingForLostVolumes:
        return readWords(words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Searching for lost volumes")), r);
    }
    return {};
}

QString deepSearchOutcomeWords(const scan::ScanSession& found, std::size_t baseFolders, std::size_t baseFiles,
                               bool stopped)
{
    const session::ListSizes then = session::listSizes(found);
    const std::size_t folders = then.folders - std::min(then.folders, baseFolders);
    const std::size_t files = then.files - std::min(then.files, baseFiles);
    const QString counts =
        words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 and %2"))
            .arg(folders == 1 ? words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "1 more folder"))
                              : words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 more folders")).arg(folders),
                 files == 1 ? words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "1 more file"))
                            : words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 more files")).arg(files));
    QString text;
    if (folders == 0 && files == 0)
        text =
            stopped
                ? words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Deep search stopped before it found anything more."))
                : words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Deep search found nothing more in the free space."));
    else if (stopped)
        text =
            words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Deep search stopped; what it found before is listed: %1."))
                .arg(counts);
    else
        text = words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Deep search found %1.")).arg(counts);
    if (const std::uint64_t unread = found.catalogue.Losses.UnreadableSectors; unread != 0)
        text += QLatin1Char(' ') +
                words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 sector(s) could not be read.")).arg(unread);
    if (const auto unlisted = found.catalogue.UnlistedFoundRecords; unlisted != 0)
        text += QLatin1Char(' ') +
                words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 MFT record(s) of a lost MFT are not listed: their "
                                                                "attributes continue in records that can no longer be "
                                                                "followed."))
                    .arg(unlisted);
    return text;
}

QString deepSearchFoundLessWords(bool stopped)
{
    return stopped ? words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "Deep search stopped before it reached the free "
                                                                     "space; the list is as the scan left it."))
                   : words(QT_TRANSLATE_NOOP("sarvik::app::Wording",
                                             "Deep search found less than the list holds (has the volume changed?); "
                                             "the list is as the scan left it."));
}

QString recoverySummaryWords(const recovery::RecoveryReport& report, const QString& folder,
                             const session::CopyRequest& request)
{
    // Written counts every file that was created, whole or not; what did not
    // come back whole is told below it.
    const recovery::RecoveryTotals& t = report.totals();
    const QLocale locale;
    QString text =
        (request.stopped ? words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 of %2 files copied; stopped."))
                         : words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 of %2 files copied.")))
            .arg(locale.toString(qulonglong{t.written}), locale.toString(qulonglong{request.planned}));
    text += QStringLiteral("\n\n");
    const auto num = [](std::uint64_t value) { return QString::number(value); };
    const std::uint32_t whole = t.written - std::min(t.written, t.filesWithZeroFill);
    if (const std::size_t losses = report.lossCount(); losses == 0)
        text += words(QT_TRANSLATE_NOOP("sarvik::app::Wording", "%1 file(s) were written whole to %2."))
                    .arg(num(whole), folder);
    else
        text += words(QT_TRANSLATE_NOOP("sarvik::app::Wording",
                                        "%1 file(s) or folder(s) in %2 did not come back whole: %3 cut short, %4 "
                                        "incomplete, %5 with unreadable blocks written as zeros, %6 not written, %7 "
                                        "folder(s) not created. %8 file(s) were written whole."))
                    .arg(num(losses), folder, num(t.cutShort), num(t.incomplete), num(t.filesWithZeroFill),
                         num(t.failed), num(t.foldersFailed), num(whole));
    if (t.writtenFromUsedClusters != 0)
        text += QStringLiteral("\n\n") +
                words(QT_TRANSLATE_NOOP("sarvik::app::Wording",
                                        "%1 file(s) were written from clusters now in use: they may hold another "
                                        "file's data."))
                    .arg(num(t.writtenFromUsedClusters));
    if (t.nothingToWrite != 0 || t.filtered != 0 || t.duplicatesSkipped != 0)
        text += QStringLiteral("\n\n") +
                words(QT_TRANSLATE_NOOP("sarvik::app::Wording",
                                        "Not written on purpose: %1 with no data to write, %2 left out by the file "
                                        "filters, %3 skipped because the name existed."))
                    .arg(num(t.nothingToWrite), num(t.filtered), num(t.duplicatesSkipped));
    return text;
}

} // namespace sarvik::app
