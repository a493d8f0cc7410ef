// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include "platform/PosixOutputFolder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace sarvik::platform {

std::filesystem::path pathOf(const std::string& utf8)
{
    return {utf8};
}

std::string pathText(const std::filesystem::path& path)
{
    return path.string();
}

bool isDevice(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_block_file(path, ec);
}

std::string deviceName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

std::string createFolder(const std::string& path)
{
    // Missing parents are made too, as mkdir -p does.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path), ec);
    return ec ? ec.message() : std::string{};
}

std::FILE* openOutputText(const std::string& path, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        error = std::strerror(errno);
    return file;
}

std::shared_ptr<recovery::OutputFolder> openOutputFolder(const std::string& path, std::string& error)
{
    return PosixOutputFolder::open(path, error);
}

} // namespace sarvik::platform
