// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A button drawn from two pictures: the normal one, and a highlighted one shown
// while the pointer is over it or it is pressed. Disabled buttons are drawn faded.

#include <QAbstractButton>
#include <QPixmap>

namespace sarvik::ui {

class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PictureButton(QWidget* parent = nullptr);
    void setPictures(const QPixmap& normal, const QPixmap& highlighted);
    [[nodiscard]] QSize sizeHint() const override;
    /// Whether the highlighted picture is drawn.
    [[nodiscard]] bool isHighlighted() const { return isEnabled() && (m_hover || isDown()); }
    /// Drops the pointer's highlight, as when a window opens over the button
    /// and the pointer's leaving is never reported.
    void clearHighlight();
    /// Lets the button take the keyboard focus (Tab, a click, setFocus): it is
    /// drawn with a focus frame then, and Enter or Space presses it. Off by
    /// default, as a toolbar's buttons are reached through their menu commands.
    void setTakesFocus(bool takes);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPixmap m_normal;
    QPixmap m_highlighted;
    bool m_hover = false;
};

} // namespace sarvik::ui
