// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FileListModel.h"

#include "app/FileTypes.h"
#include "session/DisplayText.h"

#include <QCollator>
#include <QDate>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <numeric>
#include <optional>

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

// A time format without its zone ("t", outside quoted text).
QString withoutZone(const QString& format)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t'))
            out += c;
    }
    return out.simplified();
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
    return tr("Good: none of its clusters is in use by anything else now\n"
              "Partly overwritten: some of its clusters are in use by something else now\n"
              "Overwritten: all of its clusters are in use by something else now\n"
              "Unknown: where its data lies could not be read, so it could not be checked");
}

QString FileListModel::shownText(int row, int column) const
{
    // The catalogue's words (English, as the command-line program prints them)
    // worded for the user, and numbers and dates as the user's locale writes them.
    static const char* const kWords[] = {QT_TR_NOOP("Folder"),      QT_TR_NOOP("Deleted Folder"),
                                         QT_TR_NOOP("Good"),        QT_TR_NOOP("Partly overwritten"),
                                         QT_TR_NOOP("Overwritten"), QT_TR_NOOP("Unknown")};
    const std::string raw = m_rows.text(row, column);
    switch (column) {
    case Type:
    case Condition:
        for (const char* word : kWords) {
            if (raw == word)
                return tr(word);
        }
        if (column == Type && raw.starts_with("Deleted "))
            return tr("Deleted %1").arg(QString::fromStdString(raw.substr(8)));
        return QString::fromStdString(raw);
    case Size:
        return m_rows.validRow(row) ? QLocale().toString(qulonglong{fileRows()[static_cast<std::size_t>(row)].size})
                                    : QString();
    case Created:
    case Modified:
        return localDate(raw);
    default:
        return QString::fromStdString(raw);
    }
}

QString FileListModel::localDate(const std::string& text)
{
    const std::optional<session::DateFields> f = session::dateFields(text);
    const QDate date =
        f ? QDate(static_cast<int>(f->year), static_cast<int>(f->month), static_cast<int>(f->day)) : QDate();
    // A text that is no date of the calendar is shown as the catalogue gave it.
    if (!date.isValid())
        return QString::fromStdString(text);
    const QLocale locale;
    // The locale's short form with the whole year: deleted files reach back
    // to 1980 and a two-digit year could be either century.
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    if (!dateFormat.contains(QLatin1String("yyyy")))
        dateFormat.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    if (!f->hasTime)
        return locale.toString(date, dateFormat);
    const QTime time(static_cast<int>(f->hour), static_cast<int>(f->minute), static_cast<int>(f->second));
    // The long form keeps the seconds (two versions of a file often differ by
    // less than a minute); its time zone goes: the catalogue's times are as
    // the volume holds them, with no zone to name.
    return locale.toString(date, dateFormat) + QLatin1Char(' ') +
           locale.toString(time, withoutZone(locale.timeFormat(QLocale::LongFormat)));
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
        return shownText(row, index.column());
    case Qt::EditRole:
        return text(row, index.column());
    case Qt::ToolTipRole:
        // A cut text shows whole; the condition explains its words.
        if (index.column() == Condition && !isFolder(row))
            return shownText(row, Condition) + QStringLiteral("\n\n") + conditionLegend();
        return shownText(row, index.column());
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
    // The same headers as session::columnHeader's, in the user's language.
    static const char* const kHeaders[ColumnCount] = {
        QT_TR_NOOP("Name"),     QT_TR_NOOP("Type"), QT_TR_NOOP("Size"),     QT_TR_NOOP("Created"),
        QT_TR_NOOP("Modified"), QT_TR_NOOP("ID"),   QT_TR_NOOP("Condition")};
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return tr(kHeaders[section]);
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
    return row < 0 ? QString() : shownText(row, column);
}

} // namespace sarvik::app
