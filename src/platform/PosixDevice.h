#pragma once
// Devices and image files on POSIX systems, opened read-only and read with pread.

#include "disk/Volume.h"

#include <memory>
#include <string>

namespace sarvik::platform {

/// A block device or an image file opened with O_RDONLY. Nothing in this
/// program can write through it.
class PosixBlockSource final : public disk::BlockSource {
public:
    /// Opens `path` read-only; nothing when it cannot be opened or is not a
    /// regular file or block device. `error` receives the reason.
    static std::shared_ptr<PosixBlockSource> open(const std::string& path, std::string* error = nullptr);
    ~PosixBlockSource() override;
    PosixBlockSource(const PosixBlockSource&) = delete;
    PosixBlockSource& operator=(const PosixBlockSource&) = delete;

    [[nodiscard]] std::uint64_t size() const override { return m_size; }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override;

private:
    PosixBlockSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    int m_fd;
    std::uint64_t m_size;
};

} // namespace sarvik::platform
