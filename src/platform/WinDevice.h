#pragma once
// Volumes (\\.\C:), disks (\\.\PhysicalDrive0) and image files on Windows,
// opened read-only with CreateFileW and read at absolute offsets.

#include "disk/Volume.h"

#include <memory>
#include <string>

namespace sarvik::platform {

/// True when `path` names a raw volume or disk ("\\.\C:", "\\?\Volume{...}",
/// "\\.\PhysicalDrive0") rather than a file.
[[nodiscard]] bool isRawDevicePath(const std::string& path);

/// A volume, disk or image file opened with GENERIC_READ, sharing reads and
/// writes with the system that has it mounted. A raw device takes only reads
/// of whole sectors into sector-aligned memory: other reads go through an
/// aligned bounce buffer.
class WinBlockSource final : public disk::BlockSource {
public:
    /// Opens `path` read-only; nothing, with the reason in `error`, when it
    /// cannot be opened (a raw device without administrator rights says so).
    /// `sectorBytes` (a power of two) reads an image in whole aligned sectors
    /// as a device of that sector size must be read; 0 takes the device's own.
    static std::shared_ptr<WinBlockSource> open(const std::string& path, std::string* error = nullptr,
                                                bool* accessDenied = nullptr, std::uint32_t sectorBytes = 0);
    ~WinBlockSource() override;
    WinBlockSource(const WinBlockSource&) = delete;
    WinBlockSource& operator=(const WinBlockSource&) = delete;

    [[nodiscard]] std::uint64_t size() const override { return m_size; }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override;

private:
    WinBlockSource(void* handle, std::uint64_t size, std::uint32_t sectorBytes)
        : m_handle(handle), m_size(size), m_sectorBytes(sectorBytes)
    {
    }
    /// Reads exactly `length` bytes at `offset` into `into`, both aligned as the device wants.
    [[nodiscard]] bool readExactly(std::uint64_t offset, std::byte* into, std::size_t length) const;

    void* m_handle;
    std::uint64_t m_size;
    std::uint32_t m_sectorBytes; ///< 1 for a file: any read will do
};

} // namespace sarvik::platform
