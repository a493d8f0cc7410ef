// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/Properties.h"

#include "catalogue/ExfatTime.h"
#include "scan/ScanSession.h"
#include "session/DisplayText.h"
#include "session/EntryAccess.h"

#include <algorithm>
#include <variant>
#include <vector>

namespace sarvik::session {

std::string fileSizeText(std::uint64_t size)
{
    return std::to_string(size / 1024 + 1) + " KB";
}

FolderTotals countFolder(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                         const catalogue::CatalogueIndex& index, std::uint32_t treeItem)
{
    FolderTotals totals;
    std::vector<std::uint32_t> pending{treeItem};
    // Each node is visited once: the tree places a folder only once.
    while (!pending.empty() && totals.folders <= tree.size()) {
        const catalogue::TreeNode* node = tree.node(pending.back());
        pending.pop_back();
        if (node == nullptr)
            continue;
        ++totals.folders;
        const std::uint64_t key = node->folderIndex >= 0 ? node->key : 0;
        for (std::size_t f : index.filesIn(key)) {
            ++totals.files;
            totals.bytes += fileSize(catalogue, tree.kind(), f);
        }
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            pending.push_back(*it);
    }
    return totals;
}

std::string contentsText(const FolderTotals& totals)
{
    const std::uint64_t below = totals.folders > 0 ? totals.folders - 1 : 0;
    return std::to_string(totals.files) + " File(s) and " + std::to_string(below) + " Folder(s)";
}

std::string folderSizeText(const FolderTotals& totals)
{
    const std::uint64_t mb = totals.bytes / 1024 / 1024;
    return (mb == 0 ? std::string("Less than 1") : std::to_string(mb)) + " MB";
}

namespace {

std::string twoDigits(unsigned value)
{
    return std::string{static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

/// Where an entry's data lies: its first cluster, its runs, or its MFT record.
std::string clustersText(const DataPlace& place)
{
    const std::string first = std::to_string(place.first);
    switch (place.kind) {
    case DataPlace::Kind::None:
        break;
    case DataPlace::Kind::Chain:
        return "from cluster " + first + ", by the FAT's chain (consecutive clusters where it holds none)";
    case DataPlace::Kind::Consecutive:
        return "from cluster " + first + ", consecutive clusters";
    case DataPlace::Kind::Carved:
        return "from cluster " + first + ", consecutive clusters (found by content)";
    case DataPlace::Kind::InRecord:
        return "MFT record " + first + ", data inside the record";
    case DataPlace::Kind::Runs: {
        std::string text = "MFT record " + first;
        for (std::size_t i = 0; i < place.runs.size(); ++i) {
            const catalogue::NtfsDataRun& run = place.runs[i];
            text += i == 0 ? "; clusters " : ", ";
            if (run.sparse)
                text += std::to_string(run.length) + " sparse";
            else
                text += std::to_string(run.start) + "+" + std::to_string(run.length);
            if (run.missing)
                text += " (missing)";
        }
        if (place.moreRuns)
            text += ", ...";
        return text;
    }
    }
    return {};
}

/// The path of tree node `handle`, from the root.
std::string nodePath(const catalogue::FolderTree& tree, std::uint32_t handle)
{
    return "/" + tree.path(handle);
}

} // namespace

DataPlace dataPlace(const catalogue::Entry& e)
{
    DataPlace place;
    if (const auto* chain = std::get_if<catalogue::ClusterChainData>(&e.location)) {
        place.kind = chain->contiguous ? DataPlace::Kind::Consecutive : DataPlace::Kind::Chain;
        place.first = chain->firstCluster;
    } else if (const auto* carved = std::get_if<catalogue::CarvedExtent>(&e.location)) {
        place.kind = DataPlace::Kind::Carved;
        place.first = carved->firstCluster;
    } else if (const auto* record = std::get_if<catalogue::NtfsRecordData>(&e.location)) {
        place.kind = record->resident ? DataPlace::Kind::InRecord : DataPlace::Kind::Runs;
        place.first = record->recordNumber;
        if (!record->resident) {
            const std::size_t shown = std::min(record->runs.size(), kPlaceRunsShown);
            place.runs.assign(record->runs.begin(), record->runs.begin() + static_cast<std::ptrdiff_t>(shown));
            place.moreRuns = record->runs.size() > shown;
        }
    }
    return place;
}

std::string wholeTimeText(const catalogue::EntryTime& t)
{
    if (!t.known())
        return {};
    switch (t.source) {
    case catalogue::TimeSource::FatDate:
    case catalogue::TimeSource::FatTime: {
        const bool withTime = t.source == catalogue::TimeSource::FatTime;
        const auto date = static_cast<std::uint16_t>(withTime ? t.value >> 16 : t.value);
        if ((date & 0x1Fu) == 0 || ((date >> 5) & 0x0Fu) == 0)
            return {};
        std::string text = catalogue::fatDateText(date);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        if (!withTime)
            return text;
        const auto time = static_cast<unsigned>(t.value & 0xFFFFu);
        const unsigned seconds = (time & 0x1Fu) * 2 + t.hundredths / 100;
        return text + " " + twoDigits(time >> 11) + ":" + twoDigits((time >> 5) & 0x3Fu) + ":" + twoDigits(seconds);
    }
    case catalogue::TimeSource::ExfatTime:
        return catalogue::exfatTimeText(static_cast<std::uint32_t>(t.value), t.hundredths, t.utcOffset);
    case catalogue::TimeSource::NtfsStandardInformation:
    case catalogue::TimeSource::NtfsFileName:
        return catalogue::fileTimeText(t.value) + " UTC";
    case catalogue::TimeSource::None:
        break;
    }
    return {};
}

RowProperties rowProperties(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    RowProperties values;
    const catalogue::Entry entry = session.catalogue.entry(row.entry);
    if (entry.id != catalogue::kNoEntryId) {
        values.createdTime = wholeTimeText(entry.times.created);
        values.modifiedTime = wholeTimeText(entry.times.modified);
        values.accessedTime = wholeTimeText(entry.times.accessed);
        values.changedTime = wholeTimeText(entry.times.changed);
        values.place = dataPlace(entry);
        values.clusters = clustersText(values.place);
    }
    values.name = displayName(row.name, session.catalogue.NamesAreUtf8);
    values.created = row.created;
    values.modified = row.modified;
    // A folder row is told by its type, as the box has always told it.
    const std::string& type = row.type;
    values.folder = type.size() >= 6 && type.compare(type.size() - 6, 6, "Folder") == 0;
    if (values.folder) {
        const FolderTotals totals =
            countFolder(session.catalogue, session.tree, session.index(), static_cast<std::uint32_t>(row.key));
        values.contents = contentsText(totals);
        values.size = folderSizeText(totals);
        values.bytes = totals.bytes;
        values.totals = totals;
        values.path = nodePath(session.tree, static_cast<std::uint32_t>(row.key));
    } else {
        values.size = fileSizeText(row.size);
        values.bytes = row.size;
        // A parent not placed in the tree is listed under the root.
        const std::optional<std::uint64_t> parent = fileParentKey(session, row.entryIndex());
        const catalogue::TreeNode* node = parent ? session.tree.findByKey(*parent) : nullptr;
        const std::string folder =
            node != nullptr && node->folderIndex >= 0 ? nodePath(session.tree, node->handle) : std::string("/");
        values.path = folder + (folder.size() > 1 ? "/" : "") + values.name;
        values.condition = row.condition.empty() ? std::string("Unknown") : row.condition;
        values.conditionWord = values.condition;
        values.conditionClusters = row.conditionClusters;
        values.conditionClustersInUse = row.conditionClustersInUse;
        if (row.conditionClusters != 0)
            values.condition += " (" + std::to_string(row.conditionClustersInUse) + " of " +
                                std::to_string(row.conditionClusters) + " clusters in use by something else)";
    }
    return values;
}

} // namespace sarvik::session
