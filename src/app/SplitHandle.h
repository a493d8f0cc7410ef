// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A handle between two controls that the window places itself (it has no
// layout, so a QSplitter cannot hold them): dragging it reports each move of
// the pointer.

#include <QWidget>

namespace sarvik::app {

class SplitHandle : public QWidget {
    Q_OBJECT
public:
    explicit SplitHandle(QWidget* parent);

signals:
    /// The pointer moved `dx` pixels since the last report, the button down.
    void dragged(int dx);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int m_lastX = 0;
    bool m_pressed = false;
};

} // namespace sarvik::app
