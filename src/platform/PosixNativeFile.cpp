// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NativeFile.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace sarvik::platform {

bool writeAll(NativeFile file, disk::ByteSpan bytes, std::string& error, std::size_t* written)
{
    const std::byte* at = bytes.data();
    std::size_t left = bytes.size();
    const auto done = [&] {
        if (written != nullptr)
            *written = bytes.size() - left;
    };
    while (left > 0) {
        const ssize_t n = ::write(file, at, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            done();
            return false;
        }
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    done();
    return true;
}

SkipResult skipAhead(NativeFile file, std::uint64_t count, std::string& error)
{
    if (count > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        error = std::strerror(EFBIG);
        return SkipResult::Failed;
    }
    if (::lseek(file, static_cast<off_t>(count), SEEK_CUR) >= 0)
        return SkipResult::Skipped;
    if (errno == ESPIPE)
        return SkipResult::CannotSeek;
    error = std::strerror(errno);
    return SkipResult::Failed;
}

bool endAtPosition(NativeFile file, std::string& error)
{
    const off_t position = ::lseek(file, 0, SEEK_CUR);
    if (position >= 0 && ::ftruncate(file, position) == 0)
        return true;
    error = std::strerror(errno);
    return false;
}

bool closeFile(NativeFile file, std::string& error)
{
    if (::close(file) == 0)
        return true;
    error = std::strerror(errno);
    return false;
}

} // namespace sarvik::platform
