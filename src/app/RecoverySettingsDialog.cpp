// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecoverySettingsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace sarvik::app {

namespace {

QComboBox* numberList(int last, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    for (int i = 1; i <= last; ++i)
        list->addItem(QString::number(i));
    list->setMaxVisibleItems(12);
    return list;
}

// The radio buttons carry no text; a label beside each says what it means.
QRadioButton* radioRow(QGridLayout* grid, int row, const QString& text, QWidget* parent)
{
    auto* button = new QRadioButton(parent);
    auto* label = new QLabel(text, parent);
    label->setBuddy(button);
    grid->addWidget(button, row, 0);
    grid->addWidget(label, row, 1);
    return button;
}

} // namespace

RecoverySettingsDialog::RecoverySettingsDialog(recovery::RecoverySettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
    setWindowTitle(tr("Recovery Settings"));

    auto* sectorsBox = new QGroupBox(tr("Sectors to read in single attempt"), this);
    m_sectors = numberList(100, this);
    auto* sectorsRow = new QHBoxLayout(sectorsBox);
    sectorsRow->addWidget(new QLabel(tr("Sectors to read in single attempt"), this), 1);
    sectorsRow->addWidget(m_sectors);

    auto* duplicateBox = new QGroupBox(tr("Setting of duplicate file(s)"), this);
    auto* radios = new QGridLayout(duplicateBox);
    radios->setColumnStretch(1, 1);
    m_rename = radioRow(radios, 0, tr("Rename duplicate file(s)"), this);
    m_overwrite = radioRow(radios, 1, tr("Overwrite duplicate file(s)"), this);
    m_skip = radioRow(radios, 2, tr("Skip duplicate file(s)"), this);
    auto* group = new QButtonGroup(this);
    group->addButton(m_rename);
    group->addButton(m_overwrite);
    group->addButton(m_skip);

    auto* badBox = new QGroupBox(tr("Setting for bad sectors"), this);
    m_retries = numberList(10, this);
    auto* badRow = new QHBoxLayout(badBox);
    badRow->addWidget(new QLabel(tr("Number of retries on bad sector(s)"), this), 1);
    badRow->addWidget(m_retries);

    m_thorough = new QCheckBox(tr("Thorough scan (read whole folders)"), this);
    m_thorough->setChecked(settings.ThoroughScan);
    // The passes over free space are the thorough rules' own.
    m_deep = new QCheckBox(tr("Search free space (deep scan)"), this);
    m_deep->setToolTip(tr("After every scan, search the free space too: lost folders, and files by "
                          "their content. It reads all of the free space, which takes long on a "
                          "large device."));
    m_deep->setChecked(settings.DeepSearch);
    m_deep->setEnabled(settings.ThoroughScan);
    connect(m_thorough, &QCheckBox::toggled, m_deep, &QWidget::setEnabled);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->addWidget(sectorsBox);
    layout->addWidget(duplicateBox);
    layout->addWidget(badBox);
    layout->addWidget(m_thorough);
    layout->addWidget(m_deep);
    layout->addWidget(buttons);
    setMinimumWidth(420);

    // Values outside the lists select nothing rather than a wrong number.
    m_sectors->setCurrentIndex(
        settings.SectorsPerRead >= 1 && settings.SectorsPerRead <= 100 ? settings.SectorsPerRead - 1 : -1);
    m_retries->setCurrentIndex(
        settings.BadSectorRetries >= 1 && settings.BadSectorRetries <= 10 ? settings.BadSectorRetries - 1 : -1);
    if (QRadioButton* on = policyButton(settings.DuplicatePolicy))
        on->setChecked(true);
}

QRadioButton* RecoverySettingsDialog::policyButton(int policy) const
{
    switch (policy) {
    case recovery::DuplicatePolicy::Rename:
        return m_rename;
    case recovery::DuplicatePolicy::Overwrite:
        return m_overwrite;
    case recovery::DuplicatePolicy::Skip:
        return m_skip;
    default:
        return nullptr;
    }
}

void RecoverySettingsDialog::accept()
{
    if (m_sectors->currentIndex() >= 0)
        m_settings.SectorsPerRead = m_sectors->currentIndex() + 1;
    if (m_retries->currentIndex() >= 0)
        m_settings.BadSectorRetries = static_cast<std::uint16_t>(m_retries->currentIndex() + 1);
    if (m_rename->isChecked())
        m_settings.DuplicatePolicy = recovery::DuplicatePolicy::Rename;
    if (m_overwrite->isChecked())
        m_settings.DuplicatePolicy = recovery::DuplicatePolicy::Overwrite;
    if (m_skip->isChecked())
        m_settings.DuplicatePolicy = recovery::DuplicatePolicy::Skip;
    m_settings.ThoroughScan = m_thorough->isChecked();
    m_settings.DeepSearch = m_deep->isChecked();
    QDialog::accept();
}

} // namespace sarvik::app
