// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PercentProgressBar.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace sarvik::ui {

PercentProgressBar::PercentProgressBar(QWidget* parent) : QProgressBar(parent)
{
    setRange(0, 100);
    setValue(0);
}

QString PercentProgressBar::text() const
{
    if (minimum() >= maximum())
        return {};
    // QProgressBar keeps value() at minimum()-1 after reset(); show that as 0%.
    const qint64 position = std::max(value(), minimum());
    const qint64 percent = (position - minimum()) * 100 / (qint64{maximum()} - minimum());
    return QStringLiteral("%1%").arg(percent);
}

void PercentProgressBar::paintEvent(QPaintEvent*)
{
    if (minimum() >= maximum())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(frame, 3, 3);
    p.fillPath(outline, QColor(0xf4, 0xf6, 0xf9));

    const qint64 position = std::max(value(), minimum());
    const double fraction = double(position - minimum()) / double(qint64{maximum()} - minimum());
    QRectF filled = frame;
    filled.setWidth(frame.width() * std::clamp(fraction, 0.0, 1.0));
    if (filled.width() > 0) {
        QLinearGradient g(filled.topLeft(), filled.bottomLeft());
        g.setColorAt(0, QColor(0x5d, 0xa9, 0xe9));
        g.setColorAt(1, QColor(0x1f, 0x6f, 0xb8));
        p.save();
        p.setClipPath(outline);
        p.fillRect(filled, g);
        p.restore();
    }
    p.setPen(QColor(0x5a, 0x6b, 0x80));
    p.drawPath(outline);

    // The text reads in the bar's dark colour over the empty part and white over the filled part.
    const QString label = text();
    p.setPen(QColor(0x1d, 0x2b, 0x3a));
    p.drawText(rect(), Qt::AlignCenter, label);
    p.save();
    p.setClipRect(filled);
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter, label);
    p.restore();
}

} // namespace sarvik::ui
