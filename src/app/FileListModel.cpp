// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FileListModel.h"

#include "app/FileTypes.h"
#include "session/DisplayText.h"

#include <QCollator>

#include <algorithm>
#include <numeric>

namespace sarvik::app {

namespace {

// Names rank as people read them in the desktop's language: without case,
// digits by value.
std::vector<std::size_t> collatorRanks(const std::vector<std::string>& names)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(names.size());
    for (const std::string& name : names)
        keys.push_back(collator.sortKey(QString::fromStdString(name)));
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a].compare(keys[b]) < 0; });
    std::vector<std::size_t> ranks(names.size());
    std::size_t rank = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && keys[order[i - 1]].compare(keys[order[i]]) != 0)
            ++rank;
        ranks[order[i]] = rank;
    }
    return ranks;
}

} // namespace

FileListModel::FileListModel(FileTypes& types, QObject* parent)
    : QAbstractTableModel(parent), m_types(types),
      m_rows([&types](const std::string& name) { return types.typeName(QString::fromStdString(name)).toStdString(); },
             collatorRanks)
{
}

QString FileListModel::conditionLegend()
{
    return QString::fromStdString(session::conditionLegend());
}

void FileListModel::setRows(std::vector<catalogue::FileRow> rows, bool namesAreUtf8, TypeNames typeNames)
{
    beginResetModel();
    m_rows.setRows(std::move(rows), namesAreUtf8, typeNames);
    m_icons.assign(m_rows.size(), QIcon());
    endResetModel();
}

void FileListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_icons.clear();
    endResetModel();
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    const session::SortOrder wanted =
        order == Qt::DescendingOrder ? session::SortOrder::Descending : session::SortOrder::Ascending;
    if (column == m_rows.sortColumn() && wanted == m_rows.sortOrder())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> rowsBefore;
    rowsBefore.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before)
        rowsBefore.push_back(sourceRow(index));
    m_rows.sort(column, wanted);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.push_back(indexOfRow(rowsBefore[static_cast<std::size_t>(i)], before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

int FileListModel::sourceRow(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return -1;
    return m_rows.rowAt(index.row());
}

QModelIndex FileListModel::indexOfRow(int row, int column) const
{
    const int position = m_rows.positionOf(row);
    return position < 0 ? QModelIndex() : index(position, column);
}

QIcon FileListModel::icon(int row) const
{
    const auto r = static_cast<std::size_t>(row);
    if (m_icons[r].isNull())
        m_icons[r] = m_rows.isFolder(row) ? m_types.folderIcon() : m_types.fileIcon(text(row, Name));
    return m_icons[r];
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = sourceRow(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(row, index.column());
    case Qt::ToolTipRole:
        // A cut text shows whole; the condition explains its words.
        if (index.column() == Condition && !isFolder(row))
            return text(row, Condition) + QStringLiteral("\n\n") + conditionLegend();
        return text(row, index.column());
    case Qt::DecorationRole:
        return index.column() == Name ? QVariant(icon(row)) : QVariant();
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
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(session::columnHeader(section));
    if (role == Qt::ToolTipRole && section == Condition)
        return conditionLegend();
    if (role == Qt::ToolTipRole && section == Id)
        return tr("Each file's number; a folder's number begins with D");
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
    emit renameRequested(sourceRow(index), value.toString());
    return false; // the handler sets the name it decides on
}

void FileListModel::setName(int row, const std::string& name8)
{
    if (!m_rows.validRow(row))
        return;
    m_rows.setName(row, name8);
    m_icons[static_cast<std::size_t>(row)] = QIcon();
    emit dataChanged(indexOfRow(row, Name), indexOfRow(row, Type));
}

QString FileListModel::text(int row, int column) const
{
    return QString::fromStdString(m_rows.text(row, column));
}

QString FileListModel::longestText(int column) const
{
    const int row = m_rows.longestRow(column);
    return row < 0 ? QString() : text(row, column);
}

} // namespace sarvik::app
