// SPDX-License-Identifier: GPL-3.0-or-later
// The block source on Windows, run under wine on an image file read the way a
// raw device must be read: whole sectors into aligned memory.

#include "platform/Devices.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

namespace {

using sarvik::platform::SystemBlockSource;

TEST(SystemBlockSource, ReadsAnyRangeThroughWholeSectors)
{
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::wstring path = std::wstring(temp) + L"sarvik-device-" + std::to_wstring(::GetCurrentProcessId());
    // Past the 1 MiB bounce buffer twice, with a tail that is no whole sector.
    std::vector<std::byte> bytes(3 * 1024 * 1024 + 123);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::byte>((i * 7 + i / 4096) & 0xFF);
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_NE(::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr), 0);
    ::CloseHandle(h);

    const int n = ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, utf8.data(), n, nullptr, nullptr);
    utf8.pop_back();
    std::string error;
    const auto source = SystemBlockSource::open(utf8, &error, nullptr, 4096);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->size(), bytes.size());

    struct Case {
        std::size_t offset, length;
    };
    for (const Case c : {Case{0, 4096}, Case{7, 1}, Case{4095, 2}, Case{5, bytes.size() - 5},
                         Case{1024 * 1024 - 3, 9000}, Case{bytes.size() - 200, 200}}) {
        std::vector<std::byte> got(c.length);
        ASSERT_EQ(source->read(c.offset, got), sarvik::disk::ReadStatus::Ok) << c.offset << "+" << c.length;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + static_cast<std::ptrdiff_t>(c.offset)))
            << c.offset << "+" << c.length;
    }
    std::vector<std::byte> past(201);
    EXPECT_EQ(source->read(bytes.size() - 200, past), sarvik::disk::ReadStatus::Short);
    ::DeleteFileW(path.c_str());
}

} // namespace
