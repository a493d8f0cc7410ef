// SPDX-License-Identifier: GPL-3.0-or-later
// The toolbar's pictures read back from the system's set and scaled to the DPI.

#include "win32/IconPixels.h"

#include <gtest/gtest.h>

namespace sarvik::win32 {
namespace {

constexpr std::uint32_t kClear = 0x00000000;

std::uint32_t at(const Pixels& p, int x, int y)
{
    return p.argb[static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(x)];
}

TEST(DesktopIconPixels, OpacityAndColourComeBackFromTwoBackgrounds)
{
    // Opaque red, a clear pixel, and a half-clear green (128 of 255).
    const Pixels black{3, 1, {0xff'ff0000, 0xff'000000, 0xff'004000}};
    const Pixels white{3, 1, {0xff'ff0000, 0xff'ffffff, 0xff'7fbf7f}};
    const Pixels picture = pixelsFromBackgrounds(black, white);
    ASSERT_EQ(picture.argb.size(), 3u);
    EXPECT_EQ(picture.argb[0], 0xffff0000u);
    EXPECT_EQ(picture.argb[1], kClear);
    EXPECT_EQ(picture.argb[2] >> 24, 0x80u);
    EXPECT_EQ((picture.argb[2] >> 8) & 0xff, 0x80u); // 0x40 over black at half alpha: 0x80 of green
    EXPECT_EQ(picture.argb[2] & 0xff00ff, 0u);
    // The alpha bytes a drawing leaves behind say nothing.
    const Pixels blackNoAlpha{1, 1, {0x00'123456}};
    EXPECT_EQ(pixelsFromBackgrounds(blackNoAlpha, blackNoAlpha).argb[0], 0xff123456u);
    // Two drawings of other sizes are no picture.
    EXPECT_TRUE(pixelsFromBackgrounds(Pixels{2, 1, {0, 0}}, Pixels{1, 2, {0, 0}}).argb.empty());
    EXPECT_TRUE(pixelsFromBackgrounds(Pixels{2, 2, {0, 0}}, Pixels{2, 2, {0, 0}}).argb.empty());
}

TEST(DesktopIconPixels, WholeMultiplesRepeatEachPixel)
{
    const Pixels source{2, 2, {0xffff0000, kClear, 0xff00ff00, 0x800000ff}};
    const Pixels doubled = scaledPixels(source, 4, 4);
    ASSERT_EQ(doubled.width, 4);
    ASSERT_EQ(doubled.argb.size(), 16u);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(at(doubled, x, y), at(source, x / 2, y / 2)) << x << "," << y;
    EXPECT_EQ(scaledPixels(source, 2, 2).argb, source.argb);
}

TEST(DesktopIconPixels, ScalingDownAveragesWithoutClearPixelsDarkening)
{
    // A white pixel beside three clear (black-coloured) ones: a quarter opaque
    // and still white, not grey.
    const Pixels source{2, 2, {0xffffffff, kClear, kClear, kClear}};
    const Pixels one = scaledPixels(source, 1, 1);
    ASSERT_EQ(one.argb.size(), 1u);
    EXPECT_EQ(one.argb[0] >> 24, 64u);
    EXPECT_EQ(one.argb[0] & 0xffffff, 0xffffffu);
    // Red and blue, both opaque: their mean.
    const Pixels mixed = scaledPixels(Pixels{2, 1, {0xffff0000, 0xff0000ff}}, 1, 1);
    EXPECT_EQ(mixed.argb[0], 0xff800080u);
}

TEST(DesktopIconPixels, ScalingByAFractionKeepsEdgesAndCorners)
{
    // 24 to 32 (the large set at 200%): the corners stay the source's corners,
    // an opaque picture stays opaque, and nothing lies outside the source.
    Pixels source{24, 24, std::vector<std::uint32_t>(24 * 24, 0xff202020)};
    source.argb[0] = 0xffff0000;
    source.argb[24 * 24 - 1] = 0xff0000ff;
    const Pixels scaled = scaledPixels(source, 32, 32);
    ASSERT_EQ(scaled.argb.size(), 32u * 32u);
    EXPECT_EQ(at(scaled, 0, 0), 0xffff0000u);
    EXPECT_EQ(at(scaled, 31, 31), 0xff0000ffu);
    for (std::uint32_t pixel : scaled.argb)
        EXPECT_EQ(pixel >> 24, 0xffu);
    // A size of nothing, or a source that is not whole, is no picture.
    EXPECT_TRUE(scaledPixels(source, 0, 16).argb.empty());
    EXPECT_TRUE(scaledPixels(Pixels{4, 4, {0}}, 8, 8).argb.empty());
}

TEST(DesktopIconPixels, SizeFollowsTheDpiAndComesFromTheCrispestSet)
{
    EXPECT_EQ(toolbarPictureSize(96), 16);
    EXPECT_EQ(toolbarPictureSize(120), 20);
    EXPECT_EQ(toolbarPictureSize(144), 24);
    EXPECT_EQ(toolbarPictureSize(192), 32);
    EXPECT_EQ(toolbarPictureSize(288), 48);
    EXPECT_EQ(toolbarPictureSize(0), 16); // a window the system gave no DPI

    EXPECT_EQ(toolbarSourceSize(16), 16);
    EXPECT_EQ(toolbarSourceSize(32), 16); // each pixel twice: crisp
    EXPECT_EQ(toolbarSourceSize(24), 24);
    EXPECT_EQ(toolbarSourceSize(48), 24);
    EXPECT_EQ(toolbarSourceSize(20), 24); // scaled down: more detail than 16 scaled up
    EXPECT_EQ(toolbarSourceSize(28), 24);
    EXPECT_EQ(toolbarSourceSize(18), 16);
}

} // namespace
} // namespace sarvik::win32
