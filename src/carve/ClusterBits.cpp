// SPDX-License-Identifier: GPL-3.0-or-later
#include "carve/ClusterBits.h"

#include <algorithm>
#include <bit>

namespace sarvik::carve {

namespace {
constexpr std::uint64_t kAll = ~std::uint64_t{0};

/// Bits [from, to) of a word, 0 <= from < to <= 64.
std::uint64_t bitsBetween(unsigned from, unsigned to) noexcept
{
    const std::uint64_t upTo = to == 64 ? kAll : (std::uint64_t{1} << to) - 1;
    return upTo & (kAll << from);
}
} // namespace

ClusterBits::ClusterBits(std::span<const std::byte> bitmap, std::uint64_t clusters)
    : m_words(static_cast<std::size_t>((clusters + 63) / 64)), m_clusters(clusters)
{
    const std::size_t bytes = std::min<std::uint64_t>(bitmap.size(), (clusters + 7) / 8);
    for (std::size_t i = 0; i < bytes; ++i)
        m_words[i / 8] |= std::uint64_t{std::to_integer<std::uint8_t>(bitmap[i])} << (8 * (i % 8));
    // Clusters past the end count as claimed, so that no walk runs past it.
    if (const auto used = static_cast<unsigned>(clusters % 64); used != 0)
        m_words.back() |= kAll << used;
}

bool ClusterBits::claimed(std::uint64_t cluster) const noexcept
{
    return cluster >= m_clusters || (m_words[static_cast<std::size_t>(cluster / 64)] >> (cluster % 64) & 1u) != 0;
}

void ClusterBits::claim(std::uint64_t from, std::uint64_t to) noexcept
{
    to = std::min(to, m_clusters);
    while (from < to) {
        const std::uint64_t word = from / 64;
        const auto low = static_cast<unsigned>(from % 64);
        const auto high = static_cast<unsigned>(std::min<std::uint64_t>(64, to - word * 64));
        m_words[static_cast<std::size_t>(word)] |= bitsBetween(low, high);
        from = word * 64 + high;
    }
}

std::uint64_t ClusterBits::nextFree(std::uint64_t from) const noexcept
{
    for (std::uint64_t word = from / 64; from < m_clusters; from = ++word * 64) {
        // The clear bits of the word at or after `from`.
        const std::uint64_t clear = ~m_words[static_cast<std::size_t>(word)] & (kAll << (from % 64));
        if (clear != 0)
            return std::min(word * 64 + static_cast<unsigned>(std::countr_zero(clear)), m_clusters);
    }
    return m_clusters;
}

std::uint64_t ClusterBits::nextClaimed(std::uint64_t from) const noexcept
{
    for (std::uint64_t word = from / 64; from < m_clusters; from = ++word * 64) {
        const std::uint64_t set = m_words[static_cast<std::size_t>(word)] & (kAll << (from % 64));
        if (set != 0)
            return std::min(word * 64 + static_cast<unsigned>(std::countr_zero(set)), m_clusters);
    }
    return m_clusters;
}

} // namespace sarvik::carve
