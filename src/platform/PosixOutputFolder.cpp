// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixOutputFolder.h"

#include "platform/NativeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace sarvik::platform {

namespace {

/// The system's reason, with the limit named where one was reached.
std::string systemReason(int error)
{
    if (error == EMFILE)
        return std::string("the process's limit of open files is reached (") + std::strerror(error) + ")";
    if (error == ENFILE)
        return std::string("the system's limit of open files is reached (") + std::strerror(error) + ")";
    return std::strerror(error);
}

} // namespace

struct PosixOutputFolder::OpenFolders {
    std::list<const PosixOutputFolder*> order; ///< least recently used first
    /// The files never emptied or replaced (keepOff): device and inode.
    std::vector<std::pair<dev_t, ino_t>> kept;

    [[nodiscard]] bool isKept(const struct stat& st) const
    {
        return std::find(kept.begin(), kept.end(), std::pair{st.st_dev, st.st_ino}) != kept.end();
    }

    void touch(const PosixOutputFolder* folder)
    {
        const auto it = std::find(order.begin(), order.end(), folder);
        if (it != order.end())
            order.splice(order.end(), order, it);
    }
    /// Adds `folder` as the latest used, closing the least recently used
    /// descriptors beyond the budget.
    void add(const PosixOutputFolder* folder)
    {
        order.push_back(folder);
        while (order.size() > kOpenSubfolders) {
            const PosixOutputFolder* oldest = order.front();
            order.pop_front();
            ::close(oldest->m_fd);
            oldest->m_fd = -1;
        }
    }
    void remove(const PosixOutputFolder* folder) { order.remove(folder); }
};

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

PosixOutputFolder::PosixOutputFolder(int fd, std::string path)
    : m_fd(fd), m_path(std::move(path)), m_open(std::make_shared<OpenFolders>())
{
}

PosixOutputFolder::PosixOutputFolder(std::shared_ptr<PosixOutputFolder> parent, std::string name, std::string path)
    : m_path(std::move(path)), m_parent(std::move(parent)), m_name(std::move(name)), m_open(m_parent->m_open)
{
}

PosixOutputFolder::~PosixOutputFolder()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        if (m_parent)
            m_open->remove(this);
    }
}

int PosixOutputFolder::fd() const
{
    if (!m_parent || m_fd >= 0) {
        if (m_parent)
            m_open->touch(this);
        return m_fd;
    }
    const int parentFd = m_parent->fd();
    if (parentFd < 0)
        return -1;
    const int opened = ::openat(parentFd, m_name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (opened < 0)
        return -1;
    // Something else put in its place since it was closed is not written into.
    struct stat st {};
    if (::fstat(opened, &st) != 0 || st.st_dev != m_device || st.st_ino != m_inode) {
        ::close(opened);
        errno = ESTALE;
        return -1;
    }
    m_fd = opened;
    m_open->add(this);
    return m_fd;
}

void PosixOutputFolder::keepOff(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            m_open->kept.emplace_back(st.st_dev, st.st_ino);
    }
}

bool PosixOutputFolder::keptOff(std::string_view name) const
{
    const int dir = fd();
    if (dir < 0 || !recovery::isSafeComponent(name) || m_open->kept.empty())
        return false;
    const std::string n(name);
    struct stat st {};
    return ::fstatat(dir, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && m_open->isKept(st);
}

bool PosixOutputFolder::exists(std::string_view name) const
{
    const int dir = fd();
    if (!recovery::isSafeComponent(name))
        return false;
    const std::string n(name);
    struct stat st {};
    return ::fstatat(dir, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::shared_ptr<recovery::OutputFolder> PosixOutputFolder::makeFolder(std::string_view name)
{
    m_createError.clear();
    if (!recovery::isSafeComponent(name))
        return nullptr;
    const std::string n(name);
    const int dir = fd();
    if (dir < 0) {
        m_createError = systemReason(errno);
        return nullptr;
    }
    errno = 0;
    const bool made = ::mkdirat(dir, n.c_str(), 0777) == 0 || errno == EEXIST; // an existing folder is fine
    const int madeError = errno;
    const int child = ::openat(dir, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) {
        m_createError = systemReason(made ? errno : madeError);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(child, &st) != 0) {
        ::close(child);
        return nullptr;
    }
    std::shared_ptr<PosixOutputFolder> folder(
        new PosixOutputFolder(shared_from_this(), n, m_path + (m_path.ends_with('/') ? "" : "/") + n));
    folder->m_device = st.st_dev;
    folder->m_inode = st.st_ino;
    folder->m_fd = child;
    m_open->add(folder.get());
    return folder;
}

std::unique_ptr<recovery::OutputFile> PosixOutputFolder::createFile(std::string_view name, bool replace)
{
    m_createError.clear();
    if (!recovery::isSafeComponent(name))
        return nullptr;
    const int dir = fd();
    if (dir < 0) {
        m_createError = std::string("its folder could not be opened again: ") + std::strerror(errno);
        return nullptr;
    }
    const std::string n(name);
    int file = ::openat(dir, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file >= 0)
        return makeOutputFile(file);
    m_createError = systemReason(errno);
    if (errno != EEXIST || !replace)
        return nullptr;
    // Replace only a plain file with no other links: never a link, a device, a
    // pipe, or a file whose content is shared with a name outside the folder.
    // O_NONBLOCK keeps a planted pipe from blocking the open.
    file = ::openat(dir, n.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        m_createError = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(file, &st) == 0 && m_open->isKept(st)) {
        m_createError = std::string(recovery::kKeptOffText);
        ::close(file);
        return nullptr;
    }
    if (::fstat(file, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || ::ftruncate(file, 0) != 0) {
        m_createError = "not a plain file of its own";
        ::close(file);
        return nullptr;
    }
    const int flags = ::fcntl(file, F_GETFL);
    if (flags >= 0)
        (void)::fcntl(file, F_SETFL, flags & ~O_NONBLOCK);
    return makeOutputFile(file);
}

std::string PosixOutputFolder::rename(std::string_view from, std::string_view to, bool replace)
{
    const int dir = fd();
    if (!recovery::isSafeComponent(from) || !recovery::isSafeComponent(to))
        return "not a name of this folder";
    const std::string source(from);
    const std::string target(to);
    struct stat st {};
    const bool taken = ::fstatat(dir, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (taken && !replace)
        return std::strerror(EEXIST);
    if (taken && !S_ISREG(st.st_mode))
        return "not a plain file of its own";
    if (taken && m_open->isKept(st))
        return std::string(recovery::kKeptOffText);
    if (replace)
        return ::renameat(dir, source.c_str(), dir, target.c_str()) == 0 ? std::string{} : std::strerror(errno);
    // The name must stay free until the file takes it: RENAME_NOREPLACE where
    // the file system has it, else a hard link (which fails on a taken name),
    // else (FAT and exFAT through FUSE have neither) the check above.
    if (::renameat2(dir, source.c_str(), dir, target.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno == EEXIST)
        return std::strerror(errno);
    if (::linkat(dir, source.c_str(), dir, target.c_str(), 0) == 0) {
        (void)::unlinkat(dir, source.c_str(), 0);
        return {};
    }
    if (errno == EEXIST)
        return std::strerror(errno);
    return ::renameat(dir, source.c_str(), dir, target.c_str()) == 0 ? std::string{} : std::strerror(errno);
}

bool PosixOutputFolder::setTimes(std::string_view name, const recovery::EntryTimes& times)
{
    const int dir = fd();
    if (!recovery::isSafeComponent(name))
        return false;
    const std::string component(name);
    struct timespec values[2]{};
    values[0].tv_sec = static_cast<time_t>(times.accessed);
    values[1].tv_sec = static_cast<time_t>(times.modified);
    values[0].tv_nsec = static_cast<long>(times.accessedNanoseconds % 1000000000u);
    values[1].tv_nsec = static_cast<long>(times.modifiedNanoseconds % 1000000000u);
    return ::utimensat(dir, component.c_str(), values, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace sarvik::platform
