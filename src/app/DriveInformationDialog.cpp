// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DriveInformationDialog.h"

#include "app/MessageBoxes.h"

#include <QGridLayout>
#include <QLabel>

namespace sarvik::app {

DriveInformationDialog::DriveInformationDialog(const disk::DriveInformation& values, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Drive Information"));
    // The captions keep their blanks; they were laid out for the box's own font.
    static const char* const kCaptions[kRows] = {
        "File System          :",      "Start Sector         :",    "Directories           :",
        "Files                     :", "SPC                     :", "First FAT              :",
        "Second FAT        :",         "MFT Start            :"};
    // What each row is called on the screen, in the user's language.
    static const char* const kNames[kRows] = {
        QT_TR_NOOP("File System"), QT_TR_NOOP("Start Sector"), QT_TR_NOOP("Directories"), QT_TR_NOOP("Files"),
        QT_TR_NOOP("SPC"),         QT_TR_NOOP("First FAT"),    QT_TR_NOOP("Second FAT"),  QT_TR_NOOP("MFT Start")};
    const std::string* const texts[kRows] = {&values.fileSystem, &values.startSector, &values.directories,
                                             &values.files,      &values.spc,         &values.firstFat,
                                             &values.secondFat,  &values.mftStart};
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    for (int i = 0; i < kRows; ++i) {
        // The blanks before each colon lined the colons up in the original
        // font only; the grid lines them up here, with the colon in a column of its own.
        m_captionTexts[i] = QString::fromLatin1(kCaptions[i]);
        m_captions[i] = new QLabel(tr(kNames[i]), this);
        m_captions[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(new QLabel(QStringLiteral(":"), this), i, 1);
        m_values[i] = new QLabel(QString::fromStdString(*texts[i]), this);
        m_values[i]->setObjectName(QStringLiteral("value%1").arg(i));
        m_values[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QFont bold = m_values[i]->font();
        bold.setBold(true);
        m_values[i]->setFont(bold);
        m_values[i]->setMinimumWidth(110);
        grid->addWidget(m_captions[i], i, 0);
        grid->addWidget(m_values[i], i, 2);
    }
    layOutInformationBox(this, grid, 12);
}

QString DriveInformationDialog::value(int row) const
{
    return row >= 0 && row < kRows ? m_values[row]->text() : QString();
}

QString DriveInformationDialog::caption(int row) const
{
    return row >= 0 && row < kRows ? m_captionTexts[row] : QString();
}

} // namespace sarvik::app
