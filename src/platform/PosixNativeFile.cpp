#include "platform/NativeFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace sarvik::platform {

bool writeAll(NativeFile file, disk::ByteSpan bytes, std::string& error)
{
    const std::byte* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(file, at, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            return false;
        }
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool closeFile(NativeFile file, std::string& error)
{
    if (::close(file) == 0)
        return true;
    error = std::strerror(errno);
    return false;
}

} // namespace sarvik::platform
