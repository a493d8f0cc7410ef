// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program in German: the translation built into it is found for a
// German locale and words the window, the file list and the engines' status;
// the German catalogue in the repository is complete, faithful to its English
// (placeholders, accelerators, the blanks the code joins texts with) and holds
// every text of the sources; dates and sizes follow the locale.

#include "GuiTestSupport.h"
#include "app/CommandIds.h"
#include "app/FileListModel.h"
#include "app/FileTypes.h"
#include "app/MessageBoxes.h"
#include "app/PropertiesDialog.h"
#include "app/RecoveryWindow.h"
#include "app/ResultsCommands.h"
#include "app/Translations.h"
#include "app/ValueWords.h"
#include "app/Wording.h"
#include "catalogue/StatusReport.h"
#include "disk/Volume.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "recovery/RecoveryReport.h"
#include "scan/FreeSpaceSample.h"
#include "scan/ScanSession.h"
#include "session/DeepSearchOutcome.h"
#include "session/FreeSpaceJob.h"
#include "session/Properties.h"
#include "session/RecoveryOutcome.h"
#include "session/Snapshots.h"
#include "snapshot/RecoverySnapshot.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QXmlStreamReader>

#include <cerrno>
#include <cstring>

namespace sarvik {

namespace {

QStringList menuTitles(const app::RecoveryWindow& w)
{
    QStringList titles;
    for (const QAction* action : w.menuBar()->actions())
        titles << action->text();
    return titles;
}

/// One message of a .ts file: its context, source and translations (one, or
/// the plural forms), with the translation's type attribute.
struct TsMessage {
    QString context;
    QString source;
    QStringList translations;
    QString type;
    bool numerus = false;
};

/// The text of the element just started, up to its end; lupdate writes the
/// characters XML cannot hold (a carriage return) as <byte value="xd"/>.
QString elementText(QXmlStreamReader& xml)
{
    QString text;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::Characters:
            text += xml.text();
            break;
        case QXmlStreamReader::StartElement:
            ++depth;
            if (xml.name() == QLatin1String("byte")) {
                const QString value = xml.attributes().value(QLatin1String("value")).toString();
                bool ok = false;
                const uint code =
                    value.startsWith(QLatin1Char('x')) ? value.mid(1).toUInt(&ok, 16) : value.toUInt(&ok, 10);
                text += ok ? QChar(static_cast<char16_t>(code)) : QChar(QChar::ReplacementCharacter);
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return text;
}

QList<TsMessage> readTs(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QList<TsMessage> messages;
    QXmlStreamReader xml(&file);
    QString context;
    TsMessage m;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("name")) {
            context = elementText(xml);
        } else if (name == QLatin1String("message")) {
            m = TsMessage{
                context, {}, {}, {}, xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes")};
        } else if (name == QLatin1String("source")) {
            m.source = elementText(xml);
        } else if (name == QLatin1String("translation")) {
            m.type = xml.attributes().value(QLatin1String("type")).toString();
            if (m.numerus) {
                while (xml.readNextStartElement()) // the forms; false at </translation>
                    m.translations << elementText(xml);
            } else {
                m.translations << elementText(xml);
            }
            messages << m;
        }
    }
    if (xml.hasError())
        *error = xml.errorString() + QStringLiteral(" at line ") + QString::number(xml.lineNumber());
    return messages;
}

/// The placeholders of a text, sorted: "%1", "%L2", "%n".
QStringList placeholders(const QString& text)
{
    static const QRegularExpression kArg(QStringLiteral("%L?[0-9n]"));
    QStringList found;
    for (auto it = kArg.globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}

/// How many accelerator marks a text has ("&&" is a plain ampersand).
int accelerators(const QString& text)
{
    QString rest = text;
    rest.remove(QStringLiteral("&&"));
    return static_cast<int>(rest.count(QLatin1Char('&')));
}

QString edgeBlanks(const QString& text)
{
    static const QRegularExpression kEdges(QStringLiteral("^(\\s*).*?(\\s*)$"),
                                           QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = kEdges.match(text);
    return m.captured(1) + QLatin1Char('|') + m.captured(2);
}

/// What on the window's panel is cut (a label, button or check box narrower or
/// shorter than its text needs) or overlaps another control, one line each.
QStringList cutOrOverlapping(QWidget* panel, const QString& page)
{
    QStringList faults;
    const auto name = [](const QWidget* w) {
        QString text;
        if (const auto* label = qobject_cast<const QLabel*>(w))
            text = label->text();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(w))
            text = button->text();
        return QStringLiteral("%1 %2 \"%3\" %4x%5")
            .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), text.left(30))
            .arg(w->width())
            .arg(w->height());
    };
    for (QWidget* w : panel->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(panel) || w->parentWidget()->inherits("QAbstractScrollArea") ||
            w->parentWidget()->inherits("QHeaderView"))
            continue;
        const auto* label = qobject_cast<const QLabel*>(w);
        const bool button = qobject_cast<const QAbstractButton*>(w) != nullptr;
        if (label != nullptr && label->text().isEmpty())
            continue;
        if (label != nullptr && label->wordWrap()) {
            if (w->height() < label->heightForWidth(w->width()))
                faults << page + QStringLiteral(": cut (lines) ") + name(w);
        } else if ((label != nullptr || button) &&
                   (w->width() < w->sizeHint().width() || w->height() < w->fontMetrics().height())) {
            faults << page + QStringLiteral(": cut ") + name(w) + QStringLiteral(" wants ") +
                          QString::number(w->sizeHint().width());
        }
    }
    QList<QWidget*> controls;
    for (QWidget* w : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(panel) &&
            !(qobject_cast<QLabel*>(w) != nullptr && qobject_cast<QLabel*>(w)->text().isEmpty()))
            controls << w;
    for (qsizetype i = 0; i < controls.size(); ++i)
        for (qsizetype j = i + 1; j < controls.size(); ++j)
            if (controls[i]->geometry().intersects(controls[j]->geometry()))
                faults << page + QStringLiteral(": overlap ") + name(controls[i]) + QStringLiteral(" / ") +
                              name(controls[j]);
    return faults;
}

/// 64 KiB of one byte in `dir`: an image that holds no volume; empty when it
/// cannot be written.
QString noiseImage(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("noise.img"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(65'536, '\x5A')) != 65'536)
        return {};
    return path;
}

/// A click on the drive tree's `child`-th drive under its first item.
void clickDrive(QTreeWidget& tree, int child)
{
    QTreeWidgetItem* item = tree.topLevelItem(0)->child(child);
    tree.scrollToItem(item);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(item).center());
}

} // namespace

class TranslationTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void germanLocaleWordsTheWindow();
    void fileListAndStatusInGerman();
    void englishStatusMatchesTheCommandLine();
    void deepSearchWordsMatchTheCoreInEnglish();
    void recoverySummaryMatchesTheCoreInEnglish();
    void datesAndSizesFollowTheLocale();
    void valueWordsMatchTheCoreInEnglish();
    void valueWordsInGerman();
    void germanPropertiesAndDrivePage();
    void snapshotRefusalsWorded();
    void largeGermanTextIsNeitherCutNorOverlapping();
    void systemReasonsInGerman();
    void snapshotDamageWorded();
    void germanCatalogueIsCompleteAndFaithful();
    void germanCatalogueHoldsEverySourceText();

private:
    platform::SystemDeviceProvider m_devices;
};

void TranslationTest::cleanup()
{
    app::installTranslations(*qApp, QLocale::system());
    QLocale::setDefault(QLocale::system());
}

void TranslationTest::germanLocaleWordsTheWindow()
{
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German, QLocale::Germany)));
    {
        app::RecoveryWindow w({}, m_devices);
        QCOMPARE(menuTitles(w), (QStringList{QStringLiteral("&Wiederherstellung"), QStringLiteral("&Ansicht"),
                                             QStringLiteral("&Extras"), QStringLiteral("&Hilfe")}));
        QCOMPARE(w.nextButton()->toolTip(), QStringLiteral("Zum nächsten Schritt"));
        QCOMPARE(w.driveTree()->topLevelItem(0)->text(0), QStringLiteral("Arbeitsplatz"));
    }
    // Qt's own texts (the standard buttons of its dialogs) come in German too.
    QVERIFY2(QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_de.qm")),
             "qtbase_de.qm is missing: install qt6-translations-l10n");
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));

    // English needs no translation; installing for it takes the German off.
    QVERIFY(!app::installTranslations(*qApp, QLocale(QLocale::English, QLocale::UnitedStates)));
    app::RecoveryWindow w({}, m_devices);
    QCOMPARE(menuTitles(w).front(), QStringLiteral("&Recovery"));
    QCOMPARE(w.driveTree()->topLevelItem(0)->text(0), QStringLiteral("My Computer"));
}

void TranslationTest::fileListAndStatusInGerman()
{
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German)));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    app::FileTypes types;
    app::FileListModel model(types);
    catalogue::FileRow folder;
    folder.folder = folder.deleted = true;
    folder.name = "Urlaub";
    folder.type = "Deleted Folder";
    folder.modified = "7-8-2023 9:05:00";
    catalogue::FileRow file;
    file.deleted = true;
    file.name = "brief.txt";
    file.type = "Deleted TXT File";
    file.size = 1500;
    file.condition = "Partly overwritten";
    model.setRows({folder, file});
    const auto cell = [&model](int row, int column) {
        return model.data(model.indexOfRow(row, column), Qt::DisplayRole).toString();
    };
    QCOMPARE(model.headerData(app::FileListModel::Size, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Größe"));
    QCOMPARE(cell(0, app::FileListModel::Type), QStringLiteral("Gelöschter Ordner"));
    QCOMPARE(cell(0, app::FileListModel::Modified), QStringLiteral("07.08.2023 09:05:00"));
    QCOMPARE(cell(1, app::FileListModel::Type), QStringLiteral("Gelöscht: TXT File"));
    QCOMPARE(cell(1, app::FileListModel::Size), QStringLiteral("1.500"));
    QCOMPARE(cell(1, app::FileListModel::Condition), QStringLiteral("Teilweise überschrieben"));
    // What the code reads stays the catalogue's own text.
    QCOMPARE(model.text(1, app::FileListModel::Condition), QStringLiteral("Partly overwritten"));

    using catalogue::StatusCode;
    QCOMPARE(app::statusWords({StatusCode::ReadingFolders, 3, 10}), QStringLiteral("Ordner werden gelesen: 3 von 10"));
    QCOMPARE(app::statusWords({StatusCode::SearchingFreeSpace, 1'200'000'000, 59'100'000'000, 720}),
             QStringLiteral("Freier Speicher wird durchsucht: 1,2 GB von 59,1 GB, noch 12 min"));
    QCOMPARE(app::statusWords({StatusCode::ReadingMftSectors, 4096, 160000}, 2),
             QStringLiteral("MFT-Datensätze werden gelesen: 2048 von 80000"));
}

void TranslationTest::englishStatusMatchesTheCommandLine()
{
    // Without a translation the window says what the command line says.
    using catalogue::StatusCode;
    for (int code = 0; code <= static_cast<int>(StatusCode::SearchingForLostVolumes); ++code) {
        for (const catalogue::StatusReport sample :
             {catalogue::StatusReport{static_cast<StatusCode>(code), 3, 10, -1},
              catalogue::StatusReport{static_cast<StatusCode>(code), 1, 999, 0.4},
              catalogue::StatusReport{static_cast<StatusCode>(code), 1'234'567, 59'100'000'000, 7300}}) {
            const auto english = QString::fromStdString(catalogue::statusEnglish(sample));
            QCOMPARE(app::statusWords(sample), english);
        }
    }
}

void TranslationTest::deepSearchWordsMatchTheCoreInEnglish()
{
    scan::ScanSession nothingMore;
    for (const bool stopped : {false, true}) {
        QCOMPARE(app::deepSearchOutcomeWords(nothingMore, 0, 0, stopped),
                 QString::fromStdString(session::deepSearchOutcome(nothingMore, 0, 0, stopped)));
        QCOMPARE(app::deepSearchFoundLessWords(stopped), QString::fromStdString(session::deepSearchFoundLess(stopped)));
    }
    nothingMore.catalogue.Losses.UnreadableSectors = 7;
    nothingMore.catalogue.UnlistedFoundRecords = 2;
    QCOMPARE(app::deepSearchOutcomeWords(nothingMore, 0, 0, false),
             QString::fromStdString(session::deepSearchOutcome(nothingMore, 0, 0, false)));
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German)));
    QCOMPARE(app::deepSearchFoundLessWords(true),
             QStringLiteral("Die Tiefensuche wurde angehalten, bevor sie den freien Speicher erreichte; die Liste "
                            "bleibt, wie die Suche sie hinterlassen hat."));
}

void TranslationTest::recoverySummaryMatchesTheCoreInEnglish()
{
    // Each sentence of the box: whole files, losses, clusters in use, left out on purpose.
    // A file of the report: only its path, size and outcome matter here.
    const auto file = [](recovery::FileOutcome outcome, std::uint64_t clustersInUse) {
        recovery::FileReport f;
        f.path = "/x";
        f.size = f.bytesWritten = 10;
        f.clustersInUse = clustersInUse;
        f.outcome = outcome;
        return f;
    };
    using recovery::FileOutcome;
    recovery::RecoveryReport whole;
    whole.add(file(FileOutcome::Written, 0));
    recovery::RecoveryReport losses;
    for (const FileOutcome outcome :
         {FileOutcome::Written, FileOutcome::CutShort, FileOutcome::Incomplete, FileOutcome::WriteFailed,
          FileOutcome::Filtered, FileOutcome::DuplicateSkipped, FileOutcome::NothingToWrite})
        losses.add(file(outcome, outcome == FileOutcome::Incomplete ? 3 : 0));
    losses.folderFailed("/d");
    const QString folder = QStringLiteral("/tmp/out %1");
    // The headline's counts as the window writes them, the locale's.
    const auto localCount = [](std::uint64_t n) { return QLocale().toString(qulonglong{n}).toStdString(); };
    for (const recovery::RecoveryReport* report : {&whole, &losses}) {
        for (const bool stopped : {false, true}) {
            const session::CopyRequest request{12345, stopped};
            QCOMPARE(app::recoverySummaryWords(*report, folder, request),
                     QString::fromStdString(
                         session::recoverySummary(*report, folder.toStdString(), request, localCount).text));
        }
    }
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German)));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(app::recoverySummaryWords(whole, folder, {12345, true}),
             QStringLiteral("1 von 12.345 Dateien kopiert; angehalten.\n\n1 Datei(en) vollständig nach /tmp/out %1 "
                            "geschrieben."));
}

void TranslationTest::datesAndSizesFollowTheLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(app::FileListModel::localDate("5-3-2024 14:07:09"), QStringLiteral("05.03.2024 14:07:09"));
    QCOMPARE(app::FileListModel::localDate("05-03-2024 "), QStringLiteral("05.03.2024"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(app::FileListModel::localDate("5-3-2024 14:07:09"), QStringLiteral("3/5/2024 2:07:09 PM"));
    QCOMPARE(app::byteSizeWords(59'100'000'000), QStringLiteral("59.1 GB"));
    // No calendar has these days: the text is shown as the catalogue gave it.
    for (const char* notADate : {"00-00-1980 ", "29-2-2023", "31-4-2020 1:2:3", "1-1-2020 24:00:00", "", "1-1"})
        QCOMPARE(app::FileListModel::localDate(notADate), QString::fromLatin1(notADate));
}

void TranslationTest::valueWordsMatchTheCoreInEnglish()
{
    // The window words these values itself; in English it says what the
    // command line and the core's own texts say. The C locale as the system
    // gives it (LANG=C) groups digits; the window's values do not.
    QLocale system(QLocale::C);
    system.setNumberOptions(QLocale::DefaultNumberOptions);
    QLocale::setDefault(system);
    for (const std::uint64_t size : {0ULL, 1023ULL, 1024ULL, 3'145'851ULL, 5'000'000'000ULL})
        QCOMPARE(app::fileSizeWords(size), QString::fromStdString(session::fileSizeText(size)));
    for (const session::FolderTotals totals :
         {session::FolderTotals{}, session::FolderTotals{2, 3, 5'000'000}, session::FolderTotals{1, 1, 1'048'575}}) {
        QCOMPARE(app::contentsWords(totals), QString::fromStdString(session::contentsText(totals)));
        QCOMPARE(app::folderSizeWords(totals), QString::fromStdString(session::folderSizeText(totals)));
    }

    disk::VolumeInfo info;
    info.VolumeSupported = 1;
    info.VolumeSectors = 65'536;
    info.FileSystemSectors = 131'073;
    info.BackupBootSector = true;
    info.BackupBootSectorAt = 6 * 512;
    QCOMPARE(app::capacityWords(info), QString::fromStdString(disk::ShowVolumeInfo(info).capacity));
    QCOMPARE(app::truncationWords(info), std::optional(QString::fromStdString(*disk::truncationText(info))));
    QCOMPARE(app::backupBootWords(info), std::optional(QString::fromStdString(*disk::backupBootText(info))));
    info.BytesPerSector = 4096;
    info.FileSystemSectors = ~0ULL; // a boot sector claiming more bytes than 64 bits count
    QCOMPARE(app::truncationWords(info), std::optional(QString::fromStdString(*disk::truncationText(info))));
    info.GeometryRebuilt = true;
    QCOMPARE(app::backupBootWords(info), std::optional(QString::fromStdString(*disk::backupBootText(info))));
    info.VolumeSupported = 0;
    QVERIFY(!app::truncationWords(info) && !app::backupBootWords(info));

    using disk::SelectStatus;
    for (const SelectStatus status : {SelectStatus::Ready, SelectStatus::CannotOpen, SelectStatus::Unreadable,
                                      SelectStatus::NotAVolume, SelectStatus::UnsupportedGeometry})
        for (const char* detail : {"", "gzip-compressed"})
            for (const bool emptyGpt : {false, true}) {
                disk::SelectResult result;
                result.status = status;
                result.detail = detail;
                result.emptyGpt = emptyGpt;
                QCOMPARE(app::selectFailureWords(result), QString::fromStdString(disk::selectFailureText(result)));
            }

    scan::FreeSpaceSample sample;
    QVERIFY(app::deepSearchOfferWords(sample).isEmpty());
    sample.sampled = 256;
    sample.holdingData = 212;
    sample.bytesToRead = 59'100'000'000;
    for (const double speed : {0.0, 1e12, 80e6})
        for (const bool earlierMft : {false, true}) {
            sample.bytesPerSecond = speed;
            sample.earlierMft = earlierMft;
            QCOMPARE(app::deepSearchOfferWords(sample), QString::fromStdString(session::deepSearchOffer(sample)));
        }

    // One file of each outcome, with and without blocks written as zeros, a
    // reason and clusters in use, and a folder that could not be made.
    recovery::RecoveryReport report;
    for (int outcome = 0; outcome <= static_cast<int>(recovery::FileOutcome::Unreadable); ++outcome)
        for (const std::uint32_t zeros : {0U, 2U})
            for (const char* error : {"", "No space left on device"}) {
                recovery::FileReport f;
                f.path = "/out/f" + std::to_string(outcome) + "\xE2\x80\xAE.txt";
                f.size = 20'000;
                f.bytesWritten = 12'288;
                f.zeroFilledBlocks = zeros;
                f.clustersInUse = zeros == 0 ? 3 : 0;
                f.error = error;
                f.outcome = static_cast<recovery::FileOutcome>(outcome);
                report.add(f);
            }
    report.folderFailed("/out/d", "Permission denied");
    const std::vector<std::string> details = session::recoverySummary(report, "/out", {40, false}).details;
    QStringList core;
    for (const std::string& line : details)
        core << QString::fromStdString(line);
    QVERIFY(core.size() > 15);
    QCOMPARE(app::recoveryDetailWords(report), core);

    // A locale of its own groups the digits its way, in English too.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(app::fileSizeWords(3'145'851), QStringLiteral("3,073 KB"));
}

void TranslationTest::valueWordsInGerman()
{
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German)));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(app::fileSizeWords(5'000'000'000), QStringLiteral("4.882.813 KB"));
    QCOMPARE(app::contentsWords({2, 1'235, 0}), QStringLiteral("2 Datei(en) und 1.234 Ordner"));
    QCOMPARE(app::folderSizeWords({}), QStringLiteral("Weniger als 1 MB"));
    QCOMPARE(app::conditionWords("Partly overwritten", 2, 1'500),
             QStringLiteral("Teilweise überschrieben (2 von 1.500 Clustern von etwas anderem belegt)"));
    disk::SelectResult notAVolume;
    notAVolume.status = disk::SelectStatus::NotAVolume;
    QCOMPARE(app::selectFailureWords(notAVolume),
             QStringLiteral("kein FAT12-, FAT16-, FAT32-, exFAT- oder NTFS-Volume"));
    disk::VolumeInfo info;
    info.VolumeSupported = 1;
    info.VolumeSectors = 4'096;
    info.FileSystemSectors = 8'192;
    QCOMPARE(app::truncationWords(info).value_or(QString()),
             QStringLiteral("das Abbild endet bei Sektor 4.096 von 8.192 des Volumes: 2,0 MiB (50 %) fehlen"));
    scan::FreeSpaceSample sample;
    sample.sampled = 256;
    sample.holdingData = 212;
    sample.bytesToRead = 59'100'000'000;
    sample.bytesPerSecond = 82'083'333;
    QCOMPARE(app::deepSearchOfferWords(sample),
             QStringLiteral("Der freie Speicher enthält Daten, die kein Eintrag nennt (212 von 256 geprüften "
                            "Clustern). Die Tiefensuche liest sie: 59,1 GB zu lesen; grob geschätzt bei der "
                            "Geschwindigkeit dieses Geräts: etwa 12 min."));
    recovery::FileReport cut;
    cut.path = "/out/a.jpg";
    cut.size = 20'000;
    cut.bytesWritten = 12'288;
    cut.outcome = recovery::FileOutcome::CutShort;
    recovery::RecoveryReport report;
    report.add(cut);
    QCOMPARE(app::recoveryDetailWords(report),
             QStringList{QStringLiteral("/out/a.jpg: abgebrochen bei 12.288 von 20.000 Byte")});
}

#define NEED_VOLUME(path)                                                                                              \
    if (!QFileInfo::exists(path))                                                                                      \
    QSKIP("no test volume: run tools/make-test-volumes.sh")

void TranslationTest::germanPropertiesAndDrivePage()
{
    // The window's own values of a real volume, read under the German locale.
    const QString image = QStringLiteral(SARVIK_TEST_VOLUMES "/fat16.img");
    NEED_VOLUME(image);
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German)));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString noise = noiseImage(dir);
    QVERIFY(!noise.isEmpty());
    app::RecoveryWindow w(
        {platform::imageDriveItem(image.toStdString()), platform::imageDriveItem(noise.toStdString())}, m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTreeWidget* tree = w.driveTree();
    const auto click = [tree](int child) { clickDrive(*tree, child); };
    click(1);
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("NICHT BEREIT"));
    QCOMPARE(w.statusLine()->text(),
             QStringLiteral("Nicht bereit: kein FAT12-, FAT16-, FAT32-, exFAT- oder NTFS-Volume."));
    click(0);
    QCOMPARE(w.valueLabel(1)->text(), QStringLiteral("32 MB ( ca. )"));
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT16"));
    QVERIFY(w.nextButton()->isVisible());
    QSignalSpy done(&w, &app::RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    QVERIFY(done.wait(60000));

    const app::FileListModel& model = *w.fileListModel();
    const auto properties = [&w, &model](const QString& name) {
        int row = -1;
        for (int r = 0; r < model.rowCount() && row < 0; ++r)
            if (model.text(r, app::FileListModel::Name) == name)
                row = r;
        w.setFocusOnTree(false);
        w.detailsView()->selectionModel()->setCurrentIndex(model.index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                                                    QItemSelectionModel::Rows);
        QStringList values;
        guitest::whenModal<app::PropertiesDialog>([&values](app::PropertiesDialog* d) {
            values << d->value(1011) << d->value(1013) << d->extra(app::PropertiesDialog::Extra::Bytes)
                   << d->extra(app::PropertiesDialog::Extra::Condition);
            d->accept();
        });
        w.commands()->run(app::Command::Properties);
        return values;
    };
    // 3,145,851 bytes.
    QCOMPARE(properties(QStringLiteral("Large archive.dat")),
             (QStringList{QStringLiteral("3.073 KB"), QString(), QStringLiteral("3.145.851 Byte"),
                          QStringLiteral("Gut (0 von 1.537 Clustern von etwas anderem belegt)")}));
    // 20000 + 35000 + 3000 bytes in three files and one folder below it.
    QCOMPARE(properties(QStringLiteral("Photos")),
             (QStringList{QStringLiteral("Weniger als 1 MB"), QStringLiteral("3 Datei(en) und 1 Ordner"),
                          QStringLiteral("58.000 Byte"), QString()}));

    // Where its data lies and its times, worded and dated in German.
    QString clusters;
    QString modified;
    QString modifiedColumn;
    QVERIFY(!properties(QStringLiteral("Large archive.dat")).isEmpty()); // selects it
    guitest::whenModal<app::PropertiesDialog>([&](app::PropertiesDialog* d) {
        clusters = d->extra(app::PropertiesDialog::Extra::Clusters);
        modified = d->extra(app::PropertiesDialog::Extra::Modified);
        modifiedColumn = d->value(1014);
        d->accept();
    });
    w.commands()->run(app::Command::Properties);
    static const QRegularExpression kCluster(
        QStringLiteral("^ab Cluster [\\d.]+, (entlang der FAT-Kette|fortlaufende)"));
    QVERIFY2(kCluster.match(clusters).hasMatch(), qPrintable(clusters));
    static const QRegularExpression kGermanTime(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    QVERIFY2(kGermanTime.match(modified).hasMatch(), qPrintable(modified));
    QVERIFY2(modifiedColumn.contains(QLatin1Char('.')) && !modifiedColumn.contains(QLatin1Char('-')),
             qPrintable(modifiedColumn));
}

void TranslationTest::systemReasonsInGerman()
{
    // The C library's reasons for the common failures, in a box's text and
    // its details; any other reason stays as the system gives it.
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German)));
    const std::pair<int, const char*> cases[] = {{EACCES, "Zugriff verweigert"},
                                                 {ENOSPC, "Kein Speicherplatz mehr auf dem Gerät"},
                                                 {ENOENT, "Datei oder Verzeichnis nicht gefunden"},
                                                 {EROFS, "Dateisystem nur lesbar"},
                                                 {EIO, "Ein-/Ausgabefehler"}};
    for (const auto& [code, german] : cases) {
        const QString reason = QString::fromLocal8Bit(std::strerror(code));
        app::MessageBox box(nullptr, app::MessageKind::Error, QStringLiteral("/x/brief.txt: ") + reason, false,
                            QStringLiteral("a.txt: ") + reason + QStringLiteral("\nb.txt: ") + reason);
        QCOMPARE(box.text(), QStringLiteral("/x/brief.txt: ") + QString::fromUtf8(german));
        QCOMPARE(box.details(), QStringLiteral("a.txt: %1\nb.txt: %1").arg(QString::fromUtf8(german)));
    }
    const QString other = QString::fromLocal8Bit(std::strerror(EMFILE));
    QCOMPARE(app::MessageBox(nullptr, app::MessageKind::Error, other, false).text(), other);
    // A file's own error as Qt gives it.
    QFile missing(QStringLiteral("/nonexistent-folder/report.jsonl"));
    QVERIFY(!missing.open(QIODevice::WriteOnly));
    QVERIFY2(app::MessageBox(nullptr, app::MessageKind::Error, missing.errorString(), false)
                 .text()
                 .contains(QStringLiteral("nicht gefunden")),
             qPrintable(missing.errorString()));

    // In English the reasons are the system's.
    QVERIFY(!app::installTranslations(*qApp, QLocale(QLocale::English)));
    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    QCOMPARE(app::MessageBox(nullptr, app::MessageKind::Error, denied, false).text(), denied);
}

void TranslationTest::largeGermanTextIsNeitherCutNorOverlapping()
{
    // German's longer words at half as large again as the desktop's font: every
    // page's captions, values, notes and buttons show whole, side by side.
    const QString image = QStringLiteral(SARVIK_TEST_VOLUMES "/fat16.img");
    NEED_VOLUME(image);
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German)));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QFont normal = QApplication::font();
    QFont large = normal;
    large.setPointSizeF(normal.pointSizeF() * 1.5);
    QApplication::setFont(large);
    const auto restore = qScopeGuard([&normal] { QApplication::setFont(normal); });
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString noise = noiseImage(dir);
    QVERIFY(!noise.isEmpty());
    app::RecoveryWindow w(
        {platform::imageDriveItem(image.toStdString()), platform::imageDriveItem(noise.toStdString())}, m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* panel = w.centralWidget();
    QTreeWidget* tree = w.driveTree();
    const auto click = [tree](int child) { clickDrive(*tree, child); };
    click(1);
    QVERIFY(w.statusLine()->isVisible());
    QStringList faults = cutOrOverlapping(panel, QStringLiteral("not ready"));
    click(0);
    QVERIFY(w.nextButton()->isVisible());
    faults << cutOrOverlapping(panel, QStringLiteral("drive"));

    // The scan page (a small volume's scan ends before it can be looked at):
    // its captions, counts, status and progress with Stop.
    w.SetLabelLayout(2);
    for (int i = 0; i < 4; ++i)
        w.valueLabel(i)->setText(QStringLiteral("1.234.567"));
    w.statusLine()->setText(app::statusWords({catalogue::StatusCode::ReadingFolders, 3, 10}));
    w.progressBar()->show();
    w.stopButton()->show();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    faults << cutOrOverlapping(panel, QStringLiteral("scan"));
    w.progressBar()->hide();
    w.stopButton()->hide();
    w.SetLabelLayout(0);
    click(0);
    QSignalSpy done(&w, &app::RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    QVERIFY(done.wait(60000));
    QVERIFY(w.rulesLabel()->isVisible());
    QVERIFY(w.backButton()->isVisible());
    faults << cutOrOverlapping(panel, QStringLiteral("results"));
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TranslationTest::snapshotRefusalsWorded()
{
    // Each kind of file a snapshot load refuses: in English the load's own
    // words, in German the window's.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto file = [&dir](const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return QString();
        return path;
    };
    const QString paths[] = {file("foreign.rvu", "garbage and more"), file("v2.rvu", "RVX4.022.0"),
                             file("cut.rvu", QByteArray("RVX4.021.0\x01", 11)), dir.filePath("none.rvu")};
    const session::SnapshotRefusal kinds[] = {session::SnapshotRefusal::NotASnapshot,
                                              session::SnapshotRefusal::OtherVersion, session::SnapshotRefusal::Damaged,
                                              session::SnapshotRefusal::CannotOpen};
    std::vector<session::SnapshotLoad> loads;
    for (std::size_t i = 0; i < std::size(paths); ++i) {
        QVERIFY(!paths[i].isEmpty());
        scan::ScanSession session;
        loads.push_back(session::loadSnapshot(session, paths[i].toStdString()));
        QVERIFY(loads.back().refused);
        QCOMPARE(int(loads.back().reason), int(kinds[i]));
        QCOMPARE(app::snapshotRefusalWords(loads.back()), QString::fromStdString(loads.back().refusal));
    }
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German)));
    QCOMPARE(app::snapshotRefusalWords(loads[0]), QStringLiteral("    Ungültige Dateiversion gefunden: garbage"));
    QCOMPARE(app::snapshotRefusalWords(loads[1]),
             QStringLiteral("              Die Dateiversion passt nicht zur aktuellen Version 1.0"));
    QCOMPARE(app::snapshotRefusalWords(loads[2]),
             QStringLiteral("Der Schnappschuss ist beschädigt: die Datei endet innerhalb der Volume-Beschreibung "
                            "(bei Byte %1)")
                 .arg(loads[2].damage.offset));
    QCOMPARE(app::snapshotRefusalWords(loads[3]), QStringLiteral("Die Datei lässt sich nicht öffnen"));
}

void TranslationTest::snapshotDamageWorded()
{
    // Every kind of damage: in English the load's own words, whatever its numbers.
    snapshot::DamageNote note;
    note.index = 2;
    note.count = 30;
    note.value = 14;
    note.limit = 15;
    note.offset = 1234;
    for (int kind = 1; kind <= static_cast<int>(snapshot::SnapshotDamage::EndsInsideGeometry); ++kind) {
        note.what = static_cast<snapshot::SnapshotDamage>(kind);
        for (const bool folders : {true, false}) {
            note.folders = folders;
            QCOMPARE(app::damageWords(note), QString::fromStdString(snapshot::damageMessage(note)));
        }
    }
    // In German, with the locale's digits.
    QVERIFY(app::installTranslations(*qApp, QLocale(QLocale::German)));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    note.what = snapshot::SnapshotDamage::RecordTooShort;
    note.folders = true;
    QCOMPARE(app::damageWords(note), QStringLiteral("Der Schnappschuss ist beschädigt: Ordnerdatensatz 2 von 30 hat "
                                                    "die Länge 14, weniger als die 15 Byte seines festen Teils (bei "
                                                    "Byte 1.234)"));
    note.what = snapshot::SnapshotDamage::CarvedListDamaged;
    QCOMPARE(app::damageWords(note), QStringLiteral("Der Schnappschuss ist beschädigt: die Liste der am Inhalt "
                                                    "erkannten Dateien ist beschädigt (bei Byte 1.234)"));
    note.what = snapshot::SnapshotDamage::None;
    QCOMPARE(app::damageWords(note), QString());
}

void TranslationTest::germanCatalogueIsCompleteAndFaithful()
{
    QString error;
    const QList<TsMessage> messages = readTs(QStringLiteral(SARVIK_TS_DE), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(messages.size() > 250);
    for (const TsMessage& m : messages) {
        const QString where = m.context + QStringLiteral(": ") + m.source;
        QVERIFY2(m.type.isEmpty(), qPrintable(m.type + QStringLiteral(" translation of ") + where));
        QVERIFY2(m.translations.size() == (m.numerus ? 2 : 1), qPrintable(QStringLiteral("forms of ") + where));
        for (const QString& t : m.translations) {
            QVERIFY2(!t.trimmed().isEmpty(), qPrintable(QStringLiteral("empty translation of ") + where));
            QVERIFY2(placeholders(t) == placeholders(m.source) ||
                         (m.numerus && !m.source.contains(QLatin1String("%n"))),
                     qPrintable(QStringLiteral("placeholders of ") + where + QStringLiteral(" -> ") + t));
            QVERIFY2(accelerators(t) == accelerators(m.source),
                     qPrintable(QStringLiteral("accelerator of ") + where + QStringLiteral(" -> ") + t));
            QVERIFY2(edgeBlanks(t) == edgeBlanks(m.source),
                     qPrintable(QStringLiteral("blanks at the ends of ") + where + QStringLiteral(" -> ") + t));
        }
    }
}

void TranslationTest::germanCatalogueHoldsEverySourceText()
{
    // lupdate over the sources into a copy: a text added to the code and not
    // to the catalogue comes in unfinished, one taken out leaves the count.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("sarvik_de.ts"));
    QVERIFY(QFile::copy(QStringLiteral(SARVIK_TS_DE), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    const QString src = QStringLiteral(SARVIK_SOURCE_DIR "/src");
    QProcess lupdate;
    lupdate.start(QStringLiteral(SARVIK_LUPDATE),
                  {QStringLiteral("-I"), src, QStringLiteral("-no-obsolete"), QStringLiteral("-locations"),
                   QStringLiteral("none"), src + QStringLiteral("/app"), src + QStringLiteral("/ui"),
                   QStringLiteral("-ts"), copy});
    QVERIFY(lupdate.waitForFinished(120000));
    QVERIFY2(lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());
    QString error;
    const QList<TsMessage> kept = readTs(QStringLiteral(SARVIK_TS_DE), &error);
    const QList<TsMessage> updated = readTs(copy, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    for (const TsMessage& m : updated)
        QVERIFY2(m.type.isEmpty(), qPrintable(QStringLiteral("not in translations/sarvik_de.ts: ") + m.context +
                                              QStringLiteral(": ") + m.source));
    QCOMPARE(updated.size(), kept.size());
}

} // namespace sarvik

QTEST_MAIN(sarvik::TranslationTest)
#include "TranslationTest.moc"
