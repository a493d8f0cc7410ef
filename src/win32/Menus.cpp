// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's menu bar, its toolbar of text and picture buttons, its
// status bar, the file list's right-click menu, the keyboard's shortcuts,
// which commands each step allows and where each command goes.

#include "win32/MainWindow.h"

#include "win32/Commands.h"
#include "win32/IconPixels.h"
#include "win32/Resources.h"

#include "platform/WinText.h"
#include "session/EntryAccess.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <iterator>

namespace sarvik::win32 {

using platform::wideOf;

namespace {

struct MenuItem {
    int id; ///< 0: a separator
    const wchar_t* text;
};

HMENU popup(std::initializer_list<MenuItem> items)
{
    HMENU menu = ::CreatePopupMenu();
    for (const MenuItem& item : items) {
        if (item.id == 0)
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.id), item.text);
    }
    return menu;
}

/// The toolbar's buttons: command, picture of the system's standard set, text.
struct Tool {
    int command;
    int picture;
    const wchar_t* text;
};
constexpr Tool kTools[] = {
    {CMD_RECOVER_SELECTED, STD_FILESAVE, L"Recover Selected"},
    {CMD_RECOVER_ALL, STD_COPY, L"Recover All"},
    {CMD_SAVE_SNAPSHOT, STD_FILENEW, L"Save Snapshot"},
    {CMD_LOAD_SNAPSHOT, STD_FILEOPEN, L"Load Snapshot"},
    {CMD_FIND_FILES, STD_FIND, L"Find Files"},
    {CMD_DEEP_SEARCH, STD_REPLACE, L"Deep Search"},
    {CMD_SETTINGS, STD_PROPERTIES, L"Settings"},
};

/// A 32-bit picture of `size` x `size` pixels, top row first, and its pixels.
HBITMAP pictureBitmap(HDC dc, int size, std::uint32_t** bits)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    *bits = static_cast<std::uint32_t*>(pixels);
    return bitmap;
}

/// The picture `index` of `list` (`from` pixels a side) drawn over `background`.
Pixels drawnOver(HIMAGELIST list, int index, int from, COLORREF background)
{
    Pixels drawn{from, from, {}};
    HDC dc = ::CreateCompatibleDC(nullptr);
    std::uint32_t* bits = nullptr;
    HBITMAP bitmap = pictureBitmap(dc, from, &bits);
    if (bitmap != nullptr) {
        HGDIOBJ old = ::SelectObject(dc, bitmap);
        RECT all{0, 0, from, from};
        HBRUSH brush = ::CreateSolidBrush(background);
        ::FillRect(dc, &all, brush);
        ::DeleteObject(brush);
        ::ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
        ::GdiFlush();
        drawn.argb.assign(bits, bits + static_cast<std::size_t>(from) * static_cast<std::size_t>(from));
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(dc);
    return drawn;
}

/// The system's standard toolbar pictures `pictures`, in that order, at
/// `size` pixels a side, made from its set of `from` pixels; null when the
/// system would not make them.
HIMAGELIST standardPictures(HINSTANCE instance, const std::vector<int>& pictures, int from, int size)
{
    // A toolbar of its own loads the system's set; it goes with its pictures.
    HWND loader =
        ::CreateWindowExW(0, TOOLBARCLASSNAMEW, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (loader == nullptr)
        return nullptr;
    ::SendMessageW(loader, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(loader, TB_SETBITMAPSIZE, 0, MAKELPARAM(from, from));
    ::SendMessageW(loader, TB_LOADIMAGES, from == 24 ? IDB_STD_LARGE_COLOR : IDB_STD_SMALL_COLOR,
                   reinterpret_cast<LPARAM>(HINST_COMMCTRL));
    auto* set = reinterpret_cast<HIMAGELIST>(::SendMessageW(loader, TB_GETIMAGELIST, 0, 0));
    HIMAGELIST list =
        set == nullptr ? nullptr : ::ImageList_Create(size, size, ILC_COLOR32, static_cast<int>(pictures.size()), 0);
    for (std::size_t i = 0; list != nullptr && i < pictures.size(); ++i) {
        const Pixels picture =
            scaledPixels(pixelsFromBackgrounds(drawnOver(set, pictures[i], from, RGB(0, 0, 0)),
                                               drawnOver(set, pictures[i], from, RGB(255, 255, 255))),
                         size, size);
        HDC dc = ::CreateCompatibleDC(nullptr);
        std::uint32_t* bits = nullptr;
        HBITMAP bitmap = pictureBitmap(dc, size, &bits);
        if (bitmap != nullptr &&
            picture.argb.size() == static_cast<std::size_t>(size) * static_cast<std::size_t>(size)) {
            std::copy(picture.argb.begin(), picture.argb.end(), bits);
            ::ImageList_Add(list, bitmap, nullptr);
        }
        if (bitmap != nullptr)
            ::DeleteObject(bitmap);
        ::DeleteDC(dc);
    }
    ::DestroyWindow(loader);
    if (list != nullptr && ::ImageList_GetImageCount(list) != static_cast<int>(pictures.size())) {
        ::ImageList_Destroy(list);
        return nullptr;
    }
    return list;
}

} // namespace

HACCEL MainWindow::keyboardCommands()
{
    ACCEL table[] = {
        {FCONTROL | FVIRTKEY, 'O', CMD_ADD_DISK_IMAGE},
        {FCONTROL | FVIRTKEY, 'R', CMD_RECOVER_SELECTED},
        {FCONTROL | FSHIFT | FVIRTKEY, 'R', CMD_RECOVER_ALL},
        {FCONTROL | FVIRTKEY, 'S', CMD_SAVE_SNAPSHOT},
        {FCONTROL | FVIRTKEY, 'L', CMD_LOAD_SNAPSHOT},
        {FCONTROL | FVIRTKEY, 'F', CMD_FIND_FILES},
        {FVIRTKEY, VK_F1, CMD_CONTENTS},
        {FVIRTKEY, VK_F2, CMD_RENAME},
        {FALT | FVIRTKEY, VK_RETURN, CMD_PROPERTIES},
        {FALT | FVIRTKEY, VK_LEFT, CMD_BACK},
        {FVIRTKEY, VK_F3, CMD_PREVIEW},
    };
    return ::CreateAcceleratorTableW(table, static_cast<int>(std::size(table)));
}

void MainWindow::createMenus()
{
    HMENU bar = ::CreateMenu();
    ::AppendMenuW(bar, MF_POPUP,
                  reinterpret_cast<UINT_PTR>(popup({
                      {CMD_RECOVER_SELECTED, L"&Recover Selected...\tCtrl+R"},
                      {CMD_RECOVER_ALL, L"Recover &All...\tCtrl+Shift+R"},
                      {0, nullptr},
                      {CMD_SAVE_SNAPSHOT, L"&Save Recovery Snapshot...\tCtrl+S"},
                      {CMD_LOAD_SNAPSHOT, L"&Load Recovery Snapshot...\tCtrl+L"},
                      {0, nullptr},
                      {CMD_ADD_DISK_IMAGE, L"Add &Disk Image...\tCtrl+O"},
                      {0, nullptr},
                      {CMD_EXIT, L"E&xit..."},
                  })),
                  L"&Recovery");
    ::AppendMenuW(bar, MF_POPUP,
                  reinterpret_cast<UINT_PTR>(popup({
                      {CMD_ICONS, L"Ico&ns"},
                      {CMD_LIST, L"&List"},
                      {CMD_DETAILS, L"&Details"},
                      {0, nullptr},
                      {CMD_BACK, L"&Back\tAlt+Left"},
                      {CMD_STOP, L"&Stop\tEsc"},
                  })),
                  L"&View");
    ::AppendMenuW(bar, MF_POPUP,
                  reinterpret_cast<UINT_PTR>(popup({
                      {CMD_FIND_FILES, L"&Find Files...\tCtrl+F"},
                      {CMD_DEEP_SEARCH, L"Deep &Search"},
                      {CMD_FILE_FILTERS, L"File Fi&lters..."},
                      {CMD_SETTINGS, L"Se&ttings..."},
                      {0, nullptr},
                      {CMD_DRIVE_INFORMATION, L"&Drive Information"},
                      {0, nullptr},
                      {CMD_LIVE_UPDATE, L"Live &Update"},
                  })),
                  L"&Tools");
    ::AppendMenuW(bar, MF_POPUP,
                  reinterpret_cast<UINT_PTR>(popup({
                      {CMD_CONTENTS, L"&Contents\tF1"},
                      {CMD_ABOUT, L"&About Velmora Sarvik..."},
                  })),
                  L"&Help");
    ::SetMenu(m_window, bar);
    m_menu = bar;
}

void MainWindow::createToolbar()
{
    m_toolbar = ::CreateWindowExW(
        0, TOOLBARCLASSNAMEW, L"Commands",
        WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS | CCS_NODIVIDER | CCS_TOP, 0, 0, 0, 0,
        m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdToolbar)), m_instance, nullptr);
    ::SendMessageW(m_toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(m_toolbar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS | TBSTYLE_EX_DOUBLEBUFFER);
    m_statusBar =
        ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, m_window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdStatusBar)), m_instance, nullptr);
}

void MainWindow::fillToolbar()
{
    // The pictures follow the DPI: the system's pictures scaled to 16 pixels
    // at 100%, 32 at 200%.
    while (::SendMessageW(m_toolbar, TB_BUTTONCOUNT, 0, 0) > 0)
        ::SendMessageW(m_toolbar, TB_DELETEBUTTON, 0, 0);
    const int size = toolbarPictureSize(m_dpi);
    std::vector<int> pictures;
    for (const Tool& tool : kTools)
        pictures.push_back(tool.picture);
    HIMAGELIST list = standardPictures(m_instance, pictures, toolbarSourceSize(size), size);
    ::SendMessageW(m_toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(size, size));
    ::SendMessageW(m_toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list));
    if (m_toolbarPictures != nullptr)
        ::ImageList_Destroy(m_toolbarPictures);
    m_toolbarPictures = list;
    TBBUTTON buttons[std::size(kTools)] = {};
    for (std::size_t i = 0; i < std::size(kTools); ++i) {
        buttons[i].iBitmap = list == nullptr ? I_IMAGENONE : static_cast<int>(i);
        buttons[i].idCommand = kTools[i].command;
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
        buttons[i].iString = reinterpret_cast<INT_PTR>(kTools[i].text);
    }
    ::SendMessageW(m_toolbar, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    ::SendMessageW(m_toolbar, TB_AUTOSIZE, 0, 0);
    setMenuState();
}

void MainWindow::setMenuState()
{
    if (m_menu == nullptr)
        return;
    auto enable = [this](int id, bool on) {
        ::EnableMenuItem(m_menu, static_cast<UINT>(id),
                         static_cast<UINT>(MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED)));
        if (m_toolbar != nullptr)
            ::SendMessageW(m_toolbar, TB_ENABLEBUTTON, static_cast<WPARAM>(id), on ? TRUE : FALSE);
    };
    WindowState window{m_page, m_copying, m_scan.running()};
    window.deepSearchReading = m_deepSearch.reading();
    window.deepSearchUnavailable = m_session == nullptr || !m_deepSearch.available(*m_session);
    for (const CommandState& state : menuCommandStates(window))
        enable(state.id, state.enabled);
    const UINT view = m_view == LV_VIEW_ICON ? CMD_ICONS : m_view == LV_VIEW_LIST ? CMD_LIST : CMD_DETAILS;
    ::CheckMenuRadioItem(m_menu, CMD_ICONS, CMD_DETAILS, view, MF_BYCOMMAND);
    ::CheckMenuRadioItem(m_menu, CMD_LIST, CMD_DETAILS, view, MF_BYCOMMAND);
    ::DrawMenuBar(m_window);
    updateStatusBar();
}

bool MainWindow::commandEnabled(int id) const
{
    const UINT state = ::GetMenuState(m_menu, static_cast<UINT>(id), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

void MainWindow::updateStatusBar()
{
    if (m_statusBar == nullptr)
        return;
    const int parts[] = {scaled(380), scaled(560), -1};
    ::SendMessageW(m_statusBar, SB_SETPARTS, std::size(parts), reinterpret_cast<LPARAM>(parts));
    StatusBarState state;
    state.page = m_page;
    state.drives = m_driveItems.size();
    state.rows = m_rows.size();
    state.selected =
        static_cast<std::size_t>(std::max<LRESULT>(::SendMessageW(m_files, LVM_GETSELECTEDCOUNT, 0, 0), 0));
    state.filterNote = m_filterNote;
    state.note = m_statusNote;
    state.deepPhase = m_deepPhase;
    const std::array<std::wstring, 3> texts = statusBarTexts(state);
    for (std::size_t part = 0; part < texts.size(); ++part)
        ::SendMessageW(m_statusBar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(texts[part].c_str()));
}

std::wstring MainWindow::statusBarText(int part) const
{
    const LRESULT length = ::SendMessageW(m_statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0);
    std::wstring text(static_cast<std::size_t>(LOWORD(length)) + 1, L'\0');
    ::SendMessageW(m_statusBar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::wcslen(text.c_str()));
    return text;
}

void MainWindow::contextMenu(POINT at)
{
    if (m_page != Page::Results || m_copying || selectedPositions().empty())
        return;
    HMENU view = popup({{CMD_MENU_ICONS, L"Ico&ns"}, {CMD_MENU_LIST, L"&List"}, {CMD_MENU_DETAILS, L"&Details"}});
    HMENU menu = popup({
        {CMD_OPEN, L"&Open\tEnter"},
        {CMD_OPEN_WITH, L"Open &With..."},
        {0, nullptr},
        {CMD_PREVIEW, L"Pre&view...\tF3"},
        {0, nullptr},
        {CMD_MENU_RECOVER_SELECTED, L"&Recover Selected..."},
        {CMD_MENU_RECOVER_ALL, L"Recover &All..."},
        {0, nullptr},
    });
    ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"&View");
    for (const MenuItem& item :
         {MenuItem{0, nullptr}, MenuItem{CMD_MENU_FIND_FILES, L"&Find Files..."}, MenuItem{0, nullptr},
          MenuItem{CMD_RENAME, L"Re&name\tF2"}, MenuItem{0, nullptr}, MenuItem{CMD_MENU_SETTINGS, L"&Settings..."},
          MenuItem{0, nullptr}, MenuItem{CMD_PROPERTIES, L"&Properties...\tAlt+Enter"}})
        ::AppendMenuW(menu, item.id == 0 ? MF_SEPARATOR : MF_STRING, static_cast<UINT_PTR>(item.id), item.text);
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: at the focused row.
        RECT row{LVIR_BOUNDS, 0, 0, 0};
        const LRESULT focused = ::SendMessageW(m_files, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
        ::SendMessageW(m_files, LVM_GETITEMRECT, static_cast<WPARAM>(std::max<LRESULT>(focused, 0)),
                       reinterpret_cast<LPARAM>(&row));
        at = {row.left + scaled(20), row.bottom};
        ::ClientToScreen(m_files, &at);
    }
    std::deque<MenuLabel> labels; // the texts of its items while it is shown
    if (m_dark)
        darkenMenu(menu, false, m_darkBrush, labels);
    // Open With is for files.
    const catalogue::FileRow* row = selectedRow();
    ::EnableMenuItem(menu, CMD_OPEN_WITH,
                     static_cast<UINT>(MF_BYCOMMAND | (row != nullptr && session::isFolderRow(*row) ? MF_GRAYED : 0)));
    ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, m_window, nullptr);
    ::DestroyMenu(menu);
}

bool MainWindow::runCommand(int id)
{
    // The menu bar's commands act only while their item is enabled; the
    // right-click menu is shown only where its commands may run.
    id = menuBarCommand(id);
    const bool onMenuBar = ::GetMenuState(m_menu, static_cast<UINT>(id), MF_BYCOMMAND) != static_cast<UINT>(-1);
    if (onMenuBar && !commandEnabled(id))
        return false;
    const bool results = m_page == Page::Results && !m_copying && m_session != nullptr;
    switch (id) {
    case CMD_RECOVER_SELECTED:
        recoverSelected();
        return true;
    case CMD_RECOVER_ALL:
        recoverAll();
        return true;
    case CMD_SAVE_SNAPSHOT:
        saveSnapshot(stepInput());
        return true;
    case CMD_LOAD_SNAPSHOT:
        loadSnapshot(stepInput());
        return true;
    case CMD_ADD_DISK_IMAGE:
        chooseImage();
        return true;
    case CMD_EXIT:
        ::PostMessageW(m_window, WM_CLOSE, 0, 0);
        return true;
    case CMD_ICONS:
    case CMD_LIST:
    case CMD_DETAILS:
        setView(id == CMD_ICONS ? LV_VIEW_ICON : id == CMD_LIST ? LV_VIEW_LIST : LV_VIEW_DETAILS);
        return true;
    case CMD_BACK:
        showPage(Page::Drives);
        return true;
    case CMD_STOP:
        stop();
        return true;
    case CMD_FIND_FILES:
        findFiles(stepInput());
        return true;
    case CMD_DEEP_SEARCH:
        deepSearch();
        return true;
    case CMD_FILE_FILTERS:
        fileFilters(stepInput());
        return true;
    case CMD_SETTINGS:
        settings(stepInput());
        return true;
    case CMD_SEARCH_LOST_VOLUMES:
        searchLostVolumes();
        return true;
    case CMD_DRIVE_INFORMATION:
        driveInformation();
        return true;
    case CMD_LIVE_UPDATE:
        say(L"Updates of Velmora Sarvik Undelete come as a new installer: run the newer "
            L"sarvik-undelete-setup.exe over this one.");
        return true;
    case CMD_CONTENTS:
        say(L"1. Choose the drive or the disk image that held the lost files, then Next.\n"
            L"2. Wait for the scan; Stop keeps what it found so far.\n"
            L"3. Choose the files and folders in the list, then Recover Selected (Ctrl+R), "
            L"and a folder on another drive to copy them into.");
        return true;
    case CMD_ABOUT:
        about();
        return true;
    case CMD_OPEN:
    case CMD_OPEN_WITH:
        return results && (openSelected(id == CMD_OPEN_WITH), true);
    case CMD_PREVIEW:
        return results && (showPreview(), true);
    case CMD_RENAME:
        return results && (renameSelected(stepInput()), true);
    case CMD_PROPERTIES:
        return results && (showProperties(), true);
    case CMD_SELECT_ALL:
        return results && (selectAll(), true);
    default:
        return false;
    }
}

} // namespace sarvik::win32
