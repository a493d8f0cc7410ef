// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecoveryWindow.h"
#include "app/WindowPieces.h"

#include "app/DeepSearch.h"
#include "app/DeepSearchBar.h"
#include "app/DriveInformationDialog.h"
#include "app/FileListModel.h"
#include "app/HelpDialog.h"
#include "app/MessageBoxes.h"
#include "app/NamedDrives.h"
#include "app/PreviewPane.h"
#include "app/RecentPlaces.h"
#include "app/RecoverySettingsDialog.h"
#include "app/ResultsCommands.h"
#include "app/ScanRunner.h"
#include "disk/DriveInformation.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <functional>

namespace sarvik::app {

using namespace pieces;

namespace {

constexpr const char* kHomePage = "https://www.velmora.example/sarvik-undelete";

// Paints the skin behind every control of the window, at the panel's size and
// around the places its layout gives the trees, the right pane and the quick
// help.
class SkinPanel : public QWidget {
public:
    SkinPanel(QImage& skin, std::function<ui::SkinAreas()> areas, std::function<void()> resized, QWidget* parent)
        : QWidget(parent), m_skin(skin), m_areas(std::move(areas)), m_resized(std::move(resized))
    {
    }

    /// The drawn size at the default font; a larger font asks for more.
    [[nodiscard]] QSize sizeHint() const override
    {
        const QSize wanted = layout() != nullptr ? layout()->sizeHint() : QSize();
        return wanted.expandedTo(ui::windowSkinBase());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const ui::SkinAreas areas = m_areas();
        if (m_skin.size() != size() || !(areas == m_painted)) {
            m_skin = ui::paintWindowSkin(size(), areas);
            m_painted = areas;
        }
        QPainter p(this);
        p.drawImage(0, 0, m_skin);
    }
    void resizeEvent(QResizeEvent*) override
    {
        // The window's outline: everything of the skin but its key colour (the
        // rounded corners, which depend on the size alone).
        m_painted = m_areas();
        m_skin = ui::paintWindowSkin(size(), m_painted);
        setMask(ui::regionFromSkin(m_skin));
        m_resized();
    }

private:
    QImage& m_skin;
    ui::SkinAreas m_painted;
    std::function<ui::SkinAreas()> m_areas;
    std::function<void()> m_resized;
};

} // namespace

RecoveryWindow::RecoveryWindow(std::vector<disk::DriveItem> drives, disk::DeviceProvider& devices, QWidget* parent)
    : QMainWindow(parent), m_devices(devices), m_drives(std::move(drives)), m_runner(new ScanRunner(this))
{
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    setWindowIcon(QIcon(ui::applicationPicture(64)));

    m_startDirectory = QDir::currentPath();
    if (!m_startDirectory.endsWith(QLatin1Char('/')))
        m_startDirectory += QLatin1Char('/');

    ui::setDarkSkin(ui::paletteIsDark(QApplication::palette()));
    m_skin = ui::paintWindowSkin(ui::windowSkinBase());
    buildControls();
    applySkinVariant();

    // The drive page: "My Computer" first, then the drives.
    m_currentStep = -1;
    auto* computer = new QTreeWidgetItem(m_driveTree, QStringList{tr("My Computer")});
    computer->setIcon(0, themeIcon("computer", QStyle::SP_ComputerIcon));
    m_currentStep = 0;
    const std::size_t listed = m_drives.size(); // each volume's shadow copies go after them
    for (std::size_t i = 0; i < listed; ++i)
        newDriveTreeItem(i);
    computer->setExpanded(true);
    // A current item from the start: the list shows where its focus is.
    m_driveTree->setCurrentItem(computer);

    buildMenuBar();
    buildToolbar();
    SetLabelLayout(0);
    setQuickHelp(Text::driveHelp(20));

    m_next->setToolTip(tr("Go to next step"));
    m_stop->setToolTip(tr("Stops the current process"));
    m_back->setToolTip(tr("Go to previous step"));
    m_logo->setToolTip(tr("Click here to visit software home page"));
    m_progress->hide();
    for (ui::PictureButton* button : {m_back, m_next, m_stop}) {
        button->setEnabled(false);
        button->hide();
        button->setTakesFocus(true);
    }
    m_settings = recovery::RecoverySettings::startup('N');

    connect(m_runner, &ScanRunner::reported, this, &RecoveryWindow::applyReport);
    connect(m_runner, &ScanRunner::finished, this, &RecoveryWindow::scanEnded);
    m_commands = new ResultsCommands(*this, this);
    connect(this, &RecoveryWindow::commandRequested, m_commands, &ResultsCommands::run);
    m_deep = new DeepSearch(*this, *m_deepBar);
    connect(m_deep, &DeepSearch::stateChanged, this, &RecoveryWindow::deepSearchChanged);
    deepSearchChanged();
    nameControls();

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, &RecoveryWindow::helpContents);
    layOutPanel();
    layoutControls();
}

void RecoveryWindow::layoutControls()
{
    QWidget* panel = centralWidget();
    if (panel == nullptr || panel->layout() == nullptr)
        return;
    placeTreeSplit();
    // Shown and hidden strips and a moved edge take their places now, not at
    // the next turn of the event loop.
    panel->layout()->invalidate();
    panel->layout()->activate();
    columnsFollowList();
}

void RecoveryWindow::columnsFollowList()
{
    // The columns share the list's new width (the Condition stays in view).
    if (m_currentStep == 3 && m_model != nullptr && m_model->rowCount() != 0)
        sizeColumns();
}

ui::SkinAreas RecoveryWindow::skinAreas() const
{
    QWidget* panel = centralWidget();
    if (m_panelGrid == nullptr || panel == nullptr)
        return ui::windowSkinAreas(panel != nullptr ? panel->size() : ui::windowSkinBase());
    ui::SkinAreas areas;
    // The band ends just above the notes over the list.
    areas.header = m_panelGrid->cellRect(kNotesRow, kPaneColumn).top() + 2;
    areas.leftWell = m_panelGrid->cellRect(kBodyRow, kTreeColumn).adjusted(-3, -4, 4, 4);
    areas.rightPane = m_panelGrid->cellRect(kBodyRow, kPaneColumn).adjusted(-4, -8, 2, 0);
    areas.helpPlate = m_quickHelpLabel->geometry().adjusted(-6, -5, 6, 5);
    return areas;
}

RecoveryWindow::~RecoveryWindow()
{
    // The workers' owners stop and join them before the session goes away:
    // the deep search's sample, the scan and the preview read it.
    delete m_preview;
    m_preview = nullptr;
    delete m_deep;
    m_deep = nullptr;
    delete m_runner;
    m_runner = nullptr;
}

void RecoveryWindow::buildControls()
{
    auto* panel = new SkinPanel(
        m_skin, [this] { return skinAreas(); }, [this] { columnsFollowList(); }, this);
    setCentralWidget(panel);

    for (int i = 0; i < kToolbarButtons; ++i) {
        m_toolbar[i] = new ui::PictureButton(panel);
        m_toolbar[i]->setFixedSize(ui::dluX(45), ui::dluY(42));
    }
    m_logo = new ui::PictureButton(panel);
    m_logo->setFixedSize(ui::dluX(91), ui::dluY(35));
    m_logo->setPictures(ui::logoPicture(m_logo->size(), false), ui::logoPicture(m_logo->size(), true));
    connect(m_logo, &QAbstractButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePage))); });

    buildLabels(panel);
    buildNavigation(panel);
    buildFileList(panel);
    buildDriveTree(panel);
    buildFolderTree(panel);
}

/// The right pane's caption and value pairs, the status line, the rules and
/// filter notes and the quick help.
void RecoveryWindow::buildLabels(QWidget* panel)
{
    // Caption and value pairs of the right pane: volume label, then pairs 1 to 4.
    QFont captionFont = font();
    captionFont.setBold(true);
    for (int i = 0; i < 5; ++i) {
        m_captions[i] = transparentLabel(panel);
        m_captions[i]->setFont(captionFont);
        m_captions[i]->setObjectName(QStringLiteral("caption%1").arg(i));
        m_values[i] = transparentLabel(panel);
        // A long value (a path, a reason) gives way to the caption beside it.
        m_values[i]->setMinimumWidth(1);
        m_values[i]->setObjectName(QStringLiteral("value%1").arg(i));
    }
    // Its last line where the scan's status stands; a long reason why a drive
    // is not ready wraps upwards.
    m_status = transparentLabel(panel);
    m_status->setWordWrap(true);
    QSizePolicy keepPlace = m_status->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_status->setSizePolicy(keepPlace);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    QFont italic = m_status->font();
    italic.setItalic(true);
    m_status->setFont(italic);
    buildResultsLabels(panel);

    m_quickHelpLabel = transparentLabel(panel);
    m_quickHelpLabel->setMinimumHeight(ui::dluY(39));
    m_quickHelpLabel->setWordWrap(true);
    m_quickHelpLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

/// The progress bar and the Stop, Back and Next buttons.
void RecoveryWindow::buildNavigation(QWidget* panel)
{
    m_progress = new ui::PercentProgressBar(panel);
    m_progress->setMinimumHeight(ui::dluY(12));

    m_stop = new ui::PictureButton(panel);
    m_back = new ui::PictureButton(panel);
    m_next = new ui::PictureButton(panel);
    for (ui::PictureButton* button : {m_stop, m_back, m_next}) {
        button->setFixedSize(ui::dluX(33), ui::dluY(30));
        // Hidden, they keep their places: the row does not shift as they come and go.
        QSizePolicy policy = button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        button->setSizePolicy(policy);
    }
    m_stop->setPictures(ui::navPicture(ui::NavPicture::Stop, m_stop->size(), false),
                        ui::navPicture(ui::NavPicture::Stop, m_stop->size(), true));
    m_back->setPictures(ui::navPicture(ui::NavPicture::Back, m_back->size(), false),
                        ui::navPicture(ui::NavPicture::Back, m_back->size(), true));
    m_next->setPictures(ui::navPicture(ui::NavPicture::Next, m_next->size(), false),
                        ui::navPicture(ui::NavPicture::Next, m_next->size(), true));
    connect(m_next, &QAbstractButton::clicked, this, &RecoveryWindow::next);
    connect(m_back, &QAbstractButton::clicked, this, &RecoveryWindow::back);
    connect(m_stop, &QAbstractButton::clicked, this, &RecoveryWindow::StopScan);
}

void RecoveryWindow::setQuickHelp(const QString& text)
{
    m_quickHelp = text;
    // The blanks inside a line were laid out for one font and label width; the
    // label wraps by itself, so they are drawn as single blanks. A line keeps
    // its indent.
    QStringList lines = text.split(QStringLiteral("\r\n"));
    static const QRegularExpression kRun(QStringLiteral("(?<=\\S) {2,}(?=\\S)"));
    for (QString& line : lines)
        line.replace(kRun, QStringLiteral(" "));
    m_quickHelpLabel->setText(lines.join(QLatin1Char('\n')));
}

void RecoveryWindow::SetLabelLayout(int mode)
{
    switch (mode) {
    case 0: {
        const QStringList captions = Text::driveCaptions();
        for (int i = 0; i < 5; ++i)
            reshow(m_captions[i], captions[i]);
        reshow(m_values[0], QString());
        hideEmpty(m_status);
        reshow(m_values[1], QString());
        reshow(m_values[2], m_values[2]->text());
        reshow(m_values[3], QString());
        reshow(m_values[4], QString());
        break;
    }
    case 2: {
        SetLabelLayout(-1);
        const QStringList captions = Text::scanCaptions();
        for (int i = 0; i < 4; ++i) {
            reshow(m_captions[i], captions[i]);
            reshow(m_values[i], QString());
        }
        reshow(m_status, m_session.volume.geometry.GeometryKind == disk::VolumeKind::Ntfs
                             ? QString()
                             : tr("Mounting volume, please wait..."));
        break;
    }
    case -1:
        for (int i = 0; i < 5; ++i) {
            hideEmpty(m_captions[i]);
            hideEmpty(m_values[i]);
        }
        hideEmpty(m_status);
        break;
    default:
        break;
    }
}

void RecoveryWindow::SetMenuState(int state)
{
    auto set = [this](std::initializer_list<int> ids, bool enabled) {
        for (int id : ids)
            if (QAction* a = action(id))
                a->setEnabled(enabled);
    };
    const auto resultCommands = {Command::Icons,   Command::List,      Command::Details,     Command::Thumbnails,
                                 Command::Preview, Command::FindFiles, Command::FileFilters, Command::DriveInformation};
    if (state < 0 || state > 3)
        return;
    // Only state 3 (the results) enables what acts on them; state 0 leaves Load as it is.
    const bool results = state == 3;
    set({Command::RecoverSelected, Command::RecoverAll, Command::SaveSnapshot}, results);
    if (state != 0)
        set({Command::LoadSnapshot}, !results);
    set(resultCommands, results);
    set({Command::Settings}, true);
    // The drive page's own: a search of the chosen disk.
    set({Command::SearchLostVolumes}, state == 0 || state == 1);
    set({Command::DeepSearch}, results && m_deep != nullptr && m_deep->available());
    updateNavigationCommands();
}

void RecoveryWindow::updateNavigationCommands()
{
    const bool deepRunning = m_deep != nullptr && m_deep->running();
    if (QAction* back = action(Command::Back))
        back->setEnabled(m_currentStep == 3 && !scanRunning() && !deepRunning);
    if (QAction* stop = action(Command::Stop))
        stop->setEnabled(scanRunning() || deepRunning);
    if (QAction* existing = action(Command::ShowExistingFiles))
        existing->setEnabled(!scanRunning() && !deepRunning);
}

void RecoveryWindow::ShowPage(int page, bool forward)
{
    if (page == 1 && !forward) {
        m_driveTree->show();
        m_driveTree->setEnabled(true);
        m_folderTree->hide();
        m_folderTree->setEnabled(false);
        m_model->clear();
        m_back->setEnabled(false);
        m_back->hide();
    } else if (page == 2 && forward) {
        m_driveTree->hide();
        m_driveTree->setEnabled(false);
        m_folderTree->show();
        m_folderTree->setEnabled(false);
        m_model->clear();
        // Fresh results come in the catalogue's order, or in the order kept from before.
        QHeaderView* header = m_details->horizontalHeader();
        if (!m_keepState)
            header->setSortIndicator(-1, Qt::AscendingOrder);
        m_model->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
        m_details->setShowGrid(true);
        m_details->setSelectionBehavior(QAbstractItemView::SelectRows);
    } else if (page == 3 && forward) {
        m_status->clear();
        m_values[0]->clear();
        m_progress->setValue(0);
        m_progress->hide();
    }
}

QWidget* RecoveryWindow::fileList() const
{
    return m_listSplit;
}

bool RecoveryWindow::scanRunning() const
{
    return m_runner != nullptr && m_runner->running();
}

void RecoveryWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_fittedToScreen || screen() == nullptr)
        return;
    m_fittedToScreen = true;
    // A short screen, or a large scale factor: the window starts no larger
    // than the room the desktop leaves, its title bar and frame counted (before
    // the desktop has framed it, as much as a title bar takes).
    const QRect room = screen()->availableGeometry();
    QSize frame = frameGeometry().size() - size();
    if (frame.height() <= 0)
        frame = QSize(8, fontMetrics().height() * 2 + 8);
    const QSize fits = size().boundedTo(room.size() - frame).expandedTo(minimumSizeHint());
    if (fits != size())
        resize(fits);
}

bool RecoveryWindow::event(QEvent* event)
{
    // A modal box over the window takes the pointer without the buttons being
    // told it left them; none stays highlighted under the box or after it.
    if (event->type() == QEvent::WindowBlocked)
        for (ui::PictureButton* button : findChildren<ui::PictureButton*>())
            button->clearHighlight();
    // The desktop's colour scheme changed: the skin follows it.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) &&
        ui::paletteIsDark(QApplication::palette()) != ui::darkSkin())
        applySkinVariant();
    return QMainWindow::event(event);
}

void RecoveryWindow::applySkinVariant()
{
    ui::setDarkSkin(ui::paletteIsDark(QApplication::palette()));
    if (QWidget* panel = centralWidget())
        m_skin = ui::paintWindowSkin(panel->size(), skinAreas());
    // The text on the skin takes the skin's colours, through the labels' palettes.
    const auto colour = [](QLabel* label, ui::SkinText role) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, ui::skinTextColour(role));
        label->setPalette(palette);
    };
    for (int i = 0; i < 5; ++i) {
        colour(m_captions[i], ui::SkinText::Caption);
        colour(m_values[i], ui::SkinText::Value);
    }
    colour(m_status, ui::SkinText::Status);
    colour(m_rules, ui::SkinText::Status);
    colour(m_filterNote, ui::SkinText::Warning);
    colour(m_stoppedNote, ui::SkinText::Warning);
    colour(m_quickHelpLabel, ui::SkinText::Body);
    update();
}

bool RecoveryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            const QPoint pos = mouse->position().toPoint();
            if (watched == m_driveTree->viewport())
                driveTreePressed(m_driveTree->itemAt(pos), pos);
            else if (watched == m_folderTree->viewport())
                folderTreePressed(m_folderTree->itemAt(pos), pos);
        }
    } else if (event->type() == QEvent::KeyPress && m_currentStep == 0 && watched == m_driveTree) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter on a drive goes on as Next does; on one not ready it offers
            // what a click offers.
            if (QTreeWidgetItem* item = m_driveTree->currentItem(); item != nullptr && !m_next->isEnabled())
                SelectDrive(item, true);
            if (m_next->isEnabled())
                next();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress && m_currentStep == 3) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool results = watched == m_folderTree || watched == m_details || watched == m_listView;
        if (results && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
            toggleTreeListFocus();
            return true;
        }
        const auto modifiers = static_cast<QKeyEvent*>(event)->modifiers();
        if ((watched == m_details || watched == m_listView) && (key == Qt::Key_Home || key == Qt::Key_End) &&
            !(modifiers & Qt::ControlModifier)) {
            moveToListEnd(key == Qt::Key_End, modifiers);
            return true;
        }
        if (results && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            if (watched == m_folderTree) {
                m_focusOnTree = true;
                openSelectedItem();
            } else {
                fileListActivated(m_details->selectionModel()->currentIndex());
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace sarvik::app
