// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's layouts. At the default font every control stands where
// the skin was drawn for it; a larger font or longer words widen the rows and
// the columns, and the window grows with them. Every control stays a child of
// the panel: only the layouts nest.
#include "app/DeepSearchBar.h"
#include "app/RecoveryWindow.h"
#include "app/SplitHandle.h"
#include "app/WindowPieces.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QSplitter>

#include <algorithm>

namespace sarvik::app {

namespace {

// The gap between the folder tree and the list, where the handle between them is.
constexpr int kHandleWidth = 6;
// The panel's margins around the trees and the list, in pixels.
constexpr int kLeftMargin = 5;
constexpr int kRightMargin = 7;
constexpr int kBottomMargin = 21;

QBoxLayout* tightRow(QBoxLayout::Direction direction, int left, int top, int right, int bottom)
{
    auto* row = new QBoxLayout(direction);
    row->setContentsMargins(left, top, right, bottom);
    row->setSpacing(0);
    return row;
}

} // namespace

void RecoveryWindow::layOutPanel()
{
    QWidget* panel = centralWidget();
    auto* grid = new QGridLayout(panel);
    m_panelGrid = grid;
    grid->setContentsMargins(kLeftMargin, 0, kRightMargin, kBottomMargin);
    grid->setSpacing(0);

    // The toolbar's picture buttons, the logo at the right.
    QBoxLayout* toolbar = tightRow(QBoxLayout::LeftToRight, ui::dluX(13) - kLeftMargin, ui::dluY(3), ui::dluX(12) - 7,
                                   ui::dluY(52) - ui::dluY(3) - ui::dluY(42));
    for (int i = 0; i < kToolbarButtons; ++i) {
        if (i != 0)
            toolbar->addSpacing(ui::dluX(6));
        toolbar->addWidget(m_toolbar[i], 0, Qt::AlignTop);
    }
    toolbar->addStretch(1);
    toolbar->addWidget(m_logo, 0, Qt::AlignTop);
    grid->addLayout(toolbar, kToolbarRow, 0, 1, 3);

    // Over the list: the filter's patterns, and at the right what a stopped scan lacks.
    QBoxLayout* notes = tightRow(QBoxLayout::LeftToRight, 0, 0, 0, 0);
    notes->addWidget(m_filterNote, 1);
    notes->addSpacing(6);
    notes->addWidget(m_stoppedNote, 0);
    grid->addLayout(notes, kNotesRow, kPaneColumn);

    // The drive tree and the folder tree share one place; one shows at a time.
    grid->addWidget(m_driveTree, kBodyRow, kTreeColumn);
    grid->addWidget(m_folderTree, kBodyRow, kTreeColumn);
    m_treeHandle->setFixedWidth(kHandleWidth);
    grid->addWidget(m_treeHandle, kBodyRow, kHandleColumn);
    grid->setColumnMinimumWidth(kHandleColumn, kHandleWidth);

    // The right pane: the caption and value pairs, the status line, the
    // progress with Stop; or the list with the strips under it.
    auto* pane = new QGridLayout;
    pane->setSpacing(0);
    auto* pairs = new QGridLayout;
    pairs->setContentsMargins(ui::dluX(20), ui::dluY(8), ui::dluX(7), 0);
    pairs->setHorizontalSpacing(ui::dluX(2));
    pairs->setVerticalSpacing(ui::dluY(7));
    for (int i = 0; i < 5; ++i) {
        m_captions[i]->setMinimumHeight(ui::dluY(12));
        pairs->addWidget(m_captions[i], i, 0);
        pairs->addWidget(m_values[i], i, 1);
    }
    pairs->setColumnMinimumWidth(0, ui::dluX(124));
    pairs->setColumnStretch(1, 1);
    pane->addLayout(pairs, 0, 0, Qt::AlignTop);

    QBoxLayout* status = tightRow(QBoxLayout::LeftToRight, ui::dluX(4), ui::dluY(4), ui::dluX(73), ui::dluY(2));
    status->addWidget(m_status, 1);
    pane->addLayout(status, 1, 0);
    pane->setRowStretch(1, 1);

    QBoxLayout* progress = tightRow(QBoxLayout::LeftToRight, 0, 0, ui::dluX(29), ui::dluY(11));
    progress->addWidget(m_progress, 1, Qt::AlignVCenter);
    progress->addSpacing(ui::dluX(11));
    progress->addWidget(m_stop, 0, Qt::AlignVCenter);
    pane->addLayout(progress, 2, 0);
    // The list covers the pairs' room: they never show together. Hidden, it
    // keeps its place, so that it shows where it will stand.
    QSizePolicy keepPlace = m_listSplit->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_listSplit->setSizePolicy(keepPlace);
    pane->addWidget(m_listSplit, 0, 0, 3, 1);

    // Under the list: the offer of previous versions, then the deep search's strip.
    QBoxLayout* previous = tightRow(QBoxLayout::TopToBottom, 0, 3, 0, 0);
    previous->addWidget(m_previousBar);
    pane->addLayout(previous, 3, 0);
    QBoxLayout* deep = tightRow(QBoxLayout::TopToBottom, 0, 3, 0, 0);
    deep->addWidget(m_deepBar);
    pane->addLayout(deep, 4, 0);
    grid->addLayout(pane, kBodyRow, kPaneColumn);
    grid->setRowStretch(kBodyRow, 1);
    grid->setColumnStretch(kPaneColumn, 1);

    // The quick help's plate, then Back, then Next where the rules note shows
    // on the results page.
    QBoxLayout* footer = tightRow(QBoxLayout::LeftToRight, ui::dluX(11) - kLeftMargin, 2, 0, 0);
    footer->addWidget(m_quickHelpLabel, 1);
    footer->addSpacing(ui::dluX(9));
    footer->addWidget(m_back, 0, Qt::AlignTop);
    footer->addSpacing(ui::dluX(3));
    auto* last = new QGridLayout;
    last->setSpacing(0);
    last->setColumnMinimumWidth(0, ui::dluX(84));
    QBoxLayout* nextPlace = tightRow(QBoxLayout::LeftToRight, ui::dluX(19), 0, 0, 0);
    nextPlace->addWidget(m_next, 0, Qt::AlignTop);
    nextPlace->addStretch(1);
    last->addLayout(nextPlace, 0, 0);
    last->addWidget(m_rules, 0, 0, Qt::AlignTop);
    footer->addLayout(last);
    grid->addLayout(footer, kFooterRow, 0, 1, 3);
    layoutControls();
}

void RecoveryWindow::placeTreeSplit()
{
    if (m_treeHandle == nullptr || m_folderTree == nullptr || centralWidget() == nullptr)
        return;
    // The tree keeps 80 pixels and the list's room 200.
    constexpr int kTreeLeast = 80;
    constexpr int kListLeast = 200;
    const int room = centralWidget()->width() - kLeftMargin - kHandleWidth - kRightMargin;
    const int width = std::clamp(pieces::kTreeWidth + m_treeShift, kTreeLeast, std::max(kTreeLeast, room - kListLeast));
    m_folderTree->setFixedWidth(width);
    m_treeHandle->raise();
}

} // namespace sarvik::app
