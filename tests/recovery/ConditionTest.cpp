// SPDX-License-Identifier: GPL-3.0-or-later
// The condition of deleted files on a FAT16 volume built in memory (allocation
// table entries set by hand), and the times recovered files get from the
// catalogue. Volumes written by the real tools are checked in tests/cli/partitions.sh.

#include "recovery/Condition.h"
#include "disk/VolumeExtent.h"
#include "recovery/OriginalTimes.h"
#include "scan/ScanSession.h"
#include "support/Manifest.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

using namespace sarvik;

namespace {

// 2048 sectors, 1 reserved, 200-sector FATs, 4 sectors per cluster, 512 root entries.
test::ImageBuilder fatVolume()
{
    return test::fat16Boot(2048, 1, 200, 4, 512);
}

void setFatEntry(test::ImageBuilder& image, std::uint32_t cluster, std::uint16_t value)
{
    image.put(512 + 2 * std::size_t{cluster}, 2, value); // first FAT at sector 1
}

catalogue::FatFileEntry deletedFile(std::uint32_t ordinal, std::uint32_t firstCluster, std::uint32_t size,
                                    std::uint16_t writeDate)
{
    catalogue::FatFileEntry e;
    e.ordinal = ordinal;
    e.firstCluster = firstCluster;
    e.size = size;
    e.writeDate = writeDate;
    e.deleted = 1;
    return e;
}

constexpr std::uint16_t packDate(int year, int month, int day)
{
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

} // namespace

TEST(Condition, FatSharesOfClustersWhoseEntriesAreTaken)
{
    auto image = fatVolume();
    setFatEntry(image, 11, 0xFFFF); // a live file took the second of 10..12
    setFatEntry(image, 20, 0xFFFF);
    setFatEntry(image, 21, 0xFFFF);
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, image));
    recovery::ConditionEstimator est(v);

    const auto partly = est.fatFile(10, 3 * 2048); // consecutive clusters 10, 11, 12
    EXPECT_EQ(partly.condition, recovery::FileCondition::PartlyOverwritten);
    EXPECT_EQ(partly.clusters, 3u);
    EXPECT_EQ(partly.clustersInUse, 1u);
    EXPECT_NEAR(partly.share(), 1.0 / 3, 1e-9);

    const auto good = est.fatFile(30, 2049); // 2 clusters, both free
    EXPECT_EQ(good.condition, recovery::FileCondition::Good);
    EXPECT_EQ(good.clusters, 2u);

    const auto gone = est.fatFile(20, 4096); // 20, 21: both taken
    EXPECT_EQ(gone.condition, recovery::FileCondition::Overwritten);
    EXPECT_STREQ(recovery::conditionText(gone.condition), "Overwritten");

    const auto empty = est.fatFile(40, 0);
    EXPECT_EQ(empty.condition, recovery::FileCondition::Good);
    EXPECT_EQ(empty.clusters, 0u);

    // Clusters past the volume's last one (404 here) cannot hold the file.
    EXPECT_EQ(est.fatFile(404, 4096).clustersInUse, 1u);
    EXPECT_EQ(est.fatFile(200 * 256, 4096).clustersInUse, 2u);
}

TEST(Condition, FatChainIsReadWhenItHasTheLengthTheSizeNeeds)
{
    // A file whose chain was left in the table (5 -> 9 -> end): the clusters
    // the copy reads are 5 and 9, not 5 and 6, and both entries are in use.
    auto image = fatVolume();
    setFatEntry(image, 5, 9);
    setFatEntry(image, 9, 0xFFFF);
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, image));
    recovery::ConditionEstimator est(v);
    EXPECT_EQ(est.fatFile(5, 4096).condition, recovery::FileCondition::Overwritten);
    EXPECT_EQ(est.fatFile(6, 2048).condition, recovery::FileCondition::Good);
}

TEST(Condition, NewerDeletedFileOverTheSameClustersClaimsThem)
{
    auto image = fatVolume();
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, image));
    catalogue::Catalogue c;
    c.fsLists().FatFileList.push_back(deletedFile(0, 50, 4 * 2048, packDate(2023, 3, 1))); // older: 50..53
    c.fsLists().FatFileList.push_back(deletedFile(1, 52, 4 * 2048, packDate(2023, 3, 2))); // newer: 52..55
    c.fsLists().FatFileList.push_back(deletedFile(2, 80, 2048, packDate(2023, 3, 1)));     // alone

    recovery::ConditionEstimator plain(v);
    EXPECT_EQ(plain.fatFile(c.fsLists().FatFileList[0]).condition,
              recovery::FileCondition::Good); // the table alone sees nothing

    recovery::ConditionEstimator est(v);
    est.useOverlaps(c);
    const auto older = est.fatFile(c.fsLists().FatFileList[0]);
    EXPECT_EQ(older.condition, recovery::FileCondition::PartlyOverwritten);
    EXPECT_EQ(older.clustersInUse, 2u);
    EXPECT_EQ(est.fatFile(c.fsLists().FatFileList[1]).condition, recovery::FileCondition::Good);
    EXPECT_EQ(est.fatFile(c.fsLists().FatFileList[2]).condition, recovery::FileCondition::Good);

    // Rows: only deleted files get a condition.
    std::vector<catalogue::FileRow> rows(3);
    rows[0].deleted = true;
    rows[0].entry = catalogue::fileEntryId(0);
    rows[1].folder = true;
    rows[1].deleted = true;
    rows[2].deleted = false;
    rows[2].entry = catalogue::fileEntryId(2);
    est.fillRows(rows, c);
    EXPECT_EQ(rows[0].condition, "Partly overwritten");
    EXPECT_EQ(rows[0].conditionClusters, 4u);
    EXPECT_EQ(rows[0].conditionClustersInUse, 2u);
    EXPECT_EQ(rows[1].condition, "");
    EXPECT_EQ(rows[2].condition, "");
}

TEST(OriginalTimes, FatTimesAreLocalAndNtfsTimesAreUtcToTheirFraction)
{
    std::tm day{};
    day.tm_year = 2023 - 1900;
    day.tm_mon = 10;
    day.tm_mday = 14;
    day.tm_isdst = -1;
    const auto midnight = static_cast<std::int64_t>(std::mktime(&day));
    EXPECT_EQ(recovery::fatDateToUnix(packDate(2023, 11, 14)), midnight);
    EXPECT_EQ(recovery::fatDateToUnix(0), std::nullopt);
    EXPECT_EQ(recovery::fatDateToUnix(packDate(2023, 13, 1)), std::nullopt);
    EXPECT_EQ(recovery::fatDateToUnix(packDate(2023, 2, 29)), std::nullopt);
    EXPECT_NE(recovery::fatDateToUnix(packDate(2024, 2, 29)), std::nullopt);

    const auto fat = recovery::fatEntryTimes(packDate(2023, 11, 14), 0); // no access date: the write date
    ASSERT_TRUE(fat);
    EXPECT_EQ(fat->modified, midnight);
    EXPECT_EQ(fat->accessed, midnight);
    EXPECT_EQ(recovery::fatEntryTimes(packDate(2023, 11, 14), packDate(2023, 11, 15))->accessed, midnight + 86400);
    EXPECT_FALSE(recovery::fatEntryTimes(0, packDate(2023, 11, 15)));
    // The write time of day, in 2-second steps: 22:13:20 is 22 << 11 | 13 << 5 | 20 / 2. A time
    // that names no moment (25 o'clock) leaves the date alone, never the next day.
    EXPECT_EQ(recovery::fatEntryTimes(packDate(2023, 11, 14), 0, (22 << 11) | (13 << 5) | 10)->modified,
              midnight + 22 * 3600 + 13 * 60 + 20);
    EXPECT_EQ(recovery::fatDateTimeToUnix(packDate(2023, 11, 14), 25 << 11), midnight);

    // 2023-11-14 22:13:20 UTC as a FILETIME, then 0.1234567 seconds later.
    const auto ntfs = recovery::ntfsEntryTimes(133444736000000000ull);
    ASSERT_TRUE(ntfs);
    EXPECT_EQ(ntfs->modified, 1700000000);
    EXPECT_EQ(ntfs->accessed, 1700000000);
    EXPECT_EQ(ntfs->modifiedNanoseconds, 0u);
    const auto fraction = recovery::ntfsEntryTimes(133444736001234567ull);
    ASSERT_TRUE(fraction);
    EXPECT_EQ(fraction->modified, 1700000000);
    EXPECT_EQ(fraction->modifiedNanoseconds, 123456700u);
    EXPECT_FALSE(recovery::ntfsEntryTimes(0));
}

// Found by the volume fuzzer (tests/fuzz/VolumeScanFuzz.cpp, input
// "RgR3wcH/GDD///8AwwBgIAAOhligYGBgYPr/Xl5eXl5eXl5eXl5eXl5eXl5eXl5eXl5eXl5eXl5eXl5gIAAOhv8="):
// two patches over ntfs.img give a deleted file a run of billions of clusters.
// The estimate looked each of them up in $Bitmap (minutes); it counts only
// the clusters the volume has, a bitmap sector at a time.
TEST(Condition, DamagedRunLengthCountsNoMoreThanTheVolumesClusters)
{
    const std::filesystem::path image = std::filesystem::path(SARVIK_TEST_VOLUMES) / "ntfs.img";
    if (!std::filesystem::exists(image))
        GTEST_SKIP() << "no " << image << " (run tools/make-test-volumes.sh)";
    auto bytes = test::readImageFile(image);
    const auto patch = [&](std::size_t offset, std::initializer_list<std::uint8_t> values) {
        for (const std::uint8_t v : values)
            bytes.at(offset++) = std::byte{v};
    };
    patch(0x1C177, {0x18, 0x30, 0xFF, 0xFF, 0xFF, 0x00, 0xC3, 0x00, 0x60, 0x20, 0x00, 0x0E, 0x86, 0x58, 0xA0, 0x60,
                    0x60, 0x60, 0x60, 0xFA, 0xFF, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E});
    patch(0x1E5E5E, {0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x5E,
                     0x5E, 0x5E, 0x5E, 0x5E, 0x5E, 0x60, 0x20, 0x00, 0x0E, 0x86, 0xFF});
    scan::ScanSession session;
    scan::ScanOptions options;
    options.thorough = true;
    ASSERT_TRUE(test::scanImage(session, std::move(bytes), options.thorough));
    const std::uint64_t volumeClusters = disk::volumeExtent(session.volume).clusterCount();
    ASSERT_GT(volumeClusters, 0u);
    std::size_t estimated = 0;
    for (std::uint32_t handle = catalogue::FolderTree::kRootHandle; handle <= session.tree.size(); ++handle) {
        const catalogue::TreeNode* node = session.tree.node(handle);
        ASSERT_NE(node, nullptr);
        for (const catalogue::FileRow& row : session.rows(node->key)) {
            if (row.folder || !row.deleted)
                continue;
            EXPECT_LE(row.conditionClusters, volumeClusters) << row.name;
            EXPECT_LE(row.conditionClustersInUse, row.conditionClusters) << row.name;
            ++estimated;
        }
    }
    EXPECT_GT(estimated, 0u);
}

// The scan keeps each deleted file's data runs so that the estimates need not
// read its record again; on the volumes the real tools made, in both rules,
// every estimate from what was kept equals the one that reads the record.
TEST(Condition, RunsKeptByTheNtfsScanGiveTheEstimatesOfReadingTheRecords)
{
    std::size_t volumes = 0;
    for (const char* name : {"ntfs.img", "ntfs-extents.img", "ntfs-mft.img"}) {
        const std::filesystem::path image = std::filesystem::path(SARVIK_TEST_VOLUMES) / name;
        if (!std::filesystem::exists(image))
            continue;
        for (const bool thorough : {false, true}) {
            scan::ScanSession session;
            ASSERT_TRUE(test::scanImage(session, test::readImageFile(image), thorough)) << name;
            const catalogue::Catalogue& kept = session.catalogue;
            catalogue::Catalogue read = kept;
            std::size_t keptFiles = 0;
            for (auto& e : read.fsLists().NtfsFileList) {
                keptFiles += e.dataKept != catalogue::NtfsDataKept::No ? 1 : 0;
                e.dataKept = catalogue::NtfsDataKept::No;
            }
            EXPECT_GT(keptFiles, 0u) << name;
            recovery::ConditionEstimator fromKept(session.volume, thorough);
            fromKept.useOverlaps(kept);
            recovery::ConditionEstimator fromRecords(session.volume, thorough);
            fromRecords.useOverlaps(read);
            for (std::size_t i = 0; i < kept.fsLists().NtfsFileList.size(); ++i) {
                const auto a = fromKept.ntfsFile(kept.fsLists().NtfsFileList[i]);
                const auto b = fromRecords.ntfsFile(read.fsLists().NtfsFileList[i]);
                EXPECT_EQ(a.condition, b.condition) << name << " " << kept.fsLists().NtfsFileList[i].name;
                EXPECT_EQ(a.clusters, b.clusters) << name << " " << kept.fsLists().NtfsFileList[i].name;
                EXPECT_EQ(a.clustersInUse, b.clustersInUse) << name << " " << kept.fsLists().NtfsFileList[i].name;
                EXPECT_EQ(a.clustersMissing, b.clustersMissing) << name << " " << kept.fsLists().NtfsFileList[i].name;
            }
        }
        ++volumes;
    }
    if (volumes == 0)
        GTEST_SKIP() << "no NTFS test volumes (run tools/make-test-volumes.sh)";
}

namespace {

std::uint64_t claimedIn(const std::vector<recovery::ClusterPart>& parts)
{
    std::uint64_t claimed = 0;
    for (const auto& p : parts)
        claimed += p.state == recovery::ClusterState::Claimed ? p.count : 0;
    return claimed;
}

} // namespace

// The parts a file's strip is drawn from: the clusters of the estimate, in
// copy order, each in the state the estimate counted it in.
TEST(Condition, ClusterPartsFollowTheEstimate)
{
    auto image = fatVolume();
    setFatEntry(image, 51, 0xFFFF); // a live file took 51
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, image));
    catalogue::Catalogue c;
    c.fsLists().FatFileList.push_back(deletedFile(0, 50, 6 * 2048, packDate(2023, 3, 1))); // 50..55
    c.fsLists().FatFileList.push_back(deletedFile(1, 53, 2 * 2048, packDate(2023, 3, 2))); // newer: 53, 54
    recovery::ConditionEstimator est(v);
    est.useOverlaps(c);
    using S = recovery::ClusterState;
    const auto parts = est.fatParts(c.fsLists().FatFileList[0]);
    ASSERT_TRUE(parts);
    const std::vector<recovery::ClusterPart> want{
        {50, 1, S::Intact}, {51, 1, S::Claimed}, {52, 1, S::Intact}, {53, 2, S::Claimed}, {55, 1, S::Intact}};
    EXPECT_EQ(*parts, want);
    const auto e = est.fatFile(c.fsLists().FatFileList[0]);
    EXPECT_EQ(claimedIn(*parts), e.clustersInUse - e.clustersMissing);

    // On the volumes the real tools made, every deleted file's parts claim
    // what its estimate counts.
    std::size_t volumes = 0;
    for (const char* name : {"fat32.img", "ntfs.img", "exfat.img"}) {
        const std::filesystem::path path = std::filesystem::path(SARVIK_TEST_VOLUMES) / name;
        if (!std::filesystem::exists(path))
            continue;
        scan::ScanSession session;
        ASSERT_TRUE(test::scanImage(session, test::readImageFile(path), true)) << name;
        recovery::ConditionEstimator real(session.volume, true);
        real.useOverlaps(session.catalogue);
        for (const auto& f : session.catalogue.fsLists().FatFileList) {
            const auto p = real.fatParts(f);
            const auto fe = real.fatFile(f);
            ASSERT_EQ(p.has_value(), fe.condition != recovery::FileCondition::Unknown) << name << " " << f.name;
            if (p) {
                EXPECT_EQ(claimedIn(*p), fe.clustersInUse - fe.clustersMissing) << name << " " << f.name;
            }
        }
        for (const auto& f : session.catalogue.fsLists().NtfsFileList) {
            const auto p = real.ntfsParts(f);
            const auto fe = real.ntfsFile(f);
            ASSERT_EQ(p.has_value(), fe.condition != recovery::FileCondition::Unknown) << name << " " << f.name;
            if (p) {
                EXPECT_EQ(claimedIn(*p), fe.clustersInUse - fe.clustersMissing) << name << " " << f.name;
            }
        }
        ++volumes;
    }
    EXPECT_GT(volumes, 0u) << "no test volumes (run tools/make-test-volumes.sh)";
}
