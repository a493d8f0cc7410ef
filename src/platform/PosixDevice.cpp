// SPDX-License-Identifier: GPL-3.0-or-later
// Devices and image files on POSIX systems, opened read-only and read with
// pread; volume labels from libblkid.

#include "platform/Devices.h"

#include "disk/LostVolumes.h"
#include "disk/PartitionTable.h"
#include "platform/PartitionSource.h"

#include <algorithm>
#include <blkid/blkid.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sarvik::platform {

namespace {

/// The devices a service opened for this user, by path; each descriptor is
/// kept open until the process ends.
struct ServedDevices {
    std::mutex mutex;
    std::map<std::string, int> files;
};

ServedDevices& servedDevices()
{
    static ServedDevices served;
    return served;
}

/// A new descriptor of the served device `path`, -1 (errno set) when none is served.
int openServed(const std::string& path)
{
    ServedDevices& served = servedDevices();
    const std::lock_guard lock(served.mutex);
    const auto found = served.files.find(path);
    if (found == served.files.end()) {
        errno = ENOENT;
        return -1;
    }
    return ::fcntl(found->second, F_DUPFD_CLOEXEC, 0);
}

/// `path` opened read-only: the served descriptor's copy when there is one.
int openForReading(const std::string& path)
{
    if (deviceServed(path))
        return openServed(path);
    // Without O_NONBLOCK, opening a named pipe waits for a writer, forever;
    // with it, the open returns and the type check below refuses the pipe.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0)
            (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

/// What a file that is neither an image nor a block device is, for the refusal.
const char* kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a named pipe (FIFO)";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISDIR(mode))
        return "a folder";
    return "something else";
}

} // namespace

bool serveDevice(const std::string& path, NativeFile file, std::string& error)
{
    const int copy = ::fcntl(file, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    ServedDevices& served = servedDevices();
    const std::lock_guard lock(served.mutex);
    const auto [at, added] = served.files.emplace(path, copy);
    if (!added) {
        ::close(at->second);
        at->second = copy;
    }
    return true;
}

bool deviceServed(const std::string& path)
{
    ServedDevices& served = servedDevices();
    const std::lock_guard lock(served.mutex);
    return served.files.contains(path);
}

void stopServing(const std::string& path)
{
    ServedDevices& served = servedDevices();
    const std::lock_guard lock(served.mutex);
    if (const auto found = served.files.find(path); found != served.files.end()) {
        ::close(found->second);
        served.files.erase(found);
    }
}

std::optional<OpenedDevice> openDevice(const std::string& path, std::string& error, bool& accessDenied)
{
    // Told before any open: a socket cannot be opened at all, a pipe blocks.
    if (struct stat before{}; !deviceServed(path) && ::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode) &&
                              !S_ISBLK(before.st_mode)) {
        error = path + ": " + kindOf(before.st_mode) + ", not a disk image or block device";
        accessDenied = false;
        return std::nullopt;
    }
    const int fd = openForReading(path);
    if (fd < 0) {
        const int openError = errno;
        accessDenied = openError == EACCES || openError == EPERM;
        // Raw devices belong to root and the disk group: say how to get in. Root
        // itself refused (a security module, a read-only lock) is told the
        // system's own reason; asking it to be root would help nobody.
        struct stat st {};
        if (accessDenied && ::geteuid() != 0 && ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            error = path + ": permission denied: run it as root (sudo) or join the disk group";
        else if (accessDenied && ::geteuid() == 0)
            error = path + ": " + std::strerror(openError) +
                    " even for root: a security policy (SELinux, AppArmor) or the device itself refuses it";
        else
            error = path + ": " + std::strerror(openError);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return std::nullopt;
    }
    // pread takes any range: no read needs whole sectors.
    OpenedDevice device{fd, 0, 1};
    if (S_ISREG(st.st_mode)) {
        device.size = static_cast<std::uint64_t>(st.st_size);
    } else if (S_ISBLK(st.st_mode)) {
        if (::ioctl(fd, BLKGETSIZE64, &device.size) != 0) {
            error = path + ": " + std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
    } else {
        error = path + ": " + kindOf(st.st_mode) + ", not a disk image or block device";
        ::close(fd);
        return std::nullopt;
    }
    return device;
}

bool readAt(NativeFile file, std::uint64_t offset, std::byte* into, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(file, into + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return false; // the device shrank under us
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> fileHoles(NativeFile file, std::uint64_t size, std::size_t limit)
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> holes;
    struct stat st {};
    if (::fstat(file, &st) != 0 || !S_ISREG(st.st_mode))
        return holes;
    // SEEK_HOLE and SEEK_DATA move the file offset, which pread does not use.
    std::uint64_t at = 0;
    while (at < size && holes.size() < limit) {
        const off_t hole = ::lseek(file, static_cast<off_t>(at), SEEK_HOLE);
        if (hole < 0 || static_cast<std::uint64_t>(hole) >= size)
            break; // no hole before the end, or holes not reported here
        const off_t data = ::lseek(file, hole, SEEK_DATA);
        if (data < 0 && errno != ENXIO)
            break;
        const std::uint64_t end = data < 0 ? size : std::min<std::uint64_t>(static_cast<std::uint64_t>(data), size);
        if (end <= static_cast<std::uint64_t>(hole))
            break;
        holes.emplace_back(static_cast<std::uint64_t>(hole), end);
        at = end;
    }
    return holes;
}

std::optional<std::string> readVolumeLabel(const std::string& path)
{
    // The label libblkid finds; a partition "PATH@N" is probed inside its
    // disk, at its own offset.
    const disk::PartitionPath split = resolvePartitionPath(path);
    std::optional<disk::Partition> window;
    if (split.shadow != 0)
        return std::nullopt; // the live volume's label may not be the copy's: it is read from the copy
    if (split.isPart()) {
        const auto whole = SystemBlockSource::open(split.path);
        if (!whole)
            return std::nullopt;
        if (split.region) {
            const std::uint64_t end = split.size == 0 ? whole->size() : split.offset + split.size;
            if (split.offset % disk::kSectorSize == 0 && split.offset < end)
                window = disk::Partition{0,
                                         split.offset / disk::kSectorSize,
                                         (std::min(end, whole->size()) - split.offset) / disk::kSectorSize,
                                         0,
                                         false,
                                         {},
                                         {}};
        } else if (split.lost) {
            if (const auto lost = lostVolume(split.path, split.number))
                window = disk::Partition{split.number, lost->firstSector, lost->sectors, 0, false, {}, {}};
        } else {
            for (const disk::Partition& p : disk::ReadPartitionTable(*whole).partitions)
                if (p.number == split.number)
                    window = p;
        }
        if (!window)
            return std::nullopt;
    }
    blkid_probe probe = nullptr;
    int fd = -1;
    if (window) {
        fd = openForReading(split.path);
        probe = fd < 0 ? nullptr : blkid_new_probe();
        if (probe != nullptr &&
            blkid_probe_set_device(probe, fd, static_cast<blkid_loff_t>(window->firstSector * disk::kSectorSize),
                                   static_cast<blkid_loff_t>(window->sectors * disk::kSectorSize)) != 0) {
            blkid_free_probe(probe);
            probe = nullptr;
        }
    } else if (deviceServed(path)) {
        // A device served by a descriptor may not be opened by its name.
        fd = openServed(path);
        probe = fd < 0 ? nullptr : blkid_new_probe();
        if (probe != nullptr && blkid_probe_set_device(probe, fd, 0, 0) != 0) {
            blkid_free_probe(probe);
            probe = nullptr;
        }
    } else {
        probe = blkid_new_probe_from_filename(path.c_str());
    }
    if (probe == nullptr) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
    std::optional<std::string> label;
    if (blkid_do_safeprobe(probe) == 0) {
        const char* value = nullptr;
        std::size_t length = 0;
        if (blkid_probe_lookup_value(probe, "LABEL", &value, &length) == 0 && value != nullptr)
            label = std::string(value);
    }
    blkid_free_probe(probe);
    if (fd >= 0)
        ::close(fd);
    return label;
}

bool runningAsAdministrator()
{
    return ::geteuid() == 0;
}

bool accessRefused(const std::string& path)
{
    return !deviceServed(path) && ::access(path.c_str(), R_OK) != 0 && (errno == EACCES || errno == EPERM);
}

} // namespace sarvik::platform
