#pragma once
// The rows of the file list as a table model: Name, Type, Size, Created,
// Modified, ID, Condition. The model keeps the rows as the catalogue gave them
// and makes each cell's text when a view asks for it, so a folder of 100,000
// rows costs no more to show than the rows on screen. Sorting only changes the
// order in which the rows are presented; "row" in the functions below is always
// a row of the catalogue's order, an index's row is a presented row.

#include "catalogue/FileList.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <array>
#include <vector>

namespace sarvik::app {

class FileTypes;

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Type, Size, Created, Modified, Id, Condition, ColumnCount };

    explicit FileListModel(FileTypes& types, QObject* parent = nullptr);

    /// Whether a file row's type already holds its type name, or only the
    /// "Deleted " before it, the name being looked up when the row is shown.
    enum class TypeNames { Given, Pending };
    /// Rows as FillFileList makes them; names are UTF-8 when `namesAreUtf8`,
    /// else Windows-1252; type names are UTF-8. A sort in force is applied.
    void setRows(std::vector<catalogue::FileRow> rows, bool namesAreUtf8 = false,
                 TypeNames typeNames = TypeNames::Given);
    void clear();

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    /// Names are editable (the list's label edit); the model itself changes
    /// nothing but asks through renameRequested, whose handler calls setName.
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    /// Presents the rows ordered by `column` (folders first); -1 restores the
    /// catalogue's order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    [[nodiscard]] int sortColumn() const { return m_sortColumn; }

    /// The rows as the catalogue gave them (for recovery and opening).
    [[nodiscard]] const std::vector<catalogue::FileRow>& fileRows() const { return m_source; }
    /// Gives row `row` the name `name8` (8-bit, as the catalogue holds it).
    void setName(int row, const std::string& name8);

    /// The catalogue row an index presents (-1 for an invalid index).
    [[nodiscard]] int sourceRow(const QModelIndex& index) const;
    /// The index presenting catalogue row `row`.
    [[nodiscard]] QModelIndex indexOfRow(int row, int column = Name) const;

signals:
    /// A label edit of row `row` ended with `text` (possibly empty).
    void renameRequested(int row, const QString& text);

public:
    /// The texts of row `row`, column `column` (empty when out of range).
    [[nodiscard]] QString text(int row, int column) const;
    [[nodiscard]] bool isFolder(int row) const;
    /// The row's key, from its ID column.
    [[nodiscard]] quint64 key(int row) const;
    /// The longest text of `column` in characters (for sizing the column).
    [[nodiscard]] QString longestText(int column) const;

    /// What the Condition column's words mean.
    static QString conditionLegend();

private:
    [[nodiscard]] bool validRow(int row) const { return row >= 0 && static_cast<std::size_t>(row) < m_source.size(); }
    [[nodiscard]] QIcon icon(int row) const;
    [[nodiscard]] const QString& typeName(int row) const;
    void presentInOrder();

    FileTypes& m_types;
    std::vector<catalogue::FileRow> m_source;
    std::vector<int> m_order;                         ///< presented row -> catalogue row
    std::vector<int> m_position;                      ///< catalogue row -> presented row
    mutable std::vector<QIcon> m_icons;               ///< made when first drawn
    mutable std::vector<QString> m_typeNames;         ///< looked up when first shown (TypeNames::Pending)
    mutable std::array<int, ColumnCount> m_longest{}; ///< per column, the row of its longest text
    mutable bool m_longestKnown = false;
    TypeNames m_typeNamesGiven = TypeNames::Given;
    bool m_namesAreUtf8 = false;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace sarvik::app
