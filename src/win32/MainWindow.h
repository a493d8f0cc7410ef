// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: three pages in one window, as the desktop program's steps
// go. The drive page lists the machine's volumes by letter, its physical disks
// and the disk images the user opened; Next scans the chosen one on a
// session::ScanJob (progress bar, time left, Stop); the results page shows the
// folder tree and the file list (a list view in virtual mode over
// session::FileListRows, sorted by a click on a column header), and copies the
// selected files into a folder the user chooses on a session::RecoveryJob.
// Its deep search runs on a session::DeepSearchJob while the results stay:
// what it finds joins them when no box is open and no copy reads them.

#include "recovery/FileRecovery.h"
#include "recovery/RecoveryReport.h"
#include "recovery/RecoverySettings.h"
#include "scan/ScanSession.h"
#include "session/DeepSearchJob.h"
#include "session/FileListRows.h"
#include "session/RecoveryJob.h"
#include "session/ScanJob.h"
#include "win32/Arguments.h"
#include "win32/DialogBase.h"
#include "win32/PreviewDialog.h"
#include "win32/Theme.h"
#include "win32/WindowRules.h"

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sarvik::disk {
class DeviceProvider;
}

namespace sarvik::win32 {

/// The messages the workers post to the window: their news waits to be taken.
enum WorkerMessage : UINT {
    ScanNews = WM_APP + 1,
    ScanEnded,
    CopyNews,
    CopyEnded,
    CopyError, ///< sent, not posted: the copy waits for the answer (lParam: the message)
    DeepNews,
    DeepPartial, ///< wParam: the search's number
    DeepEnded,   ///< wParam: the search's number
};

/// The timer with which what the deep search found looks again whether the results are free.
inline constexpr UINT_PTR kDeepRetryTimer = 2;

/// Tells the window, on its own thread, what a worker has for it.
class WorkerPoster final : public session::ScanJobObserver, public session::RecoveryJobObserver {
public:
    explicit WorkerPoster(const HWND& window) : m_window(window) {}
    void setCopying(bool copying) { m_copying = copying; }

private:
    void progressWaiting() override;
    void partialWaiting() override {}
    void scanEnded() override;
    void copyEnded() override;
    bool continueAfterError(const std::string& message) override;

    const HWND& m_window;
    std::atomic<bool> m_copying{false}; ///< which job's news progressWaiting brings (one runs at a time)
};

/// Tells the window what the deep search's worker has for it.
class DeepSearchPoster final : public session::DeepSearchObserver {
public:
    explicit DeepSearchPoster(const HWND& window) : m_window(window) {}

private:
    void sampleEnded(std::uint64_t /*generation*/) override {} // the window runs no sample
    void progressWaiting() override;
    void partialWaiting(std::uint64_t search) override;
    void searchEnded(std::uint64_t search) override;

    const HWND& m_window;
};

class MainWindow final {
public:
    MainWindow(disk::DeviceProvider& devices, HINSTANCE instance);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Creates and shows the window, the disk images `images` listed (the
    /// last one chosen); false when the system would not.
    bool create(int show, const SelfTest* selfTest, const std::vector<std::wstring>& images = {});
    [[nodiscard]] HWND handle() const { return m_window; }
    /// The exit status the program ends with.
    [[nodiscard]] int exitStatus() const { return m_exitStatus; }
    /// The keyboard's shortcuts of the menu commands.
    [[nodiscard]] static HACCEL keyboardCommands();

private:
    using Page = PageKind;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    HWND addControl(const wchar_t* cls, const wchar_t* text, DWORD style, int id, DWORD exStyle = 0);
    void applyDpi(UINT dpi);
    void layout();
    [[nodiscard]] int scaled(int dips) const;
    void showPage(Page page);
    void command(int id, int code);
    LRESULT notify(const NMHDR& header, LPARAM lParam);

    // The drive page.
    void fillDrives();
    void addImage(const std::wstring& path);
    void chooseDrive(int index);
    void chooseImage();
    void selectedDriveChanged();
    void next();
    bool offerElevatedRestart(const disk::DriveItem& drive);

    // The scan.
    void showScanProgress();
    void scanFinished();
    void stop();
    /// The Stop question of a scan or a deep search: the work goes on while it
    /// is open. A self-test run reports it and answers Yes.
    [[nodiscard]] bool stopConfirmed();

    // The results page.
    void fillFolderTree();
    void folderChosen(LPARAM handle);
    void fillFileList(std::uint64_t key);
    void listDisplayInfo(LPARAM lParam);
    void sortBy(int column);
    void showSortArrows();
    [[nodiscard]] std::vector<int> selectedPositions() const;
    void selectAll();
    void recoverSelected();
    [[nodiscard]] std::wstring chooseFolder();
    bool startCopy(const std::wstring& folder, recovery::RecoveryMode mode, std::vector<bool> selected);

    // The copy.
    void showCopyProgress();
    void copyFinished();
    void openCopied();
    void startWorkerRead(const std::wstring& status);
    void readPreview(const catalogue::FileRow& row, std::uint64_t generation);
    void previewRead();
    void resumeSelfTestSteps();
    void openCopy(const std::wstring& path, bool openWith);

    // The menus, the toolbar, the status bar (Menus.cpp).
    void createMenus();
    void createToolbar();
    void fillToolbar();
    void setMenuState();
    [[nodiscard]] bool commandEnabled(int id) const;
    void updateStatusBar();
    /// The text the status bar shows in its part `part`.
    [[nodiscard]] std::wstring statusBarText(int part) const;
    void contextMenu(POINT at);
    bool runCommand(int id);
    void setView(DWORD view);
    void recoverAll();
    void about();

    // The deep search from the results page (DeepSearch.cpp).
    void deepSearch();
    void deepSearchNews();
    void deepSearchEnded(std::uint64_t search);
    /// Takes what the search found when the results are free, else looks again a moment later.
    void takeDeepResults();
    [[nodiscard]] bool resultsFree() const;
    void showFoundResults(scan::ScanSession& found);
    void leaveDeepSearch();

    // The results' boxes and snapshots (ResultsCommands.cpp); `driven` is the
    // value a run without a user gives the box, empty for a user's run.
    [[nodiscard]] const catalogue::FileRow* selectedRow() const;
    [[nodiscard]] std::wstring listedFolderPath() const;
    void showProperties();
    void showPreview();
    void openSelected(bool openWith);
    void searchLostVolumes();
    void renameSelected(const std::wstring& driven);
    void findFiles(const std::wstring& driven);
    bool showFile(std::size_t fileIndex);
    void fileFilters(const std::wstring& driven);
    void settings(const std::wstring& driven);
    void driveInformation();
    void saveSnapshot(const std::wstring& path);
    void loadSnapshot(const std::wstring& path);
    [[nodiscard]] std::wstring chooseSnapshotFile(bool save);
    void showLoadedResults();
    [[nodiscard]] const DialogDriver* driverFor(const std::wstring& driven);
    bool selectRowNamed(const std::wstring& name);
    void runSelfTestSteps();
    void selfTestStepsDone();
    /// What the --do step running gives a command in place of a user's choice.
    [[nodiscard]] std::wstring stepInput() const { return m_selfTest != nullptr ? m_stepInput : std::wstring(); }
    void selfTestListing();

    // Dark mode (Theme.cpp).
    void applyTheme();
    LRESULT themedColours(UINT message, HDC dc, HWND control);
    bool eraseBackground(HDC dc);
    LRESULT themedCustomDraw(const NMHDR& header, LPARAM lParam);
    // Menus in dark mode (DarkMenus.cpp).
    void themeMenus();
    [[nodiscard]] HFONT menuFont();
    bool measureMenuItem(MEASUREITEMSTRUCT& measure);
    bool drawMenuItem(const DRAWITEMSTRUCT& draw);
    /// The item of `menu` the key `typed` chooses, for WM_MENUCHAR; none
    /// when the system finds its items' keys itself (items it draws).
    [[nodiscard]] std::optional<LRESULT> menuKeyItem(HMENU menu, wchar_t typed) const;

    void say(const std::wstring& text);
    void selfTestScanned();
    void selfTestReport(const std::string& line);
    void endSelfTest(int status);

    disk::DeviceProvider& m_devices;
    HINSTANCE m_instance;
    HWND m_window = nullptr;
    HFONT m_font = nullptr;
    UINT m_dpi = 96;
    Page m_page = Page::Drives;
    int m_exitStatus = 0;
    const SelfTest* m_selfTest = nullptr;

    // Controls, in the order Tab visits them on each page.
    HWND m_prompt = nullptr, m_drives = nullptr, m_openImage = nullptr, m_deep = nullptr, m_next = nullptr;
    HWND m_status = nullptr, m_progress = nullptr, m_stop = nullptr;
    HWND m_tree = nullptr, m_files = nullptr, m_recover = nullptr, m_back = nullptr;
    HWND m_toolbar = nullptr, m_statusBar = nullptr;
    HMENU m_menu = nullptr;
    HIMAGELIST m_toolbarPictures = nullptr; ///< the toolbar's pictures at the window's DPI (ours to destroy)
    DWORD m_view = LV_VIEW_DETAILS;
    bool m_dark = false;
    HBRUSH m_darkBrush = nullptr;
    std::deque<MenuLabel> m_menuLabels;      ///< the menu bar's texts while the program draws it (dark)
    std::set<ULONG_PTR> m_barItemsDrawnDark; ///< the menu bar's items drawn dark since the mode changed
    HFONT m_menuFont = nullptr;
    UINT m_menuFontDpi = 0;
    std::wstring m_filterNote;
    std::wstring m_statusNote;              ///< what the last command did, in the status bar until the page changes
    std::unique_ptr<DialogDriver> m_driver; ///< the box's part in a run without a user
    std::uint64_t m_listedKey = 0;          ///< the folder the list shows
    std::wstring m_stepInput;               ///< the value of the --do step running
    std::size_t m_nextStep = 0;             ///< the --do step to run next (after an Open's copy)

    std::vector<disk::DriveItem> m_driveItems;
    std::vector<disk::DriveItem> m_images; ///< opened by the user, kept across a refresh
    disk::DriveItem m_source;              ///< the drive, image or snapshot volume of the session
    recovery::RecoverySettings m_settings = recovery::RecoverySettings::startup();
    std::unique_ptr<scan::ScanSession> m_session;
    session::FileListRows m_rows;
    std::map<std::uint32_t, HTREEITEM> m_folderItems;
    std::wstring m_cellText; ///< the text a list view's request for a cell is answered with
    std::chrono::steady_clock::time_point m_scanStarted;

    recovery::RecoveryReport m_report;
    std::unique_ptr<recovery::FileRecovery> m_recovery;
    std::vector<catalogue::FileRow> m_copyRows;
    std::wstring m_copyFolder;
    bool m_copying = false;
    /// What the copy running is for: the user's recovery, a file to open, or a preview's read.
    enum class CopyPurpose { Recover, Open, OpenWith, Preview } m_copyPurpose = CopyPurpose::Recover;
    recovery::RecoverySettings m_copySettings;     ///< the settings of an Open's copy
    int m_openWritten = 0;                         ///< the files an Open's copy wrote (set on the worker)
    PreviewBytes m_previewContent;                 ///< what a Preview's read brought (filled on the worker)
    std::atomic<std::uint64_t> m_previewLatest{0}; ///< a Preview's read ends once its number is no longer this

    /// Last: their destructors stop and join the workers before the session goes.
    WorkerPoster m_poster{m_window};
    session::ScanJob m_scan{m_poster};
    session::RecoveryJob m_copy{m_poster};
    DeepSearchPoster m_deepPoster{m_window};
    /// Its destructor stops and joins the search's worker.
    session::DeepSearchJob m_deepSearch{m_deepPoster};
    std::wstring m_deepPhase; ///< what the status bar says of the deep search; empty when none ran
};

} // namespace sarvik::win32
