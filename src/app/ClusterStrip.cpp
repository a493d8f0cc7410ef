#include "app/ClusterStrip.h"

#include <QHelpEvent>
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
    m_known = parts.has_value();
    m_parts = parts ? std::move(*parts) : std::vector<recovery::ClusterPart>{};
    m_total = 0;
    for (const auto& p : m_parts)
        m_total += p.count;
    update();
}

std::uint64_t ClusterStrip::clusters(ClusterState state) const
{
    std::uint64_t n = 0;
    for (const auto& p : m_parts)
        n += p.state == state ? p.count : 0;
    return n;
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
    switch (state) {
    case ClusterState::Intact:
        return QStringLiteral("free, still holding the file's data");
    case ClusterState::Claimed:
        return QStringLiteral("claimed since by another file");
    case ClusterState::Unreadable:
        return QStringLiteral("unreadable");
    case ClusterState::NoData:
        return QStringLiteral("sparse: no data stored");
    }
    return {};
}

int ClusterStrip::edge(std::uint64_t before) const
{
    if (m_total == 0)
        return 0;
    // 128-bit-safe enough: cluster counts stay far below 2^53.
    return static_cast<int>(static_cast<double>(before) * width() / static_cast<double>(m_total));
}

const recovery::ClusterPart* ClusterStrip::partAt(int x) const
{
    std::uint64_t before = 0;
    for (const auto& p : m_parts) {
        const int left = edge(before);
        before += p.count;
        // A part narrower than a pixel still takes one.
        if (x >= left && x < std::max(edge(before), left + 1))
            return &p;
    }
    return nullptr;
}

QString ClusterStrip::partText(int x) const
{
    const recovery::ClusterPart* p = partAt(x);
    if (p == nullptr)
        return {};
    const QString what = stateText(p->state);
    if (p->state == ClusterState::NoData || (p->state == ClusterState::Unreadable && p->first == 0))
        return QStringLiteral("%L1 cluster(s): %2").arg(p->count).arg(what);
    if (p->count == 1)
        return QStringLiteral("Cluster %L1: %2").arg(p->first).arg(what);
    return QStringLiteral("Clusters %L1 to %L2 (%L3): %4")
        .arg(p->first)
        .arg(p->first + p->count - 1)
        .arg(p->count)
        .arg(what);
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
    if (!m_known || m_total == 0) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(area, Qt::AlignCenter,
                         m_known ? QStringLiteral("No clusters") : QStringLiteral("Clusters not known"));
        return;
    }
    std::uint64_t before = 0;
    for (const auto& p : m_parts) {
        const int left = edge(before);
        before += p.count;
        const int right = std::max(edge(before), left + 1);
        painter.fillRect(QRect(left, 0, right - left, area.height()), colour(p.state));
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

} // namespace sarvik::app
