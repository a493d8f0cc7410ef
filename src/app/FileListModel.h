// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file list's rows (session::FileListRows) as a table model, with the
// icons and the tooltips a view draws. "row" in the functions below is always
// a row of the catalogue's order, an index's row is a presented row.

#include "session/FileListRows.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

namespace sarvik::app {

class FileTypes;

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Name = session::Name,
        Type = session::Type,
        Size = session::Size,
        Created = session::Created,
        Modified = session::Modified,
        Id = session::Id,
        Condition = session::Condition,
        ColumnCount = session::ColumnCount
    };

    explicit FileListModel(FileTypes& types, QObject* parent = nullptr);

    using TypeNames = session::FileListRows::TypeNames;
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
    [[nodiscard]] int sortColumn() const { return m_rows.sortColumn(); }

    /// The rows as the catalogue gave them (for recovery and opening).
    [[nodiscard]] const std::vector<catalogue::FileRow>& fileRows() const { return m_rows.rows(); }
    /// The rows with their order and texts.
    [[nodiscard]] const session::FileListRows& rows() const { return m_rows; }
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
    [[nodiscard]] bool isFolder(int row) const { return m_rows.isFolder(row); }
    /// The row's key, from its ID column.
    [[nodiscard]] quint64 key(int row) const { return m_rows.key(row); }
    /// The text a view shows for row `row`, column `column`: text() in the
    /// user's language, with sizes and dates as the locale writes them.
    [[nodiscard]] QString shownText(int row, int column) const;
    /// The longest shown text of `column` (for sizing the column).
    [[nodiscard]] QString longestText(int column) const;
    /// A date column's text ("d-m-yyyy" or "d-m-yyyy h:m:s") in the locale's
    /// short form, with the whole year; a text that is no date comes back as it is.
    [[nodiscard]] static QString localDate(const std::string& text);

    /// What the Condition column's words mean.
    static QString conditionLegend();

private:
    [[nodiscard]] QIcon icon(int row) const;

    FileTypes& m_types;
    session::FileListRows m_rows;
    mutable std::vector<QIcon> m_icons; ///< made when first drawn
};

} // namespace sarvik::app
