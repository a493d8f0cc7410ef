// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/FileListRows.h"

#include "session/DisplayText.h"

#include <algorithm>
#include <numeric>

namespace sarvik::session {

namespace {

int conditionOrder(const catalogue::FileRow& row)
{
    if (row.condition == "Good")
        return 0;
    if (row.condition == "Partly overwritten")
        return 1;
    if (row.condition == "Overwritten")
        return 2;
    return 3;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

const char* columnHeader(int column)
{
    static const char* const kHeaders[ColumnCount] = {"Name", "Type", "Size", "Created", "Modified", "ID", "Condition"};
    return column >= 0 && column < ColumnCount ? kHeaders[column] : "";
}

int naturalCompare(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Runs of digits compare by value: without their leading zeros,
            // the longer is the larger, else the first digit that differs.
            std::size_t ia = i, jb = j;
            while (ia < a.size() && a[ia] == '0')
                ++ia;
            while (jb < b.size() && b[jb] == '0')
                ++jb;
            std::size_t ea = ia, eb = jb;
            while (ea < a.size() && isDigit(a[ea]))
                ++ea;
            while (eb < b.size() && isDigit(b[eb]))
                ++eb;
            if (ea - ia != eb - jb)
                return ea - ia < eb - jb ? -1 : 1;
            if (const int c = a.compare(ia, ea - ia, b, jb, eb - jb); c != 0)
                return c < 0 ? -1 : 1;
            i = ea;
            j = eb;
            continue;
        }
        const auto ca = static_cast<unsigned char>(lower(a[i]));
        const auto cb = static_cast<unsigned char>(lower(b[j]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

std::vector<std::size_t> naturalRanks(const std::vector<std::string>& names)
{
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return naturalCompare(names[a], names[b]) < 0; });
    std::vector<std::size_t> ranks(names.size());
    std::size_t rank = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && naturalCompare(names[order[i - 1]], names[order[i]]) != 0)
            ++rank;
        ranks[order[i]] = rank;
    }
    return ranks;
}

std::uint64_t dateOrder(const std::string& text)
{
    std::array<std::uint64_t, 6> fields{}; // day, month, year, hour, minute, second
    std::size_t field = 0;
    bool inNumber = false;
    for (char c : text) {
        if (isDigit(c)) {
            if (field < fields.size())
                fields[field] = fields[field] * 10 + static_cast<unsigned>(c - '0');
            inNumber = true;
        } else if (inNumber) {
            ++field;
            inNumber = false;
        }
    }
    const auto [day, month, year, hour, minute, second] = fields;
    return ((((year * 13 + month) * 32 + day) * 24 + hour) * 60 + minute) * 60 + second;
}

std::optional<DateFields> dateFields(const std::string& text)
{
    // Fields are runs of digits, each at most 4 long; separators are single
    // characters in the positions the date columns put them.
    std::array<unsigned, 6> fields{};
    std::size_t count = 0;
    std::size_t digits = 0;
    static constexpr char kAfter[6] = {'-', '-', ' ', ':', ':', '\0'};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isDigit(c)) {
            if (count >= fields.size() || ++digits > 4)
                return std::nullopt;
            fields[count] = fields[count] * 10 + static_cast<unsigned>(c - '0');
            continue;
        }
        if (digits == 0 || count >= fields.size() || c != kAfter[count])
            return std::nullopt;
        ++count;
        digits = 0;
    }
    // A trailing blank (FAT dates are "dd-mm-yyyy ") closes the year.
    if (digits != 0)
        ++count;
    if (count != 3 && count != 6)
        return std::nullopt;
    DateFields out{fields[2], fields[1], fields[0], fields[3], fields[4], fields[5], count == 6};
    static constexpr unsigned kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (out.month < 1 || out.month > 12 || out.day < 1 || out.day > kDays[out.month - 1] || out.hour > 23 ||
        out.minute > 59 || out.second > 59)
        return std::nullopt;
    return out;
}

FileListRows::FileListRows(TypeNamer typeNamer, NameRanker nameRanker)
    : m_typeNamer(std::move(typeNamer)), m_nameRanker(nameRanker ? std::move(nameRanker) : NameRanker(naturalRanks))
{
}

void FileListRows::setRows(std::vector<catalogue::FileRow> rows, bool namesAreUtf8, TypeNames typeNames)
{
    m_namesAreUtf8 = namesAreUtf8;
    m_typeNamesGiven = typeNames;
    m_source = std::move(rows);
    m_longestKnown = false;
    m_typeOf.assign(m_typeNamesGiven == TypeNames::Pending ? m_source.size() : 0, 0);
    presentInOrder();
}

void FileListRows::clear()
{
    m_source.clear();
    m_longestKnown = false;
    m_typeOf.clear();
    m_order.clear();
    m_position.clear();
}

void FileListRows::presentInOrder()
{
    m_order.resize(m_source.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    if (m_sortColumn >= 0 && m_sortColumn < ColumnCount) {
        const auto& rows = m_source;
        const bool descending = m_sortOrder == SortOrder::Descending;
        // Folders come first in either order; within each, the key's order.
        const auto sortBy = [&](const auto& keyOf) {
            std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
                const auto ia = static_cast<std::size_t>(a), ib = static_cast<std::size_t>(b);
                if (rows[ia].folder != rows[ib].folder)
                    return rows[ia].folder;
                return descending ? keyOf(ib) < keyOf(ia) : keyOf(ia) < keyOf(ib);
            });
        };
        switch (m_sortColumn) {
        case Name: {
            std::vector<std::string> names;
            names.reserve(rows.size());
            for (const catalogue::FileRow& row : rows)
                names.push_back(displayName(row.name, m_namesAreUtf8));
            const std::vector<std::size_t> ranks = m_nameRanker(names);
            sortBy([&ranks](std::size_t r) { return ranks[r]; });
            break;
        }
        case Type: {
            std::vector<std::string> types;
            types.reserve(rows.size());
            for (std::size_t r = 0; r < rows.size(); ++r)
                types.push_back(text(static_cast<int>(r), Type));
            sortBy([&types](std::size_t r) -> const std::string& { return types[r]; });
            break;
        }
        case Size:
            sortBy([&rows](std::size_t r) { return rows[r].size; });
            break;
        case Created:
            sortBy([&rows](std::size_t r) { return dateOrder(rows[r].created); });
            break;
        case Modified:
            sortBy([&rows](std::size_t r) { return dateOrder(rows[r].modified); });
            break;
        case Id:
            sortBy([&rows](std::size_t r) { return rows[r].key; });
            break;
        case Condition:
            sortBy([&rows](std::size_t r) { return conditionOrder(rows[r]); });
            break;
        default:
            break;
        }
    }
    m_position.resize(m_order.size());
    for (std::size_t i = 0; i < m_order.size(); ++i)
        m_position[static_cast<std::size_t>(m_order[i])] = static_cast<int>(i);
}

bool FileListRows::sort(int column, SortOrder order)
{
    if (column == m_sortColumn && order == m_sortOrder)
        return false;
    m_sortColumn = column;
    m_sortOrder = order;
    presentInOrder();
    return true;
}

int FileListRows::rowAt(int position) const
{
    if (position < 0 || static_cast<std::size_t>(position) >= m_order.size())
        return -1;
    return m_order[static_cast<std::size_t>(position)];
}

int FileListRows::positionOf(int row) const
{
    return validRow(row) ? m_position[static_cast<std::size_t>(row)] : -1;
}

const std::string& FileListRows::typeName(int row) const
{
    const auto r = static_cast<std::size_t>(row);
    if (m_typeOf[r] == 0) {
        const catalogue::FileRow& source = m_source[r];
        std::string name = source.type; // "Deleted " or nothing
        if (!source.folder && m_typeNamer)
            name += m_typeNamer(text(row, Name));
        const auto [at, added] =
            m_typeIndex.try_emplace(std::move(name), static_cast<std::uint32_t>(m_typeTexts.size()));
        if (added)
            m_typeTexts.push_back(at->first);
        m_typeOf[r] = at->second + 1;
    }
    return m_typeTexts[m_typeOf[r] - 1];
}

std::string FileListRows::text(int row, int column) const
{
    if (!validRow(row))
        return {};
    const catalogue::FileRow& source = m_source[static_cast<std::size_t>(row)];
    switch (column) {
    case Name:
        return displayName(source.name, m_namesAreUtf8);
    case Type:
        return m_typeNamesGiven == TypeNames::Pending ? typeName(row) : source.type;
    case Size:
        return std::to_string(source.size);
    case Created:
        return source.created;
    case Modified:
        return source.modified;
    case Id:
        // Folders and files are numbered apart; a folder's number carries a D
        // so that the two are never taken for each other.
        return source.folder ? kFolderIdPrefix + source.id : source.id;
    case Condition:
        // A file whose condition could not be estimated says so; folders have none.
        if (source.condition.empty())
            return source.folder ? std::string() : std::string("Unknown");
        return source.condition;
    default:
        return {};
    }
}

bool FileListRows::isFolder(int row) const
{
    return validRow(row) && m_source[static_cast<std::size_t>(row)].folder;
}

std::uint64_t FileListRows::key(int row) const
{
    return validRow(row) ? m_source[static_cast<std::size_t>(row)].key : 0;
}

void FileListRows::setName(int row, const std::string& name8)
{
    if (!validRow(row))
        return;
    const auto r = static_cast<std::size_t>(row);
    m_source[r].name = name8;
    m_longestKnown = false;
    if (r < m_typeOf.size())
        m_typeOf[r] = 0; // the type follows the new name
}

int FileListRows::longestRow(int column) const
{
    if (column < 0 || column >= ColumnCount || m_source.empty())
        return -1;
    if (!m_longestKnown) {
        // One walk over the rows finds every column's longest: the rows of a
        // large folder fill far more memory than the texts of a few.
        m_longest.fill(0);
        std::array<std::size_t, ColumnCount> length{};
        const auto take = [&](int c, std::size_t n, std::size_t r) {
            if (n > length[static_cast<std::size_t>(c)]) {
                length[static_cast<std::size_t>(c)] = n;
                m_longest[static_cast<std::size_t>(c)] = static_cast<int>(r);
            }
        };
        std::uint64_t largest = 0;
        for (std::size_t r = 0; r < m_source.size(); ++r) {
            const catalogue::FileRow& row = m_source[r];
            take(Name, row.name.size(), r);
            take(Type, row.type.size(), r);
            take(Created, row.created.size(), r);
            take(Modified, row.modified.size(), r);
            take(Id, row.id.size() + (row.folder ? 1 : 0), r);
            take(Condition, row.condition.size(), r);
            if (row.size > largest) { // the largest size has the most digits
                largest = row.size;
                m_longest[Size] = static_cast<int>(r);
            }
        }
        m_longestKnown = true;
    }
    return m_longest[static_cast<std::size_t>(column)];
}

} // namespace sarvik::session
