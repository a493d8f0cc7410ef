// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The in-memory result of a scan: every folder met and every deleted file found,
// in discovery order. FAT entries name their parent by the folder's first cluster
// (0 = root), NTFS entries by the folder's MFT record number (5 = root).

#include "catalogue/Entry.h"
#include "catalogue/ScanObserver.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sarvik::catalogue {

/// Shown when the catalogue cannot grow; the program then ends.
inline constexpr const char* kOutOfMemoryMessage = "Out of memory, close other applications and run again";

inline constexpr std::uint32_t kFatRootKey = 0;
/// Keys of the stand-ins for deleted entries of moved FAT folders start here,
/// above every cluster number a FAT32 volume can hold (28 bits).
inline constexpr std::uint32_t kFatMovedKeyBase = 0x10000000;
inline constexpr std::uint32_t kNtfsRootRecord = 5;

/// exFAT: what a file's entry set holds beyond the FAT fields (the catalogue
/// keeps exFAT volumes in its FAT half, keyed by first cluster the same way).
struct ExfatData {
    std::uint64_t dataLength = 0;      ///< bytes of the file; may pass 4 GiB
    std::uint64_t validDataLength = 0; ///< bytes written; the rest of the file reads as zeros
    bool noFatChain = false;           ///< its clusters are consecutive; the FAT holds no chain for it
    /// Timestamps: packed date in the high 16 bits, packed time (2-second steps)
    /// in the low 16, as FAT packs them.
    std::uint32_t created = 0;
    std::uint32_t modified = 0;
    std::uint32_t accessed = 0;
    std::uint8_t created10ms = 0; ///< 0..199: hundredths of a second added to the 2-second time
    std::uint8_t modified10ms = 0;
    /// UTC offsets: bit 7 set when valid, bits 0-6 a signed count of 15-minute steps.
    std::uint8_t createdUtc = 0;
    std::uint8_t modifiedUtc = 0;
    std::uint8_t accessedUtc = 0;
    /// The entry set's checksum does not match its bytes: it was damaged after
    /// it was written, and what it says (name, times, clusters) may be wrong.
    bool checksumBad = false;
};

/// Where a FAT or exFAT entry lies on the volume and when it was made: what a
/// timeline needs beside the write and access times. A snapshot keeps it only
/// in its FATENTRY= trailer; one without it loads zeros, and
/// Catalogue::FatEntryOrigins says so.
struct FatEntryOrigin {
    /// The entry's address (disk::VolumeGeometry::entryAddress): the short
    /// entry (FAT) or file entry (exFAT) that names it; 0 for folders and files
    /// that no entry stands for (found by their clusters or their content).
    std::uint64_t address = 0;
    std::uint16_t createDate = 0;  ///< packed FAT date, entry offset 0x10 (FAT only)
    std::uint16_t createTime = 0;  ///< packed FAT time of day, entry offset 0x0E (FAT only)
    std::uint8_t createTenths = 0; ///< 0..199 hundredths added to createTime, entry offset 0x0D (FAT only)
};

struct FatFolderEntry {
    std::string name;
    std::uint32_t firstCluster = 0;  ///< unique within the list
    std::uint32_t parentCluster = 0; ///< 0 for entries of the root directory
    std::uint16_t writeDate = 0;     ///< packed FAT date, entry offset 0x18
    std::uint16_t accessDate = 0;    ///< packed FAT date, entry offset 0x12
    std::uint32_t treeItem = 0;      ///< handle of its folder-tree item; 0 until the tree is built
    std::uint32_t deleted = 0;       ///< 1 when it or a folder above it is deleted
    std::uint16_t reserved = 0;
    std::uint16_t writeTime = 0; ///< packed FAT time of day, entry offset 0x16 (not kept by snapshots)
    std::optional<ExfatData> exfat = std::nullopt; ///< exFAT volumes only
    FatEntryOrigin origin;
    /// A deleted entry of a folder that was moved: the folder lives on under
    /// another (live) entry that names the same first cluster, whose key this
    /// is. Such a stand-in keeps the old entry's name, place and times under a
    /// key of its own (kFatMovedKeyBase and up) and holds nothing. 0 otherwise.
    std::uint32_t movedTo = 0;
};

/// A live folder entry that names the first cluster of a folder listed
/// already: a loop back to a folder above it, or two folders crossed. It is
/// not listed, and that folder is not read again.
struct FatFolderClash {
    std::string name;
    std::uint32_t parentCluster = 0; ///< the folder whose entry it is
    std::uint32_t firstCluster = 0;  ///< the folder listed already
};

/// What tells one entry from the others of its list across two scans of the
/// same volume, whose entries are numbered afresh: a FAT file's first cluster,
/// folder and entry address; an NTFS file's record sector, record and folder;
/// a folder's first cluster or record number.
struct EntryIdentity {
    bool folder = false;
    std::uint64_t key = 0, parent = 0, address = 0;
    bool operator==(const EntryIdentity&) const = default;
};

/// Whether a file was found by its content (carving) rather than by an entry.
enum class Carved : std::uint8_t {
    No,
    Whole,      ///< its format's structure ends within the free clusters it starts in
    Incomplete, ///< the structure breaks off (fragmented or overwritten): only a part is there
};

struct FatFileEntry {
    std::string name;
    std::uint32_t firstCluster = 0;
    std::uint32_t parentCluster = 0;
    std::uint16_t writeDate = 0;
    std::uint16_t accessDate = 0;
    std::uint32_t size = 0;
    std::uint32_t deleted = 1;
    std::uint32_t ordinal = 0; ///< fileCount() when it was added
    /// Thorough scan, FAT32: the high word of the first cluster is 0 and the
    /// cluster the low word names is in use, so the high word may have been
    /// cleared when the file was deleted and the data may lie elsewhere. Its
    /// copy reads another file's clusters.
    bool clusterInUse = false;
    /// Thorough scan, FAT32: the high word was 0 on disk and firstCluster takes
    /// it from the folder or a neighbouring entry, the one such cluster that is
    /// free with free room for the size (the low word's own cluster is in use).
    bool clusterHighInferred = false;
    /// Packed FAT time of day of the write (2-second steps), entry offset 0x16.
    /// A snapshot keeps it only in its FATTIME= trailer (thorough scans); one
    /// without the trailer loads it as 0, and FatTimesOfDay says so.
    std::uint16_t writeTime = 0;
    /// exFAT volumes only; `size` then holds at most 0xFFFFFFFF, exfat->dataLength the whole size.
    std::optional<ExfatData> exfat = std::nullopt;
    /// Found by carving: a file of "$Carved files", read from consecutive free clusters.
    Carved carved = Carved::No;
    FatEntryOrigin origin;
};

/// The FILETIMEs of a record's standard-information attribute, the times a
/// timeline shows; all 0 when not read (a snapshot that kept none, or a record
/// without a readable one).
struct NtfsStandardTimes {
    std::uint64_t created = 0;
    std::uint64_t modified = 0;      ///< the data's last write
    std::uint64_t recordChanged = 0; ///< the MFT record's last change
    std::uint64_t accessed = 0;
    [[nodiscard]] bool any() const noexcept
    {
        return created != 0 || modified != 0 || recordChanged != 0 || accessed != 0;
    }
};

/// NTFS record numbers are 48 bits on disk (the low 6 bytes of a file
/// reference) and kept in 64.
struct NtfsFolderEntry {
    std::string name;
    std::uint64_t recordNumber = 0;
    std::uint64_t parentRecord = 0; ///< 5 is the root directory
    std::uint64_t created = 0;      ///< FILETIME from the file-name attribute
    std::uint64_t modified = 0;
    std::uint32_t treeItem = 0;
    std::uint32_t deleted = 0; ///< 1 when the record's flags are exactly 2
    std::uint16_t reserved = 0;
    NtfsStandardTimes standard;
};

/// What the scan kept of the unnamed data attribute in the record at a deleted
/// NTFS file's recordSector, so that estimating its condition does not read
/// that record again.
enum class NtfsDataKept : std::uint8_t {
    No,       ///< nothing kept (a snapshot, or a record the estimate reads itself)
    None,     ///< no data a copy could read: no data attribute, no runs, or undecodable compression
    Resident, ///< the data lies in the record itself
    Runs,     ///< runCount runs from firstRun of FileSystemLists::NtfsDataRuns
};

struct NtfsFileEntry {
    std::string name;
    std::uint64_t recordNumber = 0;
    std::uint64_t parentRecord = 0;
    std::uint64_t created = 0;
    std::uint64_t modified = 0;
    std::uint64_t size = 0;
    std::uint32_t deleted = 1;
    /// Sector of the MFT record that holds the data attribute; for a carved
    /// file, the sector its bytes start at (its recordNumber is then that cluster).
    std::uint64_t recordSector = 0;
    NtfsDataKept dataKept = NtfsDataKept::No;
    std::uint32_t runCount = 0;
    std::uint64_t firstRun = 0;
    /// Found by carving: a file of "$Carved files", read from consecutive free clusters.
    Carved carved = Carved::No;
    NtfsStandardTimes standard;
    /// The scan made the name from UTF-16 (thorough rules), so it is well-formed
    /// UTF-8 and need not be checked again; false for a name of another origin.
    bool nameDecoded = false;
    /// A named data stream of the file (its name is then "FILE:STREAM"): the
    /// data attribute of this name in the record at recordSector is read, not
    /// the unnamed one. Empty for the file's own data.
    std::string stream{};
    /// With kept runs: the bytes of the data that were written (the attribute's
    /// initialized size); past them it reads as zeros, whatever its clusters
    /// hold. The maximum when not kept: all of it.
    std::uint64_t initialized = ~std::uint64_t{0};
};

/// What a scan could not read, and whether it was stopped before its end. A scan
/// that lists nothing because nothing could be read says so here.
struct ScanLosses {
    std::uint64_t UnreadableSectors = 0; ///< folder and allocation-table sectors
    std::uint64_t UnreadableRecords = 0; ///< MFT record positions
    bool Stopped = false;
    [[nodiscard]] bool any() const noexcept { return UnreadableSectors != 0 || UnreadableRecords != 0; }
};

/// Each file system's own form of the entries a scan found. FAT and exFAT
/// fill the first two, NTFS the others.
struct FileSystemLists {
    std::vector<FatFolderEntry> FatFolderList;
    std::vector<FatFileEntry> FatFileList;
    std::vector<NtfsFolderEntry> NtfsFolderList;
    std::vector<NtfsFileEntry> NtfsFileList;
    /// The runs the NTFS files' dataKept fields point into, in file order.
    std::vector<NtfsDataRun> NtfsDataRuns;
};

class Catalogue {
public:
    /// The lists in each file system's own form: for the scans that fill them,
    /// the copy and the Condition that read a file's bytes from them, and the
    /// snapshots that store them. Everything else reaches files through
    /// entry() (tools/check-style.sh layers holds the front ends to it).
    [[nodiscard]] FileSystemLists& fsLists() noexcept { return m_lists; }
    [[nodiscard]] const FileSystemLists& fsLists() const noexcept { return m_lists; }

    std::uint32_t EntriesExamined = 0;
    std::uint32_t TreeFoldersPlaced = 0;
    /// Filled by the scan that filled the lists; cleared with them.
    ScanLosses Losses;
    /// Live FAT folder entries not followed (thorough scans); not kept in snapshots.
    std::vector<FatFolderClash> FatFolderClashes;
    /// MFT records the deep search found outside the MFT but could not list:
    /// their attributes continue in further records of a lost MFT whose
    /// numbers can no longer be followed. Not kept in snapshots.
    std::uint32_t UnlistedFoundRecords = 0;
    /// Names are UTF-8 (a thorough scan, or a snapshot of one), not the 8-bit
    /// text of the default rules; display and output then take them as they are.
    bool NamesAreUtf8 = false;
    /// The FAT entries' writeTime fields were read (a scan, or a snapshot that
    /// kept them); a snapshot without them leaves them 0 and this false.
    bool FatTimesOfDay = true;
    /// The same for the FAT entries' origin fields (addresses, creation times).
    bool FatEntryOrigins = true;
    /// The deep search's passes over free space ran to their end on this
    /// catalogue (a quick scan, a stopped deep search, or a snapshot of one
    /// that does not say so: false).
    bool DeepSearched = false;

    /// Adds a folder unless one with the same first cluster is already listed.
    /// Returns true when it added.
    bool AddFatFolder(std::string name, std::uint32_t firstCluster, std::uint32_t parentCluster,
                      std::uint16_t writeDate, std::uint16_t accessDate, std::uint32_t treeItem, std::uint32_t deleted,
                      std::uint16_t writeTime = 0, const FatEntryOrigin& origin = {});
    /// Adds a folder read from a directory entry. A deleted entry and a live one
    /// that name the same first cluster are one folder that was moved: the
    /// live entry owns the cluster (it takes the place of a deleted entry
    /// listed before it, which must not have been read yet), and the deleted
    /// one is listed as a stand-in whose movedTo names it. Otherwise as
    /// AddFatFolder. Returns true when a folder was listed.
    bool AddFatFolderEntry(std::string name, std::uint32_t firstCluster, std::uint32_t parentCluster,
                           std::uint16_t writeDate, std::uint16_t accessDate, std::uint32_t deleted,
                           std::uint16_t writeTime, const FatEntryOrigin& origin);
    /// Adds a file with ordinal = fileCount().
    void AddFatFile(std::string name, std::uint32_t firstCluster, std::uint32_t parentCluster, std::uint16_t writeDate,
                    std::uint16_t accessDate, std::uint32_t size, std::uint32_t deleted, std::uint16_t writeTime = 0,
                    const FatEntryOrigin& origin = {});
    void AddNtfsFolder(std::string name, std::uint64_t recordNumber, std::uint64_t parentRecord, std::uint64_t created,
                       std::uint64_t modified, std::uint32_t treeItem, std::uint32_t deleted,
                       const NtfsStandardTimes& standard = {});
    void AddNtfsFile(std::uint64_t recordSector, std::string name, std::uint64_t recordNumber,
                     std::uint64_t parentRecord, std::uint64_t created, std::uint64_t modified, std::uint32_t deleted,
                     std::uint64_t size, const NtfsStandardTimes& standard = {});

    /// Records what the scan kept of the data of the file added last.
    void KeepNtfsFileData(NtfsDataKept kept, const std::vector<NtfsDataRun>& runs = {},
                          std::uint64_t initialized = ~std::uint64_t{0});

    void ClearFatCatalogue();
    void ClearNtfsCatalogue();

    /// Appends what a scan of a later part of the MFT listed in `later`: its
    /// folders and files after these (the first folder of a record number
    /// stays the one found), their kept runs, its counts and losses.
    void AppendNtfsEntries(Catalogue&& later);

    /// The times an NTFS entry goes by (listings, copies, selections). Under
    /// the thorough rules, those of its standard information, which Windows
    /// keeps current and shows; the file name's creation and write times where
    /// the record had no readable standard information. Under the classic
    /// rules, the file name's (recordChanged and accessed then 0).
    [[nodiscard]] NtfsStandardTimes ntfsTimes(const NtfsFolderEntry& e) const noexcept;
    [[nodiscard]] NtfsStandardTimes ntfsTimes(const NtfsFileEntry& e) const noexcept;
    /// Whether ntfsTimes gives the standard information's times for an entry
    /// (and the file name's times are then extra facts).
    [[nodiscard]] bool ntfsStandardTimesShown(const NtfsStandardTimes& standard) const noexcept
    {
        return NamesAreUtf8 && standard.any();
    }

    /// Index of the FAT folder whose first cluster is `firstCluster`.
    [[nodiscard]] const FatFolderEntry* findFatFolder(std::uint32_t firstCluster) const;
    /// The first NTFS folder whose record number is `recordNumber`.
    [[nodiscard]] const NtfsFolderEntry* findNtfsFolder(std::uint64_t recordNumber) const;

    /// Gives every NTFS folder and file whose parent is not a listed folder a
    /// substitute folder "Dir<n>" under the root.
    void AttachLostFolders(ScanObserver& observer, ScanControl& control);

    /// How many folders and files it lists (the root not counted).
    [[nodiscard]] std::uint32_t folderCount() const noexcept
    {
        return static_cast<std::uint32_t>(m_lists.FatFolderList.size() + m_lists.NtfsFolderList.size());
    }
    [[nodiscard]] std::uint32_t fileCount() const noexcept
    {
        return static_cast<std::uint32_t>(m_lists.FatFileList.size() + m_lists.NtfsFileList.size());
    }
    /// Which file system's entries it holds: NTFS once it lists an NTFS entry.
    [[nodiscard]] CatalogueKind kind() const noexcept
    {
        return m_lists.NtfsFolderList.empty() && m_lists.NtfsFileList.empty() ? CatalogueKind::Fat
                                                                              : CatalogueKind::Ntfs;
    }
    /// How many files and folders it lists (the root not counted); ids run from
    /// fileEntryId(0) and folderEntryId(0) up to these.
    [[nodiscard]] std::size_t fileEntryCount() const noexcept;
    [[nodiscard]] std::size_t folderEntryCount() const noexcept;
    /// The entry `id` names, in the one form every file system shares; an entry
    /// with id kNoEntryId when it names none. The root folder's is kRootEntryId.
    /// What `parts` leaves out keeps its default value (`parent` kNoEntryId,
    /// no times, no location).
    [[nodiscard]] Entry entry(EntryId id, EntryParts parts = EntryParts::All) const;
    /// entry(id).flags without the rest (0 for the root and for no entry): a
    /// count over every entry reads only these.
    [[nodiscard]] std::uint16_t entryFlags(EntryId id) const noexcept;
    /// What EntrySummary holds of entry `id`, as entry(id) gives it; nothing
    /// set when `id` names no file or folder.
    [[nodiscard]] EntrySummary summary(EntryId id) const noexcept;
    /// How many folders (`folders`) or files carry `flag`.
    [[nodiscard]] std::size_t countWith(bool folders, EntryFlag flag) const noexcept;
    /// The id of the folder whose key (a FAT first cluster or NTFS record
    /// number, as entries name their parents) is `key`: kRootEntryId for the
    /// root's, kNoEntryId when no folder of that key is listed.
    [[nodiscard]] EntryId folderIdByKey(std::uint64_t key) const;
    /// The key entries name folder `id` by (see folderIdByKey).
    [[nodiscard]] std::uint64_t folderKey(EntryId id) const;
    /// Gives entry `id` the name `name` (as the catalogue holds names); what
    /// identifies it across scans, or nothing when `id` names no entry.
    std::optional<EntryIdentity> renameEntry(EntryId id, const std::string& name);
    /// Gives every entry `identity` matches (in a later scan of the same
    /// volume) the name `name`; the tree handles of the folders renamed.
    std::vector<std::uint32_t> renameLike(const EntryIdentity& identity, const std::string& name);
    /// Changes when the file lists are filled again (a scan, a snapshot, a
    /// deep search), so that what was read of an entry can be told stale; a
    /// rename changes names in place and leaves it.
    [[nodiscard]] std::uintptr_t storageStamp() const noexcept;
    /// Entry `id`'s times as its entry recorded them, whatever rules the scan
    /// went by: an NTFS record's standard information wherever it was read
    /// (Entry::times gives it under the thorough rules only).
    [[nodiscard]] EntryTimes recordedTimes(EntryId id) const;
    /// Entry `id`'s Entry::parentNumber and Entry::listId, for loops over many
    /// entries that need no more of them; 0 when `id` names none.
    [[nodiscard]] std::uint64_t parentKey(EntryId id) const noexcept;
    [[nodiscard]] std::uint64_t listId(EntryId id) const noexcept;

private:
    /// The counts and losses both kinds of scan start from.
    void clearCounts();
    /// Lists the deleted entry of a moved folder as a stand-in under a key of its own.
    void addMovedStandIn(FatFolderEntry entry, std::uint32_t movedTo);
    FileSystemLists m_lists;
    std::unordered_map<std::uint32_t, std::size_t> m_fatFolderByCluster;
    std::uint32_t m_movedStandIns = 0;
    std::unordered_map<std::uint64_t, std::size_t> m_ntfsFolderByRecord;
};

} // namespace sarvik::catalogue
