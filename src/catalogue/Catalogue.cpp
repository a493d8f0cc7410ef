// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/Catalogue.h"

#include <algorithm>

namespace sarvik::catalogue {

bool Catalogue::AddFatFolder(std::string name, std::uint32_t firstCluster, std::uint32_t parentCluster,
                             std::uint16_t writeDate, std::uint16_t accessDate, std::uint32_t treeItem,
                             std::uint32_t deleted, std::uint16_t writeTime, const FatEntryOrigin& origin)
{
    if (m_fatFolderByCluster.contains(firstCluster))
        return false;
    m_lists.FatFolderList.push_back({std::move(name), firstCluster, parentCluster, writeDate, accessDate, treeItem,
                                     deleted, 0, writeTime, std::nullopt, origin});
    m_fatFolderByCluster.emplace(firstCluster, m_lists.FatFolderList.size() - 1);
    return true;
}

bool Catalogue::AddFatFolderEntry(std::string name, std::uint32_t firstCluster, std::uint32_t parentCluster,
                                  std::uint16_t writeDate, std::uint16_t accessDate, std::uint32_t deleted,
                                  std::uint16_t writeTime, const FatEntryOrigin& origin)
{
    const auto found = m_fatFolderByCluster.find(firstCluster);
    if (found == m_fatFolderByCluster.end())
        return AddFatFolder(std::move(name), firstCluster, parentCluster, writeDate, accessDate, 0, deleted, writeTime,
                            origin);
    FatFolderEntry& listed = m_lists.FatFolderList[found->second];
    FatFolderEntry entry{std::move(name), firstCluster, parentCluster, writeDate, accessDate, 0, deleted, 0,
                         writeTime,       std::nullopt, origin};
    if (listed.deleted != 0 && deleted == 0 && listed.movedTo == 0) {
        // The live entry takes the folder over; the deleted one listed first stands aside.
        FatFolderEntry old = std::move(listed);
        listed = std::move(entry);
        addMovedStandIn(std::move(old), firstCluster);
        return true;
    }
    if (listed.deleted == 0 && deleted != 0) {
        addMovedStandIn(std::move(entry), firstCluster);
        return true;
    }
    if (listed.deleted == 0 && deleted == 0)
        FatFolderClashes.push_back({std::move(entry.name), parentCluster, firstCluster});
    return false; // two entries of one kind for one cluster: the first stays
}

void Catalogue::addMovedStandIn(FatFolderEntry entry, std::uint32_t movedTo)
{
    entry.firstCluster = kFatMovedKeyBase + m_movedStandIns++;
    entry.movedTo = movedTo;
    entry.deleted = 1;
    entry.treeItem = 0;
    m_lists.FatFolderList.push_back(std::move(entry));
    m_fatFolderByCluster.emplace(m_lists.FatFolderList.back().firstCluster, m_lists.FatFolderList.size() - 1);
}

void Catalogue::AddFatFile(std::string name, std::uint32_t firstCluster, std::uint32_t parentCluster,
                           std::uint16_t writeDate, std::uint16_t accessDate, std::uint32_t size, std::uint32_t deleted,
                           std::uint16_t writeTime, const FatEntryOrigin& origin)
{
    m_lists.FatFileList.push_back({std::move(name), firstCluster, parentCluster, writeDate, accessDate, size, deleted,
                                   fileCount(), false, false, writeTime, std::nullopt, Carved::No, origin});
}

void Catalogue::AddNtfsFolder(std::string name, std::uint64_t recordNumber, std::uint64_t parentRecord,
                              std::uint64_t created, std::uint64_t modified, std::uint32_t treeItem,
                              std::uint32_t deleted, const NtfsStandardTimes& standard)
{
    m_lists.NtfsFolderList.push_back(
        {std::move(name), recordNumber, parentRecord, created, modified, treeItem, deleted, 0, standard});
    m_ntfsFolderByRecord.try_emplace(recordNumber, m_lists.NtfsFolderList.size() - 1);
}

void Catalogue::AddNtfsFile(std::uint64_t recordSector, std::string name, std::uint64_t recordNumber,
                            std::uint64_t parentRecord, std::uint64_t created, std::uint64_t modified,
                            std::uint32_t deleted, std::uint64_t size, const NtfsStandardTimes& standard)
{
    m_lists.NtfsFileList.push_back({std::move(name), recordNumber, parentRecord, created, modified, size, deleted,
                                    recordSector, NtfsDataKept::No, 0, 0, Carved::No, standard});
}

namespace {

/// The thorough rules are those that read names as UTF-8: a scan under them,
/// or a snapshot of one, sets NamesAreUtf8.
template <typename Entry> NtfsStandardTimes shownNtfsTimes(const Catalogue& c, const Entry& e) noexcept
{
    if (c.ntfsStandardTimesShown(e.standard))
        return e.standard;
    NtfsStandardTimes t;
    t.created = e.created;
    t.modified = e.modified;
    return t;
}

} // namespace

NtfsStandardTimes Catalogue::ntfsTimes(const NtfsFolderEntry& e) const noexcept
{
    return shownNtfsTimes(*this, e);
}

NtfsStandardTimes Catalogue::ntfsTimes(const NtfsFileEntry& e) const noexcept
{
    return shownNtfsTimes(*this, e);
}

void Catalogue::KeepNtfsFileData(NtfsDataKept kept, const std::vector<NtfsDataRun>& runs, std::uint64_t initialized)
{
    if (m_lists.NtfsFileList.empty())
        return;
    NtfsFileEntry& e = m_lists.NtfsFileList.back();
    e.dataKept = kept;
    e.firstRun = m_lists.NtfsDataRuns.size();
    e.runCount = kept == NtfsDataKept::Runs ? static_cast<std::uint32_t>(runs.size()) : 0;
    e.initialized = initialized;
    if (kept == NtfsDataKept::Runs)
        m_lists.NtfsDataRuns.insert(m_lists.NtfsDataRuns.end(), runs.begin(), runs.end());
}

void Catalogue::AppendNtfsEntries(Catalogue&& later)
{
    for (NtfsFolderEntry& folder : later.fsLists().NtfsFolderList) {
        m_ntfsFolderByRecord.try_emplace(folder.recordNumber, m_lists.NtfsFolderList.size());
        m_lists.NtfsFolderList.push_back(std::move(folder));
    }
    // A file's runs start where the list ended when they were kept.
    const std::uint64_t runBase = m_lists.NtfsDataRuns.size();
    for (NtfsFileEntry& file : later.fsLists().NtfsFileList) {
        if (file.dataKept != NtfsDataKept::No)
            file.firstRun += runBase;
        m_lists.NtfsFileList.push_back(std::move(file));
    }
    m_lists.NtfsDataRuns.insert(m_lists.NtfsDataRuns.end(), later.fsLists().NtfsDataRuns.begin(),
                                later.fsLists().NtfsDataRuns.end());
    EntriesExamined += later.EntriesExamined;
    Losses.UnreadableSectors += later.Losses.UnreadableSectors;
    Losses.UnreadableRecords += later.Losses.UnreadableRecords;
    Losses.Stopped = Losses.Stopped || later.Losses.Stopped;
    UnlistedFoundRecords += later.UnlistedFoundRecords;
    later.ClearNtfsCatalogue();
}

void Catalogue::clearCounts()
{
    Losses = {};
    DeepSearched = false;
    UnlistedFoundRecords = 0;
}

void Catalogue::ClearFatCatalogue()
{
    clearCounts();
    EntriesExamined = 0;
    FatTimesOfDay = true;
    FatEntryOrigins = true;
    m_lists.FatFolderList = {};
    m_lists.FatFileList = {};
    m_fatFolderByCluster = {};
    m_movedStandIns = 0;
    FatFolderClashes = {};
}

void Catalogue::ClearNtfsCatalogue()
{
    clearCounts();
    m_lists.NtfsFolderList = {};
    m_lists.NtfsFileList = {};
    m_lists.NtfsDataRuns = {};
    m_ntfsFolderByRecord = {};
}

const FatFolderEntry* Catalogue::findFatFolder(std::uint32_t firstCluster) const
{
    const auto it = m_fatFolderByCluster.find(firstCluster);
    return it == m_fatFolderByCluster.end() ? nullptr : &m_lists.FatFolderList[it->second];
}

const NtfsFolderEntry* Catalogue::findNtfsFolder(std::uint64_t recordNumber) const
{
    const auto it = m_ntfsFolderByRecord.find(recordNumber);
    return it == m_ntfsFolderByRecord.end() ? nullptr : &m_lists.NtfsFolderList[it->second];
}

void Catalogue::AttachLostFolders(ScanObserver& observer, ScanControl& control)
{
    std::uint32_t lostFolderNumber = 0;
    observer.report({StatusCode::SearchingForLostData});

    auto attach = [&](std::uint64_t parentRecord) {
        if (findNtfsFolder(parentRecord) != nullptr)
            return;
        AddNtfsFolder("Dir" + std::to_string(lostFolderNumber), parentRecord, kNtfsRootRecord, 0, 0, 0, 0);
        ++lostFolderNumber;
    };
    // An observer that does not follow each item hears the position when it moves.
    const bool everyEntry = observer.followsEachItem();
    std::uint32_t reported = ~0U;
    auto report = [&](std::uint64_t handled, std::uint32_t total) {
        const std::uint64_t position = total == 0 ? 0 : handled * 100 / total;
        const auto shown = static_cast<std::uint32_t>(std::min<std::uint64_t>(position, 99));
        if (everyEntry || shown != reported)
            observer.progress(shown);
        reported = shown;
    };

    // The folder list grows while it is walked: substitutes are appended at its
    // end (with parent 5, so the walk passes over them). The total is read anew
    // for each entry, as it grows with the list.
    auto walk = [&](const auto& list) {
        std::uint64_t handled = 0;
        // Entries of one folder mostly come together: the one before's parent has a folder now.
        std::uint64_t attached = kNtfsRootRecord;
        for (std::size_t i = 0; i < list.size() && !control.abandoned(); ++i) {
            report(handled, static_cast<std::uint32_t>(list.size()));
            const std::uint64_t parent = list[i].parentRecord;
            if (parent == kNtfsRootRecord)
                continue;
            ++handled;
            if (parent != attached)
                attach(parent);
            attached = parent;
        }
    };
    walk(m_lists.NtfsFolderList);
    walk(m_lists.NtfsFileList);
}

} // namespace sarvik::catalogue
