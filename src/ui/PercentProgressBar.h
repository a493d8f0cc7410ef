// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A progress bar that paints its filled part and, in its middle, the percentage
// "(value - minimum) * 100 / (maximum - minimum)%", cut to a whole number. It
// paints nothing when the minimum is not below the maximum.

#include <QProgressBar>

namespace sarvik::ui {

class PercentProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit PercentProgressBar(QWidget* parent = nullptr);
    /// The text painted in the middle; empty when the range is empty.
    [[nodiscard]] QString text() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace sarvik::ui
