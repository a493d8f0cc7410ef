// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FindFilesDialog.h"
#include "app/AccessibleNames.h"

#include "app/FileTypes.h"
#include "app/MessageBoxes.h"
#include "catalogue/NameText.h"
#include "ui/Skin.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

namespace sarvik::app {

namespace {

/// Where a row keeps its match's index into the file list.
constexpr int kFileIndexRole = Qt::UserRole + 1;
/// How long after the last key typed the search starts again.
constexpr int kTypingPauseMs = 250;

} // namespace

FindFilesDialog::FindFilesDialog(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                                 catalogue::CatalogueKind kind, FileTypes& types, QWidget* parent)
    : QDialog(parent), m_catalogue(catalogue), m_types(types), m_job(catalogue, tree, kind, *this)
{
    setWindowTitle(tr("Find File(s)"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(ui::dluX(395), ui::dluY(238));

    m_edit = new QLineEdit(this);
    m_results = new QTableWidget(0, 3, this);
    m_results->setHorizontalHeaderLabels({tr("File Name"), tr("Path"), tr("Size")});
    m_results->setColumnWidth(0, 150);
    m_results->setColumnWidth(1, 250);
    m_results->setColumnWidth(2, 95);
    for (int c = 0; c < 3; ++c)
        m_results->horizontalHeaderItem(c)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_results->setShowGrid(true);
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->verticalHeader()->hide();
    m_results->verticalHeader()->setDefaultSectionSize(20);
    m_results->setIconSize(QSize(16, 16));
    m_results->setWordWrap(false);

    m_edit->setAccessibleName(tr("Name to find"));
    m_edit->setAccessibleDescription(tr("A name or a pattern (* and ? as wildcards)"));
    m_results->setAccessibleName(tr("Files found"));
    nameTableCorner(m_results);

    m_lastFile = new QLabel(this);
    m_lastFile->setTextFormat(Qt::PlainText);
    m_filesFound = new QLabel(this);
    m_start = new QPushButton(tr("&Start Search"), this);
    m_start->setDefault(true);
    m_stop = new QPushButton(tr("S&top Search"), this);
    m_stop->setAutoDefault(false);
    m_stop->setEnabled(false);
    connect(m_start, &QPushButton::clicked, this, &FindFilesDialog::StartSearch);
    connect(m_stop, &QPushButton::clicked, this, &FindFilesDialog::StopSearch);
    // Each key typed narrows (or widens) the list: a walk still running for the
    // pattern before is dropped, and the new one starts once typing pauses.
    m_typed = new QTimer(this);
    m_typed->setSingleShot(true);
    m_typed->setInterval(kTypingPauseMs);
    connect(m_edit, &QLineEdit::textEdited, this, [this] {
        dropSearch();
        m_typed->start();
    });
    connect(m_typed, &QTimer::timeout, this, &FindFilesDialog::StartSearch);
    connect(m_results, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { choose(row, Choice::GoToFolder); });
    m_results->installEventFilter(this);
    m_results->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_results, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (const std::unique_ptr<QMenu> menu = contextMenu())
            if (QAction* picked = menu->exec(m_results->viewport()->mapToGlobal(pos)))
                choose(m_results->currentRow(), static_cast<Choice>(picked->data().toInt()));
    });

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Enter pattern to search"), this), 0, 0);
    grid->addWidget(m_edit, 0, 1, 1, 2);
    grid->addWidget(m_start, 0, 3);
    grid->addWidget(m_results, 1, 0, 1, 4);
    grid->addWidget(new QLabel(tr("Last File"), this), 2, 0);
    grid->addWidget(m_lastFile, 2, 1);
    grid->addWidget(new QLabel(tr("Files Found"), this), 3, 0);
    grid->addWidget(m_filesFound, 3, 1);
    grid->addWidget(m_stop, 3, 3);
    grid->setColumnStretch(1, 1);
    m_edit->setFocus();
}

FindFilesDialog::~FindFilesDialog()
{
    m_job.drop(); // stopped and joined while the box is still whole
}

void FindFilesDialog::dropSearch()
{
    m_typed->stop();
    if (!searching())
        return;
    m_job.drop();
    m_stop->setEnabled(false);
    m_start->setEnabled(true);
}

void FindFilesDialog::choose(int row, Choice choice)
{
    const QTableWidgetItem* item = m_results->item(row, 0);
    if (item == nullptr || choice == Choice::None)
        return;
    dropSearch();
    m_choice = choice;
    m_chosenFile = item->data(kFileIndexRole).value<std::size_t>();
    accept();
}

std::unique_ptr<QMenu> FindFilesDialog::contextMenu()
{
    if (m_results->item(m_results->currentRow(), 0) == nullptr)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    const std::pair<const char*, Choice> items[] = {{QT_TR_NOOP("&Recover..."), Choice::Recover},
                                                    {QT_TR_NOOP("&Open"), Choice::Open},
                                                    {QT_TR_NOOP("P&roperties"), Choice::Properties},
                                                    {QT_TR_NOOP("&Go to Folder"), Choice::GoToFolder}};
    for (const auto& [text, choice] : items)
        menu->addAction(tr(text))->setData(static_cast<int>(choice));
    return menu;
}

bool FindFilesDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on a match goes to it, rather than to the default button (Start Search).
    if (watched == m_results && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_results->currentRow() >= 0) {
            choose(m_results->currentRow(), Choice::GoToFolder);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FindFilesDialog::StartSearch()
{
    m_typed->stop();
    if (searching())
        return;
    m_start->setEnabled(false);
    m_stop->setEnabled(true);
    m_results->setRowCount(0);
    m_lastFile->clear();
    m_filesFound->clear();
    m_job.start(toDiskName(m_edit->text(), m_catalogue.NamesAreUtf8));
}

void FindFilesDialog::matchesWaiting()
{
    QMetaObject::invokeMethod(this, &FindFilesDialog::deliver, Qt::QueuedConnection);
}

void FindFilesDialog::walkEnded(unsigned generation)
{
    QMetaObject::invokeMethod(
        this, [this, generation] { searchDone(generation); }, Qt::QueuedConnection);
}

void FindFilesDialog::deliver()
{
    const std::vector<search::SearchMatch> batch = m_job.takeMatches();
    if (batch.empty())
        return;
    int row = m_results->rowCount();
    m_results->setRowCount(row + static_cast<int>(batch.size()));
    for (const search::SearchMatch& m : batch) {
        const QString name = nameText(m.name, m_catalogue.NamesAreUtf8);
        auto* nameItem = new QTableWidgetItem(m_types.fileIcon(name), name);
        nameItem->setData(kFileIndexRole, QVariant::fromValue(m.fileIndex));
        m_results->setItem(row, 0, nameItem);
        // The walk joins folder names with backslashes; the list shows them as paths ("/A/B").
        QString path = nameText(m.path, m_catalogue.NamesAreUtf8);
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        m_results->setItem(row, 1, new QTableWidgetItem(path));
        m_results->setItem(row, 2, new QTableWidgetItem(QLocale().toString(qulonglong{m.size})));
        ++row;
    }
    m_filesFound->setText(QString::number(row));
    m_lastFile->setText(nameText(batch.back().name, m_catalogue.NamesAreUtf8));
}

void FindFilesDialog::searchDone(unsigned generation)
{
    if (!m_job.walkEnded(generation))
        return; // a search that a confirmed stop has already ended
    deliver();
    m_stop->setEnabled(false);
    m_start->setEnabled(true);
    emit searchEnded();
}

void FindFilesDialog::StopSearch()
{
    if (!searching())
        return;
    m_stop->setEnabled(false);
    m_job.pause();
    const int answer = QuestionDialog(this, tr("Do you want to stop file searching ?"));
    if (!searching())
        return; // the walk ended by itself while the question was open
    if (answer == kYes) {
        m_job.stop();
        deliver();
        m_start->setEnabled(true);
        emit searchEnded();
        return;
    }
    m_stop->setEnabled(true);
    m_job.resume();
}

void FindFilesDialog::reject()
{
    if (!searching())
        QDialog::reject();
}

void FindFilesDialog::closeEvent(QCloseEvent* event)
{
    if (searching())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

} // namespace sarvik::app
