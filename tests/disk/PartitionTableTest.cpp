// SPDX-License-Identifier: GPL-3.0-or-later
// Partition tables built byte by byte: the layouts the tools write, and the
// damaged ones no tool writes (looping chains, entries past the end, huge GPT
// arrays). Tables written by sfdisk and sgdisk are read in PartitionImageTest.

#include "disk/PartitionTable.h"
#include "disk/SectorReader.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <tuple>

using namespace sarvik;

namespace {

constexpr std::uint64_t kDiskSectors = 4096;

struct Disk {
    std::vector<std::byte> bytes = std::vector<std::byte>(kDiskSectors * 512);

    void put32(std::uint64_t at, std::uint32_t v)
    {
        for (unsigned i = 0; i < 4; ++i)
            bytes[at + i] = std::byte((v >> (8 * i)) & 0xFF);
    }
    void put64(std::uint64_t at, std::uint64_t v)
    {
        put32(at, static_cast<std::uint32_t>(v));
        put32(at + 4, static_cast<std::uint32_t>(v >> 32));
    }
    void signature(std::uint64_t sector)
    {
        bytes[sector * 512 + 510] = std::byte{0x55};
        bytes[sector * 512 + 511] = std::byte{0xAA};
    }
    /// Entry `slot` of the boot record at `sector`.
    void entry(std::uint64_t sector, int slot, std::uint8_t type, std::uint32_t first, std::uint32_t count)
    {
        const std::uint64_t at = sector * 512 + 446 + static_cast<std::uint64_t>(slot) * 16;
        bytes[at + 4] = std::byte{type};
        put32(at + 8, first);
        put32(at + 12, count);
        signature(sector);
    }
    std::uint8_t byteAt(std::uint64_t at) const { return static_cast<std::uint8_t>(bytes[at]); }
    disk::PartitionTable table() const
    {
        const disk::MemoryBlockSource source(bytes);
        return disk::ReadPartitionTable(source);
    }
};

/// A partition as listed: its number as the kernel gives it, where it lies.
struct Span {
    std::uint32_t number;
    std::uint64_t first, sectors;
    bool logical;
    bool operator==(const Span&) const = default;
};

std::vector<Span> spans(const disk::PartitionTable& t)
{
    std::vector<Span> out;
    for (const auto& p : t.partitions)
        out.push_back({p.number, p.firstSector, p.sectors, p.logical});
    return out;
}

} // namespace

TEST(PartitionTable, MbrPrimariesThenLogicalsInChainOrder)
{
    Disk d;
    d.entry(0, 0, 0x0C, 64, 1000);   // FAT32 LBA
    d.entry(0, 1, 0x0F, 1100, 2000); // extended container 1100..3099
    d.entry(0, 2, 0x07, 3200, 500);  // NTFS after the container
    // EBR 1 at 1100: logical at +32, next EBR at container + 600.
    d.entry(1100, 0, 0x07, 32, 400);
    d.entry(1100, 1, 0x05, 600, 800);
    // EBR 2 at 1700: logical at +32, end of chain.
    d.entry(1700, 0, 0x0B, 32, 700);
    const auto t = d.table();
    EXPECT_EQ(t.scheme, disk::PartitionScheme::Mbr);
    EXPECT_EQ(spans(t), (std::vector<Span>{
                            {1, 64, 1000, false}, {3, 3200, 500, false}, {5, 1132, 400, true}, {6, 1732, 700, true}}));
    EXPECT_EQ(t.partitions[2].mbrType, 0x07);
    EXPECT_EQ(t.partitions[0].typeName, "FAT32 (LBA)");
    EXPECT_EQ(t.partitions[2].typeName, "NTFS or exFAT");
}

TEST(PartitionTable, DamagedMbrGivesThePartitionsThatMakeSense)
{
    Disk d;
    d.entry(0, 0, 0x0C, 64, 1000);
    d.entry(0, 1, 0x0C, 5000, 100);    // starts past the end: left out
    d.entry(0, 2, 0x07, 4000, 1000);   // reaches past the end: cut at it
    d.entry(0, 3, 0x05, 1100, 0xFFFF); // container reaching past the end
    d.entry(1100, 0, 0x07, 32, 100);
    d.entry(1100, 1, 0x05, 500, 100); // -> 1600
    d.entry(1600, 0, 0x07, 32, 100);
    d.entry(1600, 1, 0x05, 0, 100); // a link of 0 would point at the container itself: ends
    const auto t = d.table();
    EXPECT_EQ(spans(t), (std::vector<Span>{
                            {1, 64, 1000, false}, {3, 4000, 96, false}, {5, 1132, 100, true}, {6, 1632, 100, true}}));

    // A chain that loops back to an earlier record ends there, without a hang.
    Disk loop;
    loop.entry(0, 0, 0x05, 100, 3000);
    loop.entry(100, 0, 0x07, 32, 10);
    loop.entry(100, 1, 0x05, 200, 10); // -> 300
    loop.entry(300, 0, 0x07, 32, 10);
    loop.entry(300, 1, 0x05, 0 + 200, 10); // -> 300 again
    EXPECT_EQ(spans(loop.table()), (std::vector<Span>{{5, 132, 10, true}, {6, 332, 10, true}}));
    Disk back;
    back.entry(0, 0, 0x05, 100, 3000);
    back.entry(100, 0, 0x07, 32, 10);
    back.entry(100, 1, 0x05, 0xFFFFFFF0, 10); // link far outside the container
    EXPECT_EQ(spans(back.table()), (std::vector<Span>{{5, 132, 10, true}}));
}

TEST(PartitionTable, NoTableOnAVolumeOrOnNoise)
{
    // A FAT16 boot sector at sector 0: a stick formatted without a table.
    auto fat = test::fat16Boot(2048, 1, 200, 4, 512);
    const disk::MemoryBlockSource volume(fat.bytes());
    EXPECT_EQ(disk::ReadPartitionTable(volume).scheme, disk::PartitionScheme::None);

    Disk bad;
    bad.entry(0, 0, 0x0C, 64, 100);
    bad.bytes[446] = std::byte{0x13}; // a status byte that is neither 0 nor 0x80: boot code, not a table
    EXPECT_TRUE(bad.table().partitions.empty());

    Disk unsigned_;
    unsigned_.entry(0, 0, 0x0C, 64, 100);
    unsigned_.bytes[510] = std::byte{0};
    EXPECT_TRUE(unsigned_.table().partitions.empty());

    const disk::MemoryBlockSource tiny(std::vector<std::byte>(100));
    EXPECT_TRUE(disk::ReadPartitionTable(tiny).partitions.empty());
}

namespace {

void gptHeader(Disk& d, std::uint64_t sector, std::uint64_t entriesLba, std::uint32_t count, std::uint32_t size)
{
    std::memcpy(d.bytes.data() + sector * 512, "EFI PART", 8);
    d.put64(sector * 512 + 72, entriesLba);
    d.put32(sector * 512 + 80, count);
    d.put32(sector * 512 + 84, size);
}

void gptEntry(Disk& d, std::uint64_t entriesLba, std::uint32_t index, std::uint64_t first, std::uint64_t last)
{
    const std::uint64_t at = entriesLba * 512 + std::uint64_t{index} * 128;
    // Microsoft basic data, EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, as stored.
    constexpr std::array<std::uint8_t, 16> kBasicData = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                                         0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
    for (std::size_t i = 0; i < kBasicData.size(); ++i)
        d.bytes[at + i] = std::byte{kBasicData[i]};
    d.put64(at + 32, first);
    d.put64(at + 40, last);
}

} // namespace

TEST(PartitionTable, GptEntriesInArrayOrderAndTheBackupHeader)
{
    Disk d;
    d.entry(0, 0, 0xEE, 1, kDiskSectors - 1);
    gptHeader(d, 1, 2, 128, 128);
    gptEntry(d, 2, 0, 2048, 2999);
    gptEntry(d, 2, 3, 100, 199);   // after two unused entries
    gptEntry(d, 2, 4, 300, 200);   // last before first: left out
    gptEntry(d, 2, 5, 3000, 9000); // cut at the end
    auto t = d.table();
    EXPECT_EQ(t.scheme, disk::PartitionScheme::Gpt);
    EXPECT_EQ(spans(t), (std::vector<Span>{{1, 2048, 952, false}, {4, 100, 100, false}, {6, 3000, 1096, false}}));
    // The type by its GUID: the entry's first bytes are stored little-endian.
    EXPECT_EQ(t.partitions[0].typeGuid, "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
    EXPECT_EQ(t.partitions[0].typeName, "Microsoft basic data");

    // The primary header is gone: the backup in the last sector is read, and
    // says so; so it is when the protective MBR is gone too.
    EXPECT_FALSE(t.backupHeader);
    std::memset(d.bytes.data() + 512, 0, 8);
    gptHeader(d, kDiskSectors - 1, 2, 128, 128);
    EXPECT_EQ(d.table().partitions.size(), 3u);
    EXPECT_TRUE(d.table().backupHeader);
    std::memset(d.bytes.data(), 0, 512);
    EXPECT_EQ(spans(d.table()),
              (std::vector<Span>{{1, 2048, 952, false}, {4, 100, 100, false}, {6, 3000, 1096, false}}));
    EXPECT_TRUE(d.table().backupHeader);

    // An entry array claiming millions of entries, or entries of absurd size,
    // is bounded before it is read.
    Disk huge;
    huge.entry(0, 0, 0xEE, 1, kDiskSectors - 1);
    gptHeader(huge, 1, 2, 0xFFFFFFFF, 128);
    gptEntry(huge, 2, 0, 100, 199);
    EXPECT_EQ(huge.table().partitions.size(), 1u);
    gptHeader(huge, 1, 2, 4, 0x80000000);
    EXPECT_TRUE(huge.table().partitions.empty());
    gptHeader(huge, 1, kDiskSectors + 10, 4, 128);
    EXPECT_TRUE(huge.table().partitions.empty());
}

TEST(PartitionTable, OpenPartitionReadsFromItsFirstSector)
{
    Disk d;
    d.entry(0, 0, 0x0C, 64, 1000);
    d.entry(0, 1, 0x05, 1100, 2000);
    d.entry(1100, 0, 0x07, 32, 400);
    d.bytes[1132 * 512 + 3] = std::byte{'N'};
    const auto disk = std::make_shared<disk::MemoryBlockSource>(d.bytes);
    const auto logical = disk::OpenPartition(disk, 5);
    ASSERT_NE(logical, nullptr);
    EXPECT_EQ(logical->size(), 400u * 512);
    std::array<std::byte, 4> head{};
    ASSERT_EQ(logical->read(0, head), disk::ReadStatus::Ok);
    EXPECT_EQ(head[3], std::byte{'N'});
    EXPECT_EQ(logical->read(400 * 512 - 2, head), disk::ReadStatus::Short);
    EXPECT_EQ(disk::OpenPartition(disk, 2), nullptr); // the extended container
    EXPECT_EQ(disk::OpenPartition(disk, 3), nullptr);
    EXPECT_EQ(disk::OpenPartition(disk, 0), nullptr);
}

TEST(PartitionTable, PartitionPathsSplitOnlyAtATrailingNumber)
{
    using P = disk::PartitionPath;
    auto split = [](const std::string& s) {
        const P p = disk::SplitPartitionPath(s);
        return std::make_pair(p.path, p.number);
    };
    EXPECT_EQ(split("disk.img@2"), std::make_pair(std::string("disk.img"), 2u));
    EXPECT_EQ(split("/dev/sdb@12"), std::make_pair(std::string("/dev/sdb"), 12u));
    EXPECT_EQ(split("a@b/disk.img"), std::make_pair(std::string("a@b/disk.img"), 0u));
    EXPECT_EQ(split("disk.img@0"), std::make_pair(std::string("disk.img@0"), 0u));
    EXPECT_EQ(split("disk.img@02"), std::make_pair(std::string("disk.img@02"), 0u));
    EXPECT_EQ(split("disk.img@"), std::make_pair(std::string("disk.img@"), 0u));
    EXPECT_EQ(split("disk.img@99999999999"), std::make_pair(std::string("disk.img@99999999999"), 0u));
    EXPECT_EQ(split("@3"), std::make_pair(std::string("@3"), 0u));
    EXPECT_EQ(disk::partitionPathText("x.img", 3), "x.img@3");

    // A stretch "PATH@OFFSET:SIZE" in bytes; its text reads back the same, and
    // anything that is not two decimals (the second one not 0) is a path.
    for (const std::string text : {"d.img@1048576:", "d.img@0:512", "/dev/sdb@7:99999999999"}) {
        const P p = disk::SplitPartitionPath(text);
        EXPECT_TRUE(p.region && p.isPart() && p.number == 0) << text;
        EXPECT_EQ(p.textFor(p.path), text);
    }
    const P mib = disk::SplitPartitionPath("d.img@1048576:");
    EXPECT_EQ(std::make_tuple(mib.path, mib.offset, mib.size), std::make_tuple(std::string("d.img"), 1048576ULL, 0ULL));
    for (const std::string text : {"d.img@1:0", "d.img@:5", "d.img@12x:", "d.img@1:2:3", "d.img@-1:", "d.img@1:x"})
        EXPECT_FALSE(disk::SplitPartitionPath(text).isPart()) << text;

    // Shadow copy N of any volume: "PATH@vssN", "PATH@N@vssN", a stretch's
    // too; its text reads back the same. A bad N, or a copy of a copy, is a path.
    for (const std::string text : {"v.img@vss1", "d.img@2@vss12", "d.img@lost3@vss2", "d.img@0:512@vss1"}) {
        const P p = disk::SplitPartitionPath(text);
        EXPECT_TRUE(p.isPart() && p.shadow != 0) << text;
        EXPECT_EQ(p.textFor(p.path), text);
    }
    const P copy = disk::SplitPartitionPath("d.img@2@vss3");
    EXPECT_EQ(std::make_tuple(copy.path, copy.number, copy.shadow), std::make_tuple(std::string("d.img"), 2u, 3u));
    EXPECT_EQ(disk::SplitPartitionPath("v.img@vss1").path, "v.img");
    for (const std::string text : {"d.img@2@vss0", "d.img@vss", "d.img@vss01", "d.img@vss1x", "d.img@2@vss1@vss1",
                                   "@vss1", "d.img@vss99999999999"})
        EXPECT_FALSE(disk::SplitPartitionPath(text).shadow != 0) << text;
}
