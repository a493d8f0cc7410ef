// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue's entries in the form every file system shares (Entry.h),
// read from the FAT, exFAT and NTFS forms the scans fill.

#include "catalogue/Catalogue.h"

#include <algorithm>
#include <type_traits>

namespace sarvik::catalogue {

namespace {

/// Entry flags built up one by one.
struct FlagBits {
    std::uint16_t bits = 0;
    FlagBits& set(EntryFlag flag, bool on) noexcept
    {
        if (on)
            bits = static_cast<std::uint16_t>(bits | static_cast<std::uint16_t>(flag));
        return *this;
    }
    FlagBits& carved(Carved carved) noexcept
    {
        return set(EntryFlag::Carved, carved != Carved::No)
            .set(EntryFlag::CarvedIncomplete, carved == Carved::Incomplete);
    }
};

/// An entry's flags as its list records them.
std::uint16_t flagsOf(const NtfsFolderEntry& e) noexcept
{
    return FlagBits{}.set(EntryFlag::Deleted, e.deleted != 0).bits;
}
std::uint16_t flagsOf(const NtfsFileEntry& e) noexcept
{
    return FlagBits{}
        .set(EntryFlag::Deleted, e.deleted == 1)
        .carved(e.carved)
        .set(EntryFlag::Stream, !e.stream.empty())
        .set(EntryFlag::NameDecoded, e.nameDecoded)
        .bits;
}
std::uint16_t flagsOf(const FatFolderEntry& e) noexcept
{
    return FlagBits{}
        .set(EntryFlag::Deleted, e.deleted != 0)
        .set(EntryFlag::Moved, e.movedTo != 0)
        .set(EntryFlag::ChecksumBad, e.exfat && e.exfat->checksumBad)
        .bits;
}
std::uint16_t flagsOf(const FatFileEntry& e) noexcept
{
    return FlagBits{}
        .set(EntryFlag::Deleted, e.deleted == 1)
        .carved(e.carved)
        .set(EntryFlag::ChecksumBad, e.exfat && e.exfat->checksumBad)
        .set(EntryFlag::ClusterInUse, e.clusterInUse)
        .set(EntryFlag::ClusterHighInferred, e.clusterHighInferred)
        .bits;
}

EntryTime fatTime(std::uint16_t date, std::uint16_t time, bool timesOfDay)
{
    if (!timesOfDay)
        return {TimeSource::FatDate, date, 0, 0};
    return {TimeSource::FatTime, (std::uint64_t{date} << 16) | time, 0, 0};
}

EntryTime exfatTime(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset)
{
    return {TimeSource::ExfatTime, stamp, tenMs, utcOffset};
}

/// FAT and exFAT times of an entry, into `t` (an EntryTimes, or an
/// EntrySummary, as a new one holds them); `origin` gives a FAT entry's
/// creation time.
template <typename FatEntry, typename Times> void fatEntryTimes(const Catalogue& c, const FatEntry& e, Times& t)
{
    if (e.exfat) {
        const ExfatData& d = *e.exfat;
        t.created = exfatTime(d.created, d.created10ms, d.createdUtc);
        t.modified = exfatTime(d.modified, d.modified10ms, d.modifiedUtc);
        t.accessed = exfatTime(d.accessed, 0, d.accessedUtc);
        return;
    }
    t.modified = fatTime(e.writeDate, e.writeTime, c.FatTimesOfDay);
    t.accessed = {TimeSource::FatDate, e.accessDate, 0, 0};
    // A creation time is kept by thorough scans, of entries that record one.
    if (c.FatTimesOfDay && c.FatEntryOrigins && e.origin.createDate != 0)
        t.created = {TimeSource::FatTime, (std::uint64_t{e.origin.createDate} << 16) | e.origin.createTime,
                     e.origin.createTenths, 0};
}

/// An NTFS entry's times as the catalogue shows them, into `t` (an
/// EntryTimes, or an EntrySummary, as a new one holds them). (The times
/// Catalogue::ntfsTimes gives, each with the attribute it came from.)
template <typename NtfsEntry, typename Times> void ntfsEntryTimes(const Catalogue& c, const NtfsEntry& e, Times& t)
{
    if (c.ntfsStandardTimesShown(e.standard)) {
        const auto si = TimeSource::NtfsStandardInformation;
        t.created = {si, e.standard.created};
        t.modified = {si, e.standard.modified};
        t.accessed = {si, e.standard.accessed};
        if constexpr (std::is_same_v<Times, EntryTimes>) {
            t.changed = {si, e.standard.recordChanged};
            t.nameCreated = {TimeSource::NtfsFileName, e.created};
            t.nameModified = {TimeSource::NtfsFileName, e.modified};
        }
    } else {
        t.created = {TimeSource::NtfsFileName, e.created};
        t.modified = {TimeSource::NtfsFileName, e.modified};
    }
}

/// What EntrySummary holds of a FAT or exFAT (`e.exfat`) entry, or of an NTFS one.
template <typename ListEntry>
EntrySummary summaryOf(const Catalogue& c, const ListEntry& e, std::uint64_t size, std::uint64_t listId)
{
    EntrySummary out{flagsOf(e), e.name, size, listId, {}, {}, {}};
    if constexpr (requires { e.exfat; })
        fatEntryTimes(c, e, out);
    else
        ntfsEntryTimes(c, e, out);
    return out;
}

} // namespace

std::size_t Catalogue::fileEntryCount() const noexcept
{
    return kind() == CatalogueKind::Ntfs ? m_lists.NtfsFileList.size() : m_lists.FatFileList.size();
}

std::size_t Catalogue::folderEntryCount() const noexcept
{
    return kind() == CatalogueKind::Ntfs ? m_lists.NtfsFolderList.size() : m_lists.FatFolderList.size();
}

EntryId Catalogue::folderIdByKey(std::uint64_t key) const
{
    if (kind() == CatalogueKind::Ntfs) {
        if (key == kNtfsRootRecord)
            return kRootEntryId;
        const auto it = m_ntfsFolderByRecord.find(key);
        return it == m_ntfsFolderByRecord.end() ? kNoEntryId : folderEntryId(it->second);
    }
    if (key == kFatRootKey)
        return kRootEntryId;
    if (key > UINT32_MAX)
        return kNoEntryId;
    const auto it = m_fatFolderByCluster.find(static_cast<std::uint32_t>(key));
    return it == m_fatFolderByCluster.end() ? kNoEntryId : folderEntryId(it->second);
}

std::uint64_t Catalogue::folderKey(EntryId id) const
{
    const bool ntfs = kind() == CatalogueKind::Ntfs;
    if (id == kRootEntryId)
        return ntfs ? kNtfsRootRecord : kFatRootKey;
    const std::size_t i = entryIndex(id);
    if (ntfs)
        return i < m_lists.NtfsFolderList.size() ? m_lists.NtfsFolderList[i].recordNumber : kNtfsRootRecord;
    return i < m_lists.FatFolderList.size() ? m_lists.FatFolderList[i].firstCluster : kFatRootKey;
}

namespace {

template <typename NtfsEntry> EntryTimes recordedNtfsTimes(const NtfsEntry& e)
{
    EntryTimes t;
    const NtfsStandardTimes& si = e.standard;
    if (!si.any()) {
        t.created = {TimeSource::NtfsFileName, e.created};
        t.modified = {TimeSource::NtfsFileName, e.modified};
        return t;
    }
    const auto source = TimeSource::NtfsStandardInformation;
    t.created = {source, si.created};
    t.modified = {source, si.modified};
    t.accessed = {source, si.accessed};
    t.changed = {source, si.recordChanged};
    t.nameCreated = {TimeSource::NtfsFileName, e.created};
    t.nameModified = {TimeSource::NtfsFileName, e.modified};
    return t;
}

} // namespace

EntryTimes Catalogue::recordedTimes(EntryId id) const
{
    if (kind() != CatalogueKind::Ntfs || id == kRootEntryId || id == kNoEntryId)
        return entry(id).times;
    const std::size_t i = entryIndex(id);
    if (isFolderId(id))
        return i < m_lists.NtfsFolderList.size() ? recordedNtfsTimes(m_lists.NtfsFolderList[i]) : EntryTimes{};
    return i < m_lists.NtfsFileList.size() ? recordedNtfsTimes(m_lists.NtfsFileList[i]) : EntryTimes{};
}

std::uintptr_t Catalogue::storageStamp() const noexcept
{
    return reinterpret_cast<std::uintptr_t>(m_lists.FatFileList.data()) ^ (m_lists.FatFileList.size() << 1) ^ // NOLINT
           reinterpret_cast<std::uintptr_t>(m_lists.NtfsFileList.data()) ^
           (m_lists.NtfsFileList.size() << 17); // NOLINT
}

namespace {

/// `field` of entry `id` in whichever of the four lists holds it; 0 when none does.
template <typename Field>
std::uint64_t listedField(const FileSystemLists& lists, bool ntfs, EntryId id, Field field) noexcept
{
    if (id == kRootEntryId || id == kNoEntryId)
        return 0;
    const std::size_t i = entryIndex(id);
    const auto at = [&](const auto& list) -> std::uint64_t { return i < list.size() ? field(list[i]) : 0; };
    if (isFolderId(id))
        return ntfs ? at(lists.NtfsFolderList) : at(lists.FatFolderList);
    return ntfs ? at(lists.NtfsFileList) : at(lists.FatFileList);
}

} // namespace

std::uint64_t Catalogue::parentKey(EntryId id) const noexcept
{
    struct Parent {
        std::uint64_t operator()(const FatFolderEntry& e) const noexcept { return e.parentCluster; }
        std::uint64_t operator()(const FatFileEntry& e) const noexcept { return e.parentCluster; }
        std::uint64_t operator()(const NtfsFolderEntry& e) const noexcept { return e.parentRecord; }
        std::uint64_t operator()(const NtfsFileEntry& e) const noexcept { return e.parentRecord; }
    };
    return listedField(m_lists, kind() == CatalogueKind::Ntfs, id, Parent{});
}

std::uint64_t Catalogue::listId(EntryId id) const noexcept
{
    // A folder's tree handle, a FAT file's ordinal, an NTFS file's record sector.
    struct ListId {
        std::uint64_t operator()(const FatFolderEntry& e) const noexcept { return e.treeItem; }
        std::uint64_t operator()(const FatFileEntry& e) const noexcept { return e.ordinal; }
        std::uint64_t operator()(const NtfsFolderEntry& e) const noexcept { return e.treeItem; }
        std::uint64_t operator()(const NtfsFileEntry& e) const noexcept { return e.recordSector; }
    };
    return listedField(m_lists, kind() == CatalogueKind::Ntfs, id, ListId{});
}

std::uint16_t Catalogue::entryFlags(EntryId id) const noexcept
{
    const auto flags = [](const auto& e) -> std::uint64_t { return flagsOf(e); };
    return static_cast<std::uint16_t>(listedField(m_lists, kind() == CatalogueKind::Ntfs, id, flags));
}

EntrySummary Catalogue::summary(EntryId id) const noexcept
{
    if (id == kRootEntryId || id == kNoEntryId)
        return {};
    const std::size_t i = entryIndex(id);
    const bool folder = isFolderId(id);
    if (kind() == CatalogueKind::Ntfs) {
        if (folder && i < m_lists.NtfsFolderList.size()) {
            const NtfsFolderEntry& e = m_lists.NtfsFolderList[i];
            return summaryOf(*this, e, 0, e.treeItem);
        }
        if (!folder && i < m_lists.NtfsFileList.size()) {
            const NtfsFileEntry& e = m_lists.NtfsFileList[i];
            return summaryOf(*this, e, e.size, e.recordSector);
        }
        return {};
    }
    if (folder && i < m_lists.FatFolderList.size()) {
        const FatFolderEntry& e = m_lists.FatFolderList[i];
        return summaryOf(*this, e, 0, e.treeItem);
    }
    if (!folder && i < m_lists.FatFileList.size()) {
        const FatFileEntry& e = m_lists.FatFileList[i];
        return summaryOf(*this, e, e.exfat ? e.exfat->dataLength : std::uint64_t{e.size}, e.ordinal);
    }
    return {};
}

std::size_t Catalogue::countWith(bool folders, EntryFlag flag) const noexcept
{
    const auto count = [flag](const auto& list) {
        std::size_t n = 0;
        for (const auto& e : list)
            n += hasFlag(flagsOf(e), flag) ? 1U : 0U;
        return n;
    };
    if (kind() == CatalogueKind::Ntfs)
        return folders ? count(m_lists.NtfsFolderList) : count(m_lists.NtfsFileList);
    return folders ? count(m_lists.FatFolderList) : count(m_lists.FatFileList);
}

Entry Catalogue::entry(EntryId id, EntryParts parts) const
{
    Entry out;
    const bool ntfs = kind() == CatalogueKind::Ntfs;
    const auto parentOf = [this, parts](std::uint64_t key) {
        return parts == EntryParts::All ? folderIdByKey(key) : kNoEntryId;
    };
    const bool timesAndLocation = parts != EntryParts::Basic;
    if (id == kRootEntryId) {
        out.id = id;
        out.kind = EntryKind::Folder;
        out.number = ntfs ? kNtfsRootRecord : kFatRootKey;
        return out;
    }
    const std::size_t i = entryIndex(id);
    const bool folder = isFolderId(id);
    if (ntfs) {
        if (folder && i < m_lists.NtfsFolderList.size()) {
            const NtfsFolderEntry& e = m_lists.NtfsFolderList[i];
            out.kind = EntryKind::Folder;
            out.parent = parentOf(e.parentRecord);
            out.parentNumber = e.parentRecord;
            out.flags = flagsOf(e);
            out.name = e.name;
            if (timesAndLocation)
                ntfsEntryTimes(*this, e, out.times);
            out.number = e.recordNumber;
            out.listId = e.treeItem;
        } else if (!folder && i < m_lists.NtfsFileList.size()) {
            const NtfsFileEntry& e = m_lists.NtfsFileList[i];
            out.kind = EntryKind::File;
            out.parent = parentOf(e.parentRecord);
            out.parentNumber = e.parentRecord;
            out.flags = flagsOf(e);
            out.name = e.name;
            out.size = e.size;
            out.initialized = e.dataKept == NtfsDataKept::Runs ? std::min(e.initialized, e.size) : e.size;
            if (timesAndLocation)
                ntfsEntryTimes(*this, e, out.times);
            out.number = e.recordNumber;
            out.listId = e.recordSector;
            if (timesAndLocation && e.carved != Carved::No) {
                out.location.emplace<CarvedExtent>(
                    CarvedExtent{e.recordNumber}); // a carved file's record number is its cluster
            } else if (timesAndLocation) {
                NtfsRecordData data{e.recordSector, e.recordNumber, e.stream, e.dataKept == NtfsDataKept::Resident, {}};
                if (e.dataKept == NtfsDataKept::Runs && e.firstRun <= m_lists.NtfsDataRuns.size() &&
                    e.runCount <= m_lists.NtfsDataRuns.size() - e.firstRun)
                    data.runs = std::span<const NtfsDataRun>(m_lists.NtfsDataRuns).subspan(e.firstRun, e.runCount);
                out.location.emplace<NtfsRecordData>(data);
            }
        } else {
            return out;
        }
        out.id = id;
        return out;
    }
    if (folder && i < m_lists.FatFolderList.size()) {
        const FatFolderEntry& e = m_lists.FatFolderList[i];
        out.kind = EntryKind::Folder;
        out.parent = parentOf(e.parentCluster);
        out.parentNumber = e.parentCluster;
        out.flags = flagsOf(e);
        out.name = e.name;
        if (timesAndLocation)
            fatEntryTimes(*this, e, out.times);
        out.number = e.firstCluster;
        out.listId = e.treeItem;
        out.entryAddress = FatEntryOrigins ? e.origin.address : 0;
        if (e.movedTo != 0)
            out.movedTo = folderIdByKey(e.movedTo);
    } else if (!folder && i < m_lists.FatFileList.size()) {
        const FatFileEntry& e = m_lists.FatFileList[i];
        out.kind = EntryKind::File;
        out.parent = parentOf(e.parentCluster);
        out.parentNumber = e.parentCluster;
        out.flags = flagsOf(e);
        out.name = e.name;
        out.size = e.exfat ? e.exfat->dataLength : std::uint64_t{e.size};
        out.initialized = e.exfat ? std::min(e.exfat->validDataLength, e.exfat->dataLength) : out.size;
        if (timesAndLocation)
            fatEntryTimes(*this, e, out.times);
        out.number = e.firstCluster;
        out.listId = e.ordinal;
        out.entryAddress = FatEntryOrigins ? e.origin.address : 0;
        if (timesAndLocation && e.carved != Carved::No)
            out.location.emplace<CarvedExtent>(CarvedExtent{e.firstCluster});
        else if (timesAndLocation)
            out.location.emplace<ClusterChainData>(ClusterChainData{e.firstCluster, e.exfat && e.exfat->noFatChain});
    } else {
        return out;
    }
    out.id = id;
    return out;
}

std::optional<EntryIdentity> Catalogue::renameEntry(EntryId id, const std::string& name)
{
    if (id == kRootEntryId || id == kNoEntryId)
        return std::nullopt;
    const std::size_t i = entryIndex(id);
    const bool ntfs = kind() == CatalogueKind::Ntfs;
    if (isFolderId(id)) {
        if (ntfs && i < m_lists.NtfsFolderList.size()) {
            m_lists.NtfsFolderList[i].name = name;
            return EntryIdentity{true, m_lists.NtfsFolderList[i].recordNumber, 0, 0};
        }
        if (!ntfs && i < m_lists.FatFolderList.size()) {
            m_lists.FatFolderList[i].name = name;
            return EntryIdentity{true, m_lists.FatFolderList[i].firstCluster, 0, 0};
        }
        return std::nullopt;
    }
    if (ntfs && i < m_lists.NtfsFileList.size()) {
        NtfsFileEntry& e = m_lists.NtfsFileList[i];
        e.name = name;
        return EntryIdentity{false, e.recordSector, e.recordNumber, e.parentRecord};
    }
    if (!ntfs && i < m_lists.FatFileList.size()) {
        FatFileEntry& e = m_lists.FatFileList[i];
        e.name = name;
        return EntryIdentity{false, e.firstCluster, e.parentCluster, e.origin.address};
    }
    return std::nullopt;
}

std::vector<std::uint32_t> Catalogue::renameLike(const EntryIdentity& r, const std::string& name)
{
    std::vector<std::uint32_t> folders;
    const bool ntfs = kind() == CatalogueKind::Ntfs;
    if (r.folder && !ntfs) {
        for (FatFolderEntry& e : m_lists.FatFolderList)
            if (e.firstCluster == r.key) {
                e.name = name;
                folders.push_back(e.treeItem);
            }
    } else if (r.folder) {
        for (NtfsFolderEntry& e : m_lists.NtfsFolderList)
            if (e.recordNumber == r.key) {
                e.name = name;
                folders.push_back(e.treeItem);
            }
    } else if (!ntfs) {
        for (FatFileEntry& e : m_lists.FatFileList)
            if (e.firstCluster == r.key && e.parentCluster == r.parent && e.origin.address == r.address)
                e.name = name;
    } else {
        for (NtfsFileEntry& e : m_lists.NtfsFileList)
            if (e.recordSector == r.key && e.recordNumber == r.parent && e.parentRecord == r.address)
                e.name = name;
    }
    return folders;
}

} // namespace sarvik::catalogue
