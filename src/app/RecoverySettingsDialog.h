// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Recovery Settings" box: sectors per read (1..100), what to do with a
// duplicate name (three radio buttons) and retries on a bad sector (1..10). OK
// writes the values back; Cancel leaves them as they were. A check box chooses
// the thorough scan for the scans that follow, and one below it the search of
// free space after every such scan.

#include "recovery/RecoverySettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QRadioButton;

namespace sarvik::app {

class RecoverySettingsDialog : public QDialog {
    Q_OBJECT
public:
    RecoverySettingsDialog(recovery::RecoverySettings& settings, QWidget* parent = nullptr);

    [[nodiscard]] QComboBox* sectorsList() const { return m_sectors; }
    [[nodiscard]] QComboBox* retriesList() const { return m_retries; }
    [[nodiscard]] QRadioButton* policyButton(int policy) const;
    [[nodiscard]] QCheckBox* thoroughBox() const { return m_thorough; }
    [[nodiscard]] QCheckBox* deepBox() const { return m_deep; }

    void accept() override;

private:
    recovery::RecoverySettings& m_settings;
    QComboBox* m_sectors;
    QComboBox* m_retries;
    QRadioButton* m_rename;
    QRadioButton* m_overwrite;
    QRadioButton* m_skip;
    QCheckBox* m_thorough;
    QCheckBox* m_deep;
};

} // namespace sarvik::app
