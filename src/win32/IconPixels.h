// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The toolbar's pictures at the window's DPI: the system's standard pictures
// come at 16 and 24 pixels, with a mask and no alpha; they are read back over
// black and over white to learn each pixel's colour and opacity, then scaled
// to the size the DPI asks for.
//
// Plain C++ (no Windows headers), so that it is tested on every system.

#include <cstdint>
#include <vector>

namespace sarvik::win32 {

/// A picture's pixels, row by row from the top, each 0xAARRGGBB with the
/// colour not multiplied by the alpha.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
};

/// The picture drawn once over black and once over white (the alpha bytes of
/// both ignored): its colours, and how opaque each pixel is. Both must have
/// one size; an empty picture when they do not.
[[nodiscard]] Pixels pixelsFromBackgrounds(const Pixels& overBlack, const Pixels& overWhite);

/// `source` scaled to `width` x `height`: each pixel the average of the part
/// of the source it covers, weighted by the part's share and its opacity (so
/// that a clear pixel lends no colour to its neighbours). A whole multiple
/// repeats each pixel; an empty picture for a size of 0 or below.
[[nodiscard]] Pixels scaledPixels(const Pixels& source, int width, int height);

/// The side of a toolbar picture at `dpi` dots per inch: 16 at 96 (100%),
/// 32 at 192 (200%).
[[nodiscard]] int toolbarPictureSize(unsigned dpi);

/// Which of the system's sets (16 or 24 pixels) a picture of `size` is made
/// from: one whose side `size` is a whole multiple of (crisp), else the large
/// set from 20 pixels on (scaled down or a little up), else the small one.
[[nodiscard]] int toolbarSourceSize(int size);

} // namespace sarvik::win32
