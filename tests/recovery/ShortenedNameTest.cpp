// SPDX-License-Identifier: GPL-3.0-or-later
// Names longer than a file system takes are shortened keeping their extension,
// within the byte limit and never splitting a character; characters that
// reorder how a name is shown are taken out of written names.

#include "recovery/OutputFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace sarvik {
namespace {

std::string repeated(const std::string& piece, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

TEST(ShortenedName, KeepsTheExtensionWithinTheLimitAtEveryLength)
{
    // 255 bytes fits as it is; from 256 on, shortened to at most 255.
    for (std::size_t stem = 245; stem <= 260; ++stem) {
        const std::string name = std::string(stem, 'a') + ".txt";
        const std::string written = recovery::safeComponent(name, true);
        if (name.size() <= recovery::kMaxComponentBytes) {
            EXPECT_EQ(written, name);
            continue;
        }
        EXPECT_LE(written.size(), recovery::kMaxComponentBytes) << stem;
        EXPECT_TRUE(written.ends_with("~1.txt")) << written;
        EXPECT_GE(written.size(), recovery::kMaxComponentBytes - 1) << "shortened more than it needs";
    }
    // Two-byte characters: never cut in half.
    const std::string accented = repeated("é", 127) + ".txt";
    const std::string written = recovery::safeComponent(accented, true);
    EXPECT_LE(written.size(), recovery::kMaxComponentBytes);
    EXPECT_EQ(written, repeated("é", 124) + "~1.txt");
    // No extension, or one too long to be one: cut as before.
    EXPECT_EQ(recovery::safeComponent(std::string(300, 'b'), true), std::string(255, 'b'));
    EXPECT_EQ(recovery::uncutComponent(accented, true), accented);
}

TEST(ShortenedName, ReorderingCharactersAreTakenOutOfWrittenNames)
{
    // As bytes: the characters themselves in a source file are refused by compilers' checks.
    for (const char* control : {"\xe2\x80\xaa", "\xe2\x80\xab", "\xe2\x80\xac", "\xe2\x80\xad", "\xe2\x80\xae",
                                "\xe2\x81\xa6", "\xe2\x81\xa7", "\xe2\x81\xa8", "\xe2\x81\xa9"}) {
        const std::string name = std::string("invoice") + control + "txt.exe";
        EXPECT_EQ(recovery::safeComponent(name, true), "invoice_txt.exe") << name;
        EXPECT_TRUE(recovery::isBidiControl(name, 7));
    }
    // Neighbours of the ranges are ordinary characters.
    for (const char* other : {"\xe2\x80\xa9", "\xe2\x80\xaf", "\xe2\x81\xa5", "\xe2\x81\xaa", "\xe2\x80\x93"})
        EXPECT_EQ(recovery::safeComponent(std::string("a") + other + "b", true), std::string("a") + other + "b");
}

} // namespace
} // namespace sarvik
