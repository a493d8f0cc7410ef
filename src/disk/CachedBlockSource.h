// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A source that keeps the last blocks it read of another source. Metadata
// readers look up allocation-table entries and MFT records one sector or one
// record at a time, often the same ones again; reading whole aligned blocks and
// keeping a few of them turns tens of thousands of small reads into a handful.
//
// A block that cannot be read whole is not kept: the request is then passed to
// the source as it was asked, so a bad sector fails exactly the reads that touch
// it, as without the cache. Not for use by two threads at once.

#include "disk/BlockSource.h"

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

namespace sarvik::disk {

class CachedBlockSource final : public BlockSource {
public:
    /// Bytes per cached block, and how many blocks are kept (4 MiB in all).
    static constexpr std::uint64_t kBlockBytes = 64 * 1024;
    static constexpr std::size_t kMaxBlocks = 64;

    explicit CachedBlockSource(std::shared_ptr<const BlockSource> base) : m_base(std::move(base)) {}
    [[nodiscard]] std::uint64_t size() const override { return m_base ? m_base->size() : 0; }
    /// Requests that lie within one block are served from the cache; others go
    /// to the source unchanged.
    [[nodiscard]] ReadStatus read(std::uint64_t offset, MutableByteSpan buffer) const override;
    /// What the source knows to read as zeros, unchanged.
    [[nodiscard]] std::uint64_t knownZeros(std::uint64_t offset) const override
    {
        return m_base ? m_base->knownZeros(offset) : 0;
    }

    /// Reads the source was asked for (for tests and benchmarks).
    [[nodiscard]] std::uint64_t sourceReads() const noexcept { return m_sourceReads; }

private:
    struct Block {
        std::uint64_t index = 0;
        std::vector<std::byte> bytes; ///< shorter than kBlockBytes only for the source's last block
    };
    /// The block `index`, read and kept when not yet kept; null when it cannot be read whole.
    const Block* block(std::uint64_t index) const;
    ReadStatus passThrough(std::uint64_t offset, MutableByteSpan buffer) const;

    std::shared_ptr<const BlockSource> m_base;
    /// Most recently used first.
    mutable std::list<Block> m_blocks;
    mutable std::uint64_t m_sourceReads = 0;
};

} // namespace sarvik::disk
