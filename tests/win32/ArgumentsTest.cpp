// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows desktop program's command line.

#include "win32/Arguments.h"

#include <gtest/gtest.h>

namespace sarvik::win32 {
namespace {

TEST(DesktopArguments, ImagesAreListedInOrderWithoutASelfTest)
{
    const Arguments a = parseArguments({L"C:\\cards\\one.img", L"D:\\two.dd"});
    EXPECT_TRUE(a.error.empty());
    EXPECT_EQ(a.images, (std::vector<std::wstring>{L"C:\\cards\\one.img", L"D:\\two.dd"}));
    EXPECT_FALSE(a.selfTest);
    EXPECT_TRUE(parseArguments({}).error.empty());
}

TEST(DesktopArguments, SelfTestTakesItsOptionsInAnyOrder)
{
    const Arguments a = parseArguments(
        {L"--deep", L"--recover-to", L"Z:\\out", L"--self-test", L"Z:\\v.img", L"--hold-ms", L"2500", L"--stop"});
    ASSERT_TRUE(a.error.empty()) << std::string(a.error.begin(), a.error.end());
    ASSERT_TRUE(a.selfTest);
    EXPECT_EQ(a.selfTest->image, L"Z:\\v.img");
    EXPECT_EQ(a.selfTest->recoverTo, L"Z:\\out");
    EXPECT_EQ(a.selfTest->holdMs, 2500u);
    EXPECT_TRUE(a.selfTest->deep);
    EXPECT_TRUE(a.selfTest->stop);
    EXPECT_FALSE(a.selfTest->drivesOnly);
    EXPECT_TRUE(a.images.empty()); // the values are not taken for images

    const Arguments plain = parseArguments({L"--self-test", L"v.img", L"--drive-page"});
    ASSERT_TRUE(plain.selfTest);
    EXPECT_TRUE(plain.selfTest->drivesOnly);
    EXPECT_FALSE(plain.selfTest->deep);
    EXPECT_EQ(plain.selfTest->holdMs, 0u);
}

TEST(DesktopArguments, AWrongCommandLineIsRefusedWholeWithItsReason)
{
    struct Case {
        std::vector<std::wstring> words;
        std::wstring names; // a part of the reason
    };
    const Case cases[] = {
        {{L"--self-test"}, L"--self-test needs a value"},
        {{L"--self-test", L""}, L"--self-test needs a value"},
        {{L"--self-test", L"v.img", L"--recover-to"}, L"--recover-to needs a value"},
        {{L"--selftest", L"v.img"}, L"Unknown option --selftest"},
        {{L"--recover-to", L"out"}, L"go with --self-test"},
        {{L"--deep", L"v.img"}, L"go with --self-test"},
        {{L"--self-test", L"v.img", L"--hold-ms", L"soon"}, L"--hold-ms takes milliseconds"},
        {{L"--self-test", L"v.img", L"--hold-ms", L"-5"}, L"--hold-ms takes milliseconds"},
        {{L"--self-test", L"v.img", L"--hold-ms", L"600001"}, L"--hold-ms takes milliseconds"},
        {{L"--self-test", L"v.img", L"w.img"}, L"w.img is one too many"},
        {{L"--self-test", L"v.img", L"--do", L"format:C"}, L"--do knows no step format"},
        {{L"--self-test", L"v.img", L"--do"}, L"--do needs a value"},
        {{L"--do", L"about"}, L"go with --self-test"},
    };
    for (const Case& c : cases) {
        const Arguments a = parseArguments(c.words);
        EXPECT_NE(a.error.find(c.names), std::wstring::npos) << std::string(c.names.begin(), c.names.end());
        // Nothing but the reason: no half-read self-test runs.
        EXPECT_FALSE(a.selfTest);
        EXPECT_TRUE(a.images.empty());
    }
    EXPECT_EQ(parseArguments({L"--self-test", L"v.img", L"--hold-ms", L"600000"}).selfTest->holdMs, 600000u);
}

TEST(DesktopArguments, StepsAreKeptInTheirOrderWithTheirValues)
{
    const Arguments a = parseArguments(
        {L"--do", L"rename:Spill=Over:flow", L"--self-test", L"v.img", L"--do", L"back", L"--do", L"find:*.txt"});
    ASSERT_TRUE(a.selfTest) << std::string(a.error.begin(), a.error.end());
    // Only the first colon parts the name from the value.
    EXPECT_EQ(a.selfTest->steps, (std::vector<std::wstring>{L"rename:Spill=Over:flow", L"back", L"find:*.txt"}));
}

} // namespace
} // namespace sarvik::win32
