#include "platform/FileSystem.h"

#include "platform/PosixOutputFolder.h"

#include <cerrno>
#include <cstring>
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
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
        return std::strerror(errno);
    return {};
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
