// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of the file list as a front end presents them: the texts of the
// columns Name, Type, Size, Created, Modified, ID and Condition, made when a
// view asks for them (a folder of 100,000 rows costs no more to show than the
// rows on screen), and an order to present them in. Sorting only changes that
// order: "row" below is always a row of the catalogue's order, a "position" is
// where the row is presented.

#include "catalogue/FileList.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sarvik::session {

enum Column { Name, Type, Size, Created, Modified, Id, Condition, ColumnCount };
enum class SortOrder { Ascending, Descending };

/// Before a folder's number in the ID column (files show theirs alone).
inline constexpr const char* kFolderIdPrefix = "D";

/// The column headers, in column order.
[[nodiscard]] const char* columnHeader(int column);

/// Ranks names for the Name column's order: one rank per name, equal ranks
/// for names that sort alike. The default compares as people read names:
/// without case, digits by their value; a front end may rank by its locale.
using NameRanker = std::function<std::vector<std::size_t>(const std::vector<std::string>& namesUtf8)>;
[[nodiscard]] std::vector<std::size_t> naturalRanks(const std::vector<std::string>& namesUtf8);
/// <0, 0 or >0 as `a` sorts before, with or after `b` under naturalRanks.
[[nodiscard]] int naturalCompare(const std::string& a, const std::string& b);

/// The ordered value of a date text ("d-m-yyyy" or "d-m-yyyy h:m:s").
[[nodiscard]] std::uint64_t dateOrder(const std::string& text);

/// A date text's fields, for a front end that words dates its own way.
struct DateFields {
    unsigned year = 0, month = 0, day = 0;
    unsigned hour = 0, minute = 0, second = 0;
    bool hasTime = false; ///< "d-m-yyyy h:m:s" rather than a date alone
};
/// The fields of a date text as the date columns hold it ("d-m-yyyy" or
/// "d-m-yyyy h:m:s"); nothing for an empty text, a text of another form, or a
/// day that no calendar has (a FAT date of zeros: "00-00-1980").
[[nodiscard]] std::optional<DateFields> dateFields(const std::string& text);

class FileListRows {
public:
    /// The type name of a file from its shown name (UTF-8).
    using TypeNamer = std::function<std::string(const std::string& shownName)>;

    explicit FileListRows(TypeNamer typeNamer = {}, NameRanker nameRanker = naturalRanks);

    /// Whether a file row's type already holds its type name, or only the
    /// "Deleted " before it, the name being looked up when the row is shown.
    enum class TypeNames { Given, Pending };
    /// Rows as catalogue::FillFileList makes them; names are UTF-8 when
    /// `namesAreUtf8`, else Windows-1252. A sort in force is applied.
    void setRows(std::vector<catalogue::FileRow> rows, bool namesAreUtf8 = false,
                 TypeNames typeNames = TypeNames::Given);
    void clear();

    [[nodiscard]] std::size_t size() const { return m_source.size(); }
    [[nodiscard]] bool validRow(int row) const { return row >= 0 && static_cast<std::size_t>(row) < m_source.size(); }
    /// The rows as the catalogue gave them (for recovery and opening).
    [[nodiscard]] const std::vector<catalogue::FileRow>& rows() const { return m_source; }
    [[nodiscard]] bool namesAreUtf8() const { return m_namesAreUtf8; }

    /// The text of row `row`, column `column` (UTF-8; empty when out of range).
    [[nodiscard]] std::string text(int row, int column) const;
    [[nodiscard]] bool isFolder(int row) const;
    /// The row's key, from its ID column.
    [[nodiscard]] std::uint64_t key(int row) const;
    /// The row whose text of `column` is the longest (for sizing the column);
    /// -1 without rows.
    [[nodiscard]] int longestRow(int column) const;

    /// Orders the rows by `column` (folders first in either order); -1
    /// restores the catalogue's order. False when that order is in force already.
    bool sort(int column, SortOrder order = SortOrder::Ascending);
    [[nodiscard]] int sortColumn() const { return m_sortColumn; }
    [[nodiscard]] SortOrder sortOrder() const { return m_sortOrder; }
    /// The row presented at `position` (-1 out of range), and the reverse.
    [[nodiscard]] int rowAt(int position) const;
    [[nodiscard]] int positionOf(int row) const;

    /// Gives row `row` the name `name8` (8-bit, as the catalogue holds it);
    /// its type follows the new name.
    void setName(int row, const std::string& name8);

private:
    /// Valid until the next row's type is looked up.
    [[nodiscard]] const std::string& typeName(int row) const;
    void presentInOrder();

    TypeNamer m_typeNamer;
    NameRanker m_nameRanker;
    std::vector<catalogue::FileRow> m_source;
    std::vector<int> m_order;    ///< position -> row
    std::vector<int> m_position; ///< row -> position
    /// TypeNames::Pending: each row's type, looked up when first shown, as 1 +
    /// its index in m_typeTexts (0: not looked up). A folder of 400,000 files
    /// has a few dozen types, each held once.
    mutable std::vector<std::uint32_t> m_typeOf;
    mutable std::vector<std::string> m_typeTexts;
    mutable std::unordered_map<std::string, std::uint32_t> m_typeIndex; ///< text -> index in m_typeTexts
    mutable std::array<int, ColumnCount> m_longest{};                   ///< per column, the row of its longest text
    mutable bool m_longestKnown = false;
    TypeNames m_typeNamesGiven = TypeNames::Given;
    bool m_namesAreUtf8 = false;
    int m_sortColumn = -1;
    SortOrder m_sortOrder = SortOrder::Ascending;
};

} // namespace sarvik::session
