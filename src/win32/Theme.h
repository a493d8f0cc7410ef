// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The colours of dark mode, shared by the main window and the boxes.

#include <windows.h>

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

} // namespace sarvik::win32
