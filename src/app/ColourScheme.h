// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's colours: the system's own (its style and palette, or a dark
// palette when the desktop asks for dark colours and the style has none), or
// light or dark whatever the system says.

#include <QPalette>
#include <QString>

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

/// The dark palette drawn with the Fusion style.
[[nodiscard]] QPalette darkPalette();

} // namespace sarvik::app
