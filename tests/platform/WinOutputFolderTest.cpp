// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows output folder, run under wine: names Windows refuses, UTF-8
// names as UTF-16 on disk, replacing, times, and reparse points.

#include "platform/WinOutputFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

using sarvik::platform::windowsName;
using sarvik::platform::WinOutputFolder;

TEST(WindowsName, CleansWhatWindowsRefuses)
{
    EXPECT_EQ(windowsName("report.txt"), "report.txt");
    EXPECT_EQ(windowsName("a<b>c:d\"e|f?g*h"), "a_b_c_d_e_f_g_h");
    EXPECT_EQ(windowsName("tab\there\x01"), "tab_here_");
    EXPECT_EQ(windowsName("trailing."), "trailing_");
    EXPECT_EQ(windowsName("trailing "), "trailing_");
    EXPECT_EQ(windowsName("CON"), "_CON");
    EXPECT_EQ(windowsName("con.txt"), "_con.txt");
    EXPECT_EQ(windowsName("Lpt9.log"), "_Lpt9.log");
    EXPECT_EQ(windowsName("COM0"), "COM0");
    EXPECT_EQ(windowsName("CONSOLE"), "CONSOLE");
    EXPECT_EQ(windowsName("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9"); // UTF-8 passes through
}

class WinOutputFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        m_root = std::wstring(temp) + L"sarvik-output-" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_NE(::CreateDirectoryW(m_root.c_str(), nullptr), 0);
        std::string error;
        m_folder = WinOutputFolder::open(utf8(m_root), error);
        ASSERT_TRUE(m_folder) << error;
    }
    void TearDown() override
    {
        m_folder.reset();
        // Only what the tests made, leaves first.
        for (const wchar_t* file :
             {L"\\sub\\_CON.txt", L"\\sub\\a_b", L"\\caf\u00e9.txt", L"\\keep.txt", L"\\holes.bin"})
            ::DeleteFileW((m_root + file).c_str());
        ::RemoveDirectoryW((m_root + L"\\sub").c_str());
        ::RemoveDirectoryW((m_root + L"\\link").c_str());
        ::RemoveDirectoryW(m_root.c_str());
    }
    static std::string utf8(const std::wstring& wide)
    {
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(n), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text.data(), n, nullptr, nullptr);
        text.pop_back();
        return text;
    }
    static bool write(sarvik::recovery::OutputFolder& folder, std::string_view name, std::string_view bytes,
                      bool replace = false)
    {
        auto file = folder.createFile(name, replace);
        return file && file->write(std::as_bytes(std::span(bytes.data(), bytes.size()))) && file->close();
    }
    std::string read(const std::wstring& relative) const
    {
        const HANDLE h = ::CreateFileW((m_root + relative).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return "<missing>";
        char buffer[256];
        DWORD got = 0;
        const BOOL ok = ::ReadFile(h, buffer, sizeof buffer, &got, nullptr);
        ::CloseHandle(h);
        return ok != 0 ? std::string(buffer, got) : "<unreadable>";
    }

    std::wstring m_root;
    std::shared_ptr<WinOutputFolder> m_folder;
};

TEST_F(WinOutputFolderTest, WritesUtf8NamesAsUtf16AndCleansRefusedNames)
{
    ASSERT_TRUE(write(*m_folder, "caf\xC3\xA9.txt", "bytes"));
    EXPECT_EQ(read(L"\\caf\u00e9.txt"), "bytes");
    auto sub = m_folder->makeFolder("sub");
    ASSERT_TRUE(sub);
    ASSERT_TRUE(write(*sub, "CON.txt", "console"));
    ASSERT_TRUE(write(*sub, "a:b", "colon"));
    EXPECT_EQ(read(L"\\sub\\_CON.txt"), "console");
    EXPECT_EQ(read(L"\\sub\\a_b"), "colon");
    // A cleaned name is taken: the copy sees it and picks another.
    EXPECT_TRUE(sub->exists("a|b"));
    EXPECT_FALSE(sub->makeFolder(".."));
    EXPECT_FALSE(sub->createFile("x\\y", false));
}

TEST_F(WinOutputFolderTest, ReplacesOnlyWhenAskedAndSetsTimes)
{
    ASSERT_TRUE(write(*m_folder, "keep.txt", "first"));
    EXPECT_FALSE(write(*m_folder, "keep.txt", "second"));
    EXPECT_EQ(read(L"\\keep.txt"), "first");
    ASSERT_TRUE(write(*m_folder, "keep.txt", "2nd", true));
    EXPECT_EQ(read(L"\\keep.txt"), "2nd");

    sarvik::recovery::EntryTimes times;
    times.modified = 1000000000; // 2001-09-09 01:46:40 UTC
    times.accessed = 1000000060;
    ASSERT_TRUE(m_folder->setTimes("keep.txt", times));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_NE(::GetFileAttributesExW((m_root + L"\\keep.txt").c_str(), GetFileExInfoStandard, &data), 0);
    const auto units =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(units / 10000000u - 11644473600u, 1000000000u);
}

// Holes read as zeros, and a file that ends in one still gets its whole length.
TEST_F(WinOutputFolderTest, HolesReadAsZerosAndCountInTheLength)
{
    constexpr std::uint64_t kGap = 1u << 20;
    auto file = m_folder->createFile("holes.bin", false);
    ASSERT_TRUE(file);
    const auto bytes = [](std::string_view text) { return std::as_bytes(std::span(text.data(), text.size())); };
    ASSERT_TRUE(file->write(bytes("head")) && file->writeHole(kGap) && file->write(bytes("tail")) &&
                file->writeHole(kGap) && file->close());
    const std::string expected = "head" + std::string(kGap, '\0') + "tail" + std::string(kGap, '\0');

    const HANDLE h = ::CreateFileW((m_root + L"\\holes.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::string got(expected.size() + 1, 'x');
    DWORD read = 0;
    const BOOL ok = ::ReadFile(h, got.data(), static_cast<DWORD>(got.size()), &read, nullptr);
    ::CloseHandle(h);
    ASSERT_NE(ok, 0);
    EXPECT_EQ(read, expected.size());
    got.resize(read);
    EXPECT_TRUE(got == expected) << "not the bytes written"; // 2 MiB, not printed
}

TEST_F(WinOutputFolderTest, NeverEntersAJunction)
{
    // A symbolic link to a folder, planted where the copy wants a folder.
    if (::CreateSymbolicLinkW((m_root + L"\\link").c_str(), m_root.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) == 0)
        GTEST_SKIP() << "this system does not let the test make a symbolic link (error " << ::GetLastError() << ")";
    const DWORD attributes = ::GetFileAttributesW((m_root + L"\\link").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        GTEST_SKIP() << "the link made is not a reparse point here";
    EXPECT_FALSE(m_folder->makeFolder("link"));
}

} // namespace
