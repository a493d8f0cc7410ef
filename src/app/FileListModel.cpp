#include "app/FileListModel.h"

#include "app/FileTypes.h"
#include "catalogue/NameText.h"

#include <QCollator>

#include <algorithm>
#include <array>
#include <numeric>

namespace sarvik::app {

namespace {

// The numbers of a date text ("d-m-yyyy" or "d-m-yyyy h:m:s") as one ordered value.
std::uint64_t dateOrder(const std::string& text)
{
    std::array<std::uint64_t, 6> fields{}; // day, month, year, hour, minute, second
    std::size_t field = 0;
    bool inNumber = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
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

} // namespace

FileListModel::FileListModel(FileTypes& types, QObject* parent) : QAbstractTableModel(parent), m_types(types) {}

QString FileListModel::conditionLegend()
{
    return QStringLiteral("Good: none of its clusters is in use by anything else now\n"
                          "Partly overwritten: some of its clusters are in use by something else now\n"
                          "Overwritten: all of its clusters are in use by something else now\n"
                          "Unknown: where its data lies could not be read, so it could not be checked");
}

void FileListModel::setRows(std::vector<catalogue::FileRow> rows, bool namesAreUtf8, TypeNames typeNames)
{
    beginResetModel();
    m_namesAreUtf8 = namesAreUtf8;
    m_typeNamesGiven = typeNames;
    m_source = std::move(rows);
    m_longestKnown = false;
    m_icons.assign(m_source.size(), QIcon());
    m_typeNames.assign(m_typeNamesGiven == TypeNames::Pending ? m_source.size() : 0, QString());
    presentInOrder();
    endResetModel();
}

void FileListModel::clear()
{
    beginResetModel();
    m_source.clear();
    m_longestKnown = false;
    m_icons.clear();
    m_typeNames.clear();
    m_order.clear();
    m_position.clear();
    endResetModel();
}

void FileListModel::presentInOrder()
{
    m_order.resize(m_source.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    if (m_sortColumn >= 0 && m_sortColumn < ColumnCount) {
        const auto& rows = m_source;
        const bool descending = m_sortOrder == Qt::DescendingOrder;
        auto compare = [&](const auto& keyOf) {
            std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
                const catalogue::FileRow& ra = rows[static_cast<std::size_t>(a)];
                const catalogue::FileRow& rb = rows[static_cast<std::size_t>(b)];
                if (ra.folder != rb.folder)
                    return ra.folder; // folders first in either order
                return descending ? keyOf(rb) < keyOf(ra) : keyOf(ra) < keyOf(rb);
            });
        };
        switch (m_sortColumn) {
        case Name: {
            // Names compare as people read them: without case, digits by value.
            QCollator collator;
            collator.setCaseSensitivity(Qt::CaseInsensitive);
            collator.setNumericMode(true);
            std::vector<QCollatorSortKey> keys;
            keys.reserve(rows.size());
            for (const catalogue::FileRow& row : rows)
                keys.push_back(collator.sortKey(nameText(row.name, m_namesAreUtf8)));
            std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
                const auto ia = static_cast<std::size_t>(a), ib = static_cast<std::size_t>(b);
                if (rows[ia].folder != rows[ib].folder)
                    return rows[ia].folder;
                const int c = keys[ia].compare(keys[ib]);
                return descending ? c > 0 : c < 0;
            });
            break;
        }
        case Type: {
            std::vector<QString> types;
            types.reserve(rows.size());
            for (std::size_t r = 0; r < rows.size(); ++r)
                types.push_back(text(static_cast<int>(r), Type));
            compare([&types, &rows](const catalogue::FileRow& r) -> const QString& {
                return types[static_cast<std::size_t>(&r - rows.data())];
            });
            break;
        }
        case Size:
            compare([](const catalogue::FileRow& r) { return r.size; });
            break;
        case Created:
            compare([](const catalogue::FileRow& r) { return dateOrder(r.created); });
            break;
        case Modified:
            compare([](const catalogue::FileRow& r) { return dateOrder(r.modified); });
            break;
        case Id:
            compare([](const catalogue::FileRow& r) { return r.key; });
            break;
        case Condition:
            compare([](const catalogue::FileRow& r) { return conditionOrder(r); });
            break;
        default:
            break;
        }
    }
    m_position.resize(m_order.size());
    for (std::size_t i = 0; i < m_order.size(); ++i)
        m_position[static_cast<std::size_t>(m_order[i])] = static_cast<int>(i);
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    if (column == m_sortColumn && order == m_sortOrder)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> rowsBefore;
    rowsBefore.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before)
        rowsBefore.push_back(sourceRow(index));
    m_sortColumn = column;
    m_sortOrder = order;
    presentInOrder();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.push_back(indexOfRow(rowsBefore[static_cast<std::size_t>(i)], before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_source.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

int FileListModel::sourceRow(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.row() >= static_cast<int>(m_order.size()))
        return -1;
    return m_order[static_cast<std::size_t>(index.row())];
}

QModelIndex FileListModel::indexOfRow(int row, int column) const
{
    if (!validRow(row))
        return {};
    return index(m_position[static_cast<std::size_t>(row)], column);
}

const QString& FileListModel::typeName(int row) const
{
    QString& cached = m_typeNames[static_cast<std::size_t>(row)];
    if (cached.isEmpty()) {
        const catalogue::FileRow& source = m_source[static_cast<std::size_t>(row)];
        cached = QString::fromStdString(source.type); // "Deleted " or nothing
        if (!source.folder)
            cached += m_types.typeName(text(row, Name));
    }
    return cached;
}

QIcon FileListModel::icon(int row) const
{
    const auto r = static_cast<std::size_t>(row);
    if (m_icons[r].isNull())
        m_icons[r] = m_source[r].folder ? m_types.folderIcon() : m_types.fileIcon(text(row, Name));
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
    static const char* const kHeaders[ColumnCount] = {"Name", "Type", "Size", "Created", "Modified", "ID", "Condition"};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kHeaders[section]);
    if (role == Qt::ToolTipRole && section == Condition)
        return conditionLegend();
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
    if (!validRow(row))
        return;
    const auto r = static_cast<std::size_t>(row);
    m_source[r].name = name8;
    m_longestKnown = false;
    m_icons[r] = QIcon();
    if (r < m_typeNames.size())
        m_typeNames[r].clear(); // the type follows the new name
    emit dataChanged(indexOfRow(row, Name), indexOfRow(row, Type));
}

QString FileListModel::text(int row, int column) const
{
    if (!validRow(row))
        return {};
    const catalogue::FileRow& source = m_source[static_cast<std::size_t>(row)];
    switch (column) {
    case Name:
        return nameText(source.name, m_namesAreUtf8);
    case Type:
        return m_typeNamesGiven == TypeNames::Pending ? typeName(row) : QString::fromStdString(source.type);
    case Size:
        return QString::number(source.size);
    case Created:
        return QString::fromStdString(source.created);
    case Modified:
        return QString::fromStdString(source.modified);
    case Id:
        return QString::fromStdString(source.id);
    case Condition:
        // A file whose condition could not be estimated says so; folders have none.
        if (source.condition.empty())
            return source.folder ? QString() : QStringLiteral("Unknown");
        return QString::fromStdString(source.condition);
    default:
        return {};
    }
}

bool FileListModel::isFolder(int row) const
{
    return validRow(row) && m_source[static_cast<std::size_t>(row)].folder;
}

quint64 FileListModel::key(int row) const
{
    return validRow(row) ? m_source[static_cast<std::size_t>(row)].key : 0;
}

QString FileListModel::longestText(int column) const
{
    if (column < 0 || column >= ColumnCount || m_source.empty())
        return {};
    if (!m_longestKnown) {
        // One walk over the rows finds every column's longest: the rows of a
        // large folder fill far more memory than the caches hold.
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
            take(Id, row.id.size(), r);
            take(Condition, row.condition.size(), r);
            if (row.size > largest) { // the largest size has the most digits
                largest = row.size;
                m_longest[Size] = static_cast<int>(r);
            }
        }
        m_longestKnown = true;
    }
    return text(m_longest[static_cast<std::size_t>(column)], column);
}

} // namespace sarvik::app
