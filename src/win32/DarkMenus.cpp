// SPDX-License-Identifier: GPL-3.0-or-later
// Menus in dark mode: the system draws menus in its light colours whatever the
// apps' mode, so in dark mode the program draws the items of the menu bar, of
// its menus and of the right-click menu itself (owner-drawn items), on a dark
// background (the menus' own brush).

#include "win32/MainWindow.h"
#include "win32/Theme.h"

#include <bit>

namespace sarvik::win32 {

namespace {

/// The longest text a menu item of ours has, with room to spare.
constexpr int kMenuTextChars = 128;

/// The menu's background brush, and its menus'.
void setMenuBackground(HMENU menu, HBRUSH background)
{
    MENUINFO info{};
    info.cbSize = sizeof info;
    info.fMask = MIM_BACKGROUND | MIM_APPLYTOSUBMENUS;
    info.hbrBack = background;
    ::SetMenuInfo(menu, &info);
}

} // namespace

void darkenMenu(HMENU menu, bool bar, HBRUSH background, std::deque<MenuLabel>& labels)
{
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const UINT at = static_cast<UINT>(i);
        wchar_t text[kMenuTextChars] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = kMenuTextChars;
        if (::GetMenuItemInfoW(menu, at, TRUE, &item) == 0)
            continue;
        if (item.hSubMenu != nullptr)
            darkenMenu(item.hSubMenu, false, background, labels);
        if ((item.fType & MFT_OWNERDRAW) != 0)
            continue;
        const bool separator = (item.fType & MFT_SEPARATOR) != 0;
        labels.push_back({separator ? std::wstring() : std::wstring(text), bar, separator});
        MENUITEMINFOW drawn{};
        drawn.cbSize = sizeof drawn;
        drawn.fMask = MIIM_FTYPE | MIIM_DATA;
        drawn.fType = item.fType | MFT_OWNERDRAW;
        drawn.dwItemData = reinterpret_cast<ULONG_PTR>(&labels.back());
        ::SetMenuItemInfoW(menu, at, TRUE, &drawn);
    }
    if (bar || background != nullptr)
        setMenuBackground(menu, background);
}

void lightenMenu(HMENU menu)
{
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const UINT at = static_cast<UINT>(i);
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_DATA;
        if (::GetMenuItemInfoW(menu, at, TRUE, &item) == 0)
            continue;
        if (item.hSubMenu != nullptr)
            lightenMenu(item.hSubMenu);
        if ((item.fType & MFT_OWNERDRAW) == 0 || item.dwItemData == 0)
            continue;
        auto* label = reinterpret_cast<MenuLabel*>(item.dwItemData);
        MENUITEMINFOW plain{};
        plain.cbSize = sizeof plain;
        plain.fMask = MIIM_FTYPE | MIIM_DATA | (label->separator ? 0u : static_cast<UINT>(MIIM_STRING));
        plain.fType = item.fType & ~static_cast<UINT>(MFT_OWNERDRAW);
        plain.dwTypeData = label->separator ? nullptr : label->text.data();
        plain.dwItemData = 0;
        ::SetMenuItemInfoW(menu, at, TRUE, &plain);
    }
    setMenuBackground(menu, nullptr);
}

void preferDarkSystemMenus(bool dark)
{
    // Looked up by their numbers, as uxtheme exports them without names; never
    // called before Windows 10 1903 (build 18362), where the numbers meant otherwise.
    using GetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    using SetModeCall = int(WINAPI*)(int);
    using FlushCall = void(WINAPI*)();
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    HMODULE uxtheme = ::GetModuleHandleW(L"uxtheme.dll");
    if (ntdll == nullptr || uxtheme == nullptr)
        return;
    const FARPROC versionProc = ::GetProcAddress(ntdll, "RtlGetVersion");
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (versionProc == nullptr || std::bit_cast<GetVersionCall>(versionProc)(&version) != 0 ||
        version.dwMajorVersion < 10 || version.dwBuildNumber < 18362)
        return;
    const FARPROC setMode = ::GetProcAddress(uxtheme, MAKEINTRESOURCEA(135));
    const FARPROC flush = ::GetProcAddress(uxtheme, MAKEINTRESOURCEA(136));
    if (setMode == nullptr || flush == nullptr)
        return;
    std::bit_cast<SetModeCall>(setMode)(dark ? 1 : 0); // allow dark; the default
    std::bit_cast<FlushCall>(flush)();
}

void MainWindow::themeMenus()
{
    if (m_menu == nullptr)
        return;
    if (m_dark && m_menuLabels.empty()) {
        darkenMenu(m_menu, true, m_darkBrush, m_menuLabels);
    } else if (!m_dark && !m_menuLabels.empty()) {
        lightenMenu(m_menu);
        m_menuLabels.clear();
    }
    m_barItemsDrawnDark.clear();
    preferDarkSystemMenus(m_dark);
    ::DrawMenuBar(m_window);
}

HFONT MainWindow::menuFont()
{
    if (m_menuFont != nullptr && m_menuFontDpi == m_dpi)
        return m_menuFont;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, m_dpi) == 0)
        return m_font;
    HFONT font = ::CreateFontIndirectW(&metrics.lfMenuFont);
    if (font == nullptr)
        return m_font;
    if (m_menuFont != nullptr)
        ::DeleteObject(m_menuFont);
    m_menuFont = font;
    m_menuFontDpi = m_dpi;
    return m_menuFont;
}

std::optional<LRESULT> MainWindow::menuKeyItem(HMENU menu, wchar_t typed) const
{
    // The system reads no text of an item the program draws: the keys of the
    // labels (Alt+T, then F for Find Files...) are found here.
    std::vector<std::wstring> labels;
    bool drawn = false;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_STATE;
        const bool read = ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item) != 0;
        const auto* label = read && (item.fType & MFT_OWNERDRAW) != 0 && item.dwItemData != 0
                                ? reinterpret_cast<const MenuLabel*>(item.dwItemData)
                                : nullptr;
        drawn = drawn || label != nullptr;
        const bool usable = label != nullptr && !label->separator && (item.fState & MFS_GRAYED) == 0;
        labels.push_back(usable ? splitMenuText(label->text).label : std::wstring());
    }
    if (!drawn)
        return std::nullopt;
    if (const std::optional<std::size_t> at = itemForMnemonic(labels, typed))
        return MAKELRESULT(static_cast<WORD>(*at), MNC_EXECUTE);
    return std::nullopt;
}

bool MainWindow::measureMenuItem(MEASUREITEMSTRUCT& measure)
{
    if (measure.CtlType != ODT_MENU || measure.itemData == 0)
        return false;
    const auto& label = *reinterpret_cast<const MenuLabel*>(measure.itemData);
    if (label.separator) {
        measure.itemWidth = 0;
        measure.itemHeight = static_cast<UINT>(scaled(7));
        return true;
    }
    const MenuText text = splitMenuText(label.text);
    HDC dc = ::GetDC(m_window);
    HGDIOBJ old = ::SelectObject(dc, menuFont());
    RECT labelBox{}, shortcutBox{};
    ::DrawTextW(dc, text.label.c_str(), -1, &labelBox, DT_CALCRECT | DT_SINGLELINE);
    if (!text.shortcut.empty())
        ::DrawTextW(dc, text.shortcut.c_str(), -1, &shortcutBox, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(m_window, dc);
    const int height = ::GetSystemMetricsForDpi(SM_CYMENU, m_dpi);
    if (label.onBar) {
        measure.itemWidth = static_cast<UINT>(labelBox.right + scaled(8));
        measure.itemHeight = static_cast<UINT>(height);
        return true;
    }
    const int gap = text.shortcut.empty() ? 0 : scaled(32) + shortcutBox.right;
    measure.itemWidth = static_cast<UINT>(scaled(28) + labelBox.right + gap + scaled(12));
    measure.itemHeight = static_cast<UINT>(std::max<LONG>(height, labelBox.bottom + scaled(8)));
    return true;
}

bool MainWindow::drawMenuItem(const DRAWITEMSTRUCT& draw)
{
    if (draw.CtlType != ODT_MENU || draw.itemData == 0)
        return false;
    const auto& label = *reinterpret_cast<const MenuLabel*>(draw.itemData);
    const MenuText text = splitMenuText(label.text);
    const bool grayed = (draw.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    const bool chosen = (draw.itemState & (ODS_SELECTED | ODS_HOTLIGHT)) != 0 && !grayed;
    HDC dc = draw.hDC;
    if (label.separator) {
        HBRUSH pane = ::CreateSolidBrush(kDarkPane);
        ::FillRect(dc, &draw.rcItem, pane);
        ::DeleteObject(pane);
        const int middle = (draw.rcItem.top + draw.rcItem.bottom) / 2;
        RECT line{draw.rcItem.left + scaled(4), middle, draw.rcItem.right - scaled(4), middle + 1};
        HBRUSH grey = ::CreateSolidBrush(kDarkGrayedText);
        ::FillRect(dc, &line, grey);
        ::DeleteObject(grey);
        return true;
    }
    HBRUSH back = ::CreateSolidBrush(chosen ? kDarkChosen : label.onBar ? kDarkBackground : kDarkPane);
    ::FillRect(dc, &draw.rcItem, back);
    ::DeleteObject(back);
    ::SetBkMode(dc, TRANSPARENT);
    const COLORREF colour = grayed ? kDarkGrayedText : kDarkText;
    ::SetTextColor(dc, colour);
    HGDIOBJ oldFont = ::SelectObject(dc, menuFont());
    const UINT prefix = (draw.itemState & ODS_NOACCEL) != 0 ? static_cast<UINT>(DT_HIDEPREFIX) : 0u;
    RECT box = draw.rcItem;
    if (label.onBar) {
        ::DrawTextW(dc, text.label.c_str(), -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | prefix);
        m_barItemsDrawnDark.insert(draw.itemData);
    } else {
        if ((draw.itemState & ODS_CHECKED) != 0) {
            // The chosen view: a dot where the system draws its check.
            const int middleX = box.left + scaled(14), middleY = (box.top + box.bottom) / 2, r = scaled(3);
            HBRUSH dot = ::CreateSolidBrush(colour);
            HGDIOBJ oldBrush = ::SelectObject(dc, dot);
            HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(NULL_PEN));
            ::Ellipse(dc, middleX - r, middleY - r, middleX + r + 1, middleY + r + 1);
            ::SelectObject(dc, oldPen);
            ::SelectObject(dc, oldBrush);
            ::DeleteObject(dot);
        }
        box.left += scaled(28);
        box.right -= scaled(12);
        ::DrawTextW(dc, text.label.c_str(), -1, &box, DT_LEFT | DT_VCENTER | DT_SINGLELINE | prefix);
        if (!text.shortcut.empty())
            ::DrawTextW(dc, text.shortcut.c_str(), -1, &box, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    ::SelectObject(dc, oldFont);
    return true;
}

} // namespace sarvik::win32
