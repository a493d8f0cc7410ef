// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PictureButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace sarvik::ui {

PictureButton::PictureButton(QWidget* parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void PictureButton::setPictures(const QPixmap& normal, const QPixmap& highlighted)
{
    m_normal = normal;
    m_highlighted = highlighted;
    update();
}

QSize PictureButton::sizeHint() const
{
    return m_normal.isNull() ? QSize(32, 32) : m_normal.deviceIndependentSize().toSize();
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const bool lit = isHighlighted();
    const QPixmap& picture = lit && !m_highlighted.isNull() ? m_highlighted : m_normal;
    if (!isEnabled())
        p.setOpacity(0.45);
    if (isDown())
        p.translate(1, 1);
    p.drawPixmap(rect(), picture);
    if (hasFocus()) {
        p.setOpacity(1.0);
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &p, this);
    }
}

void PictureButton::setTakesFocus(bool takes)
{
    setFocusPolicy(takes ? Qt::StrongFocus : Qt::NoFocus);
}

void PictureButton::keyPressEvent(QKeyEvent* event)
{
    // Space is the base class's own (pressed, then clicked on release).
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (isEnabled())
            click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void PictureButton::clearHighlight()
{
    m_hover = false;
    update();
}

void PictureButton::enterEvent(QEnterEvent* event)
{
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent* event)
{
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace sarvik::ui
