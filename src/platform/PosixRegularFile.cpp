#include "platform/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sarvik::platform {

namespace {

bool fail(std::string& error, const std::string& path, const char* reason)
{
    error = path + ": " + reason;
    return false;
}

} // namespace

bool writeRegularFile(const std::string& path, std::span<const std::byte> bytes, bool replace, std::string& error)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        if (!replace)
            return fail(error, path, "the file exists (--force replaces it)");
        // O_NONBLOCK keeps a pipe from blocking the open; it is refused below.
        fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd);
            return fail(error, path, "not a plain file; a snapshot is written only as one");
        }
        if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
            const int saved = errno;
            ::close(fd);
            return fail(error, path, std::strerror(saved));
        }
    }
    if (fd < 0)
        return fail(error, path,
                    errno == ELOOP ? "a symbolic link; a snapshot is written only as a plain file"
                                   : std::strerror(errno));
    const std::byte* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int saved = errno;
            ::close(fd);
            return fail(error, path, std::strerror(saved));
        }
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        return fail(error, path, std::strerror(errno));
    return true;
}

} // namespace sarvik::platform
