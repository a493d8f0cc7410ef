// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WinOutputFolder.h"

#include "platform/NativeFile.h"
#include "platform/WinText.h"

#include <windows.h>

#include <array>
#include <cctype>
#include <optional>

namespace sarvik::platform {

namespace {

/// The names Windows keeps for devices, in every folder and with any extension.
constexpr std::array<std::string_view, 4> kDeviceNames{"CON", "PRN", "AUX", "NUL"};
constexpr std::array<std::string_view, 2> kNumberedDeviceNames{"COM", "LPT"};

/// Seconds between 1601-01-01 (FILETIME's start) and 1970-01-01.
constexpr std::int64_t kFileTimeEpochSeconds = 11644473600;
constexpr std::int64_t kFileTimeUnitsPerSecond = 10000000; // of 100 ns

bool isDeviceName(std::string_view name)
{
    // "con.txt" and "CON .txt" name the console too: the part before the first
    // dot, without trailing blanks, is what counts.
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string_view reserved : kDeviceNames)
        if (stem == reserved)
            return true;
    for (const std::string_view prefix : kNumberedDeviceNames)
        if (stem.size() == 4 && stem.starts_with(prefix) && stem[3] >= '1' && stem[3] <= '9')
            return true;
    return false;
}

/// Attributes of the entry itself (a link is not followed); nothing when missing.
std::optional<DWORD> attributesOf(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return attributes;
}

/// Opens a folder without following a reparse point; delete sharing is
/// withheld so that it stays this folder while it is held.
HANDLE openFolderHandle(const std::wstring& path, DWORD flags)
{
    return ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

bool isPlainFolder(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(handle, &info) != 0 &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

FILETIME fileTimeOf(std::int64_t seconds, std::uint32_t nanoseconds)
{
    // Times before 1601 cannot be written; they become its start.
    const std::int64_t since1601 = seconds + kFileTimeEpochSeconds;
    const std::uint64_t units =
        since1601 < 0 ? 0
                      : static_cast<std::uint64_t>(since1601) * static_cast<std::uint64_t>(kFileTimeUnitsPerSecond) +
                            (nanoseconds % 1000000000u) / 100u;
    FILETIME time{};
    time.dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(units >> 32);
    return time;
}

} // namespace

std::string windowsName(std::string_view utf8)
{
    std::string name = recovery::restrictedName(utf8);
    if (isDeviceName(name))
        name.insert(0, 1, '_');
    return name;
}

std::shared_ptr<WinOutputFolder> WinOutputFolder::open(const std::string& path, std::string& error)
{
    const std::wstring wide = wideOf(path);
    // The absolute form, then "\\?\" so that deep trees pass MAX_PATH.
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length = needed == 0 ? 0 : ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        error = path + ": " + systemMessage(::GetLastError());
        return nullptr;
    }
    full.resize(length);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    std::wstring extended = full;
    if (full.rfind(L"\\\\?\\", 0) != 0 && full.rfind(L"\\\\.\\", 0) != 0)
        extended = full.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
    if (extended.back() == L'\\')
        extended.pop_back(); // a drive's root: entries are appended with a separator
    const HANDLE handle = openFolderHandle(full, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        error = path + ": " + systemMessage(::GetLastError());
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(handle, &info) == 0 || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::CloseHandle(handle);
        error = path + ": not a folder";
        return nullptr;
    }
    return std::shared_ptr<WinOutputFolder>(new WinOutputFolder(handle, extended, path));
}

WinOutputFolder::~WinOutputFolder()
{
    ::CloseHandle(static_cast<HANDLE>(m_handle));
}

std::wstring WinOutputFolder::entryPath(std::string_view name) const
{
    if (!recovery::isSafeComponent(name))
        return {};
    return m_path + L"\\" + wideOf(windowsName(name));
}

bool WinOutputFolder::exists(std::string_view name) const
{
    const std::wstring path = entryPath(name);
    return !path.empty() && attributesOf(path).has_value();
}

std::shared_ptr<recovery::OutputFolder> WinOutputFolder::makeFolder(std::string_view name)
{
    const std::wstring path = entryPath(name);
    if (path.empty())
        return nullptr;
    (void)::CreateDirectoryW(path.c_str(), nullptr); // an existing folder is fine
    const HANDLE handle = openFolderHandle(path, FILE_FLAG_OPEN_REPARSE_POINT);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (!isPlainFolder(handle)) {
        ::CloseHandle(handle);
        return nullptr;
    }
    const std::string cleaned = windowsName(name);
    return std::shared_ptr<WinOutputFolder>(
        new WinOutputFolder(handle, path, m_display + (m_display.ends_with('\\') ? "" : "\\") + cleaned));
}

std::unique_ptr<recovery::OutputFile> WinOutputFolder::createFile(std::string_view name, bool replace)
{
    m_createError.clear();
    const std::wstring path = entryPath(name);
    if (path.empty())
        return nullptr;
    // CREATE_NEW fails on any entry of that name, a link included.
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        return makeOutputFile(handle);
    const DWORD code = ::GetLastError();
    m_createError = systemMessage(code);
    if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || !replace)
        return nullptr;
    // Replace only a plain file with no other links: never a reparse point, a
    // folder, a device, or a file whose content is shared with another name.
    handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_createError = systemMessage(::GetLastError());
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain = ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info) != 0 &&
                       (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
                       info.nNumberOfLinks == 1;
    if (!plain || ::SetEndOfFile(handle) == 0) {
        m_createError = "not a plain file of its own";
        ::CloseHandle(handle);
        return nullptr;
    }
    return makeOutputFile(handle);
}

std::string WinOutputFolder::rename(std::string_view from, std::string_view to, bool replace)
{
    const std::wstring source = entryPath(from);
    const std::wstring target = entryPath(to);
    if (source.empty() || target.empty())
        return "not a name of this folder";
    if (replace)
        if (const auto attributes = attributesOf(target);
            attributes && (*attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            return "not a plain file of its own";
    // Without MOVEFILE_REPLACE_EXISTING the move fails on a taken name.
    if (::MoveFileExW(source.c_str(), target.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0)
        return {};
    return systemMessage(::GetLastError());
}

bool WinOutputFolder::setTimes(std::string_view name, const recovery::EntryTimes& times)
{
    const std::wstring path = entryPath(name);
    if (path.empty())
        return false;
    const HANDLE handle =
        ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const FILETIME accessed = fileTimeOf(times.accessed, times.accessedNanoseconds);
    const FILETIME modified = fileTimeOf(times.modified, times.modifiedNanoseconds);
    const bool done = ::SetFileTime(handle, nullptr, &accessed, &modified) != 0;
    ::CloseHandle(handle);
    return done;
}

} // namespace sarvik::platform
