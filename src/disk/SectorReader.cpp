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

int SectorReader::ReadSectors(std::uint32_t sectorLow, std::uint32_t sectorHigh, std::uint32_t count,
                              void* buffer) const
{
    if (!m_source)
        return -1;
    const std::uint64_t sector = (std::uint64_t{sectorHigh} << 32) | sectorLow;
    // The byte count is count * 512 in 32-bit arithmetic, as callers size their buffers.
    const std::uint32_t bytes = count * kSectorSize;
    if (bytes != 0 && sector <= (~std::uint64_t{0}) / kSectorSize)
        (void)m_source->read(sector * kSectorSize, MutableByteSpan(static_cast<std::byte*>(buffer), bytes));
    return 1;
}

} // namespace sarvik::disk
