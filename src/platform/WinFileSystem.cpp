#include "platform/FileSystem.h"

#include "platform/WinDevice.h"
#include "platform/WinOutputFolder.h"
#include "platform/WinText.h"

#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <cwchar>

namespace sarvik::platform {

namespace {

/// The number of the disk that holds the volume "\\.\X:", or nothing.
std::optional<DWORD> diskNumberOf(const std::wstring& volume)
{
    // No access asked: the number is readable without administrator rights.
    const HANDLE handle =
        ::CreateFileW(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    const bool known = ::DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                                         &returned, nullptr) != 0;
    ::CloseHandle(handle);
    if (!known)
        return std::nullopt;
    return number.DeviceNumber;
}

} // namespace

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

bool folderIsOnDevice(const std::string& folder, const std::string& device)
{
    if (!isRawDevicePath(device))
        return false;
    wchar_t root[MAX_PATH + 1] = {};
    if (::GetVolumePathNameW(wideOf(folder).c_str(), root, MAX_PATH + 1) == 0)
        return false;
    // "C:\" of the folder against "\\.\C:", or the disk numbers of both.
    const std::string target = device.substr(4);
    const std::string volume = utf8Of(root);
    if (volume.size() >= 2 && volume[1] == ':' && target.size() == 2 && target[1] == ':')
        return std::toupper(static_cast<unsigned char>(volume[0])) ==
               std::toupper(static_cast<unsigned char>(target[0]));
    constexpr std::string_view kDisk = "PhysicalDrive";
    if (target.starts_with(kDisk) && volume.size() >= 2 && volume[1] == ':') {
        const auto number = diskNumberOf(L"\\\\.\\" + wideOf(volume.substr(0, 2)));
        return number && std::to_string(*number) == target.substr(kDisk.size());
    }
    return false;
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
