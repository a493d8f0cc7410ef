#include "app/FindFilesDialog.h"

#include "app/FileTypes.h"
#include "app/MessageBoxes.h"
#include "catalogue/NameText.h"
#include "ui/Skin.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace sarvik::app {

FindFilesDialog::FindFilesDialog(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                                 catalogue::CatalogueKind kind, FileTypes& types, QWidget* parent)
    : QDialog(parent), m_catalogue(catalogue), m_tree(tree), m_kind(kind), m_types(types)
{
    setWindowTitle(QStringLiteral("Find File(s)"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(ui::dluX(395), ui::dluY(238));

    m_edit = new QLineEdit(this);
    m_results = new QTableWidget(0, 3, this);
    m_results->setHorizontalHeaderLabels({QStringLiteral("File Name"), QStringLiteral("Path"), QStringLiteral("Size")});
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

    m_lastFile = new QLabel(this);
    m_lastFile->setTextFormat(Qt::PlainText);
    m_filesFound = new QLabel(this);
    m_start = new QPushButton(QStringLiteral("&Start Search"), this);
    m_start->setDefault(true);
    m_stop = new QPushButton(QStringLiteral("S&top Search"), this);
    m_stop->setAutoDefault(false);
    m_stop->setEnabled(false);
    connect(m_start, &QPushButton::clicked, this, &FindFilesDialog::StartSearch);
    connect(m_stop, &QPushButton::clicked, this, &FindFilesDialog::StopSearch);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Enter pattern to search"), this), 0, 0);
    grid->addWidget(m_edit, 0, 1, 1, 2);
    grid->addWidget(m_start, 0, 3);
    grid->addWidget(m_results, 1, 0, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Last File"), this), 2, 0);
    grid->addWidget(m_lastFile, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Files Found"), this), 3, 0);
    grid->addWidget(m_filesFound, 3, 1);
    grid->addWidget(m_stop, 3, 3);
    grid->setColumnStretch(1, 1);
    m_edit->setFocus();
}

FindFilesDialog::~FindFilesDialog()
{
    if (m_control)
        m_control->stop();
    joinWorker();
}

void FindFilesDialog::joinWorker()
{
    if (m_thread.joinable())
        m_thread.join();
}

void FindFilesDialog::StartSearch()
{
    if (searching())
        return;
    m_start->setEnabled(false);
    m_stop->setEnabled(true);
    m_results->setRowCount(0);
    m_lastFile->clear();
    m_filesFound->clear();
    {
        std::lock_guard lock(m_mutex);
        m_pending.clear();
    }
    const unsigned generation = ++m_generation;
    m_control = std::make_unique<search::SearchControl>();
    search::SearchControl* control = m_control.get();
    const std::string pattern = toDiskName(m_edit->text(), m_catalogue.NamesAreUtf8);
    m_thread = std::thread([this, control, pattern, generation] {
        search::FindFiles(m_catalogue, m_tree, m_kind, pattern, *control, [this](const search::SearchMatch& m) {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(m);
            if (!m_deliveryQueued) {
                m_deliveryQueued = true;
                QMetaObject::invokeMethod(this, &FindFilesDialog::deliver, Qt::QueuedConnection);
            }
        });
        QMetaObject::invokeMethod(
            this, [this, generation] { walkEnded(generation); }, Qt::QueuedConnection);
    });
}

void FindFilesDialog::deliver()
{
    std::vector<search::SearchMatch> batch;
    {
        std::lock_guard lock(m_mutex);
        batch.swap(m_pending);
        m_deliveryQueued = false;
    }
    if (batch.empty())
        return;
    int row = m_results->rowCount();
    m_results->setRowCount(row + static_cast<int>(batch.size()));
    for (const search::SearchMatch& m : batch) {
        const QString name = nameText(m.name, m_catalogue.NamesAreUtf8);
        auto* nameItem = new QTableWidgetItem(m_types.fileIcon(name), name);
        m_results->setItem(row, 0, nameItem);
        m_results->setItem(row, 1, new QTableWidgetItem(nameText(m.path, m_catalogue.NamesAreUtf8)));
        m_results->setItem(row, 2, new QTableWidgetItem(QString::number(m.size)));
        ++row;
    }
    m_filesFound->setText(QString::number(row));
    m_lastFile->setText(nameText(batch.back().name, m_catalogue.NamesAreUtf8));
}

void FindFilesDialog::walkEnded(unsigned generation)
{
    if (generation != m_generation)
        return; // a search that a confirmed stop has already ended
    joinWorker();
    deliver();
    m_stop->setEnabled(false);
    m_start->setEnabled(true);
    emit searchEnded();
}

void FindFilesDialog::StopSearch()
{
    if (!searching() || !m_control)
        return;
    m_stop->setEnabled(false);
    m_control->pause();
    const int answer = QuestionDialog(this, QStringLiteral("Do you want to stop file searching ?"));
    if (!searching())
        return; // the walk ended by itself while the question was open
    if (answer == kYes) {
        m_control->stop();
        joinWorker();
        deliver();
        ++m_generation; // its end report, still queued, is no longer ours
        m_start->setEnabled(true);
        emit searchEnded();
        return;
    }
    m_stop->setEnabled(true);
    m_control->resume();
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
