// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ThumbnailView.h"

#include "app/FileListModel.h"
#include "app/PreviewPane.h"
#include "catalogue/FileList.h"

#include <QImageReader>
#include <QPainter>
#include <QStyledItemDelegate>

namespace sarvik::app {

namespace {

class ThumbnailDelegate final : public QStyledItemDelegate {
public:
    ThumbnailDelegate(ThumbnailView& view, FileListModel& model)
        : QStyledItemDelegate(&view), m_view(view), m_model(model)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem o = option;
        initStyleOption(&o, index);
        const QRect cell = o.rect.adjusted(2, 2, -2, -2);
        if (o.state & QStyle::State_Selected)
            painter->fillRect(cell, o.palette.highlight());
        const QRect pictureRoom(cell.left() + (cell.width() - ThumbnailView::kSide) / 2, cell.top() + 2,
                                ThumbnailView::kSide, ThumbnailView::kSide);
        const QImage thumb = m_view.thumbnail(index.row());
        if (!thumb.isNull()) {
            const QPoint at(pictureRoom.left() + (pictureRoom.width() - thumb.width()) / 2,
                            pictureRoom.top() + (pictureRoom.height() - thumb.height()) / 2);
            painter->drawImage(at, thumb);
        } else {
            o.icon.paint(painter, pictureRoom.adjusted(24, 24, -24, -24));
        }
        const QColor dot = ThumbnailView::conditionColour(m_model.text(index.row(), FileListModel::Condition));
        if (dot.alpha() != 0) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(QPen(Qt::white, 1.5));
            painter->setBrush(dot);
            painter->drawEllipse(QRect(pictureRoom.right() - 13, pictureRoom.top() + 1, 12, 12));
            painter->restore();
        }
        const QRect textRoom(cell.left(), pictureRoom.bottom() + 3, cell.width(),
                             cell.bottom() - pictureRoom.bottom() - 3);
        painter->setPen(o.state & QStyle::State_Selected ? o.palette.color(QPalette::HighlightedText)
                                                         : o.palette.color(QPalette::Text));
        painter->drawText(textRoom, Qt::AlignHCenter | Qt::AlignTop,
                          o.fontMetrics.elidedText(o.text, Qt::ElideMiddle, textRoom.width()));
    }

    QSize sizeHint(const QStyleOptionViewItem& /*option*/, const QModelIndex& /*index*/) const override
    {
        return {ThumbnailView::kSide + 24, ThumbnailView::kSide + 26};
    }

private:
    ThumbnailView& m_view;
    FileListModel& m_model;
};

} // namespace

ThumbnailView::ThumbnailView(FileListModel& model, PreviewPane& maker, QWidget* parent)
    : QListView(parent), m_model(model), m_maker(&maker)
{
    setModel(&model);
    setViewMode(QListView::IconMode);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setGridSize(QSize(kSide + 28, kSide + 30));
    setItemDelegate(new ThumbnailDelegate(*this, model));
    for (const QByteArray& suffix : QImageReader::supportedImageFormats())
        m_suffixes.insert(suffix.toLower());
}

quint64 ThumbnailView::keyOf(const catalogue::FileRow& row)
{
    // The row's entry and key stay the file's while the program runs; the
    // size tells apart what a new scan put in the same place.
    return (quint64{row.entryIndex()} << 32) ^ row.key ^ (row.size * 0x9E3779B97F4A7C15ULL);
}

bool ThumbnailView::isPicture(const catalogue::FileRow& row) const
{
    const auto dot = row.name.rfind('.');
    if (row.folder || dot == std::string::npos)
        return false;
    return m_suffixes.contains(QByteArray::fromStdString(row.name.substr(dot + 1)).toLower()) ||
           QByteArray::fromStdString(row.name.substr(dot + 1)).toLower() == "pdf";
}

QImage ThumbnailView::thumbnail(int row) const
{
    const auto& rows = m_model.fileRows();
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size())
        return {};
    const catalogue::FileRow& r = rows[static_cast<std::size_t>(row)];
    const quint64 key = keyOf(r);
    if (const auto it = m_made.constFind(key); it != m_made.cend())
        return *it;
    if (!isPicture(r) || m_asked.contains(key) || m_maker == nullptr)
        return {};
    m_asked.insert(key);
    auto* self = const_cast<ThumbnailView*>(this); // NOLINT: the cache fills as rows are painted
    m_maker->requestThumbnail(r, kSide, self, [self, key, row](const QImage& made) {
        self->m_made.insert(key, made);
        self->viewport()->update();
        emit self->thumbnailMade(row);
    });
    return {};
}

void ThumbnailView::forget()
{
    m_made.clear();
    m_asked.clear();
}

QColor ThumbnailView::conditionColour(const QString& condition)
{
    if (condition == QLatin1String("Good"))
        return {0x4c, 0xaf, 0x50};
    if (condition == QLatin1String("Partly overwritten"))
        return {0xf0, 0x9a, 0x20};
    if (condition == QLatin1String("Overwritten"))
        return {0xd9, 0x3b, 0x3b};
    if (condition.isEmpty())
        return Qt::transparent;
    return {0x60, 0x60, 0x60}; // beyond the image, incomplete
}

void ThumbnailView::hideEvent(QHideEvent* event)
{
    // Thumbnails still waiting are asked for again when the view shows.
    if (m_maker != nullptr)
        m_maker->release();
    m_asked.clear();
    QListView::hideEvent(event);
}

} // namespace sarvik::app
