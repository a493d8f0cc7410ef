// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The look of the program, painted at run time: the window skin, the toolbar and
// navigation pictures and the logo. Nothing is loaded from image files, so every
// picture scales with the device pixel ratio and belongs to this program alone.

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QRect>
#include <QRegion>

namespace sarvik::ui {

/// Pixel positions in the window use the layout's dialog units: 1.5 px across and
/// 1.625 px down per unit (the 8-point dialog font).
[[nodiscard]] constexpr int dluX(int units)
{
    return (units * 3 + 1) / 2;
}
[[nodiscard]] constexpr int dluY(int units)
{
    return (units * 13 + 4) / 8;
}
[[nodiscard]] QRect dluRect(int left, int top, int width, int height);

/// The colour that is cut out of a skin to shape a window.
inline constexpr QRgb kTransparentKey = 0xff00ff00;

/// Whether the skins are painted in their dark variant, for a desktop whose
/// colour scheme is dark (light text in the lists and dialogs).
[[nodiscard]] bool darkSkin();
void setDarkSkin(bool dark);
/// True for a palette whose window colour is darker than its text.
[[nodiscard]] bool paletteIsDark(const QPalette& palette);

/// The colours of text drawn straight on the skin, for each variant.
enum class SkinText { Caption, Value, Status, Body, Warning };
[[nodiscard]] QColor skinTextColour(SkinText role);

/// The main window's client area as the layout was drawn, and the smallest it
/// takes (a short screen, or a large scale factor): the lists give up the difference.
[[nodiscard]] QSize windowSkinBase();
[[nodiscard]] QSize windowSkinSmallest();

/// Where the main window's background draws its parts: the header band's
/// height, the well behind the left tree, the right pane's frame and the plate
/// behind the quick help. The window's layout places them.
struct SkinAreas {
    int header = 0;
    QRect leftWell;
    QRect rightPane;
    QRect helpPlate;
    friend bool operator==(const SkinAreas&, const SkinAreas&) = default;
};
/// The parts where a client area of `size` has them at the default font.
[[nodiscard]] SkinAreas windowSkinAreas(QSize size);

/// The main window's background for a client area of `size`; the corners outside
/// the rounded frame are painted in the transparent key colour.
[[nodiscard]] QImage paintWindowSkin(QSize size);
[[nodiscard]] QImage paintWindowSkin(QSize size, const SkinAreas& areas);
/// A smaller skin for dialogs, same palette, square and without key colour.
[[nodiscard]] QImage paintDialogSkin(QSize size);
/// Everything in `skin` that is not the key colour.
[[nodiscard]] QRegion regionFromSkin(const QImage& skin, QRgb key = kTransparentKey);

enum class ToolbarPicture {
    RecoverSelected,
    RecoverAll,
    SaveSnapshot,
    LoadSnapshot,
    FindFiles,
    DeepSearch,
    Settings,
    LiveUpdate
};
[[nodiscard]] QPixmap toolbarPicture(ToolbarPicture which, QSize size, bool highlighted);

enum class NavPicture { Next, Back, Stop };
[[nodiscard]] QPixmap navPicture(NavPicture which, QSize size, bool highlighted);

[[nodiscard]] QPixmap logoPicture(QSize size, bool highlighted);

/// The icon of the program's windows.
[[nodiscard]] QPixmap applicationPicture(int side);

} // namespace sarvik::ui
