// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file list as thumbnails: the same model and selection as the other
// views, a picture of each found picture (made on the preview's worker and
// kept while the program runs) or its type's icon, and a dot in the corner
// for its condition.

#include <QHash>
#include <QImage>
#include <QListView>
#include <QPointer>
#include <QSet>

#include <cstdint>

namespace sarvik::catalogue {
struct FileRow;
}

namespace sarvik::app {

class FileListModel;
class PreviewPane;

class ThumbnailView : public QListView {
    Q_OBJECT
public:
    ThumbnailView(FileListModel& model, PreviewPane& maker, QWidget* parent);

    /// Side of a thumbnail, in pixels.
    static constexpr int kSide = 96;
    /// The thumbnail of row `row`, asked for when not made yet; null until it
    /// is, and for files that are no pictures.
    [[nodiscard]] QImage thumbnail(int row) const;
    /// Drops the thumbnails made: the session holds other files now.
    void forget();
    /// Thumbnails made so far.
    [[nodiscard]] qsizetype madeCount() const { return m_made.size(); }
    /// The colour of the dot for the Condition column's text (none: transparent).
    [[nodiscard]] static QColor conditionColour(const QString& condition);

signals:
    /// A thumbnail was made (or found to be none).
    void thumbnailMade(int row);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    [[nodiscard]] static quint64 keyOf(const catalogue::FileRow& row);
    [[nodiscard]] bool isPicture(const catalogue::FileRow& row) const;

    FileListModel& m_model;
    /// Gone once the window has begun to close.
    QPointer<PreviewPane> m_maker;
    QHash<quint64, QImage> m_made;
    mutable QSet<quint64> m_asked;
    QSet<QByteArray> m_suffixes;
};

} // namespace sarvik::app
