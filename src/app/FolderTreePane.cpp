// SPDX-License-Identifier: GPL-3.0-or-later
// The folder tree of the results page: its items, the handle beside it, and
// what it keeps when a deep search brings a new tree.
#include "app/RecoveryWindow.h"
#include "app/WindowPieces.h"
#include "session/FolderTreeItems.h"

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
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeWidget>

#include <set>

namespace sarvik::app {

using namespace pieces;

namespace {

QIcon folderItemIcon()
{
    // Closed folder normally, open folder while selected.
    QIcon icon;
    const QIcon closed = themeIcon("folder", QStyle::SP_DirClosedIcon);
    const QIcon open = themeIcon("folder-open", QStyle::SP_DirOpenIcon);
    for (int side : {16, 22, 32}) {
        icon.addPixmap(closed.pixmap(side), QIcon::Normal);
        icon.addPixmap(open.pixmap(side), QIcon::Selected);
    }
    return icon;
}

} // namespace

void RecoveryWindow::buildFolderTree(QWidget* panel)
{
    m_folderTree = pageTree(panel, this);
    // The list follows the folder the keyboard moves to; a mouse press opens its
    // folder itself.
    connect(m_folderTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (m_followTree && current != nullptr && m_currentStep == 3 && m_folderTree->isEnabled()) {
            m_focusOnTree = true;
            openSelectedItem();
        }
    });
    m_folderTree->setEnabled(false);
    m_folderTree->hide();
    m_treeHandle = new SplitHandle(panel);
    m_treeHandle->hide();
    connect(m_treeHandle, &SplitHandle::dragged, this, [this](int dx) {
        m_treeShift += dx;
        layoutControls();
        m_treeShift = m_folderTree->width() - pieces::kTreeWidth; // as far as it could go
    });
}

void RecoveryWindow::fillFolderTree()
{
    const catalogue::FolderTree& tree = m_session.tree;
    m_folderTree->setUpdatesEnabled(false);
    auto* root = new QTreeWidgetItem(m_folderTree, QStringList{tr("Root")});
    root->setIcon(0, themeIcon("computer", QStyle::SP_ComputerIcon));
    root->setData(0, kHandleRole, catalogue::FolderTree::kRootHandle);
    m_folderItems[catalogue::FolderTree::kRootHandle] = root;
    const QIcon folder = folderItemIcon();
    // Each folder comes after its parent: its parent's item is made already.
    for (const session::FolderItem& f : session::folderTreeItems(tree, m_session.catalogue.NamesAreUtf8)) {
        auto* item = new QTreeWidgetItem(folderItem(f.parent), QStringList{QString::fromStdString(f.name)});
        item->setIcon(0, folder);
        item->setData(0, kHandleRole, f.handle);
        m_folderItems[f.handle] = item;
    }
    root->setExpanded(true);
    m_folderTree->setUpdatesEnabled(true);
}

void RecoveryWindow::takeFoundResults(scan::ScanSession& found)
{
    m_thumbView->forget(); // the entries are numbered afresh
    // What is shown, by the folders' own keys: the tree's handles change.
    const auto keyOf = [this](const QTreeWidgetItem* item) -> std::optional<std::uint64_t> {
        const catalogue::TreeNode* node =
            item == nullptr ? nullptr : m_session.tree.node(item->data(0, kHandleRole).toUInt());
        if (node == nullptr)
            return std::nullopt;
        return session::listedFolderKey(m_session.tree, node->handle);
    };
    const std::optional<std::uint64_t> openKey = keyOf(m_folderTree->currentItem());
    std::set<std::uint64_t> expanded;
    for (const auto& [handle, item] : m_folderItems)
        if (item->isExpanded())
            if (const auto key = keyOf(item))
                expanded.insert(*key);
    std::set<quint64> selectedKeys;
    const std::vector<bool> selected = selectedRows();
    for (std::size_t row = 0; row < selected.size(); ++row)
        if (selected[row])
            selectedKeys.insert(m_model->key(static_cast<int>(row)));
    const int current = currentRow();
    const bool hasCurrent = current >= 0;
    const quint64 currentKey = hasCurrent ? m_model->key(current) : 0;
    const int scrolled = m_details->verticalScrollBar()->value();
    const bool listFocus = !m_focusOnTree;

    m_session.takeResults(found);

    m_folderTree->clear();
    m_folderItems.clear();
    fillFolderTree();
    const catalogue::FolderTree& tree = m_session.tree;
    for (const std::uint64_t key : expanded)
        if (const catalogue::TreeNode* node = tree.findByKey(key))
            if (QTreeWidgetItem* item = folderItem(node->handle))
                item->setExpanded(true);
    const catalogue::TreeNode* open = openKey ? tree.findByKey(*openKey) : nullptr;
    if (open == nullptr)
        open = &tree.root();
    {
        const QScopedValueRollback quiet(m_followTree, false);
        m_folderTree->setCurrentItem(folderItem(open->handle));
    }
    fillFileList(session::listedFolderKey(tree, open->handle));
    // Folder rows carry tree handles as their keys, and those changed: only
    // file rows (whose keys stay) are selected again.
    QItemSelection again;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->isFolder(row) || !selectedKeys.contains(m_model->key(row)))
            continue;
        const QModelIndex index = m_model->indexOfRow(row);
        again.select(index, index);
        if (hasCurrent && currentKey == m_model->key(row))
            m_details->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    m_details->selectionModel()->select(again, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_details->verticalScrollBar()->setValue(scrolled);
    m_focusOnTree = !listFocus;
    showRules();
}

void RecoveryWindow::folderTreePressed(QTreeWidgetItem* item, const QPoint& pos)
{
    m_focusOnTree = true;
    if (item == nullptr) {
        m_folderTree->setCurrentItem(m_folderTree->topLevelItem(0));
        return;
    }
    if (m_currentStep != 3 || pos.x() < m_folderTree->visualItemRect(item).left())
        return;
    m_model->clear();
    {
        const QScopedValueRollback quiet(m_followTree, false);
        m_folderTree->setCurrentItem(item);
    }
    openSelectedItem();
}

} // namespace sarvik::app
