// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/ClusterChain.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

using namespace sarvik;

namespace {

// A FAT volume whose two FATs we can write entry by entry.
struct FatFixture {
    test::ImageBuilder image;
    disk::SelectedVolume volume;
    unsigned bits;

    explicit FatFixture(bool isFat32) : FatFixture(isFat32 ? 32u : 16u) {}
    /// 12 bits: the FAT16 layout with another type text and a sector count,
    /// which make it a volume of 1,412 clusters.
    explicit FatFixture(unsigned entryBits)
        : image(entryBits == 32 ? test::fat32Boot(2048, 4, 300, 1, 2) : test::fat16Boot(2048, 4, 300, 1, 512)),
          bits(entryBits)
    {
        if (bits == 12) {
            image.putText(54, "FAT12   ");
            image.put(19, 2, 2048);
        }
    }
    void set(int copy, std::uint32_t cluster, std::uint32_t value)
    {
        const std::uint64_t fatStart = copy == 1 ? 4 : 304;
        if (bits != 12) {
            image.put(fatStart * 512 + std::uint64_t{cluster} * (bits / 8), bits / 8, value);
            return;
        }
        // Two 12-bit entries share three bytes: an odd cluster's takes the high
        // nibble of the first byte and the whole second.
        const std::uint64_t at = fatStart * 512 + cluster + cluster / 2;
        auto& b = image.bytes();
        const unsigned old = std::to_integer<unsigned>(b.at(at)) | std::to_integer<unsigned>(b.at(at + 1)) << 8;
        const unsigned both = cluster % 2 != 0 ? (old & 0x000Fu) | (value << 4) : (old & 0xF000u) | (value & 0x0FFFu);
        image.put(at, 2, both);
    }
    void chain(int copy, std::initializer_list<std::uint32_t> clusters, std::uint32_t end)
    {
        const std::vector<std::uint32_t> c(clusters);
        for (std::size_t i = 0; i < c.size(); ++i)
            set(copy, c[i], i + 1 < c.size() ? c[i + 1] : end);
    }
    std::vector<std::uint32_t> walk(std::uint32_t first, std::uint32_t limit, int copy = 1,
                                    const catalogue::RecoveryControl* control = nullptr, fat::ChainEnd* end = nullptr)
    {
        EXPECT_TRUE(test::selectImage(volume, image));
        fat::ClusterChain chain;
        const auto e = chain.BuildClusterChain(volume.reader, volume.geometry, first, limit, copy, control);
        if (end != nullptr)
            *end = e;
        return chain.clusters();
    }
};

using V = std::vector<std::uint32_t>;

} // namespace

TEST(ClusterChain, FreeFirstClusterGivesAOneClusterChain)
{
    FatFixture f(false);
    EXPECT_EQ(f.walk(7, 10), V{7});
}

TEST(ClusterChain, Fat16EndMarkers)
{
    FatFixture f(false);
    f.chain(1, {3, 4, 0xFFF8}, 0xFFFF); // 0xFFF8 is followed as a cluster number
    EXPECT_EQ(f.walk(3, 100), (V{3, 4, 0xFFF8}));
    f.set(1, 4, 0xFFFF);
    EXPECT_EQ(f.walk(3, 100), (V{3, 4}));
    f.set(1, 4, 0xFFF7);
    f.set(1, 0xFFF7, 1); // below 2 ends the chain
    EXPECT_EQ(f.walk(3, 100), (V{3, 4, 0xFFF7}));
}

TEST(ClusterChain, Fat32EndMarkers)
{
    FatFixture f(true);
    f.chain(1, {3, 4}, 0x0FFFFFFF);
    EXPECT_EQ(f.walk(3, 100), (V{3, 4}));
    f.set(1, 4, 0xFFFFFFFF);
    EXPECT_EQ(f.walk(3, 100), (V{3, 4}));
    // 0x0FFFFFF8 is followed: its FAT sector lies far past the image, and the walk
    // ends there because that sector cannot be read.
    f.set(1, 4, 0x0FFFFFF8);
    fat::ChainEnd end{};
    EXPECT_EQ(f.walk(3, 100, 1, nullptr, &end), (V{3, 4, 0x0FFFFFF8}));
    EXPECT_EQ(end, fat::ChainEnd::ReadFailed);
    // High entries (cluster >= 128) sit in a later FAT sector.
    f.chain(1, {200, 300, 129}, 0x0FFFFFFF);
    EXPECT_EQ(f.walk(200, 100), (V{200, 300, 129}));
}

// A 12-bit entry takes a byte and a half, so entry 341 starts in the first FAT
// sector's last byte and ends in the second sector (682 likewise across the
// second and third); 0xFF7 (bad) and 0xFF8..0xFFF end a chain.
TEST(ClusterChain, Fat12EntriesAcrossSectorsAndEndMarkers)
{
    FatFixture f(12u);
    f.chain(1, {340, 341, 342, 682, 683, 5}, 0xFFF);
    ASSERT_EQ(f.walk(340, 100), (V{340, 341, 342, 682, 683, 5}));
    EXPECT_EQ(f.volume.geometry.GeometryKind, disk::VolumeKind::Fat12);
    f.chain(2, {681, 682, 341}, 0xFF8);
    EXPECT_EQ(f.walk(681, 100, 2), (V{681, 682, 341}));
    f.set(1, 342, 0xFF7);
    EXPECT_EQ(f.walk(340, 100), (V{340, 341, 342}));
    f.set(1, 342, 0xFF6); // the highest cluster number is followed
    f.set(1, 0xFF6, 0xFFE);
    EXPECT_EQ(f.walk(340, 100), (V{340, 341, 342, 0xFF6}));
}

TEST(ClusterChain, LimitKeepsOneClusterMore)
{
    FatFixture f(false);
    f.chain(1, {10, 11, 12, 13, 14}, 0xFFFF);
    fat::ChainEnd end{};
    EXPECT_EQ(f.walk(10, 3, 1, nullptr, &end), (V{10, 11, 12, 13}));
    EXPECT_EQ(end, fat::ChainEnd::Limit);
    EXPECT_EQ(f.walk(10, 0), (V{10, 11}));
    f.chain(1, {20, 21, 22}, 0xFFFF);
    EXPECT_EQ(f.walk(20, 3, 1, nullptr, &end), (V{20, 21, 22}));
    EXPECT_EQ(end, fat::ChainEnd::EndMarker);
}

TEST(ClusterChain, SecondCopyIsWalkedWhenAsked)
{
    FatFixture f(false);
    f.chain(2, {30, 31, 32}, 0xFFFF);
    EXPECT_EQ(f.walk(30, 10, 1), V{30});
    EXPECT_EQ(f.walk(30, 10, 2), (V{30, 31, 32}));
}

TEST(ClusterChain, LoopsAreBoundedByTheLimit)
{
    FatFixture f(true);
    f.set(1, 40, 41);
    f.set(1, 41, 40);
    EXPECT_EQ(f.walk(40, 5).size(), 6u);
}

TEST(ClusterChain, StopAndSkipEndTheWalkAfterTheFirstCluster)
{
    FatFixture f(false);
    f.chain(1, {10, 11, 12}, 0xFFFF);
    catalogue::RecoveryControl control;
    control.StopRecovery = 1;
    EXPECT_EQ(f.walk(10, 10, 1, &control), V{10});
    control.StopRecovery = 0;
    control.SkipFile = 1;
    EXPECT_EQ(f.walk(10, 10, 1, &control), V{10});
}

TEST(ClusterChain, UnreadableFatSectorEndsTheWalk)
{
    FatFixture f(false);
    f.chain(1, {10, 300, 11}, 0xFFFF); // cluster 300's entry lies in FAT sector 1
    auto source = f.image.source();
    source->addBadRange((4 + 1) * 512, 512);
    test::MemoryDevices devices;
    devices.add("bad.img", source);
    ASSERT_TRUE(disk::SelectDrive(f.volume, {"Disk Image(bad.img)", "bad.img", disk::DriveKind::Image, 0}, devices));
    fat::ClusterChain chain;
    EXPECT_EQ(chain.BuildClusterChain(f.volume.reader, f.volume.geometry, 10, 10, 1), fat::ChainEnd::ReadFailed);
    EXPECT_EQ(chain.clusters(), (V{10, 300}));
}

TEST(ClusterChain, OtherKindsGiveEmptyChains)
{
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, test::ntfsBoot(64, 8, 4, 1)));
    fat::ClusterChain chain;
    EXPECT_EQ(chain.BuildClusterChain(v.reader, v.geometry, 5, 10, 1), fat::ChainEnd::NoGeometry);
    EXPECT_TRUE(chain.empty());
    chain.BuildDirectoryChain(5, 300);
    EXPECT_TRUE(chain.empty());
    chain.BuildDirectoryChain(5, 200);
    EXPECT_EQ(chain.clusters(), V{5});
    chain.BuildDirectoryChain(9, 100);
    EXPECT_EQ(chain.clusters(), V{9});
}

TEST(ClusterChain, ZeroFatStartEndsAfterTheFirstCluster)
{
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, test::fat16Boot(64, 4, 8, 1, 512)));
    v.geometry.FirstFatSector = 0;
    fat::ClusterChain chain;
    EXPECT_EQ(chain.BuildClusterChain(v.reader, v.geometry, 5, 10, 1), fat::ChainEnd::NoGeometry);
    EXPECT_EQ(chain.clusters(), V{5});
}
