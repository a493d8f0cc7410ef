#include "app/RecoveryWindow.h"

#include "app/DeepSearch.h"
#include "app/DeepSearchBar.h"
#include "app/DriveInformationDialog.h"
#include "app/FileListModel.h"
#include "app/HelpDialog.h"
#include "app/MessageBoxes.h"
#include "app/NamedDrives.h"
#include "app/RecoverySettingsDialog.h"
#include "app/ResultsCommands.h"
#include "app/ScanRunner.h"
#include "catalogue/NameText.h"
#include "container/ContainerSource.h"
#include "disk/DriveInformation.h"
#include "platform/Devices.h"
#include "platform/PartitionSource.h"
#include "platform/SourceVolume.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <functional>
#include <set>

namespace sarvik::app {

namespace Text {
namespace {
QString blanks(int n)
{
    return QString(n, QLatin1Char(' '));
}
} // namespace
QStringList driveCaptions()
{
    return {QStringLiteral("Volume Label") + blanks(13), QStringLiteral("Capacity\t") + blanks(8),
            QStringLiteral("Sector Per Cluster") + blanks(6), QStringLiteral("Byte Per Sector") + blanks(10),
            QStringLiteral("File System") + blanks(16)};
}
QStringList scanCaptions()
{
    return {QStringLiteral("Folder(s) Found") + blanks(9), QStringLiteral("File(s) Found") + blanks(12),
            QStringLiteral("Current Sector") + blanks(10), QStringLiteral("Last File/Folder") + blanks(7)};
}
QString driveHelp(int indent)
{
    return QStringLiteral("\r\n") + blanks(indent) +
           QStringLiteral("1. Select the Logical Drive that contains the deleted file(s).\r\n") + blanks(indent) +
           QStringLiteral("2. Click Next Button.");
}
QString scanHelp()
{
    return QStringLiteral("\r\n") + blanks(19) +
           QStringLiteral("Sarvik is searching the data of the selected partition, once this process is "
                          "completed it will show you all the") +
           blanks(26) + QStringLiteral("deleted file(s).");
}
QString resultsHelp()
{
    return QStringLiteral("\r\n") + blanks(16) +
           QStringLiteral("Please select the file(s) and folder(s) to recover from right pane and copy using") +
           blanks(3) + QStringLiteral("Recover Selected") + blanks(6) + QStringLiteral("or") + blanks(29) +
           QStringLiteral("Recover All options from the Recovery Menu.\r\n") + blanks(16) +
           QStringLiteral("You can open a file by Double Clicking it.");
}
} // namespace Text

namespace {

constexpr const char* kHomePage = "https://www.velmora.example/sarvik-undelete";

// The tree's pixel rectangle: left 5, top 98, right 228, bottom 418.
const QRect kTreeRect(5, 98, 223, 320);

// Paints the skin behind every control of the window, at the panel's size; the
// skin's own size is the smallest the panel takes.
class SkinPanel : public QWidget {
public:
    SkinPanel(QImage& skin, std::function<void()> resized, QWidget* parent)
        : QWidget(parent), m_skin(skin), m_resized(std::move(resized))
    {
        setMinimumSize(skin.size());
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

QLabel* transparentLabel(QWidget* parent, const QRect& rect)
{
    auto* label = new QLabel(parent);
    label->setGeometry(rect);
    label->setTextFormat(Qt::PlainText);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

// A label is shown again after its text changes so the skin behind it is redrawn.
void reshow(QLabel* label, const QString& text)
{
    label->hide();
    label->setText(text);
    label->show();
}

void hideEmpty(QLabel* label)
{
    label->hide();
    label->clear();
}

QIcon themeIcon(const char* name, QStyle::StandardPixmap fallback)
{
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    return icon.isNull() ? QApplication::style()->standardIcon(fallback) : icon;
}

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

constexpr int kDriveIndexRole = Qt::UserRole + 1;
constexpr int kHandleRole = Qt::UserRole + 2;
/// Rows besides those on screen that sizing the list's columns looks at.
constexpr int kSampledRows = 100;

} // namespace

RecoveryWindow::RecoveryWindow(std::vector<disk::DriveItem> drives, disk::DeviceProvider& devices, QWidget* parent)
    : QMainWindow(parent), m_devices(devices), m_drives(std::move(drives)), m_runner(new ScanRunner(this))
{
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    setWindowIcon(QIcon(ui::applicationPicture(64)));

    m_startDirectory = QDir::currentPath();
    if (!m_startDirectory.endsWith(QLatin1Char('/')))
        m_startDirectory += QLatin1Char('/');

    m_skin = ui::paintWindowSkin(QSize(ui::dluX(528), ui::dluY(311)));
    buildControls();

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
                 {m_fileList, grow},
                 {m_status, kMoveY},
                 {m_progress, kMoveY | kGrowX},
                 {m_stop, move},
                 {m_back, move},
                 {m_next, move},
                 {m_rules, move},
                 {m_filterNote, kGrowX},
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
    const QSize extra = panel->size() - panel->minimumSize();
    const int dx = std::max(0, extra.width());
    const int dy = std::max(0, extra.height());
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
    // The deep search's strip, while shown, takes the bottom of the list's room.
    if (m_deepBar != nullptr && !m_deepBar->isHidden()) {
        QRect list = m_fileList->geometry();
        list.setBottom(m_deepBar->geometry().top() - 3);
        m_fileList->setGeometry(list);
    }
}

RecoveryWindow::~RecoveryWindow()
{
    // The workers' owners stop and join them before the session goes away:
    // the deep search's sample and the scan read it.
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
    buildTrees(panel);
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
    // Beside Back, where Next stands on the other pages.
    // Two lines at most ("Thorough scan," and "free space searched").
    m_rules = transparentLabel(panel, ui::dluRect(440, 262, 84, 24));
    m_rules->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_rules->setStyleSheet(QStringLiteral("color: #2d5b8c; font-style: italic;"));
    m_rules->hide();
    // Over the list, where the toolbar ends: the patterns that shape the list and the recovery.
    m_filterNote = transparentLabel(panel, ui::dluRect(156, 52, 367, 10));
    m_filterNote->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_filterNote->setObjectName(QStringLiteral("filterNote"));
    m_filterNote->setStyleSheet(QStringLiteral("color: #8a3b12;"));
    QFont noteFont = m_filterNote->font();
    noteFont.setPixelSize(11); // the list's own size, so that the line fits above it
    noteFont.setBold(true);
    m_filterNote->setFont(noteFont);
    m_filterNote->hide();

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

void RecoveryWindow::buildFileList(QWidget* panel)
{
    // The file list: one model, a table for the details view and a list view for
    // the icon and list views, sharing the selection.
    m_model = new FileListModel(m_types, this);
    m_fileList = new QStackedWidget(panel);
    m_fileList->setGeometry(ui::dluRect(156, 62, 367, 196));
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
    connect(m_model, &QAbstractItemModel::modelReset, this, &RecoveryWindow::sizeColumns);
    // A header click orders the rows as shown; the catalogue keeps its order.
    QHeaderView* header = m_details->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
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
    m_fileList->hide();
    // Under the list, within its room: the deep search's banner, progress and outcome.
    m_deepBar = new DeepSearchBar(panel);
    m_deepBar->setGeometry(ui::dluRect(156, 232, 367, 26));
    connect(m_deepBar, &DeepSearchBar::modeChanged, this, &RecoveryWindow::layoutControls);
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_details), static_cast<QAbstractItemView*>(m_listView)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, &RecoveryWindow::fileListActivated);
        connect(view, &QAbstractItemView::pressed, this, [this] { m_focusOnTree = false; });
        view->installEventFilter(this);
    }
}

/// The drive tree of the first page and the folder tree of the results.
void RecoveryWindow::buildTrees(QWidget* panel)
{
    auto makeTree = [panel, this] {
        auto* tree = new QTreeWidget(panel);
        tree->setGeometry(kTreeRect);
        tree->setHeaderHidden(true);
        tree->setRootIsDecorated(true);
        tree->setIconSize(QSize(16, 16));
        tree->setExpandsOnDoubleClick(true);
        tree->viewport()->installEventFilter(this);
        tree->installEventFilter(this);
        return tree;
    };
    m_driveTree = makeTree();
    m_folderTree = makeTree();
    // Whole names: a long one scrolls sideways instead of being cut.
    for (QTreeWidget* tree : {m_driveTree, m_folderTree}) {
        tree->header()->setStretchLastSection(false);
        tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    }
    // The arrow keys select the drive they move to, as a click does.
    connect(m_driveTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (current != nullptr && m_currentStep == 0 && !scanRunning() && m_driveTree->isEnabled() &&
            current->data(0, kDriveIndexRole).isValid())
            SelectDrive(current);
    });
    // The list follows the folder the keyboard moves to; a mouse press opens its
    // folder itself.
    connect(m_folderTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (m_followTree && current != nullptr && m_currentStep == 3 && m_folderTree->isEnabled()) {
            m_focusOnTree = true;
            OpenSelectedItem();
        }
    });
    m_folderTree->setEnabled(false);
    m_folderTree->hide();
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
    recovery->addSeparator();
    addCommand(recovery, QStringLiteral("E&xit..."), Command::Exit, QStringLiteral("application-exit"));

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    addCommand(view, QStringLiteral("Ico&ns"), Command::Icons, QStringLiteral("view-grid"));
    addCommand(view, QStringLiteral("&List"), Command::List, QStringLiteral("view-list"));
    addCommand(view, QStringLiteral("&Details"), Command::Details, QStringLiteral("view-list-details"));

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    addCommand(tools, QStringLiteral("&Find Files..."), Command::FindFiles, QStringLiteral("edit-find"));
    addCommand(tools, QStringLiteral("Deep &Search"), Command::DeepSearch, QStringLiteral("system-search"));
    addCommand(tools, QStringLiteral("File Fi&lters..."), Command::FileFilters, QStringLiteral("view-filter"));
    addCommand(tools, QStringLiteral("Se&ttings..."), Command::Settings, QStringLiteral("preferences-system"));
    tools->addSeparator();
    addCommand(tools, QStringLiteral("&Drive Information"), Command::DriveInformation,
               QStringLiteral("drive-harddisk"));
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
        {Command::Settings, [](RecoveryWindow& w) { w.showSettings(); }},
        {Command::DriveInformation, [](RecoveryWindow& w) { w.showDriveInformation(); }},
        {Command::LiveUpdate, [](RecoveryWindow& w) { w.liveUpdate(); }},
        {Command::Contents, [](RecoveryWindow& w) { w.helpContents(); }},
        {Command::About, [](RecoveryWindow& w) { w.aboutBox(); }},
        {Command::AddDiskImage, [](RecoveryWindow& w) { w.addDiskImage(); }},
        {Command::DeepSearch, [](RecoveryWindow& w) { w.m_deep->start(); }},
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
    const auto resultCommands = {Command::Icons,     Command::List,        Command::Details,
                                 Command::FindFiles, Command::FileFilters, Command::DriveInformation};
    if (state < 0 || state > 3)
        return;
    // Only state 3 (the results) enables what acts on them; state 0 leaves Load as it is.
    const bool results = state == 3;
    set({Command::RecoverSelected, Command::RecoverAll, Command::SaveSnapshot}, results);
    if (state != 0)
        set({Command::LoadSnapshot}, !results);
    set(resultCommands, results);
    set({Command::Settings}, true);
    set({Command::DeepSearch}, results && m_deep != nullptr && m_deep->available());
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
    return m_fileList;
}

bool RecoveryWindow::scanRunning() const
{
    return m_runner != nullptr && m_runner->running();
}

// ---- Drive page -------------------------------------------------------------

QTreeWidgetItem* RecoveryWindow::addDriveItem(const disk::DriveItem& drive)
{
    QTreeWidgetItem* computer = m_driveTree->topLevelItem(0);
    m_drives.push_back(drive);
    auto* item = new QTreeWidgetItem(computer, QStringList{QString::fromStdString(drive.text)});
    item->setIcon(0, themeIcon("drive-harddisk", QStyle::SP_DriveHDIcon));
    item->setData(0, kDriveIndexRole, static_cast<qulonglong>(m_drives.size() - 1));
    item->setToolTip(0, QString::fromStdString(drive.devicePath));
    computer->setExpanded(true);
    return item;
}

void RecoveryWindow::driveTreePressed(QTreeWidgetItem* item, const QPoint& pos)
{
    m_focusOnTree = true;
    if (item == nullptr) {
        m_driveTree->setCurrentItem(m_driveTree->topLevelItem(0));
        return;
    }
    if (m_currentStep != 0)
        return;
    // A press in the indent or on the expand button is left to the tree.
    if (pos.x() < m_driveTree->visualItemRect(item).left())
        return;
    if (item->text(0) == QLatin1String("My Computer") || item->text(0).isEmpty())
        return;
    {
        // The press selects the drive itself (and offers what a click offers).
        const QScopedValueRollback quiet(m_currentStep, -1);
        m_driveTree->setCurrentItem(item);
    }
    SelectDrive(item, true);
}

void RecoveryWindow::SelectDrive(QTreeWidgetItem* item, bool offerElevation)
{
    if (!item->data(0, kDriveIndexRole).isValid())
        return;
    const auto index = item->data(0, kDriveIndexRole).toULongLong();
    if (index >= m_drives.size())
        return;
    selectDriveAt(static_cast<std::size_t>(index), offerElevation);
}

void RecoveryWindow::selectDriveAt(std::size_t index, bool offerElevation)
{
    m_selectedDrive = index;
    m_selection =
        scan::SelectVolume(m_session.volume, m_drives[index], m_devices,
                           m_settings.ThoroughScan ? disk::GeometryRules::Thorough : disk::GeometryRules::Classic);
    ShowVolumeInfo();
    showNext(static_cast<bool>(m_selection));
    // Image files are the user's own; a device may need the administrator.
    if (offerElevation && m_selection.accessDenied && m_drives[index].kind != disk::DriveKind::Image)
        offerElevatedRestart(m_drives[index]);
}

bool RecoveryWindow::offerElevatedRestart(const disk::DriveItem& drive)
{
    const QString question =
        QStringLiteral("You may not read %1: reading a disk directly needs the administrator.\n\n"
                       "Start Velmora Sarvik Undelete again as the administrator? You will be asked for the "
                       "administrator's password.")
            .arg(QString::fromStdString(drive.devicePath));
    if (QuestionDialog(this, question, MessageKind::Error) != kYes)
        return false;
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty()) {
        MessageDialog(this, MessageKind::Error,
                      QStringLiteral("pkexec is not installed. Install the pkexec package, or start the program "
                                     "as root."));
        return false;
    }
    // pkexec keeps the display for this program (its policy allows a GUI).
    const QStringList arguments = QStringList{QApplication::applicationFilePath()} + QApplication::arguments().mid(1);
    if (!QProcess::startDetached(pkexec, arguments)) {
        MessageDialog(this, MessageKind::Error, QStringLiteral("pkexec could not be started."));
        return false;
    }
    m_exitConfirmed = true;
    close();
    return true;
}

void RecoveryWindow::showRefusedSources(const QStringList& refusals)
{
    if (refusals.isEmpty())
        return;
    // Once the window manager has placed the window, so that the box is centred on it.
    QTimer::singleShot(250, this, [this, refusals] {
        MessageDialog(this, MessageKind::Error, QStringLiteral("Not listed:\n") + refusals.join(QLatin1Char('\n')));
    });
}

void RecoveryWindow::ShowVolumeInfo()
{
    // Why a volume is NOT READY, or what the user should know about a ready one,
    // under the values and as the file system's tooltip.
    QStringList notes;
    // An image file of no bytes at all holds no boot sector to judge.
    const bool emptyImage = !m_selection && m_selection.status != disk::SelectStatus::CannotOpen && m_selectedDrive &&
                            *m_selectedDrive < m_drives.size() &&
                            m_drives[*m_selectedDrive].kind == disk::DriveKind::Image &&
                            m_drives[*m_selectedDrive].sizeBytes == 0;
    if (emptyImage)
        notes << QStringLiteral("Not ready: the file is empty.");
    else if (!m_selection)
        notes << QStringLiteral("Not ready: %1.").arg(QString::fromStdString(disk::selectFailureText(m_selection)));
    for (const auto& note : {disk::backupBootText(m_session.volume.info), disk::truncationText(m_session.volume.info)})
        if (note)
            notes << QStringLiteral("Note: %1.").arg(QString::fromStdString(*note));
    // What holds the volume, when it is a container: its kind, size and stored hashes.
    if (m_selectedDrive && *m_selectedDrive < m_drives.size() &&
        m_drives[*m_selectedDrive].kind == disk::DriveKind::Image)
        if (const auto image = std::dynamic_pointer_cast<const container::ContainerSource>(platform::openWholeSource(
                platform::resolvePartitionPath(m_drives[*m_selectedDrive].devicePath).path))) {
            QString text = QString::fromStdString(image->description());
            for (const std::string& hash : image->hashes())
                text += QStringLiteral("; stored %1").arg(QString::fromStdString(hash));
            notes << QStringLiteral("Container: %1.").arg(text);
        }
    if (m_selection && m_selectedDrive && *m_selectedDrive < m_drives.size())
        if (const auto mounts = platform::readWriteMounts(m_drives[*m_selectedDrive].devicePath); !mounts.empty())
            notes << QStringLiteral("Warning: mounted read-write at %1: anything written while you work can overwrite "
                                    "deleted files; unmount it or remount it read-only.")
                         .arg(QString::fromStdString(mounts.front()));
    m_values[4]->setToolTip(notes.join(QLatin1Char('\n')));
    if (notes.isEmpty())
        hideEmpty(m_status);
    else
        reshow(m_status, notes.join(QLatin1Char(' ')));
    const disk::VolumeInfoTexts texts = disk::ShowVolumeInfo(m_session.volume.info);
    m_values[0]->setText(QString::fromStdString(catalogue::toUtf8(texts.label)));
    m_values[1]->setText(QString::fromStdString(texts.capacity));
    m_values[2]->setText(QString::fromStdString(texts.sectorsPerCluster));
    m_values[3]->setText(QString::fromStdString(texts.bytesPerSector));
    m_values[4]->setText(QString::fromStdString(texts.fileSystem));
}

void RecoveryWindow::showNext(bool show)
{
    m_next->setEnabled(show);
    m_next->setVisible(show);
}

// ---- Scan -------------------------------------------------------------------

void RecoveryWindow::next()
{
    if (m_currentStep != 0 || scanRunning() || m_session.volume.info.VolumeSupported != 1)
        return;
    if (QAction* load = action(Command::LoadSnapshot))
        load->setEnabled(false);
    m_currentStep = 3;
    setViewMode(ViewMode::Details);
    m_session.filters.clear();
    showNext(false);
    StartScan();
}

void RecoveryWindow::StartScan()
{
    m_deep->resultsLeft();
    m_scanStopAsked = false;
    // A fresh folder tree with its root item, disabled and hidden until the scan ends.
    m_folderTree->clear();
    m_folderItems.clear();
    m_folderTree->setEnabled(false);
    m_folderTree->hide();

    m_driveTree->setEnabled(false);
    m_back->setEnabled(false);
    m_back->hide();
    showNext(false);
    SetLabelLayout(2);
    SetMenuState(0);
    setQuickHelp(Text::scanHelp());
    m_progress->setValue(0);
    // Stop is offered in every phase of the scan, from its first read to the
    // tree build: a Yes is kept by the job until a pass sees it.
    m_stop->setEnabled(true);
    m_stop->show();
    m_runner->start(m_session, scan::ScanOptions{m_settings.ThoroughScan});
}

void RecoveryWindow::StopScan()
{
    if (!scanRunning())
        return;
    // The scan keeps running while the question is open.
    if (QuestionDialog(this, QStringLiteral("Do you want to stop the current process ?")) == kYes) {
        m_scanStopAsked = scanRunning();
        m_runner->requestStop();
    }
}

QString RecoveryWindow::statusText(const std::string& status) const
{
    // The record walk reports its place in sectors of the MFT ("Reading 2048\\80000");
    // the thorough rules show it in records.
    static const QRegularExpression kSectors(QStringLiteral("^Reading (\\d+)\\\\(\\d+)$"));
    QString text = QString::fromStdString(status);
    const QRegularExpressionMatch match = kSectors.match(text);
    if (!m_settings.ThoroughScan || !match.hasMatch() ||
        m_session.volume.geometry.GeometryKind != disk::VolumeKind::Ntfs)
        return text;
    const qulonglong sectors = m_session.volume.geometry.MftRecordSectors;
    const qulonglong perRecord = sectors == 0 ? 2 : sectors; // 1,024-byte records unless the boot sector says otherwise
    return QStringLiteral("Reading MFT records: %1 of %2")
        .arg(match.captured(1).toULongLong() / perRecord)
        .arg(match.captured(2).toULongLong() / perRecord);
}

void RecoveryWindow::applyReport(const ScanReport& report)
{
    if (report.hasFolders)
        m_values[0]->setText(QString::number(report.folders));
    if (report.hasFiles)
        m_values[1]->setText(QString::number(report.files));
    if (report.hasSector)
        m_values[2]->setText(QString::number(report.sector));
    if (report.hasLastItem)
        m_values[3]->setText(nameText(report.lastItem, m_settings.ThoroughScan)); // the scan's names
    if (report.hasStatus)
        m_status->setText(statusText(report.status));
    if (report.hasProgress) {
        m_progress->setValue(static_cast<int>(std::min<std::uint32_t>(report.progress, 100)));
        m_progress->show();
    }
    // The engines offer and withdraw Stop pass by pass; the window keeps it
    // for the whole scan (StartScan), as the job's stop flag outlives a pass.
}

void RecoveryWindow::fillFolderTree()
{
    const catalogue::FolderTree& tree = m_session.tree;
    m_folderTree->setUpdatesEnabled(false);
    auto* root = new QTreeWidgetItem(m_folderTree, QStringList{QStringLiteral("Root")});
    root->setIcon(0, themeIcon("computer", QStyle::SP_ComputerIcon));
    root->setData(0, kHandleRole, catalogue::FolderTree::kRootHandle);
    m_folderItems[catalogue::FolderTree::kRootHandle] = root;
    const QIcon folder = folderItemIcon();
    // Depth first with an explicit stack: a deep damaged tree cannot exhaust the call stack.
    std::vector<std::pair<const catalogue::TreeNode*, QTreeWidgetItem*>> pending{{&tree.root(), root}};
    while (!pending.empty()) {
        auto [node, item] = pending.back();
        pending.pop_back();
        for (std::uint32_t handle : node->children) {
            const catalogue::TreeNode* child = tree.node(handle);
            if (child == nullptr)
                continue;
            auto* childItem =
                new QTreeWidgetItem(item, QStringList{nameText(child->name, m_session.catalogue.NamesAreUtf8)});
            childItem->setIcon(0, folder);
            childItem->setData(0, kHandleRole, handle);
            m_folderItems[handle] = childItem;
            pending.emplace_back(child, childItem);
        }
    }
    root->setExpanded(true);
    m_folderTree->setUpdatesEnabled(true);
}

void RecoveryWindow::scanEnded()
{
    showResults(true);
}

void RecoveryWindow::showResults(bool fromScan)
{
    if (fromScan && m_runner->outOfMemory())
        OutOfMemoryEnd(this);
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
    m_fileList->show();
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
    FillFileList(m_session.tree.rootKey());
    setQuickHelp(Text::resultsHelp());
    // The sample of free space, or the deep search itself, starts with the page.
    const scan::ScanResult result = fromScan ? m_runner->result() : scan::ScanResult{};
    m_deep->resultsShown(fromScan && (result.Stopped || m_scanStopAsked));
    // A snapshot's losses are its loader's to tell, not the last scan's.
    if (result.any())
        MessageDialog(this, MessageKind::Error,
                      QStringLiteral("%1 sector(s) and %2 MFT record(s) could not be read. What they held is "
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
    reshow(m_rules, !c.NamesAreUtf8  ? QStringLiteral("Classic scan")
                    : c.DeepSearched ? QStringLiteral("Thorough scan,\nfree space searched")
                                     : QStringLiteral("Thorough scan"));
}

void RecoveryWindow::deepSearchChanged()
{
    const bool results = m_currentStep == 3 && !scanRunning();
    if (QAction* deep = action(Command::DeepSearch))
        deep->setEnabled(results && m_deep->available());
    // Back leaves the results; while the deep search runs, Stop ends it first.
    if (results)
        m_back->setEnabled(!m_deep->running());
}

void RecoveryWindow::takeFoundResults(scan::ScanSession& found)
{
    // What is shown, by the folders' own keys: the tree's handles change.
    const auto keyOf = [this](const QTreeWidgetItem* item) -> std::optional<std::uint32_t> {
        const catalogue::TreeNode* node =
            item == nullptr ? nullptr : m_session.tree.node(item->data(0, kHandleRole).toUInt());
        if (node == nullptr)
            return std::nullopt;
        return node->folderIndex >= 0 ? node->key : m_session.tree.rootKey();
    };
    const std::optional<std::uint32_t> openKey = keyOf(m_folderTree->currentItem());
    std::set<std::uint32_t> expanded;
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
    for (const std::uint32_t key : expanded)
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
    FillFileList(open->folderIndex >= 0 ? open->key : tree.rootKey());
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

void RecoveryWindow::back()
{
    if (m_currentStep != 3 || scanRunning() || m_deep->running())
        return;
    m_deep->resultsLeft();
    if (QAction* load = action(Command::LoadSnapshot))
        load->setEnabled(true);
    setQuickHelp(Text::driveHelp(24));
    setViewMode(ViewMode::Details);
    showNext(false);
    m_model->clear();
    m_fileList->hide();
    m_rules->hide();
    m_filterNote->hide();
    ShowPage(1, false);
    SetMenuState(0);
    SetLabelLayout(0);
    m_currentStep = 0;
}

// ---- Results ----------------------------------------------------------------

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
    showResults(false);
}

QTreeWidgetItem* RecoveryWindow::folderItem(std::uint32_t handle) const
{
    const auto found = m_folderItems.find(handle);
    return found == m_folderItems.end() ? nullptr : found->second;
}

void RecoveryWindow::FillFileList(std::uint32_t key)
{
    const bool utf8 = m_session.catalogue.NamesAreUtf8;
    // Type names are looked up for the rows on screen only: the lookup is the
    // dearest part of a row.
    m_model->setRows(m_session.rows(key, [](const std::string&) { return std::string(); }), utf8,
                     FileListModel::TypeNames::Pending);
    m_details->scrollToTop();
    m_details->horizontalScrollBar()->setValue(0);
    // A filter in force lists and recovers only what its patterns let through.
    const auto& patterns = m_session.filters.patterns();
    if (patterns.empty()) {
        m_filterNote->hide();
    } else {
        QStringList shown;
        for (const std::string& p : patterns)
            shown << nameText(p, utf8);
        m_filterNote->setText(QStringLiteral("File filter in force: only files named %1 are listed and recovered")
                                  .arg(shown.join(QStringLiteral(", "))));
        m_filterNote->setToolTip(m_filterNote->text());
        m_filterNote->show();
    }
}

void RecoveryWindow::sizeColumns()
{
    // Each column as wide as its header and the rows the view samples; the
    // size and date columns also fit their longest text wherever it lies, and
    // the name column stops at half the list so the others stay in view.
    m_details->resizeColumnsToContents();
    const QFontMetrics metrics(m_details->font());
    const int padding = 2 * m_details->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_details) + 8;
    for (int column : {FileListModel::Size, FileListModel::Created, FileListModel::Modified, FileListModel::Id}) {
        const int wanted = metrics.horizontalAdvance(m_model->longestText(column)) + padding;
        if (m_details->columnWidth(column) < wanted)
            m_details->setColumnWidth(column, wanted);
    }
    const int nameLimit = std::max(150, m_details->viewport()->width() / 2);
    if (m_details->columnWidth(FileListModel::Name) > nameLimit)
        m_details->setColumnWidth(FileListModel::Name, nameLimit);
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
    OpenSelectedItem();
}

void RecoveryWindow::fileListActivated(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    m_focusOnTree = false;
    m_details->selectionModel()->setCurrentIndex(index,
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    OpenSelectedItem();
}

void RecoveryWindow::OpenSelectedItem()
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
    const catalogue::TreeNode* node = m_session.tree.node(handle);
    const std::uint32_t key = node != nullptr && node->folderIndex >= 0 ? node->key : m_session.tree.rootKey();
    FillFileList(key);
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

void RecoveryWindow::setViewMode(ViewMode mode)
{
    m_viewMode = mode;
    if (mode == ViewMode::Details) {
        m_fileList->setCurrentWidget(m_details);
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

bool RecoveryWindow::event(QEvent* event)
{
    // A modal box over the window takes the pointer without the buttons being
    // told it left them; none stays highlighted under the box or after it.
    if (event->type() == QEvent::WindowBlocked)
        for (ui::PictureButton* button : findChildren<ui::PictureButton*>())
            button->clearHighlight();
    return QMainWindow::event(event);
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
                       "Velmora Software. All rights reserved.")
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
    DriveInformationDialog dialog(disk::ShowDriveInformation(m_session.volume.geometry, m_session.catalogue.FolderCount,
                                                             m_session.catalogue.FileCount),
                                  this);
    dialog.exec();
}

void RecoveryWindow::addDiskImage()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Add Disk Image"), QString(),
        QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso *.001 *.E01 *.vhd *.vhdx "
                       "*.vmdk *.qcow2 *.qcow);;"
                       "EnCase images (*.E01);;"
                       "Virtual machine disks (*.vhd *.vhdx *.vmdk *.qcow2 *.qcow);;"
                       "Split raw images, first piece (*.001);;All files (*)"));
    if (path.isEmpty())
        return;
    const NamedDrives named = namedDrives(path);
    if (!named.refusal.isEmpty()) {
        MessageDialog(this, MessageKind::Error, named.refusal);
        return;
    }
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

} // namespace sarvik::app
