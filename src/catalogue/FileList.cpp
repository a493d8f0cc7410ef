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

// What a row shows of an entry besides its name: the two dates as text and its key.
struct Shown {
    std::string created;
    std::string modified;
    std::uint64_t key = 0;
};
/// exFAT's creation and modification times, to the second and in UTC where
/// their offsets are valid, as NTFS rows show theirs.
Shown exfatShown(const ExfatData& d, std::uint64_t key)
{
    return {exfatTimeText(d.created, d.created10ms, d.createdUtc),
            exfatTimeText(d.modified, d.modified10ms, d.modifiedUtc), key};
}
Shown shown(const FatFolderEntry& e)
{
    if (e.exfat)
        return exfatShown(*e.exfat, e.treeItem);
    return {fatDateText(e.writeDate), fatDateText(e.accessDate), e.treeItem};
}
Shown shown(const NtfsFolderEntry& e, const NtfsStandardTimes& t)
{
    return {fileTimeText(t.created), fileTimeText(t.modified), e.treeItem};
}
Shown shown(const FatFileEntry& e)
{
    if (e.exfat)
        return exfatShown(*e.exfat, e.ordinal);
    return {fatDateText(e.writeDate), fatDateText(e.accessDate), e.ordinal};
}
Shown shown(const NtfsFileEntry& e, const NtfsStandardTimes& t)
{
    return {fileTimeText(t.created), fileTimeText(t.modified), e.recordSector};
}

/// After the type of an exFAT file whose entry set fails its checksum.
constexpr const char* kDamagedSetType = " (damaged entry set)";

bool damagedSet(const FatFileEntry& e)
{
    return e.exfat && e.exfat->checksumBad;
}

/// An entry's row texts: an NTFS entry's times as the catalogue gives them.
Shown shownIn(const Catalogue&, const FatFolderEntry& e)
{
    return shown(e);
}
Shown shownIn(const Catalogue&, const FatFileEntry& e)
{
    return shown(e);
}
Shown shownIn(const Catalogue& c, const NtfsFolderEntry& e)
{
    return shown(e, c.ntfsTimes(e));
}
Shown shownIn(const Catalogue& c, const NtfsFileEntry& e)
{
    return shown(e, c.ntfsTimes(e));
}

template <typename Entry> void fillRow(FileRow& row, const Catalogue& c, const Entry& e, std::size_t entryIndex)
{
    Shown s = shownIn(c, e);
    row.entryIndex = entryIndex;
    row.name = e.name;
    row.created = std::move(s.created);
    row.modified = std::move(s.modified);
    row.key = s.key;
    row.id = std::to_string(row.key);
}

} // namespace

std::vector<FileRow> FillFileList(const Catalogue& catalogue, const CatalogueIndex& index, CatalogueKind kind,
                                  std::uint64_t key, const NamePredicate& filter, const TypeNameProvider& typeName)
{
    std::vector<FileRow> rows;
    // A folder of 400,000 files would otherwise move its rows about twenty times as the list grows.
    rows.reserve(index.foldersIn(key).size() + index.filesIn(key).size());
    const bool fat = kind == CatalogueKind::Fat;
    // Rows are made in place: a row is as large as its eight texts.
    for (const std::size_t i : index.foldersIn(key)) {
        FileRow& row = rows.emplace_back();
        fat ? fillRow(row, catalogue, catalogue.FatFolderList[i], i)
            : fillRow(row, catalogue, catalogue.NtfsFolderList[i], i);
        row.folder = true;
        row.deleted = (fat ? catalogue.FatFolderList[i].deleted : catalogue.NtfsFolderList[i].deleted) != 0;
        row.type = row.deleted ? "Deleted Folder" : "Folder"; // read as is: folders keep these two
    }
    for (const std::size_t i : index.filesIn(key)) {
        FileRow& row = rows.emplace_back();
        fat ? fillRow(row, catalogue, catalogue.FatFileList[i], i)
            : fillRow(row, catalogue, catalogue.NtfsFileList[i], i);
        if (filter && !filter(row.name)) {
            rows.pop_back();
            continue;
        }
        if (fat) {
            const FatFileEntry& e = catalogue.FatFileList[i];
            row.size = e.exfat ? e.exfat->dataLength : std::uint64_t{e.size};
        } else {
            row.size = catalogue.NtfsFileList[i].size;
        }
        row.deleted = (fat ? catalogue.FatFileList[i].deleted : catalogue.NtfsFileList[i].deleted) == 1;
        // A named stream's name ends in its own, which says nothing of its type.
        const bool stream = !fat && !catalogue.NtfsFileList[i].stream.empty();
        row.type = (row.deleted ? "Deleted " : "") + (stream ? std::string("Data Stream") : typeName(row.name));
        if (fat && damagedSet(catalogue.FatFileList[i]))
            row.type += kDamagedSetType;
    }
    return rows;
}

} // namespace sarvik::catalogue
