// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/CachedBlockSource.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace sarvik::disk {
namespace {

/// A source of `bytes` bytes whose byte i holds i mod 251.
std::shared_ptr<MemoryBlockSource> numberedSource(std::size_t bytes)
{
    std::vector<std::byte> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<std::byte>(i % 251);
    return std::make_shared<MemoryBlockSource>(std::move(data));
}

TEST(CachedBlockSource, SmallReadsOfOneBlockReadTheSourceOnceAndGiveItsBytes)
{
    auto base = numberedSource(3 * CachedBlockSource::kBlockBytes + 1000);
    const CachedBlockSource cached(base);
    std::array<std::byte, 512> sector{};
    for (std::uint64_t s = 0; s < CachedBlockSource::kBlockBytes / 512; ++s) {
        ASSERT_EQ(cached.read(s * 512, sector), ReadStatus::Ok);
        EXPECT_EQ(sector[7], static_cast<std::byte>((s * 512 + 7) % 251));
    }
    EXPECT_EQ(cached.sourceReads(), 1u);

    // The last block is shorter than the others; a read past the end is short.
    const std::uint64_t last = 3 * CachedBlockSource::kBlockBytes + 1000 - 512;
    ASSERT_EQ(cached.read(last, sector), ReadStatus::Ok);
    EXPECT_EQ(sector[511], static_cast<std::byte>((last + 511) % 251));
    EXPECT_EQ(cached.read(last + 1, sector), ReadStatus::Short);
}

TEST(CachedBlockSource, ABadSectorFailsOnlyTheReadsThatTouchIt)
{
    auto base = numberedSource(2 * CachedBlockSource::kBlockBytes);
    base->addBadRange(4096, 512);
    const CachedBlockSource cached(base);
    std::array<std::byte, 512> sector{};
    EXPECT_EQ(cached.read(4096, sector), ReadStatus::Failed);
    ASSERT_EQ(cached.read(3584, sector), ReadStatus::Ok);
    EXPECT_EQ(sector[0], static_cast<std::byte>(3584 % 251));
    ASSERT_EQ(cached.read(4608, sector), ReadStatus::Ok);
    EXPECT_EQ(sector[0], static_cast<std::byte>(4608 % 251));
    // The other block is kept as usual.
    const std::uint64_t before = cached.sourceReads();
    ASSERT_EQ(cached.read(CachedBlockSource::kBlockBytes, sector), ReadStatus::Ok);
    ASSERT_EQ(cached.read(CachedBlockSource::kBlockBytes + 512, sector), ReadStatus::Ok);
    EXPECT_EQ(cached.sourceReads(), before + 1);
}

TEST(CachedBlockSource, ReadsAcrossABlockBoundaryGoToTheSourceWhole)
{
    auto base = numberedSource(2 * CachedBlockSource::kBlockBytes);
    const CachedBlockSource cached(base);
    std::vector<std::byte> span(1024);
    ASSERT_EQ(cached.read(CachedBlockSource::kBlockBytes - 512, span), ReadStatus::Ok);
    EXPECT_EQ(span[600], static_cast<std::byte>((CachedBlockSource::kBlockBytes - 512 + 600) % 251));
}

} // namespace
} // namespace sarvik::disk
