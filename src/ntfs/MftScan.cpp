// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/MftScan.h"

#include "disk/ReadAhead.h"
#include "ntfs/AttributeList.h"
#include "ntfs/NtfsCompressed.h"
#include "ntfs/NtfsData.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <deque>
#include <exception>
#include <system_error>
#include <thread>
#include <unordered_set>

namespace sarvik::ntfs {

namespace {

using catalogue::Catalogue;
using catalogue::ScanControl;
using catalogue::ScanObserver;

// Record positions read with one call: 1,024 records. The results are those
// of reading one record's sectors a position; a block that cannot be read
// whole is read again a position at a time.
constexpr std::uint64_t kPositionsPerBlock = 1024;
// Blocks read ahead of the one being examined (with it, 4 MiB of 1,024-byte records).
constexpr std::size_t kBlocksAhead = 4;

// Thorough mode: deleted files that lost every file name but whose base record
// still holds their data are listed in one folder at the root, each as
// "record N". Records below 24 are the volume's own files and those kept for
// them, never a user's file.
constexpr std::uint32_t kFirstUserRecord = 24;
// The folder of the volume's later own files ($ObjId, $Quota, $Reparse, $UsnJrnl).
constexpr std::uint32_t kExtendRecord = 11;
constexpr const char* kNamelessFolderName = "$Nameless files";
constexpr const char* kNamelessFilePrefix = "record ";
// The folder's key: record 1 is the MFT's mirror, a file on every NTFS volume,
// so no folder has that number and no file names it as its parent. A real item
// may carry the folder's name, but the catalogue keys folders by record number,
// so neither stands for the other.
constexpr std::uint32_t kNamelessFolderKey = 1;
// Items found outside the MFT whose folder is gone. Keyed by a record of the
// volume's own files that never names a folder ($LogFile, then $Volume, ...).
constexpr const char* kFoundFolderName = "$Found records";
constexpr std::array<std::uint32_t, 4> kFoundFolderKeys{2, 3, 4, 8};
// Records of a found MFT read at once.
constexpr std::size_t kFoundRecordsPerRead = 256;

/// Record positions of one run read with one call.
struct MftPiece {
    std::uint64_t sector = 0;      ///< of the first position
    std::uint32_t positions = 0;   ///< records' worth of sectors each
    bool sparse = false;           ///< a sparse run: nothing is read
    std::uint32_t firstRecord = 0; ///< the number of the record at the first position
};

/// Pieces [first, end), whose items are listed in `catalogue`.
struct MftChunk {
    std::size_t first = 0;
    std::size_t end = 0;
    Catalogue* catalogue = nullptr;
};

/// What scanners working beside each other have done: the sectors of the
/// pieces they finished and the items of the chunks they finished.
struct SharedProgress {
    std::atomic<std::uint64_t> sectors{0};
    std::atomic<std::uint32_t> folders{0};
    std::atomic<std::uint32_t> files{0};
};

/// The records named by the scanned record's attribute list, each read once
/// while that record is examined.
class ListedRecords {
public:
    ListedRecords(const disk::SectorReader& reader, const MftRunList& runs) : m_reader(reader), m_runs(runs) {}

    /// Forgets the records of the previous scanned record.
    void reset(std::uint64_t scannedSector, disk::ByteSpan scanned)
    {
        m_used = 0;
        m_scannedSector = scannedSector;
        m_scanned = scanned;
    }

    /// Record `number` after its fixup; cleared when it lies beyond the runs or
    /// in a sparse run, or cannot be read.
    const MftRecord& get(std::uint64_t number)
    {
        for (std::size_t i = 0; i < m_used; ++i)
            if (m_records[i].number == number)
                return m_records[i].bytes;
        if (m_used == m_records.size())
            m_records.emplace_back();
        Entry& entry = m_records[m_used++];
        entry.number = number;
        entry.sector = 0;
        entry.bytes.resize(m_runs.recordSectors());
        const auto location = m_runs.locateRecord(number);
        if (!location || m_runs.isSparse(location->run)) {
            entry.bytes.fill(std::byte{0});
        } else if (location->sector == m_scannedSector) {
            std::copy(m_scanned.begin(), m_scanned.end(), entry.bytes.begin()); // the very sectors just read
            entry.sector = location->sector;
        } else if (ReadMftRecord(m_reader, location->sector, entry.bytes)) {
            entry.sector = location->sector;
        }
        return entry.bytes;
    }

    /// The sector record `number` was read from by get(); 0 when it was not read.
    [[nodiscard]] std::uint64_t sectorOf(std::uint64_t number) const
    {
        for (std::size_t i = 0; i < m_used; ++i)
            if (m_records[i].number == number)
                return m_records[i].sector;
        return 0;
    }

private:
    struct Entry {
        std::uint64_t number = 0;
        std::uint64_t sector = 0; ///< where it was read from; 0 when it was not
        MftRecord bytes{};
    };
    const disk::SectorReader& m_reader;
    const MftRunList& m_runs;
    std::deque<Entry> m_records; // stable addresses while it grows
    std::size_t m_used = 0;
    std::uint64_t m_scannedSector = 0;
    disk::ByteSpan m_scanned;
};

void appendNumber(std::string& text, std::uint64_t value)
{
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    text.append(digits, end);
}

class MftScanner {
public:
    MftScanner(const disk::SelectedVolume& volume, Catalogue& catalogue, const MftRunList& runs, ScanObserver& observer,
               ScanControl& control, bool thorough, bool live = false, SharedProgress* progress = nullptr)
        : m_geometry(volume.geometry), m_thorough(thorough), m_live(live), m_reader(disk::SerialReader(volume.reader)),
          m_catalogue(&catalogue), m_runs(runs), m_observer(observer), m_control(control), m_listed(m_reader, runs),
          m_total(runs.totalSectors()), m_estimateRecordSectors(MftRecord(volume.geometry.MftRecordSectors).sectors()),
          m_followEach(observer.followsEachItem())
    {
        m_progress = progress != nullptr ? progress : &m_ownProgress;
    }

    /// Examines the pieces of `chunk`, listing what they name in its
    /// catalogue. The pieces are read ahead on a thread of their own when
    /// `readAhead`; else each is read into one buffer when it is reached.
    void examineChunk(const std::vector<MftPiece>& pieces, const MftChunk& chunk, bool readAhead)
    {
        const std::uint32_t step = m_runs.recordSectors();
        m_single.resize(step);
        m_catalogue = chunk.catalogue;
        m_chunkOpen = true;
        // Room for about as many files as the chunk before listed.
        if (m_catalogue->fsLists().NtfsFileList.empty())
            m_catalogue->fsLists().NtfsFileList.reserve(m_lastChunkFiles + m_lastChunkFiles / 4);
        if (readAhead) {
            std::vector<disk::ReadAhead::Range> blocks;
            for (std::size_t k = chunk.first; k < chunk.end; ++k)
                blocks.push_back({pieces[k].sector, pieces[k].positions * step, pieces[k].sparse});
            disk::ReadAhead ahead(m_reader, std::move(blocks), kBlocksAhead);
            for (std::size_t k = chunk.first; k < chunk.end && !m_control.stopRequested(); ++k) {
                const disk::ReadAhead::Block block = ahead.next();
                examinePiece(pieces[k], block.status, block.bytes);
            }
        } else {
            for (std::size_t k = chunk.first; k < chunk.end && !m_control.stopRequested(); ++k) {
                const MftPiece& piece = pieces[k];
                const std::size_t bytes = std::size_t{piece.positions} * step * disk::kSectorSize;
                if (m_block.size() < bytes)
                    m_block.resize(bytes);
                const disk::MutableByteSpan block = disk::MutableByteSpan(m_block).first(bytes);
                const disk::ReadStatus status = piece.sparse
                                                    ? disk::ReadStatus::Failed
                                                    : m_reader.read(piece.sector, piece.positions * step, block);
                examinePiece(piece, status, block);
            }
        }
        m_progress->folders.fetch_add(m_catalogue->folderCount(), std::memory_order_relaxed);
        m_progress->files.fetch_add(m_catalogue->fileCount(), std::memory_order_relaxed);
        m_lastChunkFiles = m_catalogue->fsLists().NtfsFileList.size();
        m_chunkOpen = false;
    }

    /// Examines the positions of `piece`, whose read gave `status` and `bytes`.
    void examinePiece(const MftPiece& piece, disk::ReadStatus status, disk::MutableByteSpan bytes)
    {
        const std::uint32_t step = m_runs.recordSectors();
        const std::size_t recordBytes = std::size_t{step} * disk::kSectorSize;
        const bool blockRead = !piece.sparse && status == disk::ReadStatus::Ok;
        m_recordNumber = piece.firstRecord;
        for (std::uint32_t p = 0; p < piece.positions && !m_control.stopRequested(); ++p) {
            // Each position reads a record's sectors, so the last one of a run
            // whose length is no multiple of the step reaches past it.
            const std::uint64_t sector = piece.sector + std::uint64_t{p} * step;
            m_done += step;
            m_observer.currentSector(sector);
            // A sparse run holds no records on the volume, and a position that
            // cannot be read holds none either: both count as a cleared
            // record, in which nothing is found.
            if (blockRead)
                examine(bytes.subspan(static_cast<std::size_t>(p) * recordBytes, recordBytes), sector);
            else if (!piece.sparse && readAlone(sector))
                examine(m_single, sector);
            else if (!piece.sparse)
                ++m_catalogue->Losses.UnreadableRecords;
            ++m_recordNumber;
        }
        m_progress->sectors.fetch_add(m_done, std::memory_order_relaxed);
        m_done = 0;
    }

    /// After the last chunk: the counts and progress to an observer that
    /// does not follow each item.
    void finish()
    {
        if (!m_followEach)
            reportSummary(true);
    }

    /// Files listed by addNameless; their folder is added after the walk.
    [[nodiscard]] std::uint32_t namelessFiles() const { return m_namelessFiles; }

    /// Examines a record found outside the MFT, whose header says it is record
    /// `number`, at `sector`: what it names is listed as deleted whatever its
    /// flags (its file system is gone), and a record whose attributes an
    /// attribute list spreads over others is passed over (false), since those
    /// numbers lead into the current MFT, not the lost one.
    bool examineFound(std::span<std::byte> record, std::uint64_t sector, std::uint32_t number)
    {
        m_found = true;
        m_chunkOpen = true;       // the counts are the catalogue's own
        ApplyRecordFixup(record); // examine() applies it again, to the same effect
        if (HasAttributeList(record))
            return false;
        m_recordNumber = number;
        examine(record, sector);
        return true;
    }

private:
    /// Reads one position's two sectors into a cleared buffer; false when the read failed.
    bool readAlone(std::uint64_t sector)
    {
        m_single.fill(std::byte{0});
        return m_reader.read(sector, m_single.sectors(), m_single) == disk::ReadStatus::Ok;
    }

    /// Examines the record at `sector`, fixing it up in place.
    void examine(std::span<std::byte> record, std::uint64_t sector)
    {
        if (!hasFileSignature(record))
            return;
        // The flags lie in the record's first bytes, which no fixup changes.
        std::uint8_t flags = disk::ByteReader(record).u8or0(kRecordFlags);
        if (m_found)
            flags = (flags & RecordFlags::DeletedFolder) != 0 ? RecordFlags::DeletedFolder : RecordFlags::DeletedFile;
        if (!m_followEach && listsNothing(flags) && !(m_live && flags == RecordFlags::FileInUse)) {
            // Such a record only names itself in the labels, which this
            // observer does not show: its progress is all there is to report.
            reportSummary(false);
            return;
        }
        ApplyRecordFixup(record);
        // An extension record holds attributes of the file whose base record it
        // names (ntfs-3g moves the file name there too); the thorough scan finds
        // the file through its base record and does not list the piece again.
        if (m_thorough && (disk::ByteReader(record).u64or0(kRecordBaseReference) & kReferenceNumberMask) != 0)
            return;
        m_record = record;
        m_table.reset(m_recordNumber);
        // One walk gives the attribute records, the names and the data size of entry 0.
        m_own = ExamineAttributes(m_record, &m_table);
        m_listed.reset(sector, m_record);
        m_hasList = m_thorough && HasAttributeList(m_record);
        if (m_hasList)
            addNonResidentList();

        FileNameInfo name;
        if (!findName(name)) {
            if (m_thorough && !m_found)
                addNameless(sector);
            return;
        }

        if (flags == RecordFlags::DeletedFolder || flags == RecordFlags::FolderInUse) {
            if (name.name == ".")
                return; // the root folder, record 5
            m_catalogue->AddNtfsFolder(std::move(name.name), m_recordNumber, name.parentRecord, name.created,
                                       name.modified, 0, flags == RecordFlags::DeletedFolder ? 1 : 0, standardTimes());
            if (m_followEach)
                m_observer.foldersFound(foldersSoFar());
            reportItem(m_catalogue->fsLists().NtfsFolderList.back().name);
            return;
        }
        // Files in use only change the labels; their data attribute is not looked for.
        const std::string* shown = &name.name;
        // The volume's own files ($MFT, those under $Extend) are nobody's lost data.
        const bool ownFile = m_recordNumber < kFirstUserRecord || name.parentRecord == kExtendRecord;
        if (flags == RecordFlags::DeletedFile || (m_live && flags == RecordFlags::FileInUse && !ownFile)) {
            addDeletedFile(std::move(name), sector, flags == RecordFlags::DeletedFile ? 1 : 0);
            shown = &m_catalogue->fsLists().NtfsFileList.back().name;
        }
        if (m_followEach)
            m_observer.filesFound(filesSoFar());
        reportItem(*shown);
    }

    /// Lists the scanned record, a deleted file named `name` (with --live, a
    /// file in use too: `deleted` 0), with the size of the first data
    /// attribute its table of records holds.
    void addDeletedFile(FileNameInfo name, std::uint64_t sector, std::uint32_t deleted = 1)
    {
        std::uint64_t recordSector = 0;
        std::uint64_t size = 0;
        std::size_t chosen = 0;
        for (std::size_t k = 0; k < m_table.AttributeRecordCount; ++k) {
            chosen = k;
            // Entry 0 is the record just examined, which lies at `sector`.
            // That is MftRecordSector of its number wherever the runs hold
            // whole records; after a run of odd length the number no longer
            // leads there, and recovery must read the record found here.
            recordSector = k == 0 ? sector : MftRecordSector(m_runs, m_table.AttributeRecords[k]);
            const auto found = k == 0 ? m_own.dataSize : FindDataAttribute(recordAt(k));
            if (found) {
                size = *found;
                break;
            }
        }
        std::vector<NamedStream> streams =
            m_thorough && !m_hasList ? ListNamedStreams(m_record) : std::vector<NamedStream>{};
        // The name is kept for the streams only when the record has some.
        const std::string base = streams.empty() ? std::string{} : name.name;
        m_catalogue->AddNtfsFile(recordSector, std::move(name.name), m_recordNumber, name.parentRecord, name.created,
                                 name.modified, deleted, size, standardTimes());
        m_catalogue->fsLists().NtfsFileList.back().nameDecoded = m_thorough; // ReadFileNameUtf8 made it
        keepData(chosen, recordSector);
        if (!base.empty())
            addStreams(base, name, streams, sector, deleted);
    }

    /// Thorough rules: the named data streams of the scanned record, each
    /// listed beside the file as "NAME:STREAM" and read from this record. A
    /// record with an attribute list is left out: its streams may lie in the
    /// records the list names.
    void addStreams(const std::string& base, const FileNameInfo& name, std::vector<NamedStream>& streams,
                    std::uint64_t sector, std::uint32_t deleted)
    {
        for (NamedStream& stream : streams) {
            m_catalogue->AddNtfsFile(sector, base + ":" + stream.name, m_recordNumber, name.parentRecord, name.created,
                                     name.modified, deleted, stream.size, standardTimes());
            auto& entry = m_catalogue->fsLists().NtfsFileList.back();
            entry.nameDecoded = true;
            entry.stream = std::move(stream.name);
            if (m_runs.recordSectors() == m_estimateRecordSectors)
                keepLocated(m_record, stream.location);
        }
    }

    /// After an item was named: the labels and the progress, to an observer
    /// that follows each item; else the summary when the percentage moved.
    // Called for each record: inlined, since few records have more to report.
    [[gnu::always_inline]] void reportItem(const std::string& name)
    {
        if (m_found) { // the found records' reader reports progress itself
            if (m_followEach)
                m_observer.lastItem(name);
            return;
        }
        if (!m_followEach) {
            reportSummary(false);
            return;
        }
        m_observer.lastItem(name);
        reportProgress();
    }

    /// An observer that does not follow each item gets the counts and the
    /// progress when the percentage moved, and once more at the end (`last`).
    [[gnu::always_inline]] void reportSummary(bool last)
    {
        if (last || done() >= m_nextPercentAt) // most records move no percentage
            reportCounts();
    }
    void reportCounts()
    {
        m_observer.foldersFound(foldersSoFar());
        m_observer.filesFound(filesSoFar());
        reportProgress();
    }

    /// Keeps in the catalogue what estimating the condition of the file just
    /// added needs of the data attribute of table entry `k`, whose record lies
    /// at `recordSector`, as that estimate would read it there. Nothing is kept
    /// when the estimate would read more than that record (the thorough rules
    /// gather a data attribute split by an attribute list) or when the bytes
    /// here may not be the ones it reads.
    void keepData(std::size_t k, std::uint64_t recordSector)
    {
        if (m_runs.recordSectors() != m_estimateRecordSectors)
            return;
        if (k != 0 && m_listed.sectorOf(m_table.AttributeRecords[k]) != recordSector)
            return;
        const disk::ByteSpan record = recordAt(k);
        if (m_thorough && (k != 0 || m_hasList)) // entry 0 is the scanned record
            return;
        keepLocated(record, LocateDataAttribute(record));
    }

    /// Keeps what the condition estimate needs of the data attribute at `data` of `record`.
    void keepLocated(disk::ByteSpan record, const DataAttributeLocation& data)
    {
        using catalogue::NtfsDataKept;
        if (data.kind == DataAttributeKind::Resident) {
            m_catalogue->KeepNtfsFileData(NtfsDataKept::Resident);
            return;
        }
        const auto runs = data.kind == DataAttributeKind::NonResident ? DecodeDataRuns(record, data.offset)
                                                                      : std::optional<NtfsRunList>{};
        const CompressionInfo compression =
            data.kind == DataAttributeKind::NonResident ? ReadCompressionInfo(record, data.offset) : CompressionInfo{};
        if (!runs || (compression.compressed && compression.unitClusters == 0)) {
            m_catalogue->KeepNtfsFileData(NtfsDataKept::None);
            return;
        }
        m_keptRuns.clear();
        for (const NtfsRun& run : *runs)
            m_keptRuns.push_back({run.start, run.length, run.sparse, run.missing});
        // The file just added: the size its written part is told against.
        const std::uint64_t size =
            m_catalogue->fsLists().NtfsFileList.empty() ? 0 : m_catalogue->fsLists().NtfsFileList.back().size;
        m_catalogue->KeepNtfsFileData(NtfsDataKept::Runs, m_keptRuns, InitializedBytes(record, data.offset, size));
    }

    /// Thorough mode: lists the scanned record when it is the base record of a
    /// deleted file whose data it (or an extension record it lists) still holds
    /// and no record of the file holds a file name.
    void addNameless(std::uint64_t sector)
    {
        if (m_recordNumber < kFirstUserRecord ||
            disk::ByteReader(m_record).u8or0(kRecordFlags) != RecordFlags::DeletedFile)
            return;
        const RecordSurvey own = SurveyRecord(m_record);
        if (own.hasFileName || !own.times)
            return;
        std::optional<std::uint64_t> size = own.dataSize;
        std::uint64_t recordSector = sector;
        for (std::size_t k = 1; k < m_table.AttributeRecordCount; ++k) {
            const std::uint64_t number = m_table.AttributeRecords[k];
            if (number == m_recordNumber)
                continue;
            // A listed record another file has taken since holds nothing of this one.
            const disk::ByteSpan listed = recordAt(k);
            if (!hasFileSignature(listed) ||
                (disk::ByteReader(listed).u64or0(kRecordBaseReference) & kReferenceNumberMask) != m_recordNumber)
                continue;
            const RecordSurvey piece = SurveyRecord(listed);
            if (piece.hasFileName)
                return;
            if (!size && piece.dataSize) {
                size = piece.dataSize;
                recordSector = MftRecordSector(m_runs, number);
            }
        }
        if (!size || *size == 0 || recordSector == 0)
            return;
        ++m_namelessFiles;
        std::string name = kNamelessFilePrefix;
        appendNumber(name, m_recordNumber);
        m_catalogue->AddNtfsFile(recordSector, name, m_recordNumber, kNamelessFolderKey, own.times->first,
                                 own.times->second, 1, *size, standardTimes());
        if (m_followEach)
            m_observer.filesFound(filesSoFar());
        reportItem(name);
    }

    /// The standard-information times of the scanned record (a base record holds them itself).
    [[nodiscard]] catalogue::NtfsStandardTimes standardTimes() const
    {
        return m_own.standardValue ? ReadStandardTimes(m_record, *m_own.standardValue) : catalogue::NtfsStandardTimes{};
    }

    /// Entry k of the table: the scanned record itself for entry 0, else the listed record.
    disk::ByteSpan recordAt(std::size_t k) { return k == 0 ? m_record : m_listed.get(m_table.AttributeRecords[k]); }

    /// The name of the scanned item. Every entry of the table is tried for a
    /// Win32, Win32-and-DOS, then DOS name, in table order; only when none of
    /// them has one is a POSIX name taken, again the first in table order.
    bool findName(FileNameInfo& name)
    {
        std::optional<std::pair<std::size_t, std::size_t>> posix;
        for (std::size_t j = 0; j < m_table.AttributeRecordCount; ++j) {
            const FileNameOffsets offsets = j == 0 ? m_own.names : LocateFileNames(recordAt(j));
            for (const std::uint8_t nameSpace :
                 {FileNamespace::Win32, FileNamespace::Win32AndDos, FileNamespace::Dos}) {
                if (const auto value = offsets.value[nameSpace]) {
                    name = readName(recordAt(j), *value);
                    return true;
                }
            }
            if (!posix && offsets.value[FileNamespace::Posix])
                posix.emplace(j, *offsets.value[FileNamespace::Posix]);
        }
        if (!posix)
            return false;
        name = readName(recordAt(posix->first), posix->second);
        return true;
    }

    FileNameInfo readName(disk::ByteSpan record, std::size_t valueOffset) const
    {
        return m_thorough ? ReadFileNameUtf8(record, valueOffset) : ReadFileName(record, valueOffset);
    }

    /// Thorough mode: the records a non-resident attribute list names join the
    /// table (each once, names and data first), as a resident list's do.
    void addNonResidentList()
    {
        const auto entries = ReadNonResidentAttributeList(m_record, m_reader, m_geometry.ClusterBaseSector,
                                                          m_geometry.SectorsPerCluster);
        auto add = [&](bool wanted) {
            for (const AttributeListEntry& e : entries) {
                const bool early = e.type == AttributeType::FileName || e.type == AttributeType::Data;
                if (early != wanted)
                    continue;
                const auto* begin = m_table.AttributeRecords.data();
                const auto* end = begin + m_table.AttributeRecordCount;
                if (std::find(begin, end, e.record) == end && !m_table.append(e.record))
                    return;
            }
        };
        add(true);
        add(false);
    }

    /// True for the flags of a record that is neither a folder nor a deleted
    /// file: a file in use, or flags no rule reads. Its name goes to the labels
    /// and nothing of it to the catalogue.
    static bool listsNothing(std::uint8_t flags)
    {
        return flags != RecordFlags::DeletedFile && flags != RecordFlags::DeletedFolder &&
               flags != RecordFlags::FolderInUse;
    }

    /// Sectors of the MFT done, by this scanner and those beside it.
    [[nodiscard]] std::uint64_t done() const { return m_progress->sectors.load(std::memory_order_relaxed) + m_done; }
    /// Folders and files listed so far, by this scanner and those beside it.
    [[nodiscard]] std::uint32_t foldersSoFar() const
    {
        return m_progress->folders.load(std::memory_order_relaxed) + (m_chunkOpen ? m_catalogue->folderCount() : 0);
    }
    [[nodiscard]] std::uint32_t filesSoFar() const
    {
        return m_progress->files.load(std::memory_order_relaxed) + (m_chunkOpen ? m_catalogue->fileCount() : 0);
    }

    [[nodiscard]] std::uint64_t percentDone() const
    {
        return m_total == 0 ? 0 : std::min<std::uint64_t>(100 * done() / m_total, 99);
    }

    void reportProgress()
    {
        const std::uint64_t percent = percentDone();
        // Sectors done when the percentage next moves (it stops at 99).
        m_nextPercentAt = m_total == 0 || percent >= 99 ? ~std::uint64_t{0} : ((percent + 1) * m_total + 99) / 100;
        m_observer.report({catalogue::StatusCode::ReadingMftSectors, done(), m_total});
        m_observer.progress(static_cast<std::uint32_t>(percent));
    }

    const disk::VolumeGeometry& m_geometry;
    const bool m_thorough;
    const bool m_live;                 ///< files in use are listed too
    const disk::SectorReader m_reader; ///< shared by the read-ahead thread and the look-ups of examine()
    Catalogue* m_catalogue;            ///< where the block being examined lists what it names
    const MftRunList& m_runs;
    ScanObserver& m_observer;
    ScanControl& m_control;
    ListedRecords m_listed;
    AttributeRecordTable m_table;
    RecordAttributes m_own;         ///< what the walk of entry 0 found
    MftRecord m_single{};           ///< a position read on its own
    std::vector<std::byte> m_block; ///< a piece read when nothing reads ahead
    disk::ByteSpan m_record;        ///< the record being examined, after its fixup
    std::uint64_t m_recordNumber = 0;
    std::uint32_t m_namelessFiles = 0;
    SharedProgress m_ownProgress;
    SharedProgress* m_progress = nullptr;
    std::uint64_t m_done = 0;         ///< sectors of the piece being examined done
    bool m_chunkOpen = false;         ///< m_catalogue's counts are not in m_progress yet
    std::size_t m_lastChunkFiles = 0; ///< files the chunk examined last listed
    const std::uint64_t m_total;
    /// The record length the condition estimate reads at a file's record sector.
    const std::uint32_t m_estimateRecordSectors;
    std::vector<catalogue::NtfsDataRun> m_keptRuns;
    /// The observer shows every item's name; when not, records that list
    /// nothing are passed over (see ScanObserver::followsEachItem).
    const bool m_followEach;
    bool m_hasList = false;            ///< thorough rules: the scanned record has an attribute list
    bool m_found = false;              ///< examining records found outside the MFT (examineFound)
    std::uint64_t m_nextPercentAt = 0; ///< done() at which the percentage reportProgress reported last moves
};

/// The MFT's record positions, run by run, in blocks of up to kPositionsPerBlock.
std::vector<MftPiece> mftPieces(const MftRunList& runs)
{
    const std::uint32_t step = runs.recordSectors();
    std::vector<MftPiece> pieces;
    std::uint32_t record = 0;
    for (std::size_t l = 0; l < runs.RunCount(); ++l) {
        const std::uint64_t length = runs.RunLengths()[l];
        for (std::uint64_t i = 0; i < length;) {
            const auto positions =
                static_cast<std::uint32_t>(std::min(kPositionsPerBlock, (length - i + step - 1) / step));
            pieces.push_back({runs.RunStarts()[l] + i, positions, runs.isSparse(l), record});
            record += positions;
            i += std::uint64_t{positions} * step;
        }
    }
    return pieces;
}

/// The observer of a scanner working beside one that reports: it shows nothing.
class QuietObserver final : public ScanObserver {
public:
    [[nodiscard]] bool followsEachItem() const override { return false; }
};

/// Examines the MFT, listing what it names in `catalogue`; returns the files
/// listed as nameless. When the observer does not follow each item and the
/// source takes reads from two threads, a second thread helps: the blocks are
/// cut into chunks, which the two take in turn as each is free, each chunk
/// listed in a catalogue of its own; this thread appends the chunks'
/// catalogues to `catalogue` in the MFT's order as they are done, so the
/// result is the one thread's.
std::uint32_t examineMft(const disk::SelectedVolume& volume, Catalogue& catalogue, const MftRunList& runs,
                         ScanObserver& observer, ScanControl& control, const NtfsScanOptions& options)
{
    const std::vector<MftPiece> pieces = mftPieces(runs);
    const auto& source = volume.reader.source();
    if (observer.followsEachItem() || pieces.size() < std::max<std::size_t>(options.twoThreadsFrom, 2) || !source ||
        !source->readsInParallel()) {
        MftScanner scanner(volume, catalogue, runs, observer, control, options.thorough, options.live);
        scanner.examineChunk(pieces, {0, pieces.size(), &catalogue}, true);
        scanner.finish();
        return scanner.namelessFiles();
    }
    // Chunks of up to four blocks (4 MiB of 1,024-byte records), at least eight chunks.
    const std::size_t perChunk = std::clamp<std::size_t>(pieces.size() / 8, 1, 4);
    const std::size_t chunkCount = (pieces.size() + perChunk - 1) / perChunk;
    std::vector<Catalogue> parts(chunkCount - 1);
    const auto chunk = [&](std::size_t c) {
        return MftChunk{c * perChunk, std::min(pieces.size(), (c + 1) * perChunk), c == 0 ? &catalogue : &parts[c - 1]};
    };
    std::vector<std::atomic<bool>> finished(chunkCount);
    std::atomic<std::size_t> next{1}; // chunk 0 is this thread's, listed in `catalogue` itself
    SharedProgress progress;
    QuietObserver quiet;
    MftScanner mine(volume, catalogue, runs, observer, control, options.thorough, options.live, &progress);
    MftScanner other(volume, catalogue, runs, quiet, control, options.thorough, options.live, &progress);
    // Two threads that each read what they examine keep two cores busy; a
    // thread reading ahead for each would only take turns with them.
    const auto take = [&](MftScanner& scanner) {
        for (std::size_t c = next++; c < chunkCount && !control.stopRequested(); c = next++) {
            scanner.examineChunk(pieces, chunk(c), false);
            finished[c].store(true, std::memory_order_release);
        }
    };
    // Appends chunk `appended`. The lists are given room for what the whole
    // MFT will list at the rate of the chunks so far (and a quarter more):
    // growing them a chunk at a time would move every entry again and again.
    std::size_t appended = 1;
    const std::uint64_t records = std::uint64_t{pieces.back().firstRecord} + pieces.back().positions;
    const auto appendNext = [&] {
        const Catalogue& part = parts[appended - 1];
        const MftPiece& last = pieces[chunk(appended).end - 1];
        const std::uint64_t seen = std::uint64_t{last.firstRecord} + last.positions;
        const auto room = [&](auto& list, std::size_t adding) {
            const std::size_t needed = list.size() + adding;
            if (needed > list.capacity())
                list.reserve(
                    std::max<std::size_t>(needed, static_cast<std::size_t>(needed * records * 5 / (seen * 4))));
        };
        room(catalogue.fsLists().NtfsFolderList, part.fsLists().NtfsFolderList.size());
        room(catalogue.fsLists().NtfsFileList, part.fsLists().NtfsFileList.size());
        room(catalogue.fsLists().NtfsDataRuns, part.fsLists().NtfsDataRuns.size());
        catalogue.AppendNtfsEntries(std::move(parts[appended - 1]));
        ++appended;
    };
    const auto appendFinished = [&] {
        while (appended < chunkCount && finished[appended].load(std::memory_order_acquire))
            appendNext();
    };
    std::exception_ptr failure;
    {
        std::jthread thread;
        try {
            thread = std::jthread([&] {
                try {
                    take(other);
                } catch (...) {
                    failure = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            // No thread to be had: this one takes every chunk.
        }
        mine.examineChunk(pieces, chunk(0), false);
        for (std::size_t c = next++; c < chunkCount && !control.stopRequested(); c = next++) {
            mine.examineChunk(pieces, chunk(c), false);
            finished[c].store(true, std::memory_order_release);
            appendFinished();
        }
    } // the thread is joined here
    if (failure)
        std::rethrow_exception(failure);
    // What is left, in order; after a stop, chunks not reached add nothing.
    while (appended < chunkCount)
        appendNext();
    mine.finish();
    observer.foldersFound(catalogue.folderCount());
    observer.filesFound(catalogue.fileCount());
    return mine.namelessFiles() + other.namelessFiles();
}

} // namespace

void ScanMft(const disk::SelectedVolume& volume, Catalogue& catalogue, MftRunList& runs, ScanObserver& observer,
             ScanControl& control, const NtfsScanOptions& options)
{
    catalogue.ClearNtfsCatalogue();
    catalogue.NamesAreUtf8 = options.thorough;
    BuildMftRunList(runs, volume);
    if (runs.RunCount() == 0)
        ++catalogue.Losses.UnreadableRecords; // the MFT's own record: without its runs nothing can be read
    observer.stopAvailable(true);
    observer.progress(0);
    const std::uint32_t namelessFiles = examineMft(volume, catalogue, runs, observer, control, options);
    catalogue.Losses.Stopped = control.stopRequested();
    if (namelessFiles != 0) {
        // Before the lost folders are attached, so that none is made for its key.
        catalogue.AddNtfsFolder(kNamelessFolderName, kNamelessFolderKey, catalogue::kNtfsRootRecord, 0, 0, 0, 1);
        observer.foldersFound(catalogue.folderCount());
    }
    observer.progress(0);
    catalogue.AttachLostFolders(observer, control);
    observer.progress(0);
    observer.stopAvailable(false);
    observer.report({catalogue::StatusCode::CreatingDirectoryTree});
}

void RecordSightings::look(std::uint64_t offset, disk::ByteSpan bytes)
{
    // An MFT's clusters hold records from their first byte on; a cluster
    // smaller than a record holds one's start or its rest.
    for (std::uint64_t at = 0; at + 4 <= bytes.size(); at += m_recordBytes) {
        if (!hasFileSignature(bytes.subspan(static_cast<std::size_t>(at))))
            continue;
        const std::uint64_t start = offset + at;
        const std::uint64_t end = offset + std::max<std::uint64_t>(m_clusterBytes, at + m_recordBytes);
        if (!m_stretches.empty() && start <= m_stretches.back().offset + m_stretches.back().length)
            m_stretches.back().length = std::max(m_stretches.back().length, end - m_stretches.back().offset);
        else
            m_stretches.push_back({start, end - start});
        return;
    }
}

namespace {

/// The record numbers the catalogue's folders and files (not carved) hold.
std::unordered_set<std::uint64_t> listedNumbers(const Catalogue& catalogue)
{
    std::unordered_set<std::uint64_t> numbers;
    for (const auto& folder : catalogue.fsLists().NtfsFolderList)
        numbers.insert(folder.recordNumber);
    for (const auto& file : catalogue.fsLists().NtfsFileList)
        if (file.carved == catalogue::Carved::No)
            numbers.insert(file.recordNumber);
    return numbers;
}

/// The number a found record gives itself, when it is one to list: its
/// signature and update sequence hold, its header is NTFS 3.1's (which holds
/// the number), and it is no record of the volume's own files.
std::optional<std::uint32_t> foundRecordNumber(disk::ByteSpan record)
{
    // NTFS 3.1 moved the update sequence array to 48 to make room for the number at 44.
    constexpr std::uint64_t kNumberedHeaderArray = 48;
    if (!hasFileSignature(record) || !RecordFixupMatches(record))
        return std::nullopt;
    const disk::ByteReader r(record);
    if (r.u16or0(kRecordUpdateSequence) < kNumberedHeaderArray)
        return std::nullopt;
    const std::uint32_t number = r.u32or0(kRecordNumber);
    if (number < kFirstUserRecord)
        return std::nullopt;
    return number;
}

/// The folder and name bytes of the first file name a record holds (any name
/// space, in the order 0 to 3); nothing for a record without one.
std::optional<std::pair<std::uint32_t, std::vector<std::byte>>> firstName(disk::ByteSpan record)
{
    for (const auto& offset : LocateFileNames(record).value) {
        if (!offset)
            continue;
        disk::ByteSpan bytes;
        const FileNameInfo info = ReadFileNameFields(record, *offset, bytes);
        return std::pair{info.parentRecord, std::vector<std::byte>(bytes.begin(), bytes.end())};
    }
    return std::nullopt;
}

/// Whether record `number` of the MFT is in use by the file the record `found`
/// outside it (not fixed up) belongs to: the same sequence number and base
/// record, and the same first name in the same folder or the same creation
/// time (a file renamed since keeps it). Such a record is an old copy of a file
/// in use (Windows leaves them in the shadow copy store and where a piece of
/// the MFT moved from), not a lost file: the MFT's own record stands for it. A
/// copy of another sequence is an earlier file of that record, and one of
/// another name and creation time a file of an earlier volume (a format
/// numbers records and sequences from the start again): both are lost files.
bool inUseInMft(const disk::SelectedVolume& volume, const MftRunList& runs, std::uint32_t number, disk::ByteSpan found)
{
    const auto location = runs.locateRecord(number);
    if (!location || runs.isSparse(location->run) ||
        found.size() != std::size_t{runs.recordSectors()} * disk::kSectorSize)
        return false;
    MftRecord mine(runs.recordSectors());
    if (!ReadMftRecord(volume.reader, location->sector, mine) || !hasFileSignature(mine))
        return false;
    MftRecord copy(runs.recordSectors());
    std::copy(found.begin(), found.end(), copy.begin());
    ApplyRecordFixup(copy);
    const disk::ByteReader a(mine);
    const disk::ByteReader b(copy);
    if ((a.u8or0(kRecordFlags) & RecordFlags::FileInUse) == 0 ||
        a.u16or0(kRecordSequence) != b.u16or0(kRecordSequence) ||
        a.u64or0(kRecordBaseReference) != b.u64or0(kRecordBaseReference))
        return false;
    if (firstName(mine) == firstName(copy))
        return true;
    const auto made = SurveyRecord(mine).times;
    const auto copyMade = SurveyRecord(copy).times;
    return made && copyMade && made->first == copyMade->first;
}

/// Moves the found items whose folder was not found under "$Found records".
void attachFoundOrphans(Catalogue& catalogue, std::size_t firstFolder, std::size_t firstFile, FoundRecords& result)
{
    std::unordered_set<std::uint64_t> folders;
    for (std::size_t i = firstFolder; i < catalogue.fsLists().NtfsFolderList.size(); ++i)
        folders.insert(catalogue.fsLists().NtfsFolderList[i].recordNumber);
    std::uint64_t key = 0;
    for (const std::uint32_t candidate : kFoundFolderKeys)
        if (key == 0 && catalogue.findNtfsFolder(candidate) == nullptr)
            key = candidate;
    const auto adopt = [&](std::uint64_t& parent) {
        if (parent == catalogue::kNtfsRootRecord || folders.contains(parent) || key == 0)
            return;
        parent = key;
        ++result.orphans;
    };
    for (std::size_t i = firstFolder; i < catalogue.fsLists().NtfsFolderList.size(); ++i)
        adopt(catalogue.fsLists().NtfsFolderList[i].parentRecord);
    for (std::size_t i = firstFile; i < catalogue.fsLists().NtfsFileList.size(); ++i)
        adopt(catalogue.fsLists().NtfsFileList[i].parentRecord);
    if (result.orphans != 0)
        catalogue.AddNtfsFolder(kFoundFolderName, key, catalogue::kNtfsRootRecord, 0, 0, 0, 1);
}

} // namespace

FoundRecords AddFoundRecords(const disk::SelectedVolume& volume, Catalogue& catalogue, const MftRunList& runs,
                             const RecordSightings& sightings, ScanObserver& observer, ScanControl& control,
                             bool thorough)
{
    FoundRecords result;
    const std::uint32_t recordSectors = MftRecord(volume.geometry.MftRecordSectors).sectors();
    const std::size_t recordBytes = std::size_t{recordSectors} * disk::kSectorSize;
    const std::size_t firstFolder = catalogue.fsLists().NtfsFolderList.size();
    const std::size_t firstFile = catalogue.fsLists().NtfsFileList.size();
    std::uint64_t total = 0;
    for (const auto& stretch : sightings.stretches())
        total += stretch.length;
    observer.report({catalogue::StatusCode::ReadingMftRecordsInFreeSpace});
    observer.progress(0);
    std::unordered_set<std::uint64_t> taken = listedNumbers(catalogue);
    MftScanner scanner(volume, catalogue, runs, observer, control, thorough);
    std::vector<std::byte> block;
    std::uint64_t done = 0;
    for (const auto& stretch : sightings.stretches()) {
        for (std::uint64_t at = stretch.offset;
             at + recordBytes <= stretch.offset + stretch.length && !control.stopRequested();) {
            const std::uint64_t records =
                std::min<std::uint64_t>(kFoundRecordsPerRead, (stretch.offset + stretch.length - at) / recordBytes);
            block.resize(static_cast<std::size_t>(records) * recordBytes);
            // Stretches start at a cluster, so at a sector; a block that cannot
            // be read is counted and passed over.
            if (volume.reader.read(at / disk::kSectorSize, static_cast<std::uint32_t>(block.size() / disk::kSectorSize),
                                   block) != disk::ReadStatus::Ok) {
                catalogue.Losses.UnreadableSectors += block.size() / disk::kSectorSize;
                at += block.size();
                continue;
            }
            for (std::size_t k = 0; k < records; ++k) {
                const auto record = std::span(block).subspan(k * recordBytes, recordBytes);
                const auto number = foundRecordNumber(record);
                if (!number || taken.contains(*number) || inUseInMft(volume, runs, *number, record))
                    continue;
                taken.insert(*number);
                if (!scanner.examineFound(record, (at + k * recordBytes) / disk::kSectorSize, *number))
                    ++result.spread;
            }
            at += block.size();
            done += block.size();
            observer.progress(static_cast<std::uint32_t>(std::min<std::uint64_t>(99, 100 * done / total)));
            observer.foldersFound(catalogue.folderCount());
            observer.filesFound(catalogue.fileCount());
        }
    }
    result.folders = static_cast<std::uint32_t>(catalogue.fsLists().NtfsFolderList.size() - firstFolder);
    result.files = static_cast<std::uint32_t>(catalogue.fsLists().NtfsFileList.size() - firstFile);
    attachFoundOrphans(catalogue, firstFolder, firstFile, result);
    observer.foldersFound(catalogue.folderCount());
    observer.progress(0);
    return result;
}

} // namespace sarvik::ntfs
