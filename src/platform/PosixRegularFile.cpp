// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NativeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sarvik::platform {

namespace {

/// The most "NAME.N.part" names tried before giving up.
constexpr int kMostTemporaryNames = 1000;

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

/// The rename that never replaces: renameat2 where the file system has it,
/// else a hard link (which fails on an existing name) and the old name's
/// removal, else a look just before a plain rename.
bool renameWithoutReplacing(const std::string& from, const std::string& to, std::string& error)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        error = errno == EEXIST ? "the file exists (--force replaces it)" : std::strerror(errno);
        return false;
    }
    if (::link(from.c_str(), to.c_str()) == 0) {
        (void)::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) {
        error = "the file exists (--force replaces it)";
        return false;
    }
    if (const auto refused = refusedTarget(to, false)) {
        error = *refused;
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = std::strerror(errno);
    return false;
}

} // namespace

std::optional<std::string> refusedTarget(const std::string& path, bool replace)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt; // a missing name is free; a missing folder fails at creation
    if (!replace)
        return "the file exists (--force replaces it)";
    if (S_ISLNK(st.st_mode))
        return "a symbolic link; a snapshot is written only as a plain file";
    if (!S_ISREG(st.st_mode))
        return "not a plain file; a snapshot is written only as one";
    return std::nullopt;
}

std::optional<NativeFile> createBeside(const std::string& path, std::string& created, std::string& error)
{
    for (int n = 0; n < kMostTemporaryNames; ++n) {
        const std::string name = n == 0 ? path + ".part" : path + "." + std::to_string(n) + ".part";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            created = name;
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    error = std::strerror(errno);
    return std::nullopt;
}

bool syncFile(NativeFile file, std::string& error)
{
    while (::fsync(file) != 0) {
        if (errno == EINTR)
            continue;
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool moveIntoPlace(const std::string& from, const std::string& to, bool replace, std::string& error)
{
    if (replace) {
        // Checked again just before: something other than a plain file may have taken the name.
        if (const auto refused = refusedTarget(to, true)) {
            error = *refused;
            return false;
        }
        if (::rename(from.c_str(), to.c_str()) != 0) {
            error = std::strerror(errno);
            return false;
        }
    } else if (!renameWithoutReplacing(from, to, error)) {
        return false;
    }
    // The file's bytes were synced before it took its name; a folder that
    // cannot be synced (some file systems refuse) may at worst lose the new
    // name in a crash, never leave a cut file under it.
    const int folder = ::open(folderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)::fsync(folder);
        (void)::close(folder);
    }
    return true;
}

void removeFile(const std::string& path)
{
    (void)::unlink(path.c_str());
}

} // namespace sarvik::platform
