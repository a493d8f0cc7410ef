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

#include <functional>

namespace sarvik::app {

using namespace pieces;

namespace {

constexpr const char* kHomePage = "https://www.velmora.example/sarvik-undelete";

// Paints the skin behind every control of the window, at the panel's size; it
// starts at the skin's own size and takes down to the skin's smallest.
class SkinPanel : public QWidget {
public:
    SkinPanel(QImage& skin, std::function<void()> resized, QWidget* parent)
        : QWidget(parent), m_skin(skin), m_resized(std::move(resized))
    {
        setMinimumSize(ui::windowSkinSmallest());
        resize(skin.size());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, m_skin);
    }
    void resizeEvent(QResizeEvent*) override
    {
        if (m_skin.size() != size())
            m_skin = ui::paintWindowSkin(size());
        // The window's outline: everything of the skin but its key colour.
        setMask(ui::regionFromSkin(m_skin));
        m_resized();
    }

private:
    QImage& m_skin;
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
    m_skin = ui::paintWindowSkin(QSize(ui::dluX(528), ui::dluY(311)));
    buildControls();
    applySkinVariant();

    // The drive page: "My Computer" first, then the drives.
    m_currentStep = -1;
    auto* computer = new QTreeWidgetItem(m_driveTree, QStringList{QStringLiteral("My Computer")});
    computer->setIcon(0, themeIcon("computer", QStyle::SP_ComputerIcon));
    m_currentStep = 0;
    for (std::size_t i = 0; i < m_drives.size(); ++i) {
        auto* item = new QTreeWidgetItem(computer, QStringList{QString::fromStdString(m_drives[i].text)});
        item->setIcon(0, themeIcon("drive-harddisk", QStyle::SP_DriveHDIcon));
        item->setData(0, kDriveIndexRole, static_cast<qulonglong>(i));
        item->setToolTip(0, QString::fromStdString(m_drives[i].devicePath));
    }
    computer->setExpanded(true);

    buildMenuBar();
    buildToolbar();
    SetLabelLayout(0);
    setQuickHelp(Text::driveHelp(20));

    m_next->setToolTip(QStringLiteral("Go to next step"));
    m_stop->setToolTip(QStringLiteral("Stops the current process"));
    m_back->setToolTip(QStringLiteral("Go to previous step"));
    m_logo->setToolTip(QStringLiteral("Click here to visit software home page"));
    m_progress->hide();
    for (ui::PictureButton* button : {m_back, m_next, m_stop}) {
        button->setEnabled(false);
        button->hide();
        button->setTakesFocus(true);
    }
    m_settings = recovery::RecoverySettings::startup('N');

    connect(m_runner, &ScanRunner::reported, this, &RecoveryWindow::applyReport);
    connect(m_runner, &ScanRunner::finished, this, &RecoveryWindow::scanEnded);
    m_commands = new ResultsCommands(*this);
    connect(this, &RecoveryWindow::commandRequested, m_commands, &ResultsCommands::run);
    m_deep = new DeepSearch(*this, *m_deepBar);
    connect(m_deep, &DeepSearch::stateChanged, this, &RecoveryWindow::deepSearchChanged);
    deepSearchChanged();

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, &RecoveryWindow::helpContents);
    // The controls' places at the smallest size; layoutControls moves and
    // stretches them as the window grows.
    const int move = kMoveX | kMoveY;
    const int grow = kGrowX | kGrowY;
    m_anchors = {{m_logo, kMoveX},
                 {m_driveTree, kGrowY},
                 {m_folderTree, kGrowY},
                 {m_listSplit, grow},
                 {m_status, kMoveY},
                 {m_progress, kMoveY | kGrowX},
                 {m_stop, move},
                 {m_back, move},
                 {m_next, move},
                 {m_rules, move},
                 {m_filterNote, kGrowX},
                 {m_stoppedNote, kMoveX},
                 {m_quickHelpLabel, kMoveY},
                 {m_deepBar, kMoveY | kGrowX}};
    for (Anchor& anchor : m_anchors)
        anchor.base = anchor.widget->geometry();
    layoutControls();
}

void RecoveryWindow::layoutControls()
{
    QWidget* panel = centralWidget();
    if (panel == nullptr)
        return;
    // Below the drawn size (down to the smallest) the lists give up the room.
    const QSize extra = panel->size() - ui::windowSkinBase();
    const int dx = extra.width();
    const int dy = extra.height();
    for (const Anchor& anchor : m_anchors) {
        QRect r = anchor.base;
        if (anchor.how & kMoveX)
            r.translate(dx, 0);
        if (anchor.how & kMoveY)
            r.translate(0, dy);
        if (anchor.how & kGrowX)
            r.setWidth(r.width() + dx);
        if (anchor.how & kGrowY)
            r.setHeight(r.height() + dy);
        anchor.widget->setGeometry(r);
    }
    // The status line keeps its bottom; in a short window its top stops below
    // the last caption (a long reason then wraps in fewer lines).
    if (QRect status = m_status->geometry(); status.top() < m_captions[4]->geometry().bottom() + 2) {
        status.setTop(m_captions[4]->geometry().bottom() + 2);
        m_status->setGeometry(status);
    }
    // The columns share the list's new width (the Condition stays in view).
    if (m_currentStep == 3 && m_model != nullptr && m_model->rowCount() != 0)
        sizeColumns();
    // The deep search's strip, while shown, takes the bottom of the list's room.
    if (m_deepBar != nullptr && !m_deepBar->isHidden()) {
        QRect list = m_listSplit->geometry();
        list.setBottom(m_deepBar->geometry().top() - 3);
        m_listSplit->setGeometry(list);
    }
    placeTreeSplit();
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
        m_skin, [this] { layoutControls(); }, this);
    setCentralWidget(panel);

    for (int i = 0; i < kToolbarButtons; ++i) {
        static const int kX[kToolbarButtons] = {13, 64, 115, 166, 217, 268, 319, 370};
        m_toolbar[i] = new ui::PictureButton(panel);
        m_toolbar[i]->setGeometry(ui::dluRect(kX[i], 3, 45, 42));
    }
    m_logo = new ui::PictureButton(panel);
    m_logo->setGeometry(ui::dluRect(425, 3, 91, 35));
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
    static const int kCaptionY[5] = {70, 89, 110, 130, 149};
    static const int kValueY[5] = {70, 88, 109, 130, 149};
    QFont captionFont = font();
    captionFont.setBold(true);
    for (int i = 0; i < 5; ++i) {
        m_captions[i] = transparentLabel(panel, ui::dluRect(176, kCaptionY[i], 124, 12));
        m_captions[i]->setFont(captionFont);
        m_captions[i]->setStyleSheet(QStringLiteral("color: #1d3557;"));
        m_captions[i]->setObjectName(QStringLiteral("caption%1").arg(i));
        m_values[i] = transparentLabel(panel, ui::dluRect(302, kValueY[i], 214, 12));
        m_values[i]->setStyleSheet(QStringLiteral("color: #22303f;"));
        m_values[i]->setObjectName(QStringLiteral("value%1").arg(i));
    }
    // Its last line where the scan's status stands; a long reason why a drive
    // is not ready wraps upwards.
    m_status = transparentLabel(panel, ui::dluRect(160, 190, 290, 34));
    m_status->setWordWrap(true);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_status->setStyleSheet(QStringLiteral("color: #2d5b8c; font-style: italic;"));
    buildResultsLabels(panel);

    m_quickHelpLabel = transparentLabel(panel, ui::dluRect(11, 259, 384, 39));
    m_quickHelpLabel->setWordWrap(true);
    m_quickHelpLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_quickHelpLabel->setStyleSheet(QStringLiteral("color: #1d2b3a;"));
}

/// The progress bar and the Stop, Back and Next buttons.
void RecoveryWindow::buildNavigation(QWidget* panel)
{
    m_progress = new ui::PercentProgressBar(panel);
    m_progress->setGeometry(ui::dluRect(156, 226, 294, 12));

    m_stop = new ui::PictureButton(panel);
    m_stop->setGeometry(ui::dluRect(461, 217, 33, 30));
    m_back = new ui::PictureButton(panel);
    m_back->setGeometry(ui::dluRect(404, 260, 33, 30));
    m_next = new ui::PictureButton(panel);
    m_next->setGeometry(ui::dluRect(459, 260, 33, 30));
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

QAction* RecoveryWindow::addCommand(QMenu* menu, const QString& text, int id, const QString& iconName)
{
    QAction* action = menu->addAction(text);
    if (!iconName.isEmpty())
        action->setIcon(QIcon::fromTheme(iconName));
    action->setData(id);
    m_actions.insert(id, action);
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    return action;
}

void RecoveryWindow::buildMenuBar()
{
    QMenuBar* bar = menuBar();
    bar->clear();
    QMenu* recovery = bar->addMenu(QStringLiteral("&Recovery"));
    addCommand(recovery, QStringLiteral("&Recover Selected..."), Command::RecoverSelected,
               QStringLiteral("document-save"));
    addCommand(recovery, QStringLiteral("Recover &All..."), Command::RecoverAll, QStringLiteral("document-save-as"));
    recovery->addSeparator();
    addCommand(recovery, QStringLiteral("&Save Recovery Snapshot..."), Command::SaveSnapshot,
               QStringLiteral("media-floppy"));
    addCommand(recovery, QStringLiteral("&Load Recovery Snapshot..."), Command::LoadSnapshot,
               QStringLiteral("document-open"));
    recovery->addSeparator();
    addCommand(recovery, QStringLiteral("Add &Disk Image..."), Command::AddDiskImage, QStringLiteral("drive-harddisk"));
    QMenu* recent =
        recovery->addMenu(QIcon::fromTheme(QStringLiteral("document-open-recent")), QStringLiteral("Recent &Images"));
    recent->menuAction()->setData(Command::RecentImages);
    connect(recent, &QMenu::aboutToShow, this, [this, recent] { fillRecentImages(recent); });
    recovery->addSeparator();
    addCommand(recovery, QStringLiteral("E&xit..."), Command::Exit, QStringLiteral("application-exit"));

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    addCommand(view, QStringLiteral("Ico&ns"), Command::Icons, QStringLiteral("view-grid"));
    addCommand(view, QStringLiteral("&List"), Command::List, QStringLiteral("view-list"));
    addCommand(view, QStringLiteral("&Details"), Command::Details, QStringLiteral("view-list-details"));
    addCommand(view, QStringLiteral("&Thumbnails"), Command::Thumbnails, QStringLiteral("view-preview"));
    QAction* preview =
        addCommand(view, QStringLiteral("&Preview"), Command::Preview, QStringLiteral("document-preview"));
    preview->setCheckable(true);
    preview->setShortcut(QKeySequence(Qt::Key_F3));
    preview->setChecked(m_preview != nullptr && !m_preview->isHidden());
    view->addSeparator();
    // Off by default: deleted files are what is looked for; a lost or damaged
    // volume's existing files are lost too.
    QAction* existing = view->addAction(QStringLiteral("Show &Existing Files"));
    existing->setData(Command::ShowExistingFiles);
    existing->setCheckable(true);
    existing->setToolTip(QStringLiteral("List the files that are not deleted too (thorough scans)"));
    m_actions.insert(Command::ShowExistingFiles, existing);
    connect(existing, &QAction::toggled, this, &RecoveryWindow::toggleExistingFiles);
    view->addSeparator();
    // The picture buttons' commands, for the keyboard: their shortcuts act
    // wherever the focus is in the window (a line being edited keeps Backspace).
    addCommand(view, QStringLiteral("&Back"), Command::Back, QStringLiteral("go-previous"))
        ->setShortcuts({QKeySequence(Qt::AltModifier | Qt::Key_Left), QKeySequence(Qt::Key_Backspace)});
    addCommand(view, QStringLiteral("&Stop"), Command::Stop, QStringLiteral("process-stop"))
        ->setShortcut(QKeySequence(Qt::Key_Escape));

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    addCommand(tools, QStringLiteral("&Find Files..."), Command::FindFiles, QStringLiteral("edit-find"));
    addCommand(tools, QStringLiteral("Deep &Search"), Command::DeepSearch, QStringLiteral("system-search"));
    addCommand(tools, QStringLiteral("File Fi&lters..."), Command::FileFilters, QStringLiteral("view-filter"));
    addCommand(tools, QStringLiteral("Se&ttings..."), Command::Settings, QStringLiteral("preferences-system"));
    tools->addSeparator();
    addCommand(tools, QStringLiteral("&Drive Information"), Command::DriveInformation,
               QStringLiteral("drive-harddisk"));
    addCommand(tools, QStringLiteral("Search for Lost &Volumes..."), Command::SearchLostVolumes,
               QStringLiteral("edit-find"));
    tools->addSeparator();
    addCommand(tools, QStringLiteral("Live &Update"), Command::LiveUpdate, QStringLiteral("system-software-update"));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    addCommand(help, QStringLiteral("&Contents"), Command::Contents, QStringLiteral("help-contents"));
    addCommand(help, QStringLiteral("&About Velmora Sarvik..."), Command::About, QStringLiteral("help-about"));
    SetMenuState(0);
}

void RecoveryWindow::buildToolbar()
{
    struct Tool {
        ui::ToolbarPicture picture;
        int command;
        const char* tip;
    };
    static const Tool kTools[kToolbarButtons] = {
        {ui::ToolbarPicture::RecoverSelected, Command::RecoverSelected,
         "Copy the selected file(s) and folder(s) to your computer"},
        {ui::ToolbarPicture::RecoverAll, Command::RecoverAll, "Copy all the file(s) and folder(s) to your computer"},
        {ui::ToolbarPicture::SaveSnapshot, Command::SaveSnapshot,
         "Saves the snapshot of scan information, so that later on you need not to scan the disk again"},
        {ui::ToolbarPicture::LoadSnapshot, Command::LoadSnapshot,
         "Loads the data from previously saved scan information"},
        {ui::ToolbarPicture::FindFiles, Command::FindFiles, "Search the file(s) in the recovered data"},
        {ui::ToolbarPicture::DeepSearch, Command::DeepSearch,
         "Searches the free space for lost folders and for files by their content"},
        {ui::ToolbarPicture::Settings, Command::Settings, "Configures the software"},
        {ui::ToolbarPicture::LiveUpdate, Command::LiveUpdate, "Updates the software with latest changes from internet"},
    };
    for (int i = 0; i < kToolbarButtons; ++i) {
        ui::PictureButton* button = m_toolbar[i];
        button->setPictures(ui::toolbarPicture(kTools[i].picture, button->size(), false),
                            ui::toolbarPicture(kTools[i].picture, button->size(), true));
        button->setToolTip(QString::fromLatin1(kTools[i].tip));
        const int id = kTools[i].command;
        // A button looks disabled while its command is; Live Update always acts.
        if (QAction* command = action(id); command != nullptr && id != Command::LiveUpdate) {
            button->setEnabled(command->isEnabled());
            connect(command, &QAction::enabledChanged, button, &QWidget::setEnabled);
        }
        connect(button, &QAbstractButton::clicked, this, [this, id] {
            // Live Update always acts; every other button only while its menu command is enabled.
            if (id == Command::LiveUpdate)
                runCommand(id);
            else
                runIfEnabled(id);
        });
    }
}

bool RecoveryWindow::runIfEnabled(int id)
{
    QAction* command = action(id);
    if (command == nullptr || !command->isEnabled())
        return false;
    runCommand(id);
    return true;
}

void RecoveryWindow::runCommand(int id)
{
    struct Own {
        int id;
        void (*run)(RecoveryWindow&);
    };
    static constexpr Own kOwn[] = {
        {Command::Exit, [](RecoveryWindow& w) { w.exitCommand(); }},
        {Command::Icons, [](RecoveryWindow& w) { w.setViewMode(ViewMode::Icons); }},
        {Command::List, [](RecoveryWindow& w) { w.setViewMode(ViewMode::List); }},
        {Command::Details, [](RecoveryWindow& w) { w.setViewMode(ViewMode::Details); }},
        {Command::Thumbnails, [](RecoveryWindow& w) { w.setViewMode(ViewMode::Thumbnails); }},
        {Command::Preview, [](RecoveryWindow& w) { w.showPreview(); }},
        {Command::Settings, [](RecoveryWindow& w) { w.showSettings(); }},
        {Command::DriveInformation, [](RecoveryWindow& w) { w.showDriveInformation(); }},
        {Command::LiveUpdate, [](RecoveryWindow& w) { w.liveUpdate(); }},
        {Command::Contents, [](RecoveryWindow& w) { w.helpContents(); }},
        {Command::About, [](RecoveryWindow& w) { w.aboutBox(); }},
        {Command::AddDiskImage, [](RecoveryWindow& w) { w.addDiskImage(); }},
        {Command::SearchLostVolumes, [](RecoveryWindow& w) { w.searchLostVolumes(); }},
        {Command::DeepSearch, [](RecoveryWindow& w) { w.m_deep->start(); }},
        {Command::Back, [](RecoveryWindow& w) { w.back(); }},
        {Command::Stop, [](RecoveryWindow& w) { w.stopCommand(); }},
    };
    for (const Own& own : kOwn) {
        if (own.id == id) {
            own.run(*this);
            return;
        }
    }
    // Recovery, snapshots, find and filters: their windows take the request.
    emit commandRequested(id);
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
                             : QStringLiteral("Mounting volume, please wait..."));
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
        // Fresh results come in the catalogue's order.
        m_details->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        m_model->sort(-1);
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
        m_skin = ui::paintWindowSkin(panel->size());
    const auto style = [](ui::SkinText role, const char* more = "") {
        return QStringLiteral("color: %1;%2").arg(ui::skinTextColour(role).name(), QLatin1String(more));
    };
    for (int i = 0; i < 5; ++i) {
        m_captions[i]->setStyleSheet(style(ui::SkinText::Caption));
        m_values[i]->setStyleSheet(style(ui::SkinText::Value));
    }
    m_status->setStyleSheet(style(ui::SkinText::Status, " font-style: italic;"));
    m_rules->setStyleSheet(style(ui::SkinText::Status, " font-style: italic;"));
    m_filterNote->setStyleSheet(style(ui::SkinText::Warning));
    m_stoppedNote->setStyleSheet(style(ui::SkinText::Warning));
    m_quickHelpLabel->setStyleSheet(style(ui::SkinText::Body));
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
                OpenSelectedItem();
            } else {
                fileListActivated(m_details->selectionModel()->currentIndex());
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Shell commands ---------------------------------------------------------

void RecoveryWindow::releaseCatalogue()
{
    if (m_runner != nullptr && m_runner->running())
        return; // the worker still fills it; it is released when the window goes
    m_session.catalogue.ClearFatCatalogue();
    m_session.catalogue.ClearNtfsCatalogue();
}

void RecoveryWindow::exitCommand()
{
    if (QuestionDialog(this, QStringLiteral("Do you really want to exit ?")) != kYes)
        return;
    m_exitConfirmed = true;
    close();
}

void RecoveryWindow::closeEvent(QCloseEvent* event)
{
    // The close box asks the same question as Exit; No keeps the window and everything in it.
    if (!m_exitConfirmed && QuestionDialog(this, QStringLiteral("Do you really want to exit ?")) != kYes) {
        event->ignore();
        return;
    }
    m_exitConfirmed = true;
    if (m_runner != nullptr)
        m_runner->requestStop();
    if (m_deep != nullptr)
        m_deep->requestStop();
    if (m_preview != nullptr)
        m_preview->settle(); // its read uses the catalogue
    releaseCatalogue();
    if (m_commands != nullptr)
        m_commands->removeOpenCopies();
    event->accept();
}

void RecoveryWindow::helpContents()
{
    HelpDialog dialog(this);
    dialog.exec();
}

void RecoveryWindow::liveUpdate()
{
    // The program is installed as a package; its updates come the same way.
    MessageDialog(this, MessageKind::Information,
                  QStringLiteral("Updates of Velmora Sarvik Undelete come through your system's package manager: "
                                 "update the package there to get the latest version."));
}

void RecoveryWindow::aboutBox()
{
    MessageBox box(
        this, MessageKind::Information,
        QStringLiteral("Velmora Sarvik Undelete %1\n\n"
                       "Brings back deleted files and folders from FAT12, FAT16, FAT32, exFAT and NTFS volumes.\n"
                       "Copyright 2026 Velmora.\n\n"
                       "This program is free software: you can redistribute it and/or modify it under the terms "
                       "of the GNU General Public License as published by the Free Software Foundation, either "
                       "version 3 of the License, or (at your option) any later version (GPL-3.0-or-later). It "
                       "comes with ABSOLUTELY NO WARRANTY. The licence's text: "
                       "/usr/share/common-licenses/GPL-3, or <https://www.gnu.org/licenses/gpl-3.0.html>.")
            .arg(QApplication::applicationVersion()),
        false);
    box.setWindowTitle(QStringLiteral("About Velmora Sarvik"));
    box.exec();
}

void RecoveryWindow::showSettings()
{
    const bool thorough = m_settings.ThoroughScan;
    RecoverySettingsDialog dialog(m_settings, this);
    dialog.exec();
    // The rules read the boot sector's geometry: the drive page follows a change.
    if (m_settings.ThoroughScan != thorough && m_currentStep == 0 && !scanRunning() && m_selectedDrive &&
        *m_selectedDrive < m_drives.size())
        selectDriveAt(*m_selectedDrive);
}

void RecoveryWindow::showDriveInformation()
{
    DriveInformationDialog dialog(disk::ShowDriveInformation(m_session.volume.geometry,
                                                             m_session.catalogue.folderCount(),
                                                             m_session.catalogue.fileCount()),
                                  this);
    dialog.exec();
}

void RecoveryWindow::addDiskImage()
{
    QFileDialog dialog(this, QStringLiteral("Add Disk Image"));
    dialog.setObjectName(QStringLiteral("addDiskImage"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso *.001 *.E01 *.vhd *.vhdx "
                                          "*.vmdk *.qcow2 *.qcow)"),
                           QStringLiteral("EnCase images (*.E01)"),
                           QStringLiteral("Virtual machine disks (*.vhd *.vhdx *.vmdk *.qcow2 *.qcow)"),
                           QStringLiteral("Split raw images, first piece (*.001)"), QStringLiteral("All files (*)")});
    if (const QString folder = RecentPlaces::instance().folder(Place::DiskImage); !folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    RecentPlaces::instance().remember(Place::DiskImage, path);
    addImageAt(path);
}

void RecoveryWindow::addImageAt(const QString& path)
{
    const NamedDrives named = namedDrives(path);
    if (!named.refusal.isEmpty()) {
        RecentPlaces::instance().forgetImage(QFileInfo(path).absoluteFilePath());
        MessageDialog(this, MessageKind::Error, named.refusal);
        return;
    }
    RecentPlaces::instance().addImage(path);
    QTreeWidgetItem* first = nullptr;
    for (const auto& item : named.items) {
        QTreeWidgetItem* added = addDriveItem(item);
        if (first == nullptr)
            first = added;
    }
    // The drive page selects what was just added, as a click on it would.
    if (first != nullptr && m_currentStep == 0 && !scanRunning()) {
        m_driveTree->setCurrentItem(first);
        m_driveTree->scrollToItem(first);
        m_driveTree->setFocus();
    }
}

void RecoveryWindow::fillRecentImages(QMenu* menu)
{
    menu->clear();
    const QStringList images = RecentPlaces::instance().images();
    for (int i = 0; i < images.size(); ++i) {
        // "&1 card.img", with the whole path as the tip and in the status bar.
        QAction* action = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(images[i]).fileName()));
        action->setToolTip(images[i]);
        action->setStatusTip(images[i]);
        connect(action, &QAction::triggered, this, [this, path = images[i]] { addImageAt(path); });
    }
    if (images.isEmpty()) {
        menu->addAction(QStringLiteral("(none)"))->setEnabled(false);
        return;
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("&Clear List")), &QAction::triggered, this,
            [] { RecentPlaces::instance().clearImages(); });
}

} // namespace sarvik::app

namespace sarvik::app {

void RecoveryWindow::toggleExistingFiles(bool shown)
{
    m_showExisting = shown;
    // Shown results of a scan are scanned again at once, so that the list says
    // what the menu does; a loaded snapshot's stay as they are, and elsewhere
    // the next scan takes it.
    if (m_currentStep == 3 && !m_resultsFromSnapshot && !scanRunning() && !m_deep->running() && m_selectedDrive) {
        back();
        next();
    }
}

} // namespace sarvik::app
