// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: three steps (choose a drive, scan it, browse what was found)
// in one skinned window with a menu bar, a toolbar of picture buttons, the label
// pairs of the right pane, and the Next, Back and Stop buttons.

#include "app/CommandIds.h"
#include "app/DrivePage.h"
#include "app/FileTypes.h"
#include "app/ResultsHost.h"
#include "app/ResultsPage.h"
#include "app/ScanPage.h"
#include "container/ShadowCopies.h"
#include "disk/Volume.h"
#include "recovery/RecoverySettings.h"
#include "scan/ScanSession.h"
#include "ui/Skin.h"

#include <QHash>
#include <QImage>
#include <QMainWindow>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QFrame;
class QGridLayout;
class QLabel;
class QPushButton;
class QListView;
class QSplitter;
class QStackedWidget;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;

namespace sarvik::session {
struct ScanProgress;
}

namespace sarvik::ui {
class PercentProgressBar;
class PictureButton;
} // namespace sarvik::ui

namespace sarvik::app {

class DeepSearch;
class DeepSearchBar;
class FileListModel;
class PreviewPane;
class SplitHandle;
class ThumbnailView;
class ResultsCommands;
class ScanRunner;
class UDisksClient;

enum class ViewMode { Icons, List, Details, Thumbnails };

class RecoveryWindow : public QMainWindow, public ResultsHost {
    Q_OBJECT
public:
    /// `drives` are listed under "My Computer" in order; `devices` opens them.
    RecoveryWindow(std::vector<disk::DriveItem> drives, disk::DeviceProvider& devices, QWidget* parent = nullptr);
    ~RecoveryWindow() override;

    [[nodiscard]] QWidget* hostWidget() override { return this; }

    // The operations of the window, public so that the commands and the tests reach them.
    void SetLabelLayout(int mode);
    void SetMenuState(int state);
    void ShowPage(int page, bool forward);
    /// Adds a disk image to the drive tree; returns its item.
    QTreeWidgetItem* addDriveItem(const disk::DriveItem& item);
    /// Lists `drives` in place of the devices listed (images added stay),
    /// keeping the selected drive when it is still there. False, changing
    /// nothing, away from the drive page or while it is busy.
    bool replaceDrives(std::vector<disk::DriveItem> drives);
    /// Follows drives that come and go: the disk manager's announcements
    /// where it runs, else a look at the system's devices every few seconds.
    void watchDrives();
    /// The status line for an engine's status text (the thorough rules count MFT records).
    [[nodiscard]] QString statusText(const session::ScanProgress& report) const override;
    /// In place of the quick help for a while: what a command has just done.
    void showStatusMessage(const QString& text) override;
    /// Says why each path named on the command line is not listed (one box, after the window shows).
    void showRefusedSources(const QStringList& refusals);
    /// Runs the menu command `id` if it is enabled (the toolbar's rule).
    bool runIfEnabled(int id);
    /// Keeps the window's size, the splits, the list's columns and sort, the
    /// view and the colours in the user's settings: restored now, saved when
    /// the window closes.
    void keepStateInSettings();

    // What the window shows, for the commands that follow and for tests.
    [[nodiscard]] int currentStep() const override { return m_currentStep; }
    [[nodiscard]] bool focusOnTree() const override { return m_focusOnTree; }
    [[nodiscard]] QString quickHelpText() const { return m_quickHelp; }
    [[nodiscard]] QString startDirectory() const { return m_startDirectory; }
    [[nodiscard]] QAction* action(int id) const override { return m_actions.value(id); }
    /// Caption and value of the volume-label pair (0) and pairs 1 to 4.
    [[nodiscard]] QLabel* captionLabel(int pair) const { return m_captions[pair]; }
    [[nodiscard]] QLabel* quickHelpLabel() const { return m_quickHelpLabel; }
    [[nodiscard]] QLabel* statusLabel() const { return m_status; }
    /// Whether the scans list the files not deleted too (View > Show Existing Files).
    [[nodiscard]] bool showExistingFiles() const override { return m_showExisting && m_settings.ThoroughScan; }
    [[nodiscard]] QLabel* valueLabel(int pair) const { return m_values[pair]; }
    [[nodiscard]] QLabel* statusLine() const { return m_status; }
    /// "Thorough scan" or "Classic scan" on the results page.
    [[nodiscard]] QLabel* rulesLabel() const { return m_rules; }
    /// The strip under the results list that offers the volume's previous
    /// versions (its shadow copies), its text and its button.
    [[nodiscard]] QFrame* previousVersionsBar() const { return m_previousBar; }
    [[nodiscard]] QLabel* previousVersionsText() const { return m_previousText; }
    [[nodiscard]] QPushButton* previousVersionsButton() const { return m_previousButton; }
    /// Above the list on the results page while a file filter is in force.
    [[nodiscard]] QLabel* filterNote() const { return m_filterNote; }
    /// Over the list on the results page after a stopped scan, until the next scan.
    [[nodiscard]] QLabel* stoppedNote() const { return m_stoppedNote; }
    [[nodiscard]] ui::PercentProgressBar* progressBar() const { return m_progress; }
    [[nodiscard]] ui::PictureButton* nextButton() const { return m_next; }
    [[nodiscard]] ui::PictureButton* backButton() const { return m_back; }
    [[nodiscard]] ui::PictureButton* stopButton() const { return m_stop; }
    [[nodiscard]] ui::PictureButton* logoButton() const { return m_logo; }
    [[nodiscard]] ui::PictureButton* toolbarButton(int index) const { return m_toolbar[index]; }
    /// The toolbar's buttons, left to right.
    static constexpr int kToolbarButtons = 8;
    [[nodiscard]] QTreeWidget* driveTree() const { return m_driveTree; }
    [[nodiscard]] QTreeWidget* folderTree() const override { return m_folderTree; }
    /// The file list's room on the results page: the list's views and the preview beside them.
    [[nodiscard]] QWidget* fileList() const;
    [[nodiscard]] QTableView* detailsView() const override { return m_details; }
    [[nodiscard]] QListView* iconListView() const { return m_listView; }
    [[nodiscard]] FileListModel* fileListModel() const override { return m_model; }
    [[nodiscard]] ViewMode viewMode() const { return m_viewMode; }
    [[nodiscard]] bool scanRunning() const override;
    [[nodiscard]] const scan::ScanSession& session() const override { return m_session; }
    /// The session for the commands that change it (snapshot load, rename).
    [[nodiscard]] scan::ScanSession& mutableSession() override { return m_session; }
    [[nodiscard]] FileTypes& fileTypes() override { return m_types; }
    [[nodiscard]] disk::DeviceProvider& devices() override { return m_devices; }
    /// Opens the selected folder of the tree or the list; a file row asks the
    /// commands to open it (Command::Open).
    void openSelectedItem() override;
    [[nodiscard]] ResultsCommands* commands() const { return m_commands; }
    /// The deep search of the results page, and the strip under the list that shows it.
    [[nodiscard]] DeepSearch* deepSearch() const override { return m_deep; }
    [[nodiscard]] DeepSearchBar* deepSearchBar() const { return m_deepBar; }
    /// The preview beside the file list (hidden until the View menu shows it).
    [[nodiscard]] PreviewPane* previewPane() const override { return m_preview; }
    /// The file list's thumbnail view.
    [[nodiscard]] ThumbnailView* thumbnailView() const { return m_thumbView; }
    /// The handle between the folder tree and the file list.
    [[nodiscard]] SplitHandle* treeListHandle() const { return m_treeHandle; }

    /// The session takes what a deep search found in `found` (see
    /// ScanSession::takeResults); the folder tree and the list are filled
    /// again, keeping the open folder, the expanded ones, the selected rows and
    /// the place in the list.
    void takeFoundResults(scan::ScanSession& found) override;
    /// Which rows of the file list are selected, one flag per row.
    [[nodiscard]] std::vector<bool> selectedRows() const override;
    /// The list's selection mark (its current row), or -1.
    [[nodiscard]] int currentRow() const override;
    void setFocusOnTree(bool onTree) override { m_focusOnTree = onTree; }
    /// Fills the file list with the rows of folder `key`.
    void fillFileList(std::uint64_t key) override;
    /// The results page for a catalogue that a snapshot load has just filled.
    void showLoadedResults() override;
    /// Opens the folder of file `fileIndex` (an index into the scanned kind's
    /// file list) and selects the file in the list, the focus on the list.
    /// False when the file is not listed there (a file filter leaves it out).
    bool showFile(std::size_t fileIndex) override;
    /// Gives a folder's tree item a new text (after a rename).
    void renameFolderItem(std::uint32_t handle, const QString& text) override;
    [[nodiscard]] recovery::RecoverySettings& settings() override { return m_settings; }
    /// The tree item of a folder-tree handle (the root for FolderTree::kRootHandle).
    [[nodiscard]] QTreeWidgetItem* folderItem(std::uint32_t handle) const override;

signals:
    /// A command whose work belongs to the recovery, snapshot, search and
    /// properties windows was chosen; those windows connect here.
    void commandRequested(int id);
    /// A scan has ended and the results page is shown.
    void scanFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildControls();
    void buildLabels(QWidget* panel);
    void buildNavigation(QWidget* panel);
    void buildMenuBar();
    void buildToolbar();
    QAction* addCommand(QMenu* menu, const QString& text, int id, const QString& iconName);
    void runCommand(int id);
    void setQuickHelp(const QString& text);
    /// Gives the controls the names and descriptions a screen reader reads.
    void nameControls();
    /// Puts the controls in the panel's layouts: the lists take what the
    /// window grows by, and every row grows with the font.
    void layOutPanel();
    /// Lays the panel out again at once (a strip shown or hidden, the edge
    /// between the folder tree and the list moved).
    void layoutControls();
    /// The list's columns share its width anew.
    void columnsFollowList();
    /// Where the skin draws its header, wells and plate, from the layout.
    [[nodiscard]] ui::SkinAreas skinAreas() const;

    // Drive page.
    void buildDriveTree(QWidget* panel);
    void driveTreePressed(QTreeWidgetItem* item, const QPoint& pos);
    /// `offerElevation`: a device this user may not read offers the restart
    /// as the administrator (a click or Enter; not the arrow keys passing by).
    void SelectDrive(QTreeWidgetItem* item, bool offerElevation = false);
    /// Selects drive `index` under the rules the settings name.
    void selectDriveAt(std::size_t index, bool offerElevation = false);
    /// Asks to start the program again through pkexec; true when it was started.
    bool offerElevatedRestart(const disk::DriveItem& drive);
    /// Asks the disk manager to open the refused drive `index` (polkit asks
    /// for the password); without it, offers the restart.
    void openRefusedDevice(std::size_t index);
    /// The drive tree's item for drive `index`, with its shadow copies below it.
    QTreeWidgetItem* newDriveTreeItem(std::size_t index);
    /// Lists the shadow copies of `volume` (an NTFS volume) under its item,
    /// each added to the drives as a source of its own.
    void addShadowCopyItems(QTreeWidgetItem* volumeItem, const disk::DriveItem& volume);
    [[nodiscard]] static bool isShadowCopy(const disk::DriveItem& drive);
    /// Lists the system's drives afresh (the disk manager's, else sysfs's);
    /// away from the drive page, once back there.
    void refreshDrives(bool fromDiskManager);
    void ShowVolumeInfo();
    void showNext(bool show);

    // Scan.
    void next();
    void back();
    void StartScan();
    void StopScan();
    /// The Stop command: the scan's question, or the deep search's.
    void stopCommand();
    /// Back and Stop in the menu follow the buttons they stand for.
    void updateNavigationCommands();
    void applyReport(const session::ScanProgress& report);
    void scanEnded();
    /// The results page for what the session holds: `fromScan` after a scan
    /// (its losses and its stop count), else after a snapshot load.
    void showResults(bool fromScan);
    /// "Thorough scan", "Thorough scan, free space searched" or "Classic scan".
    void showRules();
    /// Deep Search and Back follow the deep search's state.
    void deepSearchChanged();
    void fillFolderTree();
    /// Shows the previous versions' strip when the scanned volume has shadow
    /// copies to add them from; hides it otherwise.
    void offerPreviousVersions();
    /// Adds the previous versions of the scanned volume to the results
    /// (the strip's button), and shows what it added.
    void addPreviousVersions();

    // Results.
    /// The "Thorough scan" note beside Back and the filter note over the list.
    void buildResultsLabels(QWidget* panel);
    void buildFileList(QWidget* panel);
    void buildFolderTree(QWidget* panel);
    void folderTreePressed(QTreeWidgetItem* item, const QPoint& pos);
    void fileListActivated(const QModelIndex& index);
    void setViewMode(ViewMode mode);
    /// The view the user chose (a View menu command); kept for the next results.
    void chooseViewMode(ViewMode mode);
    /// Shows the preview as the View menu's check says.
    void showPreview();
    /// Moves the edge between the folder tree and the list by m_treeShift.
    void placeTreeSplit();
    void toggleTreeListFocus();
    void sizeColumns();
    /// The user moved or widened a column: its widths and order are kept from now on.
    void columnsChangedByUser();
    /// Reads and writes what keepStateInSettings keeps.
    void restoreKeptState();
    void saveKeptState() const;
    /// The View menu's Colours submenu (follow the system, light or dark).
    void buildColoursMenu(QMenu* view);
    void moveToListEnd(bool last, Qt::KeyboardModifiers modifiers);

    // Commands of the shell.
    void exitCommand();
    void helpContents();
    void liveUpdate();
    void aboutBox();
    void showSettings();
    void showDriveInformation();
    void addDiskImage();
    void searchLostVolumes();
    void toggleExistingFiles(bool shown);
    /// Paints the skin and colours the text on it for the desktop's light or dark scheme.
    void applySkinVariant();
    /// Adds the image at `path` to the drive tree and selects it, or says why not.
    void addImageAt(const QString& path);
    void fillRecentImages(QMenu* menu);
    void releaseCatalogue();

    disk::DeviceProvider& m_devices;
    UDisksClient* m_udisks = nullptr; ///< made on first use
    std::vector<disk::DriveItem> m_drives;
    scan::ScanSession m_session;
    recovery::RecoverySettings m_settings;
    /// The drive last selected on the drive page, and what its selection gave.
    std::optional<std::size_t> m_selectedDrive;
    disk::SelectResult m_selection;
    FileTypes m_types;
    ScanRunner* m_runner = nullptr;
    ResultsCommands* m_commands = nullptr;
    DeepSearchBar* m_deepBar = nullptr;
    DeepSearch* m_deep = nullptr;
    /// The user answered Yes to Stop during the running scan (in a phase that
    /// may not have seen it, such as the tree build).
    bool m_scanStopAsked = false;

    int m_currentStep = -1;
    bool m_focusOnTree = false;
    bool m_followTree = true; ///< false while the window itself moves the tree's selection
    bool m_exitConfirmed = false;
    QString m_startDirectory;
    QString m_quickHelp;
    ViewMode m_viewMode = ViewMode::Details;
    QImage m_skin;

    QHash<int, QAction*> m_actions;
    ui::PictureButton* m_toolbar[kToolbarButtons] = {};
    ui::PictureButton* m_logo = nullptr;
    ui::PictureButton* m_next = nullptr;
    ui::PictureButton* m_back = nullptr;
    ui::PictureButton* m_stop = nullptr;
    QLabel* m_captions[5] = {};
    QLabel* m_values[5] = {};
    QLabel* m_status = nullptr;
    QLabel* m_rules = nullptr;
    QLabel* m_filterNote = nullptr;
    QLabel* m_stoppedNote = nullptr;
    QFrame* m_previousBar = nullptr;
    QLabel* m_previousText = nullptr;
    QPushButton* m_previousButton = nullptr;
    /// The shadow copies of the volume the results are of.
    container::ShadowCopyList m_shadowCopies;
    QLabel* m_quickHelpLabel = nullptr;
    ui::PercentProgressBar* m_progress = nullptr;
    QTreeWidget* m_driveTree = nullptr;
    QTreeWidget* m_folderTree = nullptr;
    QStackedWidget* m_fileList = nullptr;
    /// The file list and the preview beside it.
    QSplitter* m_listSplit = nullptr;
    PreviewPane* m_preview = nullptr;
    ThumbnailView* m_thumbView = nullptr;
    /// Between the folder tree and the list: its drags move the edge between
    /// them by m_treeShift pixels, kept while the program runs.
    SplitHandle* m_treeHandle = nullptr;
    int m_treeShift = 0;
    QTableView* m_details = nullptr;
    QListView* m_listView = nullptr;
    FileListModel* m_model = nullptr;
    std::map<std::uint32_t, QTreeWidgetItem*> m_folderItems;

    /// The panel's rows and columns: the toolbar, the notes over the list, the
    /// trees and the right pane, the quick help with Back and Next.
    static constexpr int kToolbarRow = 0;
    static constexpr int kNotesRow = 1;
    static constexpr int kBodyRow = 2;
    static constexpr int kFooterRow = 3;
    static constexpr int kTreeColumn = 0;
    static constexpr int kHandleColumn = 1;
    static constexpr int kPaneColumn = 2;
    QGridLayout* m_panelGrid = nullptr;
    bool m_fittedToScreen = false;
    bool m_keepState = false; ///< keepStateInSettings was asked for
    ViewMode m_keptView = ViewMode::Details;
    bool m_sizingColumns = false;       ///< the window itself is sizing the columns
    QByteArray m_userColumns;           ///< the header's state after the user's last change, else empty
    bool m_showExisting = false;        ///< View > Show Existing Files: the scans list live files too
    bool m_resultsFromSnapshot = false; ///< the results shown came from a snapshot load, not a scan
};

} // namespace sarvik::app
