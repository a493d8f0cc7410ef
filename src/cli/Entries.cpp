// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Entries.h"

#include "catalogue/NameText.h"
#include "cli/Session.h"
#include "cli/TimeText.h"
#include "recovery/FileSources.h"

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
    // A previous version: read from the shadow copy it was found in.
    if (const recovery::OtherSource* from = session.fileSources ? session.fileSources->sourceOf(index) : nullptr) {
        out.add("shadowCopy", from->shadowCopy);
        if (from->created != 0)
            out.add("shadowCopyCreated", fileTimeIso(from->created));
        else
            out.add("shadowCopyCreated", nullptr);
    }
}

} // namespace

std::optional<std::string> movedFolderPath(const scan::ScanSession& session, std::size_t standIn)
{
    const catalogue::EntryId live = session.catalogue.entry(catalogue::folderEntryId(standIn)).movedTo;
    if (live == catalogue::kNoEntryId || live == catalogue::kRootEntryId)
        return std::nullopt;
    return folderEntryPath(session, catalogue::entryIndex(live));
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
            if (const auto path = movedFolderPath(session, index))
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
    const catalogue::Entry e = session.catalogue.entry(catalogue::fileEntryId(index));
    if (!e.is(catalogue::EntryFlag::Carved))
        return nullptr;
    return e.is(catalogue::EntryFlag::CarvedIncomplete) ? "incomplete" : "whole";
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

catalogue::Entry rowEntry(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    return session.catalogue.entry(row.folder ? catalogue::folderEntryId(row.entryIndex)
                                              : catalogue::fileEntryId(row.entryIndex));
}

} // namespace

RowTimes rowTimes(const scan::ScanSession& session, const catalogue::FileRow& row, EntryStyle)
{
    const catalogue::Entry e = rowEntry(session, row);
    return {entryTimeText(e.times.created), entryTimeText(e.times.modified)};
}

std::string rowModifiedText(const scan::ScanSession& session, const catalogue::FileRow& row, EntryStyle)
{
    return entryTimeText(rowEntry(session, row).times.modified);
}

Json rowTimeJson(const scan::ScanSession& session, const catalogue::FileRow& row, bool modified, EntryStyle)
{
    const catalogue::Entry e = rowEntry(session, row);
    return isoOrNull(entryTimeIso(modified ? e.times.modified : e.times.created));
}

std::uint64_t rowNumber(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    return rowEntry(session, row).number;
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
    const std::uint64_t address = rowEntry(session, row).entryAddress;
    return address != 0 ? Json(address) : Json(nullptr);
}

} // namespace sarvik::cli
