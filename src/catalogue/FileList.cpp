// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/FileList.h"

#include "catalogue/ExfatTime.h"
#include "catalogue/NameText.h"

#include <charconv>

namespace sarvik::catalogue {

namespace {

// Days from 1970-01-01 to a civil date and back (proleptic Gregorian calendar).
struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate civilFromDays(std::int64_t z)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {y + (m <= 2 ? 1 : 0), m, d};
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kFileTimeEpochOffset = 11644473600LL;

} // namespace

std::string fatDateText(std::uint16_t packed)
{
    // dd-mm-yyyy and a blank; the fields are small enough for fixed digits.
    const unsigned day = packed & 0x1Fu;
    const unsigned month = (packed >> 5) & 0x0Fu;
    const unsigned year = 1980u + (packed >> 9u);
    std::string out(11, ' ');
    out[0] = static_cast<char>('0' + day / 10);
    out[1] = static_cast<char>('0' + day % 10);
    out[2] = '-';
    out[3] = static_cast<char>('0' + month / 10);
    out[4] = static_cast<char>('0' + month % 10);
    out[5] = '-';
    out[6] = static_cast<char>('0' + year / 1000);
    out[7] = static_cast<char>('0' + year / 100 % 10);
    out[8] = static_cast<char>('0' + year / 10 % 10);
    out[9] = static_cast<char>('0' + year % 10);
    return out;
}

std::int64_t fileTimeToUnix(std::uint64_t fileTime)
{
    return static_cast<std::int64_t>(fileTime / 10000000ULL) - kFileTimeEpochOffset;
}

std::string fileTimeText(std::uint64_t fileTime)
{
    const std::int64_t seconds = fileTimeToUnix(fileTime);
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const CivilDate date = civilFromDays(days);
    std::string out;
    out.reserve(20);
    auto number = [&out](std::int64_t value, char after) {
        char buf[24];
        out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
        if (after != 0)
            out += after;
    };
    number(date.day, '-');
    number(date.month, '-');
    number(date.year, ' ');
    number(rest / 3600, ':');
    number(rest / 60 % 60, ':');
    number(rest % 60, 0);
    return out;
}

std::string defaultTypeName(const std::string& name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 >= name.size())
        return "File";
    return upperCase8(name.substr(dot + 1)) + " File";
}

namespace {

/// A time as the file list's date columns show it: FAT's as a date, the others
/// to the second.
std::string columnText(const EntryTime& t)
{
    // No time kept (a carved file, a folder made for one): nothing, not 1980's day 0.
    if (!t.known())
        return {};
    switch (t.source) {
    case TimeSource::FatDate:
        return fatDateText(static_cast<std::uint16_t>(t.value));
    case TimeSource::FatTime:
        return fatDateText(static_cast<std::uint16_t>(t.value >> 16));
    case TimeSource::ExfatTime:
        return exfatTimeText(static_cast<std::uint32_t>(t.value), t.hundredths, t.utcOffset);
    case TimeSource::NtfsStandardInformation:
    case TimeSource::NtfsFileName:
        return fileTimeText(t.value);
    case TimeSource::None:
        break;
    }
    return {};
}

/// After the type of an exFAT file whose entry set fails its checksum.
constexpr const char* kDamagedSetType = " (damaged entry set)";

/// The row of entry `id`, whose summary is `e`, but for its name, size and type.
void fillRow(FileRow& row, EntryId id, const EntrySummary& e)
{
    const bool fatDates = e.modified.source == TimeSource::FatTime || e.modified.source == TimeSource::FatDate;
    // FAT rows show the write date as created and the access date as modified.
    // Strings are made whole and moved in: assigning into the row's empty ones costs more.
    row.created = columnText(fatDates ? e.modified : e.created);
    row.modified = columnText(fatDates ? e.accessed : e.modified);
    row.entry = id;
    row.key = e.listId;
    row.id = std::to_string(row.key);
    row.folder = isFolderId(id);
    row.deleted = e.deleted();
}

} // namespace

std::vector<FileRow> FillFileList(const Catalogue& catalogue, const CatalogueIndex& index, CatalogueKind,
                                  std::uint64_t key, const NamePredicate& filter, const TypeNameProvider& typeName)
{
    std::vector<FileRow> rows;
    // A folder of 400,000 files would otherwise move its rows about twenty times as the list grows.
    rows.reserve(index.foldersIn(key).size() + index.filesIn(key).size());
    // Rows are made in place: a row is as large as its eight texts.
    for (const std::size_t i : index.foldersIn(key)) {
        FileRow& row = rows.emplace_back();
        const EntrySummary e = catalogue.summary(folderEntryId(i));
        row.name = std::string(e.name);
        fillRow(row, folderEntryId(i), e);
        row.type = row.deleted ? "Deleted Folder" : "Folder"; // read as is: folders keep these two
    }
    for (const std::size_t i : index.filesIn(key)) {
        const EntrySummary e = catalogue.summary(fileEntryId(i));
        FileRow& row = rows.emplace_back();
        row.name = std::string(e.name);
        // The row's own copy of the name is what the filter reads.
        if (filter && !filter(row.name)) {
            rows.pop_back();
            continue;
        }
        fillRow(row, fileEntryId(i), e);
        row.size = e.size;
        // A named stream's name ends in its own, which says nothing of its type.
        row.type = (row.deleted ? "Deleted " : "") +
                   (e.is(EntryFlag::Stream) ? std::string("Data Stream") : typeName(row.name));
        if (e.is(EntryFlag::ChecksumBad))
            row.type += kDamagedSetType;
    }
    return rows;
}

} // namespace sarvik::catalogue
