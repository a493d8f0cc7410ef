// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's colours: the system's own (its style and palette, or a dark
// palette when the desktop asks for dark colours and the style has none), or
// light or dark whatever the system says.

#include <QPalette>
#include <QString>
#include <QVariant>

namespace sarvik::app {

enum class ColourScheme { System, Light, Dark };

/// Applies `scheme` to the whole program. The system's own style and palette
/// are noted the first time, so that System brings them back.
void applyColourScheme(ColourScheme scheme);
/// The scheme last applied (System until one is).
[[nodiscard]] ColourScheme colourScheme();

/// The names kept in the settings: "system", "light", "dark". Any other name is System.
[[nodiscard]] QString colourSchemeName(ColourScheme scheme);
[[nodiscard]] ColourScheme colourSchemeFromName(const QString& name);

/// Whether the desktop portal's "color-scheme" setting, as its Settings.Read
/// answers (a variant holding a variant holding a number), asks for dark
/// colours: 1 does; 0 (no preference), 2 (light) or anything else does not.
[[nodiscard]] bool portalValueAsksForDark(const QVariant& value);
/// Whether a GTK_THEME value names a dark variant ("Adwaita:dark", "Adwaita-dark").
[[nodiscard]] bool gtkThemeAsksForDark(const QString& theme);

/// The dark palette drawn with the Fusion style.
[[nodiscard]] QPalette darkPalette();

} // namespace sarvik::app
