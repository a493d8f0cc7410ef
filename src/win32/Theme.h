// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The colours of dark mode, shared by the main window and the boxes.

#include <windows.h>

#include <deque>
#include <string>

namespace sarvik::win32 {

inline constexpr COLORREF kDarkBackground = RGB(0x20, 0x20, 0x20);
inline constexpr COLORREF kDarkPane = RGB(0x2b, 0x2b, 0x2b);
inline constexpr COLORREF kDarkText = RGB(0xf0, 0xf0, 0xf0);
inline constexpr COLORREF kDarkGrayedText = RGB(0x80, 0x80, 0x80);
inline constexpr COLORREF kDarkChosen = RGB(0x3d, 0x5a, 0x80);

/// Whether the system's apps are set to dark (Settings > Personalisation > Colours).
[[nodiscard]] bool systemAppsAreDark();

/// Draws `window`'s frame dark or light where the system can (Windows 10
/// 2004 and later); refused elsewhere, and the frame stays as it is.
void setDarkFrame(HWND window, bool dark);

/// The text of a menu item the program draws itself in dark mode, where the
/// item's data points (the system draws menus light whatever the mode).
struct MenuLabel {
    std::wstring text;      ///< as the item had it: "&Open\tEnter"
    bool onBar = false;     ///< an item of the menu bar, not of a menu it opens
    bool separator = false; ///< a line between groups of items
};

/// Makes every item of `menu` and of the menus it opens one the program draws (WM_MEASUREITEM, WM_DRAWITEM), its text
/// kept in `labels`; the menus' background dark.
void darkenMenu(HMENU menu, bool bar, HBRUSH background, std::deque<MenuLabel>& labels);

/// Gives the items darkenMenu took back to the system, with their texts.
void lightenMenu(HMENU menu);

/// Asks the system to draw its own menus (an edit box's right-click menu, the
/// window menu) dark or light, through uxtheme's preferred mode for the app
/// (Windows 10 1903 and later); does nothing on a system without it.
void preferDarkSystemMenus(bool dark);

} // namespace sarvik::win32
