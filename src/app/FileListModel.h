#pragma once
// The rows of the file list as a table model: Name, Type, Size, Created,
// Modified, ID, Condition. A folder of 100,000 rows costs one string conversion per cell,
// done once when the rows are set.

#include "catalogue/FileList.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

namespace sarvik::app {

class FileTypes;

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Type, Size, Created, Modified, Id, Condition, ColumnCount };

    explicit FileListModel(FileTypes& types, QObject* parent = nullptr);

    /// Rows as FillFileList makes them; names are UTF-8 when `namesAreUtf8`,
    /// else Windows-1252; type names are UTF-8.
    void setRows(const std::vector<catalogue::FileRow>& rows, bool namesAreUtf8 = false);
    void clear();

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    /// Names are editable (the list's label edit); the model itself changes
    /// nothing but asks through renameRequested, whose handler calls setName.
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    /// The rows as the catalogue gave them (for recovery and opening).
    [[nodiscard]] const std::vector<catalogue::FileRow>& fileRows() const { return m_source; }
    /// Gives row `row` the name `name8` (8-bit, as the catalogue holds it).
    void setName(int row, const std::string& name8);

signals:
    /// A label edit of row `row` ended with `text` (possibly empty).
    void renameRequested(int row, const QString& text);

public:

    /// The texts of row `row`, column `column` (empty when out of range).
    [[nodiscard]] QString text(int row, int column) const;
    [[nodiscard]] bool isFolder(int row) const;
    /// The row's key, from its ID column.
    [[nodiscard]] quint64 key(int row) const;

    /// Pixel widths of the columns on the results page.
    static int columnWidth(int column);

private:
    struct Row {
        QString cells[ColumnCount];
        QIcon icon;
        bool folder = false;
        quint64 key = 0;
    };
    FileTypes& m_types;
    std::vector<Row> m_rows;
    std::vector<catalogue::FileRow> m_source;
    bool m_namesAreUtf8 = false;
};

} // namespace sarvik::app
