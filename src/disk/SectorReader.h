// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way a volume is read: whole 512-byte sectors, numbered from the
// volume's boot sector. Never writes.

#include "disk/BlockSource.h"

#include <cstdint>
#include <memory>
#include <string>

namespace sarvik::disk {

inline constexpr std::uint32_t kSectorSize = 512;

class SectorReader {
public:
    SectorReader() = default;
    SectorReader(std::string devicePath, std::shared_ptr<const BlockSource> source)
        : m_devicePath(std::move(devicePath)), m_source(std::move(source))
    {
    }

    /// Points the reader at another device; an empty source makes every read fail.
    void setDevice(std::string devicePath, std::shared_ptr<const BlockSource> source)
    {
        m_devicePath = std::move(devicePath);
        m_source = std::move(source);
    }

    /// The device being read: a block device or an image file path; a single blank
    /// when the selected volume cannot be scanned.
    [[nodiscard]] const std::string& DevicePath() const noexcept { return m_devicePath; }
    [[nodiscard]] const std::shared_ptr<const BlockSource>& source() const noexcept { return m_source; }
    [[nodiscard]] bool isOpen() const noexcept { return m_source != nullptr; }

    /// Reads `count` sectors from `sector` on into `buffer` (at least count * 512 bytes).
    /// A read that reaches past the end of the device reads nothing and leaves the
    /// buffer as it was; a failed read leaves it unspecified. Engines look at the
    /// status and never take a failed read for data.
    [[nodiscard]] ReadStatus read(std::uint64_t sector, std::uint32_t count, MutableByteSpan buffer) const;
    /// True when the source knows that `count` sectors from `sector` on read as
    /// zeros (a hole of a sparse image), so that they need not be read.
    [[nodiscard]] bool knownZero(std::uint64_t sector, std::uint32_t count) const;

private:
    std::string m_devicePath;
    std::shared_ptr<const BlockSource> m_source;
};

} // namespace sarvik::disk
