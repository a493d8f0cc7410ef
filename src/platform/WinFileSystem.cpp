#include "platform/FileSystem.h"

#include "platform/WinDevice.h"
#include "platform/WinOutputFolder.h"
#include "platform/WinText.h"

#include <windows.h>

#include <cwchar>

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
    if (::CreateDirectoryW(wideOf(path).c_str(), nullptr) != 0 || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return {};
    return systemMessage(::GetLastError());
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
