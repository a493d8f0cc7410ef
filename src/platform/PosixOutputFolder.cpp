#include "platform/PosixOutputFolder.h"

#include "platform/NativeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sarvik::platform {

std::shared_ptr<PosixOutputFolder> PosixOutputFolder::open(const std::string& path, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    // Found now rather than at the first file, after a scan that may take hours.
    if (::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::make_shared<PosixOutputFolder>(fd, path);
}

PosixOutputFolder::~PosixOutputFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PosixOutputFolder::exists(std::string_view name) const
{
    if (!recovery::isSafeComponent(name))
        return false;
    const std::string n(name);
    struct stat st {};
    return ::fstatat(m_fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::shared_ptr<recovery::OutputFolder> PosixOutputFolder::makeFolder(std::string_view name)
{
    if (!recovery::isSafeComponent(name))
        return nullptr;
    const std::string n(name);
    (void)::mkdirat(m_fd, n.c_str(), 0777); // an existing folder is fine
    const int fd = ::openat(m_fd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::make_shared<PosixOutputFolder>(fd, m_path + (m_path.ends_with('/') ? "" : "/") + n);
}

std::unique_ptr<recovery::OutputFile> PosixOutputFolder::createFile(std::string_view name, bool replace)
{
    m_createError.clear();
    if (!recovery::isSafeComponent(name))
        return nullptr;
    const std::string n(name);
    int fd = ::openat(m_fd, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0)
        return makeOutputFile(fd);
    m_createError = std::strerror(errno);
    if (errno != EEXIST || !replace)
        return nullptr;
    // Replace only a plain file with no other links: never a link, a device, a
    // pipe, or a file whose content is shared with a name outside the folder.
    // O_NONBLOCK keeps a planted pipe from blocking the open.
    fd = ::openat(m_fd, n.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_createError = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || ::ftruncate(fd, 0) != 0) {
        m_createError = "not a plain file of its own";
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return makeOutputFile(fd);
}

std::string PosixOutputFolder::rename(std::string_view from, std::string_view to, bool replace)
{
    if (!recovery::isSafeComponent(from) || !recovery::isSafeComponent(to))
        return "not a name of this folder";
    const std::string source(from);
    const std::string target(to);
    struct stat st {};
    const bool taken = ::fstatat(m_fd, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (taken && !replace)
        return std::strerror(EEXIST);
    if (taken && !S_ISREG(st.st_mode))
        return "not a plain file of its own";
    if (replace)
        return ::renameat(m_fd, source.c_str(), m_fd, target.c_str()) == 0 ? std::string{} : std::strerror(errno);
    // The name must stay free until the file takes it: RENAME_NOREPLACE where
    // the file system has it, else a hard link (which fails on a taken name),
    // else (FAT and exFAT through FUSE have neither) the check above.
    if (::renameat2(m_fd, source.c_str(), m_fd, target.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno == EEXIST)
        return std::strerror(errno);
    if (::linkat(m_fd, source.c_str(), m_fd, target.c_str(), 0) == 0) {
        (void)::unlinkat(m_fd, source.c_str(), 0);
        return {};
    }
    if (errno == EEXIST)
        return std::strerror(errno);
    return ::renameat(m_fd, source.c_str(), m_fd, target.c_str()) == 0 ? std::string{} : std::strerror(errno);
}

bool PosixOutputFolder::setTimes(std::string_view name, const recovery::EntryTimes& times)
{
    if (!recovery::isSafeComponent(name))
        return false;
    const std::string component(name);
    struct timespec values[2]{};
    values[0].tv_sec = static_cast<time_t>(times.accessed);
    values[1].tv_sec = static_cast<time_t>(times.modified);
    values[0].tv_nsec = static_cast<long>(times.accessedNanoseconds % 1000000000u);
    values[1].tv_nsec = static_cast<long>(times.modifiedNanoseconds % 1000000000u);
    return ::utimensat(m_fd, component.c_str(), values, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace sarvik::platform
