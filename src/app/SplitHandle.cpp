// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SplitHandle.h"

#include <QMouseEvent>

namespace sarvik::app {

SplitHandle::SplitHandle(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::SplitHCursor);
    setToolTip(tr("Drag to share the room between the folders and the files"));
}

void SplitHandle::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    m_lastX = qRound(event->globalPosition().x());
}

void SplitHandle::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed)
        return;
    const int x = qRound(event->globalPosition().x());
    const int dx = x - m_lastX;
    m_lastX = x;
    if (dx != 0)
        emit dragged(dx);
}

void SplitHandle::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressed = false;
}

} // namespace sarvik::app
