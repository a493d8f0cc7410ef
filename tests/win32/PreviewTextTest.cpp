// SPDX-License-Identifier: GPL-3.0-or-later
// What the Windows preview box shows of a file's first bytes.

#include "win32/PreviewText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace sarvik::win32 {
namespace {

std::vector<std::byte> bytesOf(std::string_view text)
{
    std::vector<std::byte> bytes(text.size());
    std::memcpy(bytes.data(), text.data(), text.size());
    return bytes;
}

TEST(PreviewText, TextIsShownInItsEncodingWithWindowsLineEnds)
{
    // UTF-8, its mark dropped; lone LF and existing CR LF both end as CR LF.
    EXPECT_EQ(previewText(bytesOf("\xEF\xBB\xBFOtch\xC3\xABt\nmay\r\nend")), "Otch\xC3\xABt\r\nmay\r\nend");
    // Not UTF-8: read as Windows-1252 (0xE9 is e acute, 0x80 the euro sign).
    EXPECT_EQ(previewText(bytesOf("caf\xE9 \x80")), "caf\xC3\xA9 \xE2\x82\xAC");
    // UTF-16 by its mark, either byte order, a pair of surrogates joined.
    EXPECT_EQ(previewText(bytesOf(std::string("\xFF\xFE"
                                              "A\0\n\0\x3D\xD8\x00\xDE",
                                              10))),
              "A\r\n\xF0\x9F\x98\x80");
    EXPECT_EQ(previewText(bytesOf(std::string("\xFE\xFF\0h\0i", 6))), "hi");
    // A sequence cut by the end of the bytes read is still text.
    EXPECT_EQ(previewText(bytesOf("ab\xC3")), "ab\xC3");
}

TEST(PreviewText, BinaryBytesAreNotTakenForText)
{
    EXPECT_FALSE(previewText(bytesOf(std::string("PK\x03\x04\0\0", 6))));
    EXPECT_FALSE(previewText(bytesOf("text\x01with a control")));
    EXPECT_FALSE(previewText(bytesOf(std::string("\xFF\xFE\x01\0", 4))));
}

TEST(PreviewText, HexLinesShowOffsetBytesAndCharacters)
{
    const std::string lines = hexLines(bytesOf(std::string("Hello, hex view!\x00\x7F\xFF", 19)), 10);
    EXPECT_EQ(lines, "00000000  48 65 6c 6c 6f 2c 20 68  65 78 20 76 69 65 77 21  Hello, hex view!\r\n"
                     "00000010  00 7f ff                                          ...\r\n");
    // No more lines than asked for.
    EXPECT_EQ(hexLines(bytesOf(std::string(100, 'x')), 2).size(), 2 * lines.find('\n') + 2);
    EXPECT_EQ(hexLines({}, 5), "");
}

} // namespace
} // namespace sarvik::win32
