#include "app/FileListModel.h"

#include "app/FileTypes.h"
#include "catalogue/NameText.h"

namespace sarvik::app {

FileListModel::FileListModel(FileTypes& types, QObject* parent) : QAbstractTableModel(parent), m_types(types) {}

void FileListModel::setRows(const std::vector<catalogue::FileRow>& rows, bool namesAreUtf8)
{
    beginResetModel();
    m_namesAreUtf8 = namesAreUtf8;
    m_rows.clear();
    m_source = rows;
    m_rows.reserve(rows.size());
    for (const catalogue::FileRow& source : rows) {
        Row row;
        row.cells[Name] = nameText(source.name, namesAreUtf8);
        row.cells[Type] = QString::fromStdString(source.type);
        row.cells[Size] = QString::fromStdString(source.size);
        row.cells[Created] = QString::fromStdString(source.created);
        row.cells[Modified] = QString::fromStdString(source.modified);
        row.cells[Id] = QString::fromStdString(source.id);
        row.cells[Condition] = QString::fromStdString(source.condition);
        row.folder = source.folder;
        row.key = source.key;
        row.icon = source.folder ? m_types.folderIcon() : m_types.fileIcon(row.cells[Name]);
        m_rows.push_back(std::move(row));
    }
    endResetModel();
}

void FileListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_source.clear();
    endResetModel();
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole: // the narrow columns cut long texts; the tooltip shows them whole
        return row.cells[index.column()];
    case Qt::DecorationRole:
        return index.column() == Name ? QVariant(row.icon) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == Size ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                      : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    static const char* const kHeaders[ColumnCount] = {"Name", "Type", "Size", "Created", "Modified", "ID", "Condition"};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kHeaders[section]);
    if (role == Qt::TextAlignmentRole)
        return section == Size ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                               : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == Name)
        f |= Qt::ItemIsEditable;
    return f;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != Name || index.row() >= rowCount())
        return false;
    emit renameRequested(index.row(), value.toString());
    return false; // the handler sets the name it decides on
}

void FileListModel::setName(int row, const std::string& name8)
{
    if (row < 0 || row >= rowCount())
        return;
    const auto r = static_cast<std::size_t>(row);
    m_source[r].name = name8;
    m_rows[r].cells[Name] = nameText(name8, m_namesAreUtf8);
    if (!m_rows[r].folder)
        m_rows[r].icon = m_types.fileIcon(m_rows[r].cells[Name]);
    emit dataChanged(index(row, Name), index(row, Name));
}

QString FileListModel::text(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= ColumnCount)
        return {};
    return m_rows[static_cast<std::size_t>(row)].cells[column];
}

bool FileListModel::isFolder(int row) const
{
    return row >= 0 && row < rowCount() && m_rows[static_cast<std::size_t>(row)].folder;
}

quint64 FileListModel::key(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].key : 0;
}

int FileListModel::columnWidth(int column)
{
    static const int kWidths[ColumnCount] = {150, 100, 70, 100, 70, 70, 110};
    return column >= 0 && column < ColumnCount ? kWidths[column] : 0;
}

} // namespace sarvik::app
