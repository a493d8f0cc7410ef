// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FileFiltersDialog.h"

#include "app/FileTypes.h"
#include "app/MessageBoxes.h"
#include "catalogue/NameText.h"
#include "ui/Skin.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace sarvik::app {

// Patterns are held as the names they are matched with: Windows-1252 bytes
// (one character, one byte of the length limit) or, after a thorough scan, UTF-8.
FileFiltersDialog::FileFiltersDialog(search::FilterPatterns& patterns, bool namesAreUtf8, QWidget* parent)
    : QDialog(parent), m_patterns(patterns), m_namesAreUtf8(namesAreUtf8)
{
    // The patterns let files in: the title and the caption say so. The size is
    // the least; the title and a larger font widen it.
    setWindowTitle(tr("File Filters: Include Only"));
    setMinimumSize(ui::dluX(211), ui::dluY(145));
    m_edit = new QLineEdit(this);
    m_edit->setMaxLength(299);
    m_list = new QListWidget(this);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list->setAccessibleName(tr("Patterns in force"));
    m_add = new QPushButton(tr("&Add"), this);
    m_add->setDefault(true);
    m_remove = new QPushButton(tr("&Remove"), this);
    m_close = new QPushButton(tr("&Close"), this);
    m_close->setAutoDefault(false);
    m_remove->setAutoDefault(false);

    for (const std::string& p : m_patterns.patterns())
        m_list->insertItem(m_list->count(), nameText(p, m_namesAreUtf8));
    m_remove->setEnabled(m_list->count() > 0);

    connect(m_add, &QPushButton::clicked, this, &FileFiltersDialog::add);
    connect(m_remove, &QPushButton::clicked, this, &FileFiltersDialog::remove);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    auto* caption = new QLabel(tr("Only the files whose names match one of these patterns are listed and recovered "
                                  "(* and ? stand for any characters). Enter &Pattern:"),
                               this);
    caption->setWordWrap(true);
    caption->setBuddy(m_edit);
    grid->addWidget(caption, 0, 0, 1, 2);
    grid->addWidget(m_edit, 1, 0);
    grid->addWidget(m_add, 1, 1);
    grid->addWidget(m_list, 2, 0, 3, 1);
    grid->addWidget(m_remove, 2, 1);
    grid->addWidget(m_close, 3, 1);
    grid->setRowStretch(4, 1);
    m_edit->setFocus();
}

void FileFiltersDialog::add()
{
    const QString text = m_edit->text();
    const search::AddPatternResult result = m_patterns.add(toDiskName(text, m_namesAreUtf8));
    if (result != search::AddPatternResult::Added) {
        MessageDialog(this, MessageKind::Error, QString::fromLatin1(search::addPatternMessage(result)));
        if (result == search::AddPatternResult::TooLong)
            m_edit->setSelection(0, static_cast<int>(search::FilterPatterns::kMaxPatternLength));
        else if (result == search::AddPatternResult::Duplicate)
            m_edit->selectAll();
        m_edit->setFocus();
        return;
    }
    m_list->insertItem(0, text);
    m_edit->clear();
    m_edit->setFocus();
    m_remove->setEnabled(m_list->count() > 0);
}

void FileFiltersDialog::remove()
{
    if (m_list->count() == 0) {
        m_remove->setEnabled(false);
        return;
    }
    QListWidgetItem* selected = m_list->currentItem();
    if (selected == nullptr || !selected->isSelected())
        return;
    m_patterns.remove(toDiskName(selected->text(), m_namesAreUtf8));
    delete m_list->takeItem(m_list->row(selected));
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

} // namespace sarvik::app
