// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PropertiesDialog.h"

#include "app/MessageBoxes.h"
#include "app/ValueWords.h"

#include <QGridLayout>
#include <QLabel>
#include <QLocale>

namespace sarvik::app {

PropertiesValues::PropertiesValues(const session::RowProperties& p)
    : name(QString::fromStdString(p.name)), size(p.folder ? folderSizeWords(p.totals) : fileSizeWords(p.bytes)),
      contents(p.folder ? contentsWords(p.totals) : QString()), created(timeWords(p.created)),
      modified(timeWords(p.modified)), folder(p.folder),
      bytes(PropertiesDialog::tr("%1 bytes").arg(QLocale().toString(static_cast<qulonglong>(p.bytes)))),
      path(QString::fromStdString(p.path)),
      condition(p.folder ? QString::fromStdString(p.condition)
                         : conditionWords(p.conditionWord, p.conditionClustersInUse, p.conditionClusters)),
      clusters(dataPlaceWords(p.place)), createdTime(timeWords(p.createdTime)), modifiedTime(timeWords(p.modifiedTime)),
      accessedTime(timeWords(p.accessedTime)), changedTime(timeWords(p.changedTime))
{
}

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
        m_values[i]->setAccessibleName(c->text());
        grid->addWidget(c, i, 0);
        grid->addWidget(new QLabel(QStringLiteral(":"), this), i, 1);
        grid->addWidget(m_values[i], i, 2);
        if (i == 2 && !values.folder) {
            c->hide();
            m_values[i]->hide();
            grid->itemAtPosition(i, 1)->widget()->hide();
        }
    }
    // Below the box's own rows: what else is known of the row, each value whole
    // and selectable (a long path wraps).
    const QString extraCaptions[] = {tr("Size in bytes"), tr("Path"),     tr("Condition"), tr("Clusters"),
                                     tr("Created"),       tr("Modified"), tr("Accessed"),  tr("Record changed")};
    const QString extraTexts[] = {values.bytes,       values.path,         values.condition,    values.clusters,
                                  values.createdTime, values.modifiedTime, values.accessedTime, values.changedTime};
    for (int i = 0; i < static_cast<int>(Extra::Count); ++i) {
        const int row = 5 + i;
        auto* c = new QLabel(extraCaptions[i], this);
        m_extras[i] = new QLabel(extraTexts[i], this);
        m_extras[i]->setTextFormat(Qt::PlainText);
        m_extras[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_extras[i]->setWordWrap(true);
        m_extras[i]->setMinimumWidth(200);
        m_extras[i]->setAccessibleName(extraCaptions[i]);
        c->setBuddy(m_extras[i]);
        grid->addWidget(c, row, 0);
        grid->addWidget(new QLabel(QStringLiteral(":"), this), row, 1);
        grid->addWidget(m_extras[i], row, 2);
        if (extraTexts[i].isEmpty())
            for (int column = 0; column < 3; ++column)
                grid->itemAtPosition(row, column)->widget()->hide();
    }
    layOutInformationBox(this, grid, 10);
}

QString PropertiesDialog::extra(Extra row) const
{
    const QLabel* label = m_extras[static_cast<int>(row)];
    return label->isHidden() ? QString() : label->text();
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
