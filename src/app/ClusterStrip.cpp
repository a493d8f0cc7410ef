// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ClusterStrip.h"

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

QString ClusterStrip::stateText(ClusterState state)
{
    return QString::fromStdString(session::ClusterStripParts::stateText(state));
}

QString ClusterStrip::partText(int x) const
{
    const QLocale locale;
    return QString::fromStdString(m_strip.partText(
        x, width(), [&locale](std::uint64_t n) { return locale.toString(qulonglong{n}).toStdString(); }));
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
    if (const std::string empty = m_strip.emptyText(); !empty.empty()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(area, Qt::AlignCenter, QString::fromStdString(empty));
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
