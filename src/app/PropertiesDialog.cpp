// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PropertiesDialog.h"

#include "app/MessageBoxes.h"

#include <QGridLayout>
#include <QLabel>

namespace sarvik::app {

PropertiesDialog::PropertiesDialog(const PropertiesValues& values, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("File/Folder Properties"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // Captions in the order of the box; ids 1012, 1011, 1013, 1015, 1014.
    static const char* const kCaptions[5] = {QT_TR_NOOP("Name"), QT_TR_NOOP("Size"), QT_TR_NOOP("Contains"),
                                             QT_TR_NOOP("Creation Date"), QT_TR_NOOP("Modification Date")};
    const QString texts[5] = {values.name, values.size, values.contents, values.created, values.modified};
    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(10);
    for (int i = 0; i < 5; ++i) {
        auto* c = new QLabel(tr(kCaptions[i]), this);
        m_values[i] = new QLabel(texts[i], this);
        m_values[i]->setTextFormat(Qt::PlainText);
        m_values[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_values[i]->setMinimumWidth(200);
        grid->addWidget(c, i, 0);
        grid->addWidget(new QLabel(QStringLiteral(":"), this), i, 1);
        grid->addWidget(m_values[i], i, 2);
        if (i == 2 && !values.folder) {
            c->hide();
            m_values[i]->hide();
            grid->itemAtPosition(i, 1)->widget()->hide();
        }
    }
    layOutInformationBox(this, grid, 10);
}

QString PropertiesDialog::value(int id) const
{
    switch (id) {
    case 1012:
        return m_values[0]->text();
    case 1011:
        return m_values[1]->text();
    case 1013:
        return m_values[2]->text();
    case 1015:
        return m_values[3]->text();
    case 1014:
        return m_values[4]->text();
    default:
        return {};
    }
}

} // namespace sarvik::app
