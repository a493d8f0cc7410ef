// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Drive Information" box: the scanned volume's file system, its main
// geometry numbers and how many folders and files were found. It only reads.

#include "disk/DriveInformation.h"

#include <QDialog>

class QLabel;

namespace sarvik::app {

class DriveInformationDialog : public QDialog {
    Q_OBJECT
public:
    DriveInformationDialog(const disk::DriveInformation& values, QWidget* parent = nullptr);
    /// The value shown beside caption number `row` (0..7, in the box's order).
    [[nodiscard]] QString value(int row) const;
    [[nodiscard]] QString caption(int row) const;

    static constexpr int kRows = 8;

private:
    QString m_captionTexts[kRows];
    QLabel* m_captions[kRows] = {};
    QLabel* m_values[kRows] = {};
};

} // namespace sarvik::app
