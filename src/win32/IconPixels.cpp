// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/IconPixels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace sarvik::win32 {

namespace {

std::uint32_t channel(std::uint32_t pixel, int shift)
{
    return (pixel >> shift) & 0xffu;
}

std::uint32_t clampedByte(double value)
{
    return static_cast<std::uint32_t>(std::clamp(std::lround(value), 0L, 255L));
}

} // namespace

Pixels pixelsFromBackgrounds(const Pixels& overBlack, const Pixels& overWhite)
{
    const std::size_t count = static_cast<std::size_t>(std::max(overBlack.width, 0)) *
                              static_cast<std::size_t>(std::max(overBlack.height, 0));
    if (overBlack.width != overWhite.width || overBlack.height != overWhite.height || overBlack.argb.size() != count ||
        overWhite.argb.size() != count)
        return {};
    Pixels picture{overBlack.width, overBlack.height, std::vector<std::uint32_t>(count, 0)};
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t black = overBlack.argb[i], white = overWhite.argb[i];
        // Over black a channel is colour * alpha; over white it is that plus
        // 255 * (1 - alpha): the difference is what the background lends.
        std::uint32_t lent = 0;
        for (int shift : {0, 8, 16})
            lent = std::max(lent, channel(white, shift) - std::min(channel(white, shift), channel(black, shift)));
        const std::uint32_t alpha = 255 - lent;
        if (alpha == 0)
            continue;
        std::uint32_t pixel = alpha << 24;
        for (int shift : {0, 8, 16})
            pixel |= clampedByte(channel(black, shift) * 255.0 / alpha) << shift;
        picture.argb[i] = pixel;
    }
    return picture;
}

Pixels scaledPixels(const Pixels& source, int width, int height)
{
    if (width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0 ||
        source.argb.size() != static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.height))
        return {};
    Pixels scaled{width, height,
                  std::vector<std::uint32_t>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))};
    const double stepX = static_cast<double>(source.width) / width;
    const double stepY = static_cast<double>(source.height) / height;
    for (int y = 0; y < height; ++y) {
        const double top = y * stepY, bottom = (y + 1) * stepY;
        for (int x = 0; x < width; ++x) {
            const double left = x * stepX, right = (x + 1) * stepX;
            double weights = 0, alpha = 0, colour[3] = {0, 0, 0};
            for (int sy = static_cast<int>(top); sy < source.height && sy < bottom; ++sy) {
                const double shareY = std::min<double>(sy + 1, bottom) - std::max<double>(sy, top);
                for (int sx = static_cast<int>(left); sx < source.width && sx < right; ++sx) {
                    const double share = shareY * (std::min<double>(sx + 1, right) - std::max<double>(sx, left));
                    if (share <= 0)
                        continue;
                    const std::uint32_t pixel =
                        source.argb[static_cast<std::size_t>(sy) * static_cast<std::size_t>(source.width) +
                                    static_cast<std::size_t>(sx)];
                    const double a = channel(pixel, 24) / 255.0;
                    weights += share;
                    alpha += share * a;
                    for (int c = 0; c < 3; ++c)
                        colour[c] += share * a * channel(pixel, 8 * c);
                }
            }
            if (weights <= 0 || alpha <= 0)
                continue;
            std::uint32_t pixel = clampedByte(alpha / weights * 255.0) << 24;
            for (int c = 0; c < 3; ++c)
                pixel |= clampedByte(colour[c] / alpha) << (8 * c);
            scaled.argb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                pixel;
        }
    }
    return scaled;
}

int toolbarPictureSize(unsigned dpi)
{
    const unsigned shown = dpi == 0 ? 96 : dpi;
    return static_cast<int>((16 * shown + 48) / 96);
}

int toolbarSourceSize(int size)
{
    if (size % 24 == 0)
        return 24;
    if (size % 16 == 0)
        return 16;
    return size >= 20 ? 24 : 16;
}

} // namespace sarvik::win32
