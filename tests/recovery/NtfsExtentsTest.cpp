// SPDX-License-Identifier: GPL-3.0-or-later
// Thorough recovery of NTFS files whose unnamed data attribute is split over
// several MFT records by an attribute list, on hand-built volumes: extents
// listed out of order, resident and non-resident lists, sparse and compressed
// data across extents, and extents that can no longer be trusted.

#include "recovery/FileRecovery.h"
#include "recovery/RecoveryFixture.h"
#include "support/NtfsBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace sarvik;
using recovery::FileOutcome;
using test::ClusterRun;
using test::encodeRuns;
using test::ListEntry;
using test::MftRecordBuilder;
using test::pattern;
using test::u16;

namespace {

constexpr std::uint32_t kData = ntfs::AttributeType::Data;
constexpr std::uint32_t kName = ntfs::AttributeType::FileName;
constexpr std::uint8_t kDeleted = ntfs::RecordFlags::DeletedFile;
constexpr std::size_t kCluster = 512;

/// A volume of 512-byte clusters (cluster n is sector n): an MFT of 64 records
/// at cluster 64, data from cluster 300 on.
struct ExtentVolume {
    test::NtfsImage ntfs{8192, 1, 64, 64};
    disk::SelectedVolume volume;
    catalogue::Catalogue catalogue;
    catalogue::FolderTree tree;

    /// Writes `count` bytes of `bytes` from `from` at cluster `cluster` on.
    void data(std::uint64_t cluster, const std::vector<std::byte>& bytes, std::size_t from, std::size_t count)
    {
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), count,
                    ntfs.image().bytes().begin() + static_cast<std::ptrdiff_t>(cluster * kCluster));
    }
    void file(std::uint32_t record, const std::string& name, std::uint64_t size)
    {
        catalogue.AddNtfsFile(ntfs.recordSector(record), name, record, 5, 0, 0, 1, size);
    }
    void select() { ASSERT_TRUE(ntfs.select(volume)); }
};

std::vector<std::byte> slice(const std::vector<std::byte>& v, std::size_t from, std::size_t count)
{
    return {v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

bool allZero(const std::vector<std::byte>& v, std::size_t from, std::size_t count)
{
    return std::all_of(v.begin() + static_cast<std::ptrdiff_t>(from),
                       v.begin() + static_cast<std::ptrdiff_t>(from + count),
                       [](std::byte b) { return b == std::byte{0}; });
}

/// Recovers the file at `record` with the thorough mode on or off.
struct Recovered {
    std::vector<std::byte> bytes;
    recovery::FileReport report;
};
Recovered recoverFile(ExtentVolume& v, std::uint32_t record, const std::string& name, std::uint64_t size, bool thorough)
{
    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    rig.settings.ThoroughScan = thorough;
    EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), name, size, v.ntfs.recordSector(record),
                                           recovery::CopyMode::Save, 1),
              1);
    Recovered out;
    out.bytes = rig.content(name);
    if (!rig.report.files().empty())
        out.report = rig.report.files().back();
    return out;
}

} // namespace

// File A: a resident list names its extents out of VCN order (5, then 2);
// file B: a non-resident list, with a sparse run in its second extent. Both
// are deleted, so their records carry the sequence number raised once. The
// default mode keeps reading the base record's extent alone.
TEST(NtfsExtents, ExtentsJoinInVcnOrderFromResidentAndNonResidentLists)
{
    ExtentVolume v;
    const auto a = pattern(6 * kCluster - 100, 1);
    v.data(300, a, 0, 2 * kCluster);
    v.data(400, a, 2 * kCluster, 3 * kCluster);
    v.data(350, a, 5 * kCluster, kCluster - 100);
    v.ntfs.put(20, MftRecordBuilder(kDeleted)
                       .sequence(2)
                       .fileName(u16("a.bin"), 5, ntfs::FileNamespace::Posix)
                       .attributeList({{kName, 20, 32, 0, 1, 1},
                                       {kData, 20, 32, 0, 1, 2},
                                       {kData, 22, 32, 5, 1, 0},
                                       {kData, 21, 32, 2, 1, 0}})
                       .dataExtent(0, 2, a.size(), encodeRuns({{2, 300}}), 2)
                       .build());
    v.ntfs.put(21, MftRecordBuilder(kDeleted)
                       .sequence(2)
                       .baseRecord(20, 1)
                       .dataExtent(2, 3, 0, encodeRuns({{3, 400}}), 0)
                       .build());
    v.ntfs.put(22, MftRecordBuilder(kDeleted)
                       .sequence(2)
                       .baseRecord(20, 1)
                       .dataExtent(5, 1, 0, encodeRuns({{1, 350}}), 0)
                       .build());
    v.file(20, "a.bin", a.size());

    const auto b = pattern(7 * kCluster, 2);
    auto bExpected = b;
    std::fill_n(bExpected.begin() + 5 * kCluster, kCluster, std::byte{0});
    v.data(500, b, 0, 4 * kCluster);
    v.data(600, b, 4 * kCluster, kCluster);
    v.data(610, b, 6 * kCluster, kCluster);
    const auto list =
        test::encodeListEntries({{kName, 24, 32, 0, 1, 1}, {kData, 24, 32, 0, 1, 3}, {kData, 25, 32, 4, 1, 0}});
    std::vector<std::byte> listBytes(list.size());
    std::transform(list.begin(), list.end(), listBytes.begin(), [](std::uint8_t x) { return std::byte{x}; });
    v.data(250, listBytes, 0, listBytes.size());
    v.ntfs.put(24, MftRecordBuilder(kDeleted)
                       .sequence(2)
                       .fileName(u16("b.bin"), 5, ntfs::FileNamespace::Posix)
                       .nonResidentAttributeList(list.size(), encodeRuns({{1, 250}}))
                       .dataExtent(0, 4, b.size(), encodeRuns({{4, 500}}), 3)
                       .build());
    v.ntfs.put(25, MftRecordBuilder(kDeleted)
                       .sequence(2)
                       .baseRecord(24, 1)
                       .dataExtent(4, 3, 0, encodeRuns({{1, 600}, {1, std::nullopt}, {1, 610}}), 0)
                       .build());
    v.file(24, "b.bin", b.size());
    v.ntfs.put(6, MftRecordBuilder().nonResidentData(1024, encodeRuns({{2, 7000}})).build()); // $Bitmap: all free
    v.select();

    const auto thoroughA = recoverFile(v, 20, "a.bin", a.size(), true);
    EXPECT_EQ(thoroughA.bytes, a);
    EXPECT_EQ(thoroughA.report.zeroFilledBlocks, 0u);
    EXPECT_EQ(thoroughA.report.outcome, FileOutcome::Written);
    const auto thoroughB = recoverFile(v, 24, "b.bin", b.size(), true);
    EXPECT_EQ(thoroughB.bytes, bExpected);
    EXPECT_EQ(thoroughB.report.zeroFilledBlocks, 0u) << "sparse clusters are data, not read failures";

    const auto defaultA = recoverFile(v, 20, "a.bin", a.size(), false);
    EXPECT_EQ(defaultA.bytes, slice(a, 0, 2 * kCluster));
    EXPECT_EQ(defaultA.report.outcome, FileOutcome::Incomplete);

    // The condition follows the clusters each copy reads: all six of a.bin's in
    // the thorough rules; in the classic ones the four no run gives are lost, so
    // a copy that will be incomplete is not called "Good".
    recovery::ConditionEstimator thorough(v.volume, true);
    const auto whole = thorough.ntfsFile(v.catalogue.fsLists().NtfsFileList[0]);
    EXPECT_EQ(whole.condition, recovery::FileCondition::Good);
    EXPECT_EQ(whole.clusters, 6u);
    recovery::ConditionEstimator classic(v.volume, false);
    const auto part = classic.ntfsFile(v.catalogue.fsLists().NtfsFileList[0]);
    EXPECT_EQ(part.condition, recovery::FileCondition::PartlyOverwritten);
    EXPECT_EQ(part.clusters, 6u);
    EXPECT_EQ(part.clustersMissing, 4u);
}

// File C needs ten clusters. VCN 0-1 lie in the base record, 4-5 in a sound
// extension record; the list names no extent for 2-3; the record listed for
// 6-7 is now another file's base record, the one for 8 was freed and taken
// again (its sequence number has moved on twice), and the one for 9 is an
// extension record of another file. Every cluster no trusted extent gives is
// written as zeros and counted, never filled with the other files' bytes.
TEST(NtfsExtents, UntrustedOrMissingExtentsAreZeroFilledAndCounted)
{
    ExtentVolume v;
    const auto c = pattern(10 * kCluster, 3);
    const auto other = pattern(4 * kCluster, 4);
    v.data(700, c, 0, 2 * kCluster);
    v.data(720, c, 4 * kCluster, 2 * kCluster);
    v.data(760, other, 0, 4 * kCluster);
    v.ntfs.put(30, MftRecordBuilder(kDeleted)
                       .sequence(2)
                       .fileName(u16("c.bin"), 5, ntfs::FileNamespace::Posix)
                       .attributeList({{kName, 30, 32, 0, 1, 1},
                                       {kData, 30, 32, 0, 1, 2},
                                       {kData, 31, 32, 4, 1, 0},
                                       {kData, 32, 32, 6, 1, 0},
                                       {kData, 33, 32, 8, 1, 0},
                                       {kData, 34, 32, 9, 1, 0}})
                       .dataExtent(0, 2, c.size(), encodeRuns({{2, 700}}), 2)
                       .build());
    v.ntfs.put(31, MftRecordBuilder(kDeleted)
                       .sequence(2)
                       .baseRecord(30, 1)
                       .dataExtent(4, 2, 0, encodeRuns({{2, 720}}), 0)
                       .build());
    // Record 32: a file of its own now, whose data starts at VCN 6 by chance.
    v.ntfs.put(32, MftRecordBuilder()
                       .sequence(3)
                       .fileName(u16("other.bin"), 5, ntfs::FileNamespace::Posix)
                       .dataExtent(6, 2, 0, encodeRuns({{2, 760}}), 0)
                       .build());
    v.ntfs.put(33,
               MftRecordBuilder().sequence(3).baseRecord(30, 1).dataExtent(8, 1, 0, encodeRuns({{1, 762}}), 0).build());
    v.ntfs.put(34,
               MftRecordBuilder().sequence(2).baseRecord(40, 1).dataExtent(9, 1, 0, encodeRuns({{1, 763}}), 0).build());
    v.file(30, "c.bin", c.size());
    v.select();

    const auto got = recoverFile(v, 30, "c.bin", c.size(), true);
    ASSERT_EQ(got.bytes.size(), c.size());
    EXPECT_EQ(slice(got.bytes, 0, 2 * kCluster), slice(c, 0, 2 * kCluster));
    EXPECT_TRUE(allZero(got.bytes, 2 * kCluster, 2 * kCluster));
    EXPECT_EQ(slice(got.bytes, 4 * kCluster, 2 * kCluster), slice(c, 4 * kCluster, 2 * kCluster));
    EXPECT_TRUE(allZero(got.bytes, 6 * kCluster, 4 * kCluster));
    EXPECT_EQ(got.report.zeroFilledBlocks, 6u);
    EXPECT_EQ(got.report.outcome, FileOutcome::Written);

    // A tail that no extent reaches is zero-filled and counted too.
    const auto longer = recoverFile(v, 30, "c.bin", c.size() + kCluster, true);
    EXPECT_EQ(longer.bytes.size(), c.size() + kCluster);
    EXPECT_EQ(longer.report.zeroFilledBlocks, 7u);
}

// File D: compressed in units of 16 clusters. Unit 0 (base record) and unit 2
// (second extension record) hold LZNT1 data in one cluster with a sparse tail;
// unit 1 (first extension record) is stored whole. With the second extension
// record taken by another file, unit 2 becomes zeros and is counted.
TEST(NtfsExtents, CompressedUnitsAcrossExtents)
{
    ExtentVolume v;
    constexpr std::size_t kUnit = 16 * kCluster;
    const std::vector<std::uint8_t> chunks = {0x02, 0x30, 'x', 'y', 'z', 0x02, 0x30, 'u', 'v', 'w', 0x00, 0x00};
    std::vector<std::byte> packed(kCluster);
    std::transform(chunks.begin(), chunks.end(), packed.begin(), [](std::uint8_t x) { return std::byte{x}; });
    std::vector<std::byte> unpacked(kUnit);
    for (const auto& [at, ch] : {std::pair{0, 'x'}, {1, 'y'}, {2, 'z'}, {4096, 'u'}, {4097, 'v'}, {4098, 'w'}})
        unpacked[static_cast<std::size_t>(at)] = std::byte(ch);
    const auto stored = pattern(kUnit, 5);
    v.data(900, packed, 0, kCluster);
    v.data(910, packed, 0, kCluster);
    v.data(920, stored, 0, kUnit);
    const std::uint64_t size = 3 * kUnit - 300;
    auto expected = unpacked;
    expected.insert(expected.end(), stored.begin(), stored.end());
    expected.insert(expected.end(), unpacked.begin(), unpacked.end() - 300);

    auto put = [&](std::uint32_t base, std::uint16_t secondSequence) {
        v.ntfs.put(base, MftRecordBuilder(kDeleted)
                             .sequence(2)
                             .fileName(u16("d.txt"), 5, ntfs::FileNamespace::Posix)
                             .attributeList({{kName, base, 32, 0, 1, 1},
                                             {kData, base, 32, 0, 1, 2},
                                             {kData, base + 1, 32, 16, 1, 0},
                                             {kData, base + 2, 32, 32, 1, 0}})
                             .dataExtent(0, 16, size, encodeRuns({{1, 900}, {15, std::nullopt}}), 2, 4)
                             .build());
        v.ntfs.put(base + 1, MftRecordBuilder(kDeleted)
                                 .sequence(2)
                                 .baseRecord(base, 1)
                                 .dataExtent(16, 16, 0, encodeRuns({{16, 920}}), 0)
                                 .build());
        v.ntfs.put(base + 2, MftRecordBuilder(kDeleted)
                                 .sequence(secondSequence)
                                 .baseRecord(base, 1)
                                 .dataExtent(32, 16, 0, encodeRuns({{1, 910}, {15, std::nullopt}}), 0)
                                 .build());
        v.file(base, "d" + std::to_string(base) + ".txt", size);
    };
    put(50, 2);
    put(54, 9);
    v.select();

    const auto whole = recoverFile(v, 50, "d50.txt", size, true);
    EXPECT_EQ(whole.bytes, expected);
    EXPECT_EQ(whole.report.zeroFilledBlocks, 0u);

    const auto lost = recoverFile(v, 54, "d54.txt", size, true);
    ASSERT_EQ(lost.bytes.size(), size);
    EXPECT_EQ(slice(lost.bytes, 0, 2 * kUnit), slice(expected, 0, 2 * kUnit));
    EXPECT_TRUE(allZero(lost.bytes, 2 * kUnit, size - 2 * kUnit));
    EXPECT_EQ(lost.report.zeroFilledBlocks, 1u) << "one compression unit";
}

// A compressed file held in its own record is decoded in both rule sets (the
// classic copy once wrote the raw units and called them written). A unit that
// cannot be decoded is written as zeros and the file reported incomplete.
TEST(NtfsExtents, CompressedDataIsDecodedInEveryRuleSet)
{
    ExtentVolume v;
    constexpr std::size_t kUnit = 16 * kCluster;
    const std::vector<std::uint8_t> chunks = {0x02, 0x30, 'x', 'y', 'z', 0x00, 0x00};
    std::vector<std::byte> packed(kCluster);
    std::transform(chunks.begin(), chunks.end(), packed.begin(), [](std::uint8_t x) { return std::byte{x}; });
    std::vector<std::byte> damaged(kCluster);
    damaged[0] = std::byte{0xFF}; // a compressed chunk of 4 KiB in a cluster of 512 bytes
    damaged[1] = std::byte{0xBF};
    v.data(900, packed, 0, kCluster);
    v.data(910, packed, 0, kCluster);
    v.data(920, damaged, 0, kCluster);
    const std::uint64_t size = 2 * kUnit - 300;
    std::vector<std::byte> expected(size);
    for (const std::size_t unit : {std::size_t{0}, kUnit})
        for (std::size_t i = 0; i < 3; ++i)
            expected[unit + i] = std::byte("xyz"[i]);
    v.ntfs.put(
        50, MftRecordBuilder(kDeleted)
                .fileName(u16("c.txt"), 5, ntfs::FileNamespace::Posix)
                .dataExtent(0, 32, size, encodeRuns({{1, 900}, {15, std::nullopt}, {1, 910}, {15, std::nullopt}}), 0, 4)
                .build());
    v.ntfs.put(
        51, MftRecordBuilder(kDeleted)
                .fileName(u16("d.txt"), 5, ntfs::FileNamespace::Posix)
                .dataExtent(0, 32, size, encodeRuns({{1, 900}, {15, std::nullopt}, {1, 920}, {15, std::nullopt}}), 0, 4)
                .build());
    v.file(50, "c.txt", size);
    v.file(51, "d.txt", size);
    v.select();
    for (const bool thorough : {false, true}) {
        const auto whole = recoverFile(v, 50, "c.txt", size, thorough);
        EXPECT_EQ(whole.bytes, expected) << thorough;
        EXPECT_EQ(whole.report.outcome, FileOutcome::Written) << thorough;
        const auto lost = recoverFile(v, 51, "d.txt", size, thorough);
        EXPECT_EQ(slice(lost.bytes, 0, kUnit), slice(expected, 0, kUnit)) << thorough;
        EXPECT_TRUE(allZero(lost.bytes, kUnit, size - kUnit)) << thorough;
        EXPECT_EQ(lost.report.outcome, FileOutcome::Incomplete) << thorough;
        EXPECT_EQ(lost.report.zeroFilledBlocks, 1u) << thorough;
    }
}
