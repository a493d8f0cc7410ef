// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/BlockSource.h"

#include <algorithm>
#include <cstring>

namespace sarvik::disk {

ReadStatus MemoryBlockSource::read(std::uint64_t offset, MutableByteSpan buffer) const
{
    if (!fitsIn(m_bytes.size(), offset, buffer.size()))
        return ReadStatus::Short;
    for (const Range& bad : m_bad)
        if (offset < bad.offset + bad.length && bad.offset < offset + buffer.size())
            return ReadStatus::Failed;
    if (!buffer.empty())
        std::memcpy(buffer.data(), m_bytes.data() + offset, buffer.size());
    return ReadStatus::Ok;
}

OffsetBlockSource::OffsetBlockSource(std::shared_ptr<const BlockSource> base, std::uint64_t offset,
                                     std::uint64_t length)
    : m_base(std::move(base)), m_offset(offset), m_length(0)
{
    const std::uint64_t baseSize = m_base ? m_base->size() : 0;
    if (offset <= baseSize)
        m_length = std::min(length, baseSize - offset);
}

ReadStatus OffsetBlockSource::read(std::uint64_t offset, MutableByteSpan buffer) const
{
    if (offset > m_length || buffer.size() > m_length - offset)
        return ReadStatus::Short;
    return m_base->read(m_offset + offset, buffer);
}

std::uint64_t OffsetBlockSource::knownZeros(std::uint64_t offset) const
{
    if (offset >= m_length)
        return 0;
    return std::min(m_base->knownZeros(m_offset + offset), m_length - offset);
}

} // namespace sarvik::disk
