// SPDX-License-Identifier: GPL-3.0-or-later
// Dark mode: when the system's apps are set to dark, the window's frame is
// drawn dark (DwmSetWindowAttribute) and the window, its lists, its tree and
// its labels take dark colours; otherwise the system's own colours.

#include "win32/Theme.h"
#include "win32/MainWindow.h"

#include <commctrl.h>
#include <dwmapi.h>
#include <uxtheme.h>

namespace sarvik::win32 {

namespace {

/// The frame's dark mode attribute (Windows 10 2004 and later).
constexpr DWORD kImmersiveDarkMode = 20;

} // namespace

bool systemAppsAreDark()
{
    DWORD light = 1;
    DWORD size = sizeof light;
    const LSTATUS read =
        ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                       L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size);
    return read == ERROR_SUCCESS && light == 0;
}

void setDarkFrame(HWND window, bool dark)
{
    const BOOL on = dark ? TRUE : FALSE;
    ::DwmSetWindowAttribute(window, kImmersiveDarkMode, &on, sizeof on);
}

void MainWindow::applyTheme()
{
    m_dark = systemAppsAreDark();
    setDarkFrame(m_window, m_dark);
    if (m_darkBrush == nullptr)
        m_darkBrush = ::CreateSolidBrush(kDarkBackground);
    themeMenus();
    const COLORREF pane = m_dark ? kDarkPane : ::GetSysColor(COLOR_WINDOW);
    const COLORREF text = m_dark ? kDarkText : ::GetSysColor(COLOR_WINDOWTEXT);
    for (HWND list : {m_drives, m_files}) {
        ::SendMessageW(list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(pane));
        ::SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(pane));
        ::SendMessageW(list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(text));
    }
    ::SendMessageW(m_tree, TVM_SETBKCOLOR, 0, m_dark ? static_cast<LPARAM>(pane) : -1);
    ::SendMessageW(m_tree, TVM_SETTEXTCOLOR, 0, m_dark ? static_cast<LPARAM>(text) : -1);
    // Dark scroll bars and headers where the system has the theme.
    for (HWND control : {m_drives, m_files, m_tree})
        ::SetWindowTheme(control, m_dark ? L"DarkMode_Explorer" : L"Explorer", nullptr);
    ::InvalidateRect(m_window, nullptr, TRUE);
}

LRESULT MainWindow::themedColours(UINT message, HDC dc, HWND control)
{
    // Labels, check boxes and the window's own background.
    if (!m_dark || (message == WM_CTLCOLORBTN && control != m_deep))
        return ::DefWindowProcW(m_window, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
    ::SetTextColor(dc, kDarkText);
    ::SetBkColor(dc, kDarkBackground);
    return reinterpret_cast<LRESULT>(m_darkBrush);
}

LRESULT MainWindow::themedCustomDraw(const NMHDR& header, LPARAM lParam)
{
    // Dark: the toolbar's texts light on the window's background, and the
    // tree's chosen folder readable when the tree has no focus.
    auto* draw = reinterpret_cast<NMCUSTOMDRAW*>(lParam);
    if (!m_dark)
        return CDRF_DODEFAULT;
    if (draw->dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (draw->dwDrawStage != CDDS_ITEMPREPAINT)
        return CDRF_DODEFAULT;
    if (header.hwndFrom == m_toolbar) {
        auto* tool = reinterpret_cast<NMTBCUSTOMDRAW*>(lParam);
        tool->clrText = (draw->uItemState & CDIS_DISABLED) != 0 ? kDarkGrayedText : kDarkText;
        tool->clrTextHighlight = kDarkText;
        return TBCDRF_NOETCHEDEFFECT;
    }
    auto* node = reinterpret_cast<NMTVCUSTOMDRAW*>(lParam);
    node->clrText = kDarkText;
    node->clrTextBk = (draw->uItemState & CDIS_SELECTED) != 0 ? kDarkChosen : kDarkPane;
    return CDRF_DODEFAULT;
}

bool MainWindow::eraseBackground(HDC dc)
{
    if (!m_dark)
        return false;
    RECT client{};
    ::GetClientRect(m_window, &client);
    ::FillRect(dc, &client, m_darkBrush);
    return true;
}

} // namespace sarvik::win32
