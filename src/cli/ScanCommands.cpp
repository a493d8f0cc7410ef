// sarvik scan, sarvik ls

#include "catalogue/NameText.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Progress.h"
#include "cli/Source.h"
#include "cli/Session.h"
#include "recovery/Condition.h"

#include <cstdio>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace sarvik::cli {

namespace {

using catalogue::toUtf8;

void volumeJson(JsonWriter& w, const scan::ScanSession& s)
{
    const auto& info = s.volume.info;
    const auto& g = s.volume.geometry;
    w.beginObject("volume")
        .value("VolumeKind", info.VolumeKind)
        .value("DevicePath", info.DevicePath)
        .value("VolumeClusterSectors", info.VolumeClusterSectors)
        .value("VolumeSectors", info.VolumeSectors)
        .value("VolumeLabel", toUtf8(info.VolumeLabel))
        .value("GeometryKind", g.GeometryKind)
        .value("SectorsPerCluster", g.SectorsPerCluster)
        .value("ClusterBaseSector", g.ClusterBaseSector)
        .value("FolderCount", s.catalogue.FolderCount)
        .value("FileCount", s.catalogue.FileCount)
        .endObject();
}

/// "condition" and the share of the file's clusters now in use; nothing when unknown.
void conditionJson(JsonWriter& w, const recovery::ConditionEstimate& e)
{
    if (e.condition == recovery::FileCondition::Unknown)
        return;
    w.value("condition", recovery::conditionText(e.condition))
        .value("overwrittenShare", e.share())
        .value("clusters", e.clusters)
        .value("clustersInUse", e.clustersInUse);
}

// The fields of one catalogue entry after its path and name, in the order
// each kind has always been written.
void fatDates(JsonWriter& w, std::uint16_t writeDate, std::uint16_t accessDate)
{
    w.value("writeDate", writeDate)
        .value("accessDate", accessDate)
        .value("created", catalogue::fatDateText(writeDate))
        .value("modified", catalogue::fatDateText(accessDate));
}

void ntfsTimes(JsonWriter& w, std::uint64_t created, std::uint64_t modified)
{
    w.value("createdTime", created)
        .value("modifiedTime", modified)
        .value("created", catalogue::fileTimeText(created))
        .value("modified", catalogue::fileTimeText(modified));
}

void entryFields(JsonWriter& w, const catalogue::FatFolderEntry& e)
{
    w.value("firstCluster", e.firstCluster).value("parentCluster", e.parentCluster).boolean("deleted", e.deleted != 0);
    fatDates(w, e.writeDate, e.accessDate);
    w.value("treeItem", e.treeItem);
}

void entryFields(JsonWriter& w, const catalogue::NtfsFolderEntry& e)
{
    w.value("recordNumber", e.recordNumber).value("parentRecord", e.parentRecord).boolean("deleted", e.deleted != 0);
    ntfsTimes(w, e.created, e.modified);
    w.value("treeItem", e.treeItem);
}

void entryFields(JsonWriter& w, const catalogue::FatFileEntry& e)
{
    w.value("size", e.exfat ? e.exfat->dataLength : std::uint64_t{e.size})
        .value("firstCluster", e.firstCluster)
        .value("parentCluster", e.parentCluster)
        .value("ordinal", e.ordinal)
        .boolean("deleted", e.deleted != 0);
    fatDates(w, e.writeDate, e.accessDate);
    if (e.clusterInUse)
        w.boolean("clusterInUse", true);
    if (e.clusterHighInferred)
        w.boolean("clusterHighInferred", true);
    if (e.exfat)
        w.value("validDataLength", e.exfat->validDataLength).boolean("noFatChain", e.exfat->noFatChain);
}

void entryFields(JsonWriter& w, const catalogue::NtfsFileEntry& e)
{
    w.value("size", e.size)
        .value("recordNumber", e.recordNumber)
        .value("parentRecord", e.parentRecord)
        .value("recordSector", e.recordSector)
        .boolean("deleted", e.deleted != 0);
    ntfsTimes(w, e.created, e.modified);
}

/// The rules that made the catalogue: a thorough scan (or a snapshot of one)
/// keeps its names in UTF-8, a classic one in 8 bits.
const char* rulesName(const catalogue::Catalogue& c)
{
    return c.NamesAreUtf8 ? "thorough" : "classic";
}

/// One array of entries; `path(i)` gives entry i's path, `extra` adds fields.
template <typename Entry, typename PathOf, typename Extra>
void entriesJson(JsonWriter& w, const char* key, const std::vector<Entry>& entries, bool namesAreUtf8, PathOf path,
                 Extra extra)
{
    w.beginArray(key);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        w.beginObject();
        if (const auto p = path(i))
            w.value("path", *p);
        else
            w.null("path");
        w.value("name", catalogue::nameToUtf8(e.name, namesAreUtf8));
        entryFields(w, e);
        extra(e);
        w.endObject();
    }
    w.endArray();
}

void scanJson(const scan::ScanSession& s)
{
    const auto& c = s.catalogue;
    JsonWriter w;
    w.beginObject();
    w.value("rules", rulesName(c));
    volumeJson(w, s);
    recovery::ConditionEstimator conditions(s.volume, c.NamesAreUtf8); // a thorough catalogue: as its copy reads
    conditions.useOverlaps(c);
    const auto folderPath = [&s](std::size_t i) { return folderEntryPath(s, i); };
    const auto filePath = [&s](std::size_t i) { return fileEntryPath(s, i); };
    const auto nothing = [](const auto&) {};
    const auto condition = [&](const auto& e) {
        if (e.deleted == 0)
            return;
        if constexpr (std::is_same_v<std::decay_t<decltype(e)>, catalogue::FatFileEntry>)
            conditionJson(w, conditions.fatFile(e));
        else
            conditionJson(w, conditions.ntfsFile(e));
    };
    if (s.kind() == catalogue::CatalogueKind::Fat) {
        entriesJson(w, "folders", c.FatFolderList, c.NamesAreUtf8, folderPath, nothing);
        entriesJson(w, "files", c.FatFileList, c.NamesAreUtf8, filePath, condition);
    } else {
        entriesJson(w, "folders", c.NtfsFolderList, c.NamesAreUtf8, folderPath, nothing);
        entriesJson(w, "files", c.NtfsFileList, c.NamesAreUtf8, filePath, condition);
    }
    w.endObject();
    std::fputs(w.str().c_str(), stdout);
}

void printFolder(const scan::ScanSession& s, const catalogue::TreeNode& node, int depth)
{
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    for (const auto& row : s.rows(node.key)) {
        if (row.folder) {
            std::printf("%s%s/%s\n", indent.c_str(), terminalText(row.name, s.catalogue.NamesAreUtf8).c_str(), row.deleted ? "  (deleted)" : "");
            if (const auto* child = s.tree.node(static_cast<std::uint32_t>(row.key)))
                printFolder(s, *child, depth + 1);
        } else {
            std::printf("%s%s %12s  %s\n", indent.c_str(), padded(terminalText(row.name, s.catalogue.NamesAreUtf8), 40).c_str(), row.size.c_str(),
                        row.modified.c_str());
        }
    }
}

} // namespace

int runScan(const std::vector<std::string>& args)
{
    SessionArgs sa;
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json")
            json = true;
        else if (!sa.consume(args, i)) {
            std::fprintf(stderr, "sarvik scan: unexpected argument '%s'\n", args[i].c_str());
            return 2;
        }
    }
    if (sa.source.empty()) {
        std::fputs("usage: sarvik scan SOURCE [--snapshot FILE [--force]] [--device PATH] [--classic] [--json]\n", stderr);
        return 2;
    }
    int status = kExitDone;
    auto session = openSession(sa, status);
    if (!session)
        return status;
    if (json) {
        scanJson(*session);
        return status;
    }
    const auto& s = *session;
    std::printf("%s volume %s, %s\n", disk::fileSystemName(s.volume.geometry.GeometryKind).c_str(),
                sa.source.c_str(), disk::ShowVolumeInfo(s.volume.info).capacity.c_str());
    std::puts(s.catalogue.NamesAreUtf8 ? "Thorough scan" : "Classic scan");
    std::puts("/");
    printFolder(s, s.tree.root(), 1);
    std::printf("%u folder(s), %u deleted file(s) found\n", s.catalogue.FolderCount, s.catalogue.FileCount);
    return status;
}

int runLs(const std::vector<std::string>& args)
{
    SessionArgs sa;
    bool json = false;
    std::string folder;
    std::vector<std::string> filters;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--filter" && i + 1 < args.size()) {
            filters.push_back(args[++i]);
        } else if (sa.consume(args, i)) {
        } else if (folder.empty() && !args[i].starts_with("--")) {
            folder = args[i];
        } else {
            std::fprintf(stderr, "sarvik ls: unexpected argument '%s'\n", args[i].c_str());
            return 2;
        }
    }
    if (sa.source.empty()) {
        std::fputs("usage: sarvik ls SOURCE [FOLDER] [--filter PATTERN]... [--classic] [--json]\n", stderr);
        return 2;
    }
    int status = kExitDone;
    auto session = openSession(sa, status);
    if (!session)
        return status;
    for (const auto& f : filters) {
        if (const auto r = session->filters.add(catalogue::nameFromUtf8(f, session->catalogue.NamesAreUtf8));
            r != search::AddPatternResult::Added) {
            std::fprintf(stderr, "sarvik ls: filter '%s': %s\n", f.c_str(), search::addPatternMessage(r));
            return 2;
        }
    }
    const catalogue::TreeNode* node = findFolder(*session, folder);
    if (node == nullptr) {
        std::fprintf(stderr, "sarvik ls: no folder '%s' in the scan\n", folder.c_str());
        return 1;
    }
    const auto rows = session->rows(node->key);
    if (json) {
        JsonWriter w;
        w.beginObject().value("folder", "/" + session->tree.path(node->handle)).beginArray("rows");
        for (const auto& r : rows) {
            w.beginObject()
                .value("Name", catalogue::nameToUtf8(r.name, session->catalogue.NamesAreUtf8))
                .value("Type", r.type)
                .value("Size", r.size)
                .value("Created", r.created)
                .value("Modified", r.modified)
                .value("ID", r.id);
            if (!r.condition.empty()) {
                // The share of the file's clusters now in use by something else.
                const double share = r.conditionClusters == 0 ? 0.0
                                                               : static_cast<double>(r.conditionClustersInUse) /
                                                                     static_cast<double>(r.conditionClusters);
                w.value("condition", r.condition)
                    .value("overwrittenShare", share)
                    .value("clusters", r.conditionClusters)
                    .value("clustersInUse", r.conditionClustersInUse);
            }
            w.endObject();
        }
        w.endArray().endObject();
        std::fputs(w.str().c_str(), stdout);
        return status;
    }
    std::printf("%-40s %-24s %12s  %-20s %-20s %-10s %s\n", "Name", "Type", "Size", "Created", "Modified", "ID",
                "Condition");
    for (const auto& r : rows)
        std::printf("%s %s %12s  %-20s %-20s %-10s %s\n",
                    padded(terminalText(r.name, session->catalogue.NamesAreUtf8), 40).c_str(),
                    padded(terminalText(r.type, session->catalogue.NamesAreUtf8), 24).c_str(), r.size.c_str(),
                    r.created.c_str(), r.modified.c_str(), r.id.c_str(), r.condition.c_str());
    return status;
}

} // namespace sarvik::cli
