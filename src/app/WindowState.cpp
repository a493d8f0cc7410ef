// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps between sessions: its size, the splits, the list's
// columns, sort and view, and the colours the View menu chose.
#include "app/RecoveryWindow.h"

#include "app/ColourScheme.h"
#include "app/FileListModel.h"
#include "app/RecentPlaces.h"
#include "app/SplitHandle.h"

#include <QActionGroup>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableView>
#include <QTimer>

namespace sarvik::app {

namespace {

constexpr const char* kGeometryKey = "window/geometry";
constexpr const char* kTreeShiftKey = "window/treeShift";
constexpr const char* kListSplitKey = "window/listSplit";
constexpr const char* kColumnsKey = "window/columns";
constexpr const char* kSortColumnKey = "window/sortColumn";
constexpr const char* kSortOrderKey = "window/sortDescending";
constexpr const char* kViewKey = "window/view";
constexpr const char* kColoursKey = "appearance/colours";

/// How long a command's message stands in place of the quick help.
constexpr int kStatusMessageMs = 10000;

const char* const kViewNames[] = {"icons", "list", "details", "thumbnails"};

} // namespace

void RecoveryWindow::keepStateInSettings()
{
    m_keepState = true;
    restoreKeptState();
}

void RecoveryWindow::restoreKeptState()
{
    const auto kept = userSettings();
    applyColourScheme(colourSchemeFromName(kept->value(QLatin1String(kColoursKey)).toString()));
    if (QAction* colours = action(Command::Colours))
        for (QAction* choice : colours->menu()->actions())
            choice->setChecked(choice->data().toString() == colourSchemeName(colourScheme()));
    if (const QByteArray geometry = kept->value(QLatin1String(kGeometryKey)).toByteArray(); !geometry.isEmpty())
        restoreGeometry(geometry);
    m_treeShift = kept->value(QLatin1String(kTreeShiftKey), 0).toInt();
    if (const QByteArray sizes = kept->value(QLatin1String(kListSplitKey)).toByteArray(); !sizes.isEmpty())
        m_listSplit->restoreState(sizes);
    m_userColumns = kept->value(QLatin1String(kColumnsKey)).toByteArray();
    QHeaderView* header = m_details->horizontalHeader();
    if (!m_userColumns.isEmpty()) {
        const QSignalBlocker quiet(header);
        header->restoreState(m_userColumns);
    }
    const int sortColumn = kept->value(QLatin1String(kSortColumnKey), -1).toInt();
    if (sortColumn >= 0 && sortColumn < FileListModel::ColumnCount) {
        const QSignalBlocker quiet(header);
        header->setSortIndicator(sortColumn, kept->value(QLatin1String(kSortOrderKey)).toBool() ? Qt::DescendingOrder
                                                                                                : Qt::AscendingOrder);
    }
    const QString view = kept->value(QLatin1String(kViewKey)).toString();
    for (int i = 0; i < 4; ++i)
        if (view == QLatin1String(kViewNames[i]))
            m_keptView = static_cast<ViewMode>(i);
    layoutControls();
}

void RecoveryWindow::saveKeptState() const
{
    const auto kept = userSettings();
    kept->setValue(QLatin1String(kGeometryKey), saveGeometry());
    kept->setValue(QLatin1String(kTreeShiftKey), m_treeShift);
    kept->setValue(QLatin1String(kListSplitKey), m_listSplit->saveState());
    if (m_userColumns.isEmpty())
        kept->remove(QLatin1String(kColumnsKey));
    else
        kept->setValue(QLatin1String(kColumnsKey), m_userColumns);
    const QHeaderView* header = m_details->horizontalHeader();
    kept->setValue(QLatin1String(kSortColumnKey), header->sortIndicatorSection());
    kept->setValue(QLatin1String(kSortOrderKey), header->sortIndicatorOrder() == Qt::DescendingOrder);
    kept->setValue(QLatin1String(kViewKey), QLatin1String(kViewNames[static_cast<int>(m_keptView)]));
    kept->setValue(QLatin1String(kColoursKey), colourSchemeName(colourScheme()));
}

void RecoveryWindow::chooseViewMode(ViewMode mode)
{
    m_keptView = mode;
    setViewMode(mode);
}

void RecoveryWindow::columnsChangedByUser()
{
    if (m_sizingColumns || m_currentStep != 3)
        return;
    m_userColumns = m_details->horizontalHeader()->saveState();
}

void RecoveryWindow::buildColoursMenu(QMenu* view)
{
    QMenu* colours = view->addMenu(tr("C&olours"));
    colours->menuAction()->setData(Command::Colours);
    m_actions.insert(Command::Colours, colours->menuAction());
    auto* group = new QActionGroup(colours);
    const std::pair<ColourScheme, QString> choices[] = {{ColourScheme::System, tr("Follow the &System")},
                                                        {ColourScheme::Light, tr("&Light")},
                                                        {ColourScheme::Dark, tr("&Dark")}};
    for (const auto& [scheme, text] : choices) {
        QAction* choice = colours->addAction(text);
        choice->setCheckable(true);
        choice->setData(colourSchemeName(scheme));
        choice->setChecked(scheme == colourScheme());
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, scheme = scheme] {
            applyColourScheme(scheme);
            if (m_keepState)
                userSettings()->setValue(QLatin1String(kColoursKey), colourSchemeName(scheme));
        });
    }
}

} // namespace sarvik::app

namespace sarvik::app {

void RecoveryWindow::showStatusMessage(const QString& text)
{
    m_quickHelpLabel->setText(text);
    QTimer::singleShot(kStatusMessageMs, this, [this, text] {
        if (m_quickHelpLabel->text() == text)
            setQuickHelp(m_quickHelp);
    });
}

} // namespace sarvik::app
