// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/SectorReader.h"

namespace sarvik::disk {

ReadStatus SectorReader::read(std::uint64_t sector, std::uint32_t count, MutableByteSpan buffer) const
{
    if (!m_source)
        return ReadStatus::NoDevice;
    const std::uint64_t bytes = std::uint64_t{count} * kSectorSize;
    if (buffer.size() < bytes)
        return ReadStatus::Failed;
    // A sector number whose byte offset does not fit 64 bits lies past any device.
    if (sector > (~std::uint64_t{0}) / kSectorSize)
        return ReadStatus::Short;
    return m_source->read(sector * kSectorSize, buffer.first(static_cast<std::size_t>(bytes)));
}

bool SectorReader::knownZero(std::uint64_t sector, std::uint32_t count) const
{
    if (!m_source || sector > (~std::uint64_t{0}) / kSectorSize)
        return false;
    return m_source->knownZeros(sector * kSectorSize) >= std::uint64_t{count} * kSectorSize;
}

} // namespace sarvik::disk
