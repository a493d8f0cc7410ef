// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/NameDecode.h"
#include "catalogue/NameText.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

using namespace sarvik::catalogue;

TEST(NameDecode, Utf16PairsLoneSurrogatesAndTheEnd)
{
    const std::u16string pair = u"a\U0001F600b";
    EXPECT_EQ(utf16ToUtf8(pair), "a\xF0\x9F\x98\x80"
                                 "b");
    const std::u16string lone = {u'x', 0xD800, u'y', 0xDC00};
    EXPECT_EQ(utf16ToUtf8(lone), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
    const std::u16string ended = {u'a', 0, u'b'};
    EXPECT_EQ(utf16ToUtf8(ended), "a");
    const std::u16string highLast = {u'a', u'\u00e9', 0xD83D};
    EXPECT_EQ(utf16ToUtf8(highLast), "a\xC3\xA9\xEF\xBF\xBD");

    // The same units stored little-endian, as an MFT record holds a name; a
    // last odd byte is no unit.
    // The longest name of an MFT record, 255 units of three bytes each, and one
    // unit more (which takes the other way through).
    for (const std::u16string& units : {pair, lone, ended, highLast, std::u16string(u"\u0444\u043e\u0442\u043e x"),
                                        std::u16string(255, u'\u20ac'), std::u16string(256, u'\u20ac') + pair}) {
        std::vector<std::byte> bytes;
        for (const char16_t u : units) {
            bytes.push_back(static_cast<std::byte>(u & 0xFF));
            bytes.push_back(static_cast<std::byte>(u >> 8));
        }
        EXPECT_EQ(utf16LeToUtf8(bytes), utf16ToUtf8(units));
        bytes.push_back(std::byte{'z'});
        EXPECT_EQ(utf16LeToUtf8(bytes), utf16ToUtf8(units));
    }
}

TEST(NameDecode, CodePage850)
{
    EXPECT_EQ(cp850ToUtf8("CAF\x82"), "CAFé");
    EXPECT_EQ(cp850ToUtf8("\x99\xE1\x9C"), "Öß£");
    EXPECT_EQ(cp850ToUtf8("\xFF"), "\xC2\xA0");
}

TEST(NameDecode, Utf8Validity)
{
    EXPECT_TRUE(isValidUtf8("Отчёт за май.txt"));
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("caf\xE9"));      // Windows-1252
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));     // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80")); // a surrogate
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));     // cut short
    // After whole words of ASCII, which are passed over eight bytes at a time.
    EXPECT_TRUE(isValidUtf8("0123456789abcdef caf\xC3\xA9"));
    EXPECT_FALSE(isValidUtf8("0123456789abcdef caf\xE9"));
    EXPECT_FALSE(isValidUtf8("01234567\xC3"));
}

TEST(NameDecode, UnsafeNamesAndTheDisplayRule)
{
    EXPECT_EQ(pathSafeName(""), "_");
    EXPECT_EQ(pathSafeName("a/b\\c"), "a_b_c");
    EXPECT_EQ(pathSafeName("tab\there\x7F"), "tab\there\x7F");       // controls stay, as the entry holds them
    EXPECT_EQ(pathSafeName("what? <*>|\".txt"), "what? <*>|\".txt"); // only separators change

    // A UTF-8 catalogue is shown as it is; a default one is read as Windows-1252.
    EXPECT_EQ(nameToUtf8("Café", true), "Café");
    EXPECT_EQ(nameToUtf8("Café", false), "CafÃ©");
    EXPECT_EQ(nameToUtf8("caf\xE9", true), "café") << "bytes that are not UTF-8 fall back";
}
