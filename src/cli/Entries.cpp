#include "cli/Entries.h"

#include "catalogue/NameText.h"
#include "cli/Session.h"
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

/// Members added to a Json object, as a JsonLine adds them to its text.
struct JsonMembers {
    Json& j;
    template <typename T> JsonMembers& add(const JsonKey& key, const T& value)
    {
        j[std::string(key.name())] = value;
        return *this;
    }
    JsonMembers& add(const JsonKey& key, std::string_view text)
    {
        j[std::string(key.name())] = std::string(text);
        return *this;
    }
    JsonMembers& addPlain(const JsonKey& key, std::string_view text) { return add(key, text); }
};

/// An ISO time the program wrote (plain ASCII), or null when there is none.
template <typename Out> void addIso(Out& out, const JsonKey& key, std::string_view text)
{
    if (text.empty())
        out.add(key, nullptr);
    else
        out.addPlain(key, text);
}

bool keepsAddress(const scan::ScanSession& session, const catalogue::FatEntryOrigin& origin)
{
    return session.catalogue.FatEntryOrigins && origin.address != 0;
}

template <typename Out>
void addEntryAddress(Out& out, const scan::ScanSession& session, const catalogue::FatEntryOrigin& origin)
{
    if (keepsAddress(session, origin))
        out.add("entryAddress", origin.address);
    else
        out.add("entryAddress", nullptr);
}

/// The write and access times of a FAT entry: the packed fields as read, then
/// the write time as a local time ("modified") and the access date ("accessed").
template <typename Out>
void fatTimes(Out& out, std::uint16_t writeDate, std::uint16_t writeTime, std::uint16_t accessDate, EntryStyle style)
{
    out.add("writeDate", writeDate);
    if (style.fatTimesOfDay)
        out.add("writeTime", writeTime);
    else
        out.add("writeTime", nullptr);
    out.add("accessDate", accessDate);
    addIso(out, "modified", style.fatTimesOfDay ? fatTimeIso(writeDate, writeTime) : fatDateIso(writeDate));
    addIso(out, "accessed", fatDateIso(accessDate));
}

/// The times of an exFAT entry: the packed FAT fields as for FAT, then each
/// time with its 10 ms steps and in UTC where its offset byte is valid.
template <typename Out>
void exfatTimes(Out& out, std::uint16_t writeDate, std::uint16_t writeTime, std::uint16_t accessDate,
                const catalogue::ExfatData& d)
{
    out.add("writeDate", writeDate);
    out.add("writeTime", writeTime);
    out.add("accessDate", accessDate);
    addIso(out, "modified", exfatTimeIso(d.modified, d.modified10ms, d.modifiedUtc));
    addIso(out, "accessed", exfatTimeIso(d.accessed, 0, d.accessedUtc));
    addIso(out, "created", exfatTimeIso(d.created, d.created10ms, d.createdUtc));
}

/// An NTFS entry's times as the catalogue gives them (Catalogue::ntfsTimes).
/// Where those are the standard information's, its access and record-change
/// times follow, and the file name's creation and write times go beside them.
template <typename Out, typename Entry> void ntfsTimes(Out& out, const catalogue::Catalogue& catalogue, const Entry& e)
{
    const catalogue::NtfsStandardTimes t = catalogue.ntfsTimes(e);
    out.add("createdTime", t.created);
    out.add("modifiedTime", t.modified);
    addIso(out, "created", fileTimeIsoText(t.created).view());
    addIso(out, "modified", fileTimeIsoText(t.modified).view());
    if (!catalogue.ntfsStandardTimesShown(e.standard))
        return;
    out.add("accessedTime", t.accessed);
    out.add("recordChangedTime", t.recordChanged);
    addIso(out, "accessed", fileTimeIsoText(t.accessed).view());
    addIso(out, "recordChanged", fileTimeIsoText(t.recordChanged).view());
    out.add("fileNameCreatedTime", e.created);
    out.add("fileNameModifiedTime", e.modified);
    addIso(out, "fileNameCreated", fileTimeIsoText(e.created).view());
    addIso(out, "fileNameModified", fileTimeIsoText(e.modified).view());
}

template <typename Out>
void fileMembers(Out& out, const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    if (isFat(session)) {
        const auto& e = session.catalogue.FatFileList[index];
        out.add("size", e.exfat ? e.exfat->dataLength : std::uint64_t{e.size});
        out.add("firstCluster", e.firstCluster);
        addEntryAddress(out, session, e.origin);
        out.add("parentCluster", e.parentCluster);
        out.add("ordinal", e.ordinal);
        out.add("deleted", e.deleted != 0);
        if (e.exfat)
            exfatTimes(out, e.writeDate, e.writeTime, e.accessDate, *e.exfat);
        else
            fatTimes(out, e.writeDate, e.writeTime, e.accessDate, style);
        if (e.clusterInUse)
            out.add("clusterInUse", true);
        if (e.clusterHighInferred)
            out.add("clusterHighInferred", true);
        if (const char* carved = carvedText(session, index))
            out.add("carved", carved);
        if (e.exfat) {
            out.add("validDataLength", e.exfat->validDataLength);
            out.add("noFatChain", e.exfat->noFatChain);
            if (e.exfat->checksumBad)
                out.add("checksumBad", true);
        }
        return;
    }
    const auto& e = session.catalogue.NtfsFileList[index];
    out.add("size", e.size);
    out.add("recordNumber", e.recordNumber);
    out.add("parentRecord", e.parentRecord);
    out.add("recordSector", e.recordSector);
    out.add("deleted", e.deleted != 0);
    ntfsTimes(out, session.catalogue, e);
    if (const char* carved = carvedText(session, index))
        out.add("carved", carved);
}

} // namespace

std::optional<std::string> movedFolderPath(const scan::ScanSession& session, const catalogue::FatFolderEntry& standIn)
{
    const auto* live = session.catalogue.findFatFolder(standIn.movedTo);
    if (live == nullptr)
        return std::nullopt;
    return folderEntryPath(session, static_cast<std::size_t>(live - session.catalogue.FatFolderList.data()));
}

namespace {

template <typename Out>
void folderMembers(Out& out, const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    if (isFat(session)) {
        const auto& e = session.catalogue.FatFolderList[index];
        out.add("firstCluster", e.firstCluster);
        addEntryAddress(out, session, e.origin);
        out.add("parentCluster", e.parentCluster);
        out.add("deleted", e.deleted != 0);
        if (e.exfat)
            exfatTimes(out, e.writeDate, e.writeTime, e.accessDate, *e.exfat);
        else
            fatTimes(out, e.writeDate, e.writeTime, e.accessDate, style);
        if (e.exfat && e.exfat->checksumBad)
            out.add("checksumBad", true);
        out.add("treeItem", e.treeItem);
        if (e.movedTo != 0) {
            // The deleted entry of a moved folder: where the folder is now.
            if (const auto path = movedFolderPath(session, e))
                out.add("movedTo", std::string_view(*path));
            else
                out.add("movedTo", nullptr);
        }
        return;
    }
    const auto& e = session.catalogue.NtfsFolderList[index];
    out.add("recordNumber", e.recordNumber);
    out.add("parentRecord", e.parentRecord);
    out.add("deleted", e.deleted != 0);
    ntfsTimes(out, session.catalogue, e);
    out.add("treeItem", e.treeItem);
}

} // namespace

const char* carvedText(const scan::ScanSession& session, std::size_t index)
{
    const auto& c = session.catalogue;
    const bool fat = isFat(session);
    if (index >= (fat ? c.FatFileList.size() : c.NtfsFileList.size()))
        return nullptr;
    switch (fat ? c.FatFileList[index].carved : c.NtfsFileList[index].carved) {
    case catalogue::Carved::Whole:
        return "whole";
    case catalogue::Carved::Incomplete:
        return "incomplete";
    case catalogue::Carved::No:
        break;
    }
    return nullptr;
}

Json fileJson(const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    Json j = Json::object();
    JsonMembers out{j};
    fileMembers(out, session, index, style);
    return j;
}

Json folderJson(const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    Json j = Json::object();
    JsonMembers out{j};
    folderMembers(out, session, index, style);
    return j;
}

void addFileMembers(JsonLine& line, const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    fileMembers(line, session, index, style);
}

void addFolderMembers(JsonLine& line, const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    folderMembers(line, session, index, style);
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
    const catalogue::FatEntryOrigin* origin = nullptr; ///< FAT only
    const catalogue::ExfatData* exfat = nullptr;       ///< exFAT only
};

RowSource rowSource(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    const auto& c = session.catalogue;
    RowSource s;
    s.fat = isFat(session);
    if (s.fat) {
        if (row.folder && row.entryIndex < c.FatFolderList.size()) {
            const auto& e = c.FatFolderList[row.entryIndex];
            s = {true, e.writeDate, e.writeTime, 0, 0, e.firstCluster, &e.origin, e.exfat ? &*e.exfat : nullptr};
        } else if (!row.folder && row.entryIndex < c.FatFileList.size()) {
            const auto& e = c.FatFileList[row.entryIndex];
            s = {true, e.writeDate, e.writeTime, 0, 0, e.firstCluster, &e.origin, e.exfat ? &*e.exfat : nullptr};
        }
    } else if (row.folder && row.entryIndex < c.NtfsFolderList.size()) {
        const auto& e = c.NtfsFolderList[row.entryIndex];
        const catalogue::NtfsStandardTimes t = c.ntfsTimes(e);
        s = {false, 0, 0, t.created, t.modified, e.recordNumber};
    } else if (!row.folder && row.entryIndex < c.NtfsFileList.size()) {
        const auto& e = c.NtfsFileList[row.entryIndex];
        const catalogue::NtfsStandardTimes t = c.ntfsTimes(e);
        s = {false, 0, 0, t.created, t.modified, e.recordNumber};
    }
    return s;
}

/// A FAT entry's creation time is shown when the scan read it: an entry of a
/// thorough scan (not a classic one, whose times are dates) that records one.
bool hasCreationTime(const scan::ScanSession& session, const RowSource& s, EntryStyle style)
{
    return style.fatTimesOfDay && session.catalogue.FatEntryOrigins && s.origin != nullptr && s.origin->createDate != 0;
}

std::string createdText(const scan::ScanSession& session, const RowSource& s, EntryStyle style)
{
    return hasCreationTime(session, s, style) ? fatTimeText(s.origin->createDate, s.origin->createTime) : std::string{};
}

} // namespace

RowTimes rowTimes(const scan::ScanSession& session, const catalogue::FileRow& row, EntryStyle style)
{
    const RowSource s = rowSource(session, row);
    if (s.exfat != nullptr)
        return {exfatTimeText(s.exfat->created, s.exfat->created10ms, s.exfat->createdUtc),
                exfatTimeText(s.exfat->modified, s.exfat->modified10ms, s.exfat->modifiedUtc)};
    if (s.fat)
        return {createdText(session, s, style), rowModifiedText(session, row, style)};
    return {fileTimeText(s.created), fileTimeText(s.modified)};
}

std::string rowModifiedText(const scan::ScanSession& session, const catalogue::FileRow& row, EntryStyle style)
{
    const RowSource s = rowSource(session, row);
    if (s.exfat != nullptr)
        return exfatTimeText(s.exfat->modified, s.exfat->modified10ms, s.exfat->modifiedUtc);
    if (s.fat)
        return style.fatTimesOfDay ? fatTimeText(s.writeDate, s.writeTime) : fatDateIso(s.writeDate);
    return fileTimeText(s.modified);
}

Json rowTimeJson(const scan::ScanSession& session, const catalogue::FileRow& row, bool modified, EntryStyle style)
{
    const RowSource s = rowSource(session, row);
    if (s.exfat != nullptr)
        return isoOrNull(modified ? exfatTimeIso(s.exfat->modified, s.exfat->modified10ms, s.exfat->modifiedUtc)
                                  : exfatTimeIso(s.exfat->created, s.exfat->created10ms, s.exfat->createdUtc));
    if (s.fat) {
        if (!modified)
            return hasCreationTime(session, s, style)
                       ? isoOrNull(fatTimeIso(s.origin->createDate, s.origin->createTime))
                       : Json(nullptr);
        return isoOrNull(style.fatTimesOfDay ? fatTimeIso(s.writeDate, s.writeTime) : fatDateIso(s.writeDate));
    }
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

Json entryAddressJson(const scan::ScanSession& session, const catalogue::FatEntryOrigin& origin)
{
    return keepsAddress(session, origin) ? Json(origin.address) : Json(nullptr);
}

Json rowEntryAddressJson(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    const auto& c = session.catalogue;
    if (!isFat(session))
        return Json(nullptr);
    if (row.folder)
        return row.entryIndex < c.FatFolderList.size()
                   ? entryAddressJson(session, c.FatFolderList[row.entryIndex].origin)
                   : Json(nullptr);
    return row.entryIndex < c.FatFileList.size() ? entryAddressJson(session, c.FatFileList[row.entryIndex].origin)
                                                 : Json(nullptr);
}

} // namespace sarvik::cli
