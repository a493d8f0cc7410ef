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
                const catalogue::EntryTimes& t)
{
    const auto iso = [](const catalogue::EntryTime& time) {
        return exfatTimeIso(static_cast<std::uint32_t>(time.value), time.hundredths, time.utcOffset);
    };
    out.add("writeDate", writeDate);
    out.add("writeTime", writeTime);
    out.add("accessDate", accessDate);
    addIso(out, "modified", iso(t.modified));
    addIso(out, "accessed", iso(t.accessed));
    addIso(out, "created", iso(t.created));
}

/// An NTFS entry's times as the catalogue gives them. Where those are the
/// standard information's, its access and record-change times follow, and the
/// file name's creation and write times go beside them.
template <typename Out> void ntfsTimes(Out& out, const catalogue::EntryTimes& t)
{
    out.add("createdTime", t.created.value);
    out.add("modifiedTime", t.modified.value);
    addIso(out, "created", fileTimeIsoText(t.created.value).view());
    addIso(out, "modified", fileTimeIsoText(t.modified.value).view());
    if (t.modified.source != catalogue::TimeSource::NtfsStandardInformation)
        return;
    out.add("accessedTime", t.accessed.value);
    out.add("recordChangedTime", t.changed.value);
    addIso(out, "accessed", fileTimeIsoText(t.accessed.value).view());
    addIso(out, "recordChanged", fileTimeIsoText(t.changed.value).view());
    out.add("fileNameCreatedTime", t.nameCreated.value);
    out.add("fileNameModifiedTime", t.nameModified.value);
    addIso(out, "fileNameCreated", fileTimeIsoText(t.nameCreated.value).view());
    addIso(out, "fileNameModified", fileTimeIsoText(t.nameModified.value).view());
}

/// The packed FAT fields of an entry's times: under FatDate the write time
/// was not kept.
struct PackedFatTimes {
    std::uint16_t writeDate = 0;
    std::uint16_t writeTime = 0;
    std::uint16_t accessDate = 0;
};

PackedFatTimes packedFatTimes(const catalogue::EntryTimes& t)
{
    PackedFatTimes p;
    const bool dateOnly = t.modified.source == catalogue::TimeSource::FatDate;
    p.writeDate = static_cast<std::uint16_t>(dateOnly ? t.modified.value : t.modified.value >> 16);
    p.writeTime = static_cast<std::uint16_t>(dateOnly ? 0 : t.modified.value & 0xFFFF);
    // exFAT keeps a whole stamp for the access time, FAT only its date.
    p.accessDate = static_cast<std::uint16_t>(
        t.accessed.source == catalogue::TimeSource::ExfatTime ? t.accessed.value >> 16 : t.accessed.value);
    return p;
}

template <typename Out> void addEntryAddress(Out& out, const catalogue::Entry& e)
{
    if (e.entryAddress != 0)
        out.add("entryAddress", e.entryAddress);
    else
        out.add("entryAddress", nullptr);
}

/// FAT and exFAT times, from the entry's packed fields.
template <typename Out> void fatFamilyTimes(Out& out, const catalogue::Entry& e, EntryStyle style)
{
    const PackedFatTimes p = packedFatTimes(e.times);
    if (e.times.modified.source == catalogue::TimeSource::ExfatTime)
        exfatTimes(out, p.writeDate, p.writeTime, p.accessDate, e.times);
    else
        fatTimes(out, p.writeDate, p.writeTime, p.accessDate, style);
}

template <typename Out>
void fileMembers(Out& out, const scan::ScanSession& session, const catalogue::Entry& e, EntryStyle style)
{
    const char* carved = carvedText(e);
    out.add("size", e.size);
    if (!isFat(session)) {
        out.add("recordNumber", e.number);
        out.add("parentRecord", e.parentNumber);
        out.add("recordSector", e.listId);
        out.add("deleted", e.deleted());
        ntfsTimes(out, e.times);
        if (carved != nullptr)
            out.add("carved", carved);
        // A previous version: read from the shadow copy it was found in.
        const auto* from = session.fileSources ? session.fileSources->sourceOf(catalogue::entryIndex(e.id)) : nullptr;
        if (from != nullptr) {
            out.add("shadowCopy", from->shadowCopy);
            if (from->created != 0)
                out.add("shadowCopyCreated", fileTimeIso(from->created));
            else
                out.add("shadowCopyCreated", nullptr);
        }
        return;
    }
    const bool exfat = e.times.modified.source == catalogue::TimeSource::ExfatTime;
    out.add("firstCluster", e.number);
    addEntryAddress(out, e);
    out.add("parentCluster", e.parentNumber);
    out.add("ordinal", e.listId);
    out.add("deleted", e.deleted());
    fatFamilyTimes(out, e, style);
    if (e.is(catalogue::EntryFlag::ClusterInUse))
        out.add("clusterInUse", true);
    if (e.is(catalogue::EntryFlag::ClusterHighInferred))
        out.add("clusterHighInferred", true);
    if (carved != nullptr)
        out.add("carved", carved);
    if (exfat) {
        const auto* chain = std::get_if<catalogue::ClusterChainData>(&e.location);
        out.add("validDataLength", e.initialized);
        out.add("noFatChain", chain != nullptr && chain->contiguous);
        if (e.is(catalogue::EntryFlag::ChecksumBad))
            out.add("checksumBad", true);
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
void folderMembers(Out& out, const scan::ScanSession& session, const catalogue::Entry& e, EntryStyle style)
{
    const std::size_t index = catalogue::entryIndex(e.id);
    if (!isFat(session)) {
        out.add("recordNumber", e.number);
        out.add("parentRecord", e.parentNumber);
        out.add("deleted", e.deleted());
        ntfsTimes(out, e.times);
        out.add("treeItem", e.listId);
        return;
    }
    out.add("firstCluster", e.number);
    addEntryAddress(out, e);
    out.add("parentCluster", e.parentNumber);
    out.add("deleted", e.deleted());
    fatFamilyTimes(out, e, style);
    if (e.is(catalogue::EntryFlag::ChecksumBad))
        out.add("checksumBad", true);
    out.add("treeItem", e.listId);
    if (e.is(catalogue::EntryFlag::Moved)) {
        // The deleted entry of a moved folder: where the folder is now.
        if (const auto path = movedFolderPath(session, index))
            out.add("movedTo", std::string_view(*path));
        else
            out.add("movedTo", nullptr);
    }
}

} // namespace

const char* carvedText(const scan::ScanSession& session, std::size_t index)
{
    return carvedText(session.catalogue.entry(catalogue::fileEntryId(index)));
}

const char* carvedText(const catalogue::Entry& e)
{
    if (!e.is(catalogue::EntryFlag::Carved))
        return nullptr;
    return e.is(catalogue::EntryFlag::CarvedIncomplete) ? "incomplete" : "whole";
}

Json fileJson(const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    Json j = Json::object();
    JsonMembers out{j};
    fileMembers(out, session, session.catalogue.entry(catalogue::fileEntryId(index)), style);
    return j;
}

Json folderJson(const scan::ScanSession& session, std::size_t index, EntryStyle style)
{
    Json j = Json::object();
    JsonMembers out{j};
    folderMembers(out, session,
                  session.catalogue.entry(catalogue::folderEntryId(index), catalogue::EntryParts::NoParent), style);
    return j;
}

void addFileMembers(JsonLine& line, const scan::ScanSession& session, const catalogue::Entry& e, EntryStyle style)
{
    fileMembers(line, session, e, style);
}

void addFolderMembers(JsonLine& line, const scan::ScanSession& session, const catalogue::Entry& e, EntryStyle style)
{
    folderMembers(line, session, e, style);
}

namespace {

catalogue::Entry rowEntry(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    return session.catalogue.entry(row.folder ? catalogue::folderEntryId(row.entryIndex())
                                              : catalogue::fileEntryId(row.entryIndex()));
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

Json rowEntryAddressJson(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    const std::uint64_t address = rowEntry(session, row).entryAddress;
    return address != 0 ? Json(address) : Json(nullptr);
}

} // namespace sarvik::cli
