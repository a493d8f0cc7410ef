// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecoveryWindow.h"
#include "app/WindowPieces.h"

#include "app/DeepSearch.h"
#include "app/DeepSearchBar.h"
#include "app/FileListModel.h"
#include "app/MessageBoxes.h"
#include "app/PreviewPane.h"
#include "app/ScanRunner.h"
#include "app/SplitHandle.h"
#include "app/ThumbnailView.h"
#include "catalogue/NameText.h"
#include "session/DisplayText.h"
#include "session/EntryAccess.h"
#include "session/FolderTreeItems.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeWidget>

#include <set>

namespace sarvik::app {

using namespace pieces;

namespace Text {
QString resultsHelp()
{
    return QStringLiteral("\r\n") + blanks(16) +
           RecoveryWindow::tr("Please select the file(s) and folder(s) to recover from right pane and copy using") +
           blanks(3) + RecoveryWindow::tr("Recover Selected") + blanks(6) + RecoveryWindow::tr("or") + blanks(29) +
           RecoveryWindow::tr("Recover All options from the Recovery Menu.\r\n") + blanks(16) +
           RecoveryWindow::tr("You can open a file by Double Clicking it.");
}
} // namespace Text

namespace {

/// Rows besides those on screen that sizing the list's columns looks at.
constexpr int kSampledRows = 100;

} // namespace

void RecoveryWindow::buildResultsLabels(QWidget* panel)
{
    // Beside Back, where Next stands on the other pages.
    // Two lines at most ("Thorough scan," and "free space searched").
    m_rules = transparentLabel(panel);
    m_rules->setMinimumWidth(ui::dluX(84));
    m_rules->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont italic = m_rules->font();
    italic.setItalic(true);
    m_rules->setFont(italic);
    m_rules->hide();
    // Over the list, where the toolbar ends: the patterns that shape the list and the recovery.
    m_filterNote = transparentLabel(panel);
    m_filterNote->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_filterNote->setObjectName(QStringLiteral("filterNote"));
    QFont noteFont = m_filterNote->font();
    noteFont.setPixelSize(11); // the list's own size, so that the line fits above it
    noteFont.setBold(true);
    m_filterNote->setFont(noteFont);
    m_filterNote->setMinimumHeight(ui::dluY(10));
    // The line keeps its room while no note shows: the list does not jump.
    QSizePolicy keepRoom = m_filterNote->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    keepRoom.setHorizontalPolicy(QSizePolicy::Ignored);
    m_filterNote->setSizePolicy(keepRoom);
    m_filterNote->hide();
    // At the right end of the same line: what a stopped scan's list lacks.
    m_stoppedNote = transparentLabel(panel);
    m_stoppedNote->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    m_stoppedNote->setObjectName(QStringLiteral("stoppedNote"));
    m_stoppedNote->setFont(noteFont);
    m_stoppedNote->setText(tr("Stopped: results are partial"));
    m_stoppedNote->hide();
}

void RecoveryWindow::buildFileList(QWidget* panel)
{
    // The file list: one model, a table for the details view and a list view for
    // the icon and list views, sharing the selection.
    m_model = new FileListModel(m_types, this);
    // The list and the preview share the list's room; the splitter keeps
    // their shares while the program runs.
    m_listSplit = new QSplitter(Qt::Horizontal, panel);
    m_listSplit->setChildrenCollapsible(false);
    m_fileList = new QStackedWidget(m_listSplit);
    m_details = new QTableView(m_fileList);
    m_details->setModel(m_model);
    m_details->setShowGrid(true);
    m_details->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_details->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_details->verticalHeader()->hide();
    m_details->verticalHeader()->setDefaultSectionSize(20);
    m_details->horizontalHeader()->setHighlightSections(false);
    // Column widths come from the rows on screen and a few more (each row sampled
    // costs a type lookup); sizeColumns adds the longest numbers and dates.
    m_details->horizontalHeader()->setResizeContentsPrecision(kSampledRows);
    m_details->setWordWrap(false);
    m_details->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_details->setIconSize(QSize(16, 16));
    // The column widths are those of the list's small dialog font.
    QFont listFont = m_details->font();
    listFont.setPixelSize(11);
    m_details->setFont(listFont);
    m_details->horizontalHeader()->setFont(listFont);
    m_details->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // New rows, new widths.
    // The header sizes its sections afresh for new rows too: that is not the user's doing.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_sizingColumns = true; });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_sizingColumns = false;
        sizeColumns();
    });
    // A header click orders the rows as shown; the catalogue keeps its order.
    QHeaderView* header = m_details->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    // The user may order the columns and size them; both are kept (columnsChangedByUser).
    header->setSectionsMovable(true);
    connect(header, &QHeaderView::sectionResized, this, &RecoveryWindow::columnsChangedByUser);
    connect(header, &QHeaderView::sectionMoved, this, &RecoveryWindow::columnsChangedByUser);
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
        m_model->sort(column, order);
        const QModelIndex current = m_details->selectionModel()->currentIndex();
        if (current.isValid())
            m_details->scrollTo(current);
    });
    m_listView = new QListView(m_fileList);
    m_listView->setModel(m_model);
    m_listView->setSelectionModel(m_details->selectionModel());
    m_listView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView->setResizeMode(QListView::Adjust);
    m_listView->setWrapping(true);
    m_listView->setIconSize(QSize(16, 16));
    m_listView->setFont(listFont);
    m_listView->setUniformItemSizes(true);
    m_listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_fileList->addWidget(m_details);
    m_fileList->addWidget(m_listView);
    m_preview = new PreviewPane(*this, m_listSplit);
    m_preview->hide();
    m_thumbView = new ThumbnailView(*m_model, *m_preview, m_fileList);
    m_thumbView->setSelectionModel(m_details->selectionModel());
    m_thumbView->setFont(listFont);
    m_fileList->addWidget(m_thumbView);
    m_listSplit->addWidget(m_fileList);
    m_listSplit->addWidget(m_preview);
    m_listSplit->setStretchFactor(0, 3);
    m_listSplit->setStretchFactor(1, 2);
    connect(m_details->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { m_preview->showRow(current.isValid() ? current.row() : -1); });
    m_listSplit->hide();
    // Under the list, within its room: the deep search's banner, progress and outcome.
    m_deepBar = new DeepSearchBar(panel);
    m_deepBar->setMinimumHeight(ui::dluY(26));
    connect(m_deepBar, &DeepSearchBar::modeChanged, this, &RecoveryWindow::layoutControls);
    // Above it when both show: the offer of the volume's previous versions.
    m_previousBar = new QFrame(panel);
    m_previousBar->setObjectName(QStringLiteral("previousVersionsBar"));
    m_previousBar->setMinimumHeight(ui::dluY(14));
    auto* previousRow = new QHBoxLayout(m_previousBar);
    previousRow->setContentsMargins(0, 0, 0, 0);
    m_previousText = new QLabel(m_previousBar);
    m_previousButton = new QPushButton(tr("Previous versions"), m_previousBar);
    previousRow->addWidget(m_previousText, 1);
    previousRow->addWidget(m_previousButton);
    connect(m_previousButton, &QPushButton::clicked, this, &RecoveryWindow::addPreviousVersions);
    m_previousBar->hide();
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_details), static_cast<QAbstractItemView*>(m_listView)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, &RecoveryWindow::fileListActivated);
        connect(view, &QAbstractItemView::pressed, this, [this] { m_focusOnTree = false; });
        view->installEventFilter(this);
    }
    connect(m_thumbView, &QAbstractItemView::doubleClicked, this, &RecoveryWindow::fileListActivated);
    connect(m_thumbView, &QAbstractItemView::pressed, this, [this] { m_focusOnTree = false; });
}

void RecoveryWindow::showResults(bool fromScan)
{
    if (fromScan && m_runner->outOfMemory())
        OutOfMemoryEnd(this);
    m_thumbView->forget(); // of another scan
    // The engine's closing steps, in order.
    ShowPage(2, true);
    m_folderTree->show();
    m_progress->setValue(0);
    m_stop->setEnabled(false);
    m_stop->hide();
    fillFolderTree();
    m_folderTree->setEnabled(true);
    SetLabelLayout(-1);
    showRules();
    m_listSplit->show();
    m_treeHandle->show();
    m_progress->setValue(0);
    m_progress->hide();

    // The scan thread's own closing steps.
    m_focusOnTree = false;
    m_back->setEnabled(true);
    m_back->show();
    SetMenuState(3);
    {
        const QScopedValueRollback quiet(m_followTree, false);
        m_folderTree->setCurrentItem(folderItem(catalogue::FolderTree::kRootHandle));
    }
    fillFileList(m_session.tree.rootKey());
    // Stop has gone with the scan page: the keyboard goes on in the list.
    m_fileList->currentWidget()->setFocus(Qt::OtherFocusReason);
    setQuickHelp(Text::resultsHelp());
    // The sample of free space, or the deep search itself, starts with the page.
    const scan::ScanResult result = fromScan ? m_runner->result() : scan::ScanResult{};
    const bool stopped = fromScan && (result.Stopped || m_scanStopAsked);
    m_stoppedNote->setVisible(stopped);
    offerPreviousVersions();
    m_deep->resultsShown(stopped);
    if (m_keepState)
        setViewMode(m_keptView);
    // A snapshot's losses are its loader's to tell, not the last scan's.
    if (result.any())
        MessageDialog(this, MessageKind::Error,
                      tr("%1 sector(s) and %2 MFT record(s) could not be read. What they held is "
                         "missing from the list.")
                          .arg(result.UnreadableSectors)
                          .arg(result.UnreadableRecords));
    emit scanFinished();
}

void RecoveryWindow::showRules()
{
    // Which rules made what is listed: a thorough catalogue keeps UTF-8 names;
    // DeepSearched says the passes over free space ran to their end.
    const catalogue::Catalogue& c = m_session.catalogue;
    reshow(m_rules, !c.NamesAreUtf8  ? tr("Classic scan")
                    : c.DeepSearched ? tr("Thorough scan,\nfree space searched")
                                     : tr("Thorough scan"));
}

void RecoveryWindow::deepSearchChanged()
{
    const bool results = m_currentStep == 3 && !scanRunning();
    if (QAction* deep = action(Command::DeepSearch))
        deep->setEnabled(results && m_deep->available());
    // Back leaves the results; while the deep search runs, Stop ends it first.
    if (results)
        m_back->setEnabled(!m_deep->running());
    updateNavigationCommands();
}

void RecoveryWindow::back()
{
    // Alt+Left reaches here while a name is being edited in the list (its
    // editor has the focus); the edit ends first.
    const QWidget* focus = QApplication::focusWidget();
    const bool editing = focus != nullptr && focus != m_details && m_details->isAncestorOf(focus);
    if (m_currentStep != 3 || scanRunning() || m_deep->running() || editing)
        return;
    m_deep->resultsLeft();
    if (QAction* load = action(Command::LoadSnapshot))
        load->setEnabled(true);
    setQuickHelp(Text::driveHelp(24));
    setViewMode(ViewMode::Details);
    showNext(false);
    m_model->clear();
    m_listSplit->hide();
    m_treeHandle->hide();
    m_rules->hide();
    m_filterNote->hide();
    m_stoppedNote->hide();
    m_previousBar->hide();
    ShowPage(1, false);
    SetMenuState(0);
    SetLabelLayout(0);
    m_currentStep = 0;
    updateNavigationCommands();
    // The drive chosen before is chosen again: its information and Next are back.
    if (m_selectedDrive && *m_selectedDrive < m_drives.size())
        selectDriveAt(*m_selectedDrive);
    m_driveTree->setFocus(Qt::OtherFocusReason); // Back's button has gone; the keyboard goes on in the tree
}

std::vector<bool> RecoveryWindow::selectedRows() const
{
    std::vector<bool> selected(static_cast<std::size_t>(m_model->rowCount()), false);
    for (const QModelIndex& index : m_details->selectionModel()->selectedRows()) {
        const int row = m_model->sourceRow(index);
        if (row >= 0 && static_cast<std::size_t>(row) < selected.size())
            selected[static_cast<std::size_t>(row)] = true;
    }
    return selected;
}

int RecoveryWindow::currentRow() const
{
    return m_model->sourceRow(m_details->selectionModel()->currentIndex());
}

void RecoveryWindow::renameFolderItem(std::uint32_t handle, const QString& text)
{
    if (QTreeWidgetItem* item = folderItem(handle))
        item->setText(0, text);
}

void RecoveryWindow::showLoadedResults()
{
    // A load replaces what any scan found: prepared as for a scan, then the
    // closing steps of one.
    if (QAction* load = action(Command::LoadSnapshot))
        load->setEnabled(false);
    m_folderTree->clear();
    m_folderItems.clear();
    m_driveTree->setEnabled(false);
    showNext(false);
    SetLabelLayout(2);
    setViewMode(ViewMode::Details);
    m_currentStep = 3;
    m_resultsFromSnapshot = true;
    showResults(false);
}

bool RecoveryWindow::showFile(std::size_t fileIndex)
{
    if (m_currentStep != 3)
        return false;
    const std::optional<std::uint64_t> parent = session::fileParentKey(m_session, fileIndex);
    if (!parent)
        return false;
    // A parent not placed in the tree is listed under the root, as the search names it.
    const catalogue::FolderTree& tree = m_session.tree;
    const catalogue::TreeNode* node = tree.findByKey(*parent);
    if (node == nullptr || node->folderIndex < 0)
        node = &tree.root();
    QTreeWidgetItem* item = folderItem(node->handle);
    if (item == nullptr)
        return false;
    {
        const QScopedValueRollback quiet(m_followTree, false);
        m_folderTree->setCurrentItem(item);
    }
    for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent())
        up->setExpanded(true);
    m_folderTree->scrollToItem(item);
    fillFileList(session::listedFolderKey(tree, node->handle));
    m_fileList->currentWidget()->setFocus(Qt::OtherFocusReason);
    m_focusOnTree = false;
    const std::vector<catalogue::FileRow>& rows = m_model->fileRows();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].folder || rows[row].entryIndex() != fileIndex)
            continue;
        const QModelIndex index = m_model->indexOfRow(static_cast<int>(row));
        m_details->selectionModel()->setCurrentIndex(index,
                                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_details->scrollTo(index);
        m_listView->scrollTo(index);
        return true;
    }
    return false;
}

QTreeWidgetItem* RecoveryWindow::folderItem(std::uint32_t handle) const
{
    const auto found = m_folderItems.find(handle);
    return found == m_folderItems.end() ? nullptr : found->second;
}

void RecoveryWindow::fillFileList(std::uint64_t key)
{
    const bool utf8 = m_session.catalogue.NamesAreUtf8;
    // Type names are looked up for the rows on screen only: the lookup is the
    // dearest part of a row.
    m_model->setRows(m_session.rows(key, [](const std::string&) { return std::string(); }), utf8,
                     FileListModel::TypeNames::Pending);
    m_details->scrollToTop();
    m_details->horizontalScrollBar()->setValue(0);
    // A filter in force lists and recovers only what its patterns let through.
    QStringList patterns;
    for (const std::string& pattern : m_session.filters.patterns())
        patterns << QString::fromStdString(session::displayName(pattern, utf8));
    if (patterns.isEmpty()) {
        m_filterNote->hide();
    } else {
        m_filterNote->setText(tr("File filter in force: only files named %1 are listed and recovered")
                                  .arg(patterns.join(QStringLiteral(", "))));
        m_filterNote->setToolTip(m_filterNote->text());
        m_filterNote->show();
    }
}

void RecoveryWindow::sizeColumns()
{
    // Each column as wide as its header and the rows the view samples; the
    // size and date columns also fit their longest text wherever it lies, and
    // the name column stops at half the list so the others stay in view.
    const QScopedValueRollback sizing(m_sizingColumns, true);
    const auto fitNumbers = [this] {
        const QFontMetrics metrics(m_details->font());
        const int padding = 2 * m_details->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_details) + 8;
        for (int column : {FileListModel::Size, FileListModel::Created, FileListModel::Modified, FileListModel::Id}) {
            const int wanted = metrics.horizontalAdvance(m_model->longestText(column)) + padding;
            if (m_details->columnWidth(column) < wanted)
                m_details->setColumnWidth(column, wanted);
        }
    };
    QHeaderView* header = m_details->horizontalHeader();
    if (!m_userColumns.isEmpty()) {
        // The widths and the order the user gave (a number or a date still
        // shows whole); the sort stays as it is.
        const int sortColumn = header->sortIndicatorSection();
        const Qt::SortOrder sortOrder = header->sortIndicatorOrder();
        const QSignalBlocker quiet(header);
        header->restoreState(m_userColumns);
        header->setSortIndicator(sortColumn, sortOrder);
        fitNumbers();
        return;
    }
    m_details->resizeColumnsToContents();
    fitNumbers();
    const int room = m_details->viewport()->width();
    const int nameLimit = std::max(150, room / 2);
    if (m_details->columnWidth(FileListModel::Name) > nameLimit)
        m_details->setColumnWidth(FileListModel::Name, nameLimit);
    // What still does not fit comes off the name and the type (their texts are
    // elided, and a tooltip shows them whole), so the Condition stays in view.
    int excess = 12 - room; // a little room to spare: the last column never touches the edge
    for (int column = 0; column < m_model->columnCount(); ++column)
        excess += m_details->columnWidth(column);
    for (const auto& [column, floor] : {std::pair{FileListModel::Name, 96}, std::pair{FileListModel::Type, 84}}) {
        const int take = std::min(excess, m_details->columnWidth(column) - floor);
        if (take <= 0)
            continue;
        m_details->setColumnWidth(column, m_details->columnWidth(column) - take);
        excess -= take;
    }
}

void RecoveryWindow::moveToListEnd(bool last, Qt::KeyboardModifiers modifiers)
{
    // Home and End go to the first and the last row without scrolling sideways.
    const int rows = m_model->rowCount();
    if (rows == 0)
        return;
    QItemSelectionModel* selection = m_details->selectionModel();
    const QModelIndex target = m_model->index(last ? rows - 1 : 0, FileListModel::Name);
    const int sideways = m_details->horizontalScrollBar()->value();
    if (modifiers & Qt::ShiftModifier) {
        const QModelIndex from = selection->currentIndex().isValid() ? selection->currentIndex() : target;
        selection->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
        selection->select(QItemSelection(from, target),
                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        selection->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_details->scrollTo(target);
    m_listView->scrollTo(target);
    m_details->horizontalScrollBar()->setValue(sideways);
}

void RecoveryWindow::fileListActivated(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    m_focusOnTree = false;
    m_details->selectionModel()->setCurrentIndex(index,
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    openSelectedItem();
}

void RecoveryWindow::openSelectedItem()
{
    if (m_currentStep != 3)
        return;
    QTreeWidgetItem* target = nullptr;
    if (m_focusOnTree) {
        target = m_folderTree->currentItem();
        if (target == nullptr)
            return;
    } else {
        const int row = currentRow();
        if (row < 0)
            return;
        if (!m_model->text(row, FileListModel::Type).endsWith(QLatin1String("Folder"))) {
            // Opening a found file copies it out first; the recovery window does that.
            emit commandRequested(Command::Open);
            return;
        }
        target = folderItem(static_cast<std::uint32_t>(m_model->key(row)));
        if (target == nullptr)
            return;
    }
    const auto handle = target->data(0, kHandleRole).toUInt();
    fillFileList(session::listedFolderKey(m_session.tree, handle));
    m_folderTree->setFocus();
    {
        const QScopedValueRollback quiet(m_followTree, false);
        m_folderTree->setCurrentItem(target);
    }
    m_focusOnTree = true;
    for (QTreeWidgetItem* up = target->parent(); up != nullptr; up = up->parent())
        up->setExpanded(true);
    m_folderTree->scrollToItem(target);
}

void RecoveryWindow::showPreview()
{
    const QAction* toggle = action(Command::Preview);
    const bool show = toggle != nullptr && toggle->isChecked();
    if (show && m_preview->isHidden()) {
        // Beside the list, two fifths of the room the first time.
        const int width = m_listSplit->width();
        m_preview->show();
        if (m_listSplit->sizes().value(1) == 0)
            m_listSplit->setSizes({width * 3 / 5, width * 2 / 5});
    }
    m_preview->setVisible(show);
    const QModelIndex current = m_details->selectionModel()->currentIndex();
    if (show)
        m_preview->showRow(current.isValid() ? current.row() : -1);
}

void RecoveryWindow::setViewMode(ViewMode mode)
{
    m_viewMode = mode;
    if (mode == ViewMode::Details) {
        m_fileList->setCurrentWidget(m_details);
        return;
    }
    if (mode == ViewMode::Thumbnails) {
        m_fileList->setCurrentWidget(m_thumbView);
        return;
    }
    m_listView->setViewMode(QListView::ListMode);
    m_listView->setFlow(mode == ViewMode::Icons ? QListView::LeftToRight : QListView::TopToBottom);
    m_listView->setWrapping(true);
    m_listView->setResizeMode(QListView::Adjust);
    m_listView->setGridSize(mode == ViewMode::Icons ? QSize(150, 22) : QSize());
    m_fileList->setCurrentWidget(m_listView);
}

void RecoveryWindow::toggleTreeListFocus()
{
    if (m_focusOnTree) {
        m_fileList->currentWidget()->setFocus(Qt::TabFocusReason);
        m_focusOnTree = false;
    } else {
        m_folderTree->setFocus(Qt::TabFocusReason);
        m_focusOnTree = true;
    }
}

} // namespace sarvik::app
