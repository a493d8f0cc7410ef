// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/CachedBlockSource.h"

#include <algorithm>
#include <cstring>

namespace sarvik::disk {

ReadStatus CachedBlockSource::passThrough(std::uint64_t offset, MutableByteSpan buffer) const
{
    if (!m_base)
        return ReadStatus::NoDevice;
    ++m_sourceReads;
    return m_base->read(offset, buffer);
}

const CachedBlockSource::Block* CachedBlockSource::block(std::uint64_t index) const
{
    for (auto it = m_blocks.begin(); it != m_blocks.end(); ++it) {
        if (it->index == index) {
            m_blocks.splice(m_blocks.begin(), m_blocks, it);
            return &m_blocks.front();
        }
    }
    const std::uint64_t start = index * kBlockBytes;
    const std::uint64_t total = size();
    if (start >= total)
        return nullptr;
    Block fresh{index, std::vector<std::byte>(static_cast<std::size_t>(std::min(kBlockBytes, total - start)))};
    if (passThrough(start, fresh.bytes) != ReadStatus::Ok)
        return nullptr;
    if (m_blocks.size() >= kMaxBlocks)
        m_blocks.pop_back();
    m_blocks.push_front(std::move(fresh));
    return &m_blocks.front();
}

ReadStatus CachedBlockSource::read(std::uint64_t offset, MutableByteSpan buffer) const
{
    const std::uint64_t total = size();
    if (buffer.empty() || offset > total || buffer.size() > total - offset)
        return passThrough(offset, buffer);
    const std::uint64_t index = offset / kBlockBytes;
    const std::uint64_t within = offset % kBlockBytes;
    if (within + buffer.size() > kBlockBytes)
        return passThrough(offset, buffer);
    const Block* cached = block(index);
    if (cached == nullptr)
        return passThrough(offset, buffer);
    std::memcpy(buffer.data(), cached->bytes.data() + within, buffer.size());
    return ReadStatus::Ok;
}

} // namespace sarvik::disk
