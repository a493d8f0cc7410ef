// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/MainWindow.h"

#include "win32/Commands.h"
#include "win32/Resources.h"

#include "catalogue/ReadProgress.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/FileSystem.h"
#include "platform/WinDrives.h"
#include "platform/WinText.h"
#include "session/DisplayText.h"
#include "session/FolderTreeItems.h"
#include "session/ListSelection.h"
#include "session/RecoveryOutcome.h"

#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

constexpr wchar_t kWindowClass[] = L"SarvikUndeleteMain";
constexpr wchar_t kTitle[] = L"Velmora Sarvik Undelete";

// Layout, in device-independent pixels.
constexpr int kMargin = 10;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 26;
constexpr int kTextHeight = 20;
constexpr int kTreeWidth = 240;
/// The columns' widths: the drive list's, and the file list's in session::Column order.
constexpr int kDriveColumns[] = {320, 200, 110};
constexpr int kFileColumns[] = {220, 130, 90, 140, 140, 70, 90};
static_assert(std::size(kFileColumns) == session::ColumnCount);

void addColumn(HWND list, int index, const wchar_t* header, int width, bool right = false)
{
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = right ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(header);
    ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

} // namespace

void WorkerPoster::progressWaiting()
{
    ::PostMessageW(m_window, m_copying ? CopyNews : ScanNews, 0, 0);
}

void WorkerPoster::scanEnded()
{
    ::PostMessageW(m_window, ScanEnded, 0, 0);
}

void WorkerPoster::copyEnded()
{
    ::PostMessageW(m_window, CopyEnded, 0, 0);
}

bool WorkerPoster::continueAfterError(const std::string& message)
{
    return ::SendMessageW(m_window, CopyError, 0, reinterpret_cast<LPARAM>(&message)) != 0;
}

MainWindow::MainWindow(disk::DeviceProvider& devices, HINSTANCE instance) : m_devices(devices), m_instance(instance) {}

MainWindow::~MainWindow()
{
    if (m_font != nullptr)
        ::DeleteObject(m_font);
    if (m_darkBrush != nullptr)
        ::DeleteObject(m_darkBrush);
    if (m_toolbarPictures != nullptr)
        ::ImageList_Destroy(m_toolbarPictures);
    if (m_menuFont != nullptr)
        ::DeleteObject(m_menuFont);
}

bool MainWindow::create(int show, const SelfTest* selfTest, const std::vector<std::wstring>& images)
{
    m_selfTest = selfTest;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::windowProc;
    wc.hInstance = m_instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (::RegisterClassExW(&wc) == 0)
        return false;
    // The controls take their place from the window's DPI once it exists.
    m_window = ::CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 900, 600, nullptr, nullptr, m_instance, this);
    if (m_window == nullptr)
        return false;
    const UINT dpi = ::GetDpiForWindow(m_window);
    ::SetWindowPos(m_window, nullptr, 0, 0, ::MulDiv(900, static_cast<int>(dpi), 96),
                   ::MulDiv(600, static_cast<int>(dpi), 96), SWP_NOMOVE | SWP_NOZORDER);
    createMenus();
    createToolbar();
    createControls();
    applyTheme();
    applyDpi(dpi);
    fillDrives();
    for (const std::wstring& image : images)
        addImage(image);
    showPage(Page::Drives);
    ::ShowWindow(m_window, show);
    if (m_selfTest != nullptr) {
        addImage(m_selfTest->image);
        if (m_driveItems.empty() || m_driveItems.back().kind != disk::DriveKind::Image) {
            selfTestReport("self-test: cannot open the image");
            endSelfTest(2);
            return true;
        }
        if (m_selfTest->deep)
            ::SendMessageW(m_deep, BM_SETCHECK, BST_CHECKED, 0);
        if (m_selfTest->drivesOnly) {
            runSelfTestSteps(); // the drive page's own commands
            endSelfTest(0);
        } else
            ::PostMessageW(m_window, WM_COMMAND, MAKEWPARAM(IdNext, BN_CLICKED), 0);
        if (m_selfTest->stop)
            ::PostMessageW(m_window, WM_COMMAND, MAKEWPARAM(IdStop, BN_CLICKED), 0);
    }
    return true;
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->m_window = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return ::DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        ::SendMessageW(m_toolbar, TB_AUTOSIZE, 0, 0);
        ::SendMessageW(m_statusBar, WM_SIZE, 0, 0);
        layout();
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return themedColours(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ERASEBKGND:
        return eraseBackground(reinterpret_cast<HDC>(wParam)) ? 1 : ::DefWindowProcW(m_window, message, wParam, lParam);
    case WM_SETTINGCHANGE:
        // The user switched between light and dark apps.
        if (lParam != 0 && std::wstring_view(reinterpret_cast<const wchar_t*>(lParam)) == L"ImmersiveColorSet")
            applyTheme();
        return ::DefWindowProcW(m_window, message, wParam, lParam);
    case WM_MEASUREITEM:
        if (measureMenuItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)))
            return TRUE;
        return ::DefWindowProcW(m_window, message, wParam, lParam);
    case WM_DRAWITEM:
        if (drawMenuItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        return ::DefWindowProcW(m_window, message, wParam, lParam);
    case WM_MENUCHAR:
        if (const std::optional<LRESULT> item =
                menuKeyItem(reinterpret_cast<HMENU>(lParam), static_cast<wchar_t>(LOWORD(wParam))))
            return *item;
        return ::DefWindowProcW(m_window, message, wParam, lParam);
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == m_files) {
            contextMenu(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        }
        return ::DefWindowProcW(m_window, message, wParam, lParam);
    case WM_DPICHANGED: {
        applyDpi(HIWORD(wParam));
        if (!m_menuLabels.empty()) { // the items the program draws, measured again at the new size
            lightenMenu(m_menu);
            m_menuLabels.clear();
            themeMenus();
        }
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(m_window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DEVICECHANGE:
        // A card or a stick plugged in or taken out: the drive page lists what is there now.
        if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) && m_page == Page::Drives)
            fillDrives();
        return TRUE;
    case WM_NOTIFY:
        return notify(*reinterpret_cast<const NMHDR*>(lParam), lParam);
    case WM_SETCURSOR:
        // A file copied to open it: the window still answers, the pointer says it works.
        if (m_copying && m_copyPurpose != CopyPurpose::Recover && LOWORD(lParam) == HTCLIENT) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_APPSTARTING));
            return TRUE;
        }
        return ::DefWindowProcW(m_window, message, wParam, lParam);
    case ScanNews:
        showScanProgress();
        return 0;
    case ScanEnded:
        scanFinished();
        return 0;
    case CopyNews:
        showCopyProgress();
        return 0;
    case CopyEnded:
        copyFinished();
        return 0;
    case DeepNews:
        deepSearchNews();
        return 0;
    case DeepPartial:
        m_deepSearch.partialArrived(wParam);
        takeDeepResults();
        return 0;
    case DeepEnded:
        deepSearchEnded(wParam);
        return 0;
    case CopyError: {
        const std::string& text = *reinterpret_cast<const std::string*>(lParam);
        if (m_selfTest != nullptr) {
            selfTestReport("self-test: " + text);
            return 1;
        }
        const std::wstring question = wideOf(text) + L"\n\nGo on with the next file?";
        return ::MessageBoxW(m_window, question.c_str(), kTitle, MB_YESNO | MB_ICONERROR) == IDYES ? 1 : 0;
    }
    case WM_TIMER:
        if (wParam == kDeepRetryTimer) {
            takeDeepResults();
            return 0;
        }
        ::KillTimer(m_window, wParam);
        ::DestroyWindow(m_window);
        return 0;
    case WM_CLOSE:
        // The jobs are stopped and joined before the window goes.
        m_scan.requestStop();
        m_copy.requestStop();
        m_deepSearch.abandon();
        ++m_previewLatest;
        ::DestroyWindow(m_window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(m_exitStatus);
        return 0;
    default:
        return ::DefWindowProcW(m_window, message, wParam, lParam);
    }
}

HWND MainWindow::addControl(const wchar_t* cls, const wchar_t* text, DWORD style, int id, DWORD exStyle)
{
    return ::CreateWindowExW(exStyle, cls, text, WS_CHILD | style, 0, 0, 10, 10, m_window,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), m_instance, nullptr);
}

void MainWindow::createControls()
{
    // Created in the order Tab visits them.
    m_prompt = addControl(WC_STATICW, L"Choose the drive or disk image that held the lost files:", 0, IdPrompt);
    m_drives = addControl(WC_LISTVIEWW, L"Drives",
                          WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, IdDrives);
    addColumn(m_drives, 0, L"Drive", kDriveColumns[0]);
    addColumn(m_drives, 1, L"Label", kDriveColumns[1]);
    addColumn(m_drives, 2, L"Size", kDriveColumns[2], true);
    m_openImage = addControl(WC_BUTTONW, L"Open &Image...", WS_TABSTOP | BS_PUSHBUTTON, IdOpenImage);
    m_deep = addControl(WC_BUTTONW, L"&Deep search: also search the free space (slower)", WS_TABSTOP | BS_AUTOCHECKBOX,
                        IdDeep);
    m_next = addControl(WC_BUTTONW, L"&Next >", WS_TABSTOP | BS_DEFPUSHBUTTON, IdNext);

    m_status = addControl(WC_STATICW, L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX, IdStatus);
    m_progress = addControl(PROGRESS_CLASSW, L"", 0, IdProgress);
    ::SendMessageW(m_progress, PBM_SETRANGE32, 0, 100);
    m_stop = addControl(WC_BUTTONW, L"&Stop", WS_TABSTOP | BS_PUSHBUTTON, IdStop);

    m_tree = addControl(WC_TREEVIEWW, L"Folders",
                        WS_TABSTOP | WS_BORDER | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                        IdTree);
    m_files = addControl(WC_LISTVIEWW, L"Files",
                         WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, IdFiles);
    for (int c = 0; c < session::ColumnCount; ++c) {
        const bool right = c == session::Size || c == session::Id;
        addColumn(m_files, c, wideOf(session::columnHeader(c)).c_str(), kFileColumns[c], right);
    }
    for (HWND list : {m_drives, m_files})
        ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                       LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_HEADERDRAGDROP);
    m_recover = addControl(WC_BUTTONW, L"&Recover Selected...", WS_TABSTOP | BS_PUSHBUTTON, IdRecover);
    m_back = addControl(WC_BUTTONW, L"< &Back", WS_TABSTOP | BS_PUSHBUTTON, IdBack);
}

int MainWindow::scaled(int dips) const
{
    return ::MulDiv(dips, static_cast<int>(m_dpi), 96);
}

void MainWindow::applyDpi(UINT dpi)
{
    m_dpi = dpi == 0 ? 96 : dpi;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    HFONT font = nullptr;
    if (::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, m_dpi) != 0)
        font = ::CreateFontIndirectW(&metrics.lfMessageFont);
    if (font == nullptr)
        return;
    for (HWND control = ::GetWindow(m_window, GW_CHILD); control != nullptr;
         control = ::GetWindow(control, GW_HWNDNEXT))
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (m_font != nullptr)
        ::DeleteObject(m_font);
    m_font = font;
    fillToolbar();
    // Columns keep their share of the text as the text grows with the DPI.
    for (std::size_t c = 0; c < std::size(kDriveColumns); ++c)
        ::SendMessageW(m_drives, LVM_SETCOLUMNWIDTH, c, scaled(kDriveColumns[c]));
    for (std::size_t c = 0; c < std::size(kFileColumns); ++c)
        ::SendMessageW(m_files, LVM_SETCOLUMNWIDTH, c, scaled(kFileColumns[c]));
    layout();
}

void MainWindow::layout()
{
    if (m_prompt == nullptr)
        return;
    RECT client{};
    ::GetClientRect(m_window, &client);
    // Below the toolbar, above the status bar.
    RECT bar{};
    if (m_toolbar != nullptr && ::GetWindowRect(m_toolbar, &bar) != 0)
        client.top += bar.bottom - bar.top;
    if (m_statusBar != nullptr && ::GetWindowRect(m_statusBar, &bar) != 0)
        client.bottom -= bar.bottom - bar.top;
    const int m = scaled(kMargin), bw = scaled(kButtonWidth), bh = scaled(kButtonHeight), th = scaled(kTextHeight);
    const int width = client.right - 2 * m;
    const int buttonsTop = client.bottom - m - bh;
    auto place = [](HWND control, int x, int y, int w, int h) {
        ::SetWindowPos(control, nullptr, x, y, std::max(w, 0), std::max(h, 0), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    // The drive page.
    place(m_prompt, m, client.top + m, width, th);
    place(m_drives, m, client.top + m + th + m / 2, width, buttonsTop - client.top - 2 * m - th - m / 2);
    place(m_openImage, m, buttonsTop, bw, bh);
    place(m_deep, 2 * m + bw, buttonsTop, width - 2 * bw - 3 * m, bh);
    place(m_next, client.right - m - bw, buttonsTop, bw, bh);
    // The scan page and the results page share the status line and the progress bar.
    const int contentTop = client.top + m;
    const int third = client.top + (client.bottom - client.top) / 3;
    const int contentBottom = buttonsTop - m - th - m / 2 - th;
    place(m_tree, m, contentTop, scaled(kTreeWidth), contentBottom - contentTop);
    place(m_files, 2 * m + scaled(kTreeWidth), contentTop, width - m - scaled(kTreeWidth), contentBottom - contentTop);
    const bool results = m_page == Page::Results;
    place(m_status, m, results ? contentBottom + m / 2 : third, width, th);
    place(m_progress, m, results ? contentBottom + m / 2 + th : third + th + m, width, results ? th - 4 : th);
    place(m_stop, client.right - m - bw, results ? buttonsTop : third + 2 * th + 2 * m, bw, bh);
    place(m_recover, m, buttonsTop, bw + bw / 2, bh);
    place(m_back, client.right - 2 * m - 2 * bw, buttonsTop, bw, bh);
}

void MainWindow::showPage(Page page)
{
    m_page = page;
    m_statusNote.clear();
    const bool drives = page == Page::Drives, scanning = page == Page::Scanning, results = page == Page::Results;
    if (!results)
        leaveDeepSearch();
    else if (m_session != nullptr)
        (void)m_deepSearch.resultsShown(*m_session, session::DeepSearchJob::Opening::Nothing, false);
    const bool reading = scanning || m_copying || m_deepSearch.reading();
    for (HWND c : {m_prompt, m_drives, m_openImage, m_deep, m_next})
        ::ShowWindow(c, drives ? SW_SHOW : SW_HIDE);
    ::ShowWindow(m_status, drives ? SW_HIDE : SW_SHOW);
    ::ShowWindow(m_progress, reading ? SW_SHOW : SW_HIDE);
    ::ShowWindow(m_stop, reading ? SW_SHOW : SW_HIDE);
    for (HWND c : {m_tree, m_files, m_recover, m_back})
        ::ShowWindow(c, results ? SW_SHOW : SW_HIDE);
    layout();
    setMenuState();
    ::SetFocus(drives ? m_drives : scanning ? m_stop : m_files);
}

void MainWindow::command(int id, int code)
{
    if (code != BN_CLICKED && code != 0 && code != 1)
        return;
    switch (id) {
    case IDOK: // Enter: the page's default button
        if (m_page == Page::Drives)
            next();
        break;
    case IDCANCEL: // Esc
        if (m_page == Page::Scanning || m_copying)
            stop();
        break;
    case IdOpenImage:
        if (m_page == Page::Drives)
            chooseImage();
        break;
    case IdNext:
        next();
        break;
    case IdStop:
        stop();
        break;
    case IdRecover:
        runCommand(CMD_RECOVER_SELECTED);
        break;
    case IdBack:
        if (m_page == Page::Results && !m_copying)
            showPage(Page::Drives);
        break;
    default:
        runCommand(id);
        break;
    }
}

LRESULT MainWindow::notify(const NMHDR& header, LPARAM lParam)
{
    if (header.code == NM_CUSTOMDRAW && (header.hwndFrom == m_toolbar || header.hwndFrom == m_tree))
        return themedCustomDraw(header, lParam);
    if (header.hwndFrom == m_drives) {
        if (header.code == LVN_ITEMCHANGED)
            selectedDriveChanged();
        else if (header.code == NM_DBLCLK)
            next();
    } else if (header.hwndFrom == m_files) {
        if (header.code == LVN_GETDISPINFOW)
            listDisplayInfo(lParam);
        else if (header.code == LVN_COLUMNCLICK)
            sortBy(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
        else if (header.code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey == 'A' &&
                 ::GetKeyState(VK_CONTROL) < 0)
            selectAll();
        else if (header.code == LVN_ITEMCHANGED || header.code == LVN_ODSTATECHANGED)
            updateStatusBar();
        else if (header.code == NM_DBLCLK || header.code == NM_RETURN)
            runCommand(CMD_OPEN); // a file opens, a folder is listed
    } else if (header.hwndFrom == m_tree && header.code == TVN_SELCHANGEDW) {
        folderChosen(reinterpret_cast<const NMTREEVIEWW*>(lParam)->itemNew.lParam);
    }
    return 0;
}

bool MainWindow::stopConfirmed()
{
    static constexpr wchar_t kQuestion[] = L"Do you want to stop the current process ?";
    if (m_selfTest != nullptr) {
        selfTestReport("self-test: asked: " + utf8Of(kQuestion) + " Yes");
        return true;
    }
    return ::MessageBoxW(m_window, kQuestion, kTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void MainWindow::say(const std::wstring& text)
{
    if (m_selfTest != nullptr) {
        selfTestReport(utf8Of(text));
        return;
    }
    ::MessageBoxW(m_window, text.c_str(), kTitle, MB_OK | MB_ICONINFORMATION);
}

void MainWindow::selfTestReport(const std::string& line)
{
    const std::string text = line + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void MainWindow::endSelfTest(int status)
{
    m_exitStatus = std::max(m_exitStatus, status);
    ::SetTimer(m_window, 1, m_selfTest->holdMs == 0 ? 1 : m_selfTest->holdMs, nullptr);
}

} // namespace sarvik::win32
