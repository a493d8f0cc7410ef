// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/SectorReader.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace sarvik;

namespace {

// A source that reports a huge size and records where it was asked to read,
// so that offsets above 4 GiB can be checked without a 2 TiB buffer.
class RecordingSource final : public disk::BlockSource {
public:
    std::uint64_t size() const override { return std::uint64_t{1} << 42; }
    disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        lastOffset = offset;
        lastLength = buffer.size();
        for (auto& b : buffer)
            b = std::byte{0x5A};
        return disk::ReadStatus::Ok;
    }
    mutable std::uint64_t lastOffset = 0;
    mutable std::size_t lastLength = 0;
};

} // namespace

TEST(SectorReader, NoDeviceFailsWithoutTouchingTheBuffer)
{
    disk::SectorReader reader(" ", nullptr);
    std::array<std::byte, 512> buffer;
    buffer.fill(std::byte{0x11});
    EXPECT_EQ(reader.read(0, 1, buffer), disk::ReadStatus::NoDevice);
    for (auto b : buffer)
        ASSERT_EQ(b, std::byte{0x11});
}

TEST(SectorReader, HighHalfReachesOffsetsAboveFourGiB)
{
    auto source = std::make_shared<RecordingSource>();
    disk::SectorReader reader("big", source);
    std::array<std::byte, 1024> buffer{};
    EXPECT_EQ(reader.read((std::uint64_t{1} << 32) + 5, 2, buffer), disk::ReadStatus::Ok);
    EXPECT_EQ(source->lastOffset, ((std::uint64_t{1} << 32) + 5) * 512);
    EXPECT_EQ(source->lastLength, 1024u);
    EXPECT_EQ(reader.read((std::uint64_t{1} << 32) + 7, 1, buffer), disk::ReadStatus::Ok);
    EXPECT_EQ(source->lastOffset, ((std::uint64_t{1} << 32) + 7) * 512);
}

TEST(SectorReader, ReadPastTheEndLeavesTheBufferAndSaysSo)
{
    test::ImageBuilder image(4);
    image.put(3 * 512, 1, 0x77);
    disk::SectorReader reader("mem", image.source());
    std::array<std::byte, 1024> buffer;
    buffer.fill(std::byte{0x22});
    EXPECT_EQ(reader.read(3, 2, buffer), disk::ReadStatus::Short);
    EXPECT_EQ(reader.read(4, 1, buffer), disk::ReadStatus::Short);
    for (auto b : buffer)
        ASSERT_EQ(b, std::byte{0x22});
    // The last whole sector is still readable.
    EXPECT_EQ(reader.read(3, 1, buffer), disk::ReadStatus::Ok);
    EXPECT_EQ(buffer[0], std::byte{0x77});
}

TEST(SectorReader, ZeroCountReadsNothingAndSucceeds)
{
    test::ImageBuilder image(1);
    disk::SectorReader reader("mem", image.source());
    std::array<std::byte, 4> buffer;
    buffer.fill(std::byte{0x33});
    EXPECT_EQ(reader.read(0, 0, buffer), disk::ReadStatus::Ok);
    EXPECT_EQ(buffer[0], std::byte{0x33});
}

TEST(SectorReader, BadSectorIsReportedAsFailed)
{
    test::ImageBuilder image(8);
    auto source = image.source();
    source->addBadRange(5 * 512, 512);
    disk::SectorReader reader("mem", source);
    std::array<std::byte, 2048> buffer{};
    EXPECT_EQ(reader.read(4, 2, buffer), disk::ReadStatus::Failed);
    EXPECT_EQ(reader.read(6, 2, buffer), disk::ReadStatus::Ok);
    // A buffer smaller than the request is refused, never overrun.
    EXPECT_EQ(reader.read(0, 5, buffer), disk::ReadStatus::Failed);
}

TEST(ByteReader, BoundsAreCheckedWithoutOverflow)
{
    std::array<std::byte, 8> raw{std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4},
                                 std::byte{5}, std::byte{6}, std::byte{7}, std::byte{8}};
    disk::ByteReader r(raw);
    EXPECT_EQ(r.u16(0), 0x0201u);
    EXPECT_EQ(r.u32(4), 0x08070605u);
    EXPECT_EQ(r.u64(0), 0x0807060504030201ull);
    EXPECT_EQ(r.uint(5, 3), 0x080706u);
    EXPECT_FALSE(r.u32(5).has_value());
    EXPECT_FALSE(r.u8(8).has_value());
    EXPECT_FALSE(r.u16(~std::uint64_t{0}).has_value());
    EXPECT_FALSE(r.sub(4, ~std::uint64_t{0} - 2).has_value());
    EXPECT_EQ(r.u32or0(6), 0u);
    EXPECT_FALSE(r.uint(0, 9).has_value());
}
