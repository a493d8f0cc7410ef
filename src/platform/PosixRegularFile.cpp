#include "platform/NativeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sarvik::platform {

std::optional<NativeFile> openRegularFile(const std::string& path, bool replace, std::string& error)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        if (!replace) {
            error = "the file exists (--force replaces it)";
            return std::nullopt;
        }
        // O_NONBLOCK keeps a pipe from blocking the open; it is refused below.
        fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd);
            error = "not a plain file; a snapshot is written only as one";
            return std::nullopt;
        }
        if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
            error = std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
    }
    if (fd < 0) {
        error = errno == ELOOP ? "a symbolic link; a snapshot is written only as a plain file" : std::strerror(errno);
        return std::nullopt;
    }
    return fd;
}

} // namespace sarvik::platform
