// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include "platform/WinDevice.h"
#include "platform/WinOutputFolder.h"
#include "platform/WinText.h"

#include <windows.h>

#include <cwchar>
#include <filesystem>
#include <system_error>

namespace sarvik::platform {

std::filesystem::path pathOf(const std::string& utf8)
{
    return {std::u8string(utf8.begin(), utf8.end())};
}

std::string pathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

bool isDevice(const std::string& path)
{
    return isRawDevicePath(path);
}

std::string deviceName(const std::string& path)
{
    return isRawDevicePath(path) ? path.substr(4) : pathText(pathOf(path).filename());
}

std::string createFolder(const std::string& path)
{
    // Missing parents are made too, as mkdir -p does.
    std::error_code ec;
    std::filesystem::create_directories(pathOf(path), ec);
    if (!ec)
        return {};
    return ec.category() == std::system_category() ? systemMessage(static_cast<DWORD>(ec.value())) : ec.message();
}

std::FILE* openOutputText(const std::string& path, std::string& error)
{
    std::FILE* file = ::_wfopen(wideOf(path).c_str(), L"w");
    if (file == nullptr)
        error = systemMessage(::GetLastError());
    return file;
}

std::shared_ptr<recovery::OutputFolder> openOutputFolder(const std::string& path, std::string& error)
{
    return WinOutputFolder::open(path, error);
}

} // namespace sarvik::platform
