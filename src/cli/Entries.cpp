#include "cli/Entries.h"

#include "catalogue/NameText.h"
#include "cli/TimeText.h"

namespace sarvik::cli {

namespace {

bool isFat(const scan::ScanSession& session)
{
    return session.kind() == catalogue::CatalogueKind::Fat;
}

/// An ISO text, or null when there is none.
Json isoOrNull(const std::string& text)
{
    return text.empty() ? Json(nullptr) : Json(text);
}

/// The write and access times of a FAT entry: the packed fields as read, then
/// the write time as a local time ("modified") and the access date ("accessed").
void fatTimes(Json& j, std::uint16_t writeDate, std::uint16_t writeTime, std::uint16_t accessDate, EntryStyle style)
{
    j["writeDate"] = writeDate;
    j["writeTime"] = style.fatTimesOfDay ? Json(writeTime) : Json(nullptr);
    j["accessDate"] = accessDate;
    j["modified"] = isoOrNull(style.fatTimesOfDay ? fatTimeIso(writeDate, writeTime) : fatDateIso(writeDate));
    j["accessed"] = isoOrNull(fatDateIso(accessDate));
}

void ntfsTimes(Json& j, std::uint64_t created, std::uint64_t modified)
{
    j["createdTime"] = created;
    j["modifiedTime"] = modified;
    j["created"] = isoOrNull(fileTimeIso(created));
    j["modified"] = isoOrNull(fileTimeIso(modified));
}

} // namespace

Json fileJson(const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    Json j = Json::object();
    if (isFat(session)) {
        const auto& e = session.catalogue.FatFileList[index];
        j["size"] = e.exfat ? e.exfat->dataLength : std::uint64_t{e.size};
        j["firstCluster"] = e.firstCluster;
        j["parentCluster"] = e.parentCluster;
        j["ordinal"] = e.ordinal;
        j["deleted"] = e.deleted != 0;
        fatTimes(j, e.writeDate, e.writeTime, e.accessDate, style);
        if (e.clusterInUse)
            j["clusterInUse"] = true;
        if (e.clusterHighInferred)
            j["clusterHighInferred"] = true;
        if (e.exfat) {
            j["validDataLength"] = e.exfat->validDataLength;
            j["noFatChain"] = e.exfat->noFatChain;
        }
        return j;
    }
    const auto& e = session.catalogue.NtfsFileList[index];
    j["size"] = e.size;
    j["recordNumber"] = e.recordNumber;
    j["parentRecord"] = e.parentRecord;
    j["recordSector"] = e.recordSector;
    j["deleted"] = e.deleted != 0;
    ntfsTimes(j, e.created, e.modified);
    return j;
}

Json folderJson(const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    Json j = Json::object();
    if (isFat(session)) {
        const auto& e = session.catalogue.FatFolderList[index];
        j["firstCluster"] = e.firstCluster;
        j["parentCluster"] = e.parentCluster;
        j["deleted"] = e.deleted != 0;
        fatTimes(j, e.writeDate, e.writeTime, e.accessDate, style);
        j["treeItem"] = e.treeItem;
        return j;
    }
    const auto& e = session.catalogue.NtfsFolderList[index];
    j["recordNumber"] = e.recordNumber;
    j["parentRecord"] = e.parentRecord;
    j["deleted"] = e.deleted != 0;
    ntfsTimes(j, e.created, e.modified);
    j["treeItem"] = e.treeItem;
    return j;
}

namespace {

/// The FAT write fields or NTFS times of the entry behind a row.
struct RowSource {
    bool fat = true;
    std::uint16_t writeDate = 0;
    std::uint16_t writeTime = 0;
    std::uint64_t created = 0;
    std::uint64_t modified = 0;
    std::uint64_t number = 0;
};

RowSource rowSource(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    const auto& c = session.catalogue;
    RowSource s;
    s.fat = isFat(session);
    if (s.fat) {
        if (row.folder && row.entryIndex < c.FatFolderList.size()) {
            const auto& e = c.FatFolderList[row.entryIndex];
            s = {true, e.writeDate, e.writeTime, 0, 0, e.firstCluster};
        } else if (!row.folder && row.entryIndex < c.FatFileList.size()) {
            const auto& e = c.FatFileList[row.entryIndex];
            s = {true, e.writeDate, e.writeTime, 0, 0, e.firstCluster};
        }
    } else if (row.folder && row.entryIndex < c.NtfsFolderList.size()) {
        const auto& e = c.NtfsFolderList[row.entryIndex];
        s = {false, 0, 0, e.created, e.modified, e.recordNumber};
    } else if (!row.folder && row.entryIndex < c.NtfsFileList.size()) {
        const auto& e = c.NtfsFileList[row.entryIndex];
        s = {false, 0, 0, e.created, e.modified, e.recordNumber};
    }
    return s;
}

} // namespace

RowTimes rowTimes(const scan::ScanSession& session, const catalogue::FileRow& row, EntryStyle style)
{
    const RowSource s = rowSource(session, row);
    if (s.fat)
        return {{}, style.fatTimesOfDay ? fatTimeText(s.writeDate, s.writeTime) : fatDateIso(s.writeDate)};
    return {fileTimeText(s.created), fileTimeText(s.modified)};
}

Json rowTimeJson(const scan::ScanSession& session, const catalogue::FileRow& row, bool modified, EntryStyle style)
{
    const RowSource s = rowSource(session, row);
    if (s.fat)
        return modified
                   ? isoOrNull(style.fatTimesOfDay ? fatTimeIso(s.writeDate, s.writeTime) : fatDateIso(s.writeDate))
                   : Json(nullptr);
    return isoOrNull(fileTimeIso(modified ? s.modified : s.created));
}

std::uint64_t rowNumber(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    return rowSource(session, row).number;
}

const char* numberField(const scan::ScanSession& session)
{
    return isFat(session) ? "firstCluster" : "recordNumber";
}

} // namespace sarvik::cli
