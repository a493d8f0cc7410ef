// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ClusterStrip.h"

#include "app/Wording.h"

#include <QHelpEvent>
#include <QLocale>
#include <QPainter>
#include <QToolTip>

namespace sarvik::app {

using recovery::ClusterState;

ClusterStrip::ClusterStrip(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(14);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ClusterStrip::setParts(std::optional<std::vector<recovery::ClusterPart>> parts)
{
    m_strip.setParts(std::move(parts));
    update();
}

QColor ClusterStrip::colour(ClusterState state)
{
    switch (state) {
    case ClusterState::Intact:
        return {0x4c, 0xaf, 0x50};
    case ClusterState::Claimed:
        return {0xd9, 0x3b, 0x3b};
    case ClusterState::Unreadable:
        return {0x40, 0x40, 0x40};
    case ClusterState::NoData:
        return {0xc8, 0xc8, 0xc8};
    }
    return Qt::transparent;
}

// The texts below word in the user's language what session::ClusterStripParts
// says in English.
QString ClusterStrip::stateText(ClusterState state)
{
    switch (state) {
    case ClusterState::Intact:
        return tr("free, still holding the file's data");
    case ClusterState::Claimed:
        return tr("claimed since by another file");
    case ClusterState::Unreadable:
        return tr("unreadable");
    case ClusterState::NoData:
        return tr("sparse: no data stored");
    }
    return {};
}

QString ClusterStrip::partText(int x) const
{
    const recovery::ClusterPart* p = m_strip.partAt(x, width());
    if (p == nullptr)
        return {};
    const QLocale locale;
    const auto count = [&locale](std::uint64_t n) { return locale.toString(qulonglong{n}); };
    const QString what = stateText(p->state);
    // Sparse runs and unreadable runs of no known place have no cluster numbers.
    if (p->state == ClusterState::NoData || (p->state == ClusterState::Unreadable && p->first == 0))
        return tr("%1 cluster(s): %2", nullptr, pluralCount(p->count)).arg(count(p->count), what);
    if (p->count == 1)
        return tr("Cluster %1: %2").arg(count(p->first), what);
    return tr("Clusters %1 to %2 (%3): %4").arg(count(p->first), count(p->first + p->count - 1), count(p->count), what);
}

bool ClusterStrip::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event); // NOLINT: the type says which event it is
        const QString text = partText(help->pos().x());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void ClusterStrip::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, palette().base());
    // As session::ClusterStripParts::emptyText says it.
    if (!m_strip.known() || m_strip.total() == 0) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(area, Qt::AlignCenter, !m_strip.known() ? tr("Clusters not known") : tr("No clusters"));
        return;
    }
    for (std::size_t i = 0; i < m_strip.parts().size(); ++i) {
        const session::ClusterStripParts::Span span = m_strip.span(i, area.width());
        painter.fillRect(QRect(span.left, 0, span.right - span.left, area.height()), colour(m_strip.parts()[i].state));
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

} // namespace sarvik::app
