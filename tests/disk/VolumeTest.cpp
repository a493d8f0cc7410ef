#include "disk/DriveInformation.h"
#include "disk/Volume.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <random>

using namespace sarvik;

TEST(SelectDrive, Fat16GeometryFromTheBootSector)
{
    auto image = test::fat16Boot(2048, 1, 200, 4, 512);
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, image));
    EXPECT_EQ(v.info.VolumeKind, 100);
    EXPECT_EQ(v.info.VolumeSupported, 1);
    EXPECT_EQ(v.info.VolumeClusterSectors, 4u);
    EXPECT_EQ(v.info.VolumeSectors, 2048u);
    EXPECT_EQ(v.info.DevicePath, "mem.img");
    EXPECT_EQ(v.geometry.GeometryKind, 100);
    EXPECT_EQ(v.geometry.RootDirSectors, 32u);
    EXPECT_EQ(v.geometry.RootDirStart, 401u);
    EXPECT_EQ(v.geometry.FirstFatSector, 1u);
    EXPECT_EQ(v.geometry.SecondFatSector, 201u);
    EXPECT_EQ(v.geometry.ClusterBaseSector, 425);
    EXPECT_EQ(v.geometry.clusterSector(2), 433u);
    EXPECT_EQ(v.partition.PartitionStartSector, 0u);
    EXPECT_EQ(v.partition.PartitionSectors, 2048u);
    EXPECT_TRUE(v.reader.isOpen());
}

TEST(SelectDrive, Fat32GeometryKeepsTheWholeFatSize)
{
    auto image = test::fat32Boot(4096, 32, 1000, 8, 2);
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, image));
    EXPECT_EQ(v.geometry.GeometryKind, 200);
    EXPECT_EQ(v.geometry.RootDirSectors, 0u);
    EXPECT_EQ(v.geometry.RootDirStart, 2u);
    EXPECT_EQ(v.geometry.SecondFatSector, 1032u);
    EXPECT_EQ(v.geometry.ClusterBaseSector, 2016);

    auto big = test::fat32Boot(64, 32, 70000, 8, 2);
    ASSERT_TRUE(test::selectImage(v, big));
    EXPECT_EQ(v.geometry.FatSectors, 70000u);
    EXPECT_EQ(v.geometry.SecondFatSector, 70032u);
}

TEST(SelectDrive, NtfsGeometry)
{
    auto image = test::ntfsBoot(1024, 8, 4, 0xF4);
    disk::SelectedVolume v;
    v.geometry.FatSectors = 77; // an earlier FAT selection's value stays
    ASSERT_TRUE(test::selectImage(v, image));
    EXPECT_EQ(v.geometry.GeometryKind, 300);
    EXPECT_EQ(v.geometry.MftStartSector, 32u);
    EXPECT_EQ(v.geometry.ClusterBaseSector, 0);
    EXPECT_EQ(v.geometry.MftRecordSectors, 2u);
    EXPECT_EQ(v.geometry.IndexRecordSectors, 8u);
    EXPECT_EQ(v.geometry.FatSectors, 77u);

    auto one = test::ntfsBoot(1024, 8, 4, 1);
    ASSERT_TRUE(test::selectImage(v, one));
    EXPECT_EQ(v.geometry.IndexRecordSectors, 8u);

    // An MFT cluster number whose sector does not fit 32 bits keeps all its bits.
    auto far = test::ntfsBoot(16, 128, 0x40000000, 1);
    ASSERT_TRUE(test::selectImage(v, far));
    EXPECT_EQ(v.geometry.MftStartSector, std::uint64_t{0x40000000} * 128);
}

TEST(SelectDrive, UnsupportedVolumesLeaveTheGeometryAlone)
{
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, test::fat32Boot(4096, 32, 1000, 8, 2)));
    const disk::VolumeGeometry before = v.geometry;

    auto expectNotReady = [&](const test::ImageBuilder& image, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(test::selectImage(v, image));
        EXPECT_EQ(v.info.VolumeKind, 400);
        EXPECT_EQ(v.info.VolumeSupported, 0);
        EXPECT_EQ(v.info.DevicePath, " ");
        EXPECT_EQ(v.info.VolumeClusterSectors, 0u);
        EXPECT_EQ(v.info.VolumeSectors, 0u);
        EXPECT_FALSE(v.reader.isOpen());
        EXPECT_EQ(v.geometry.ClusterBaseSector, before.ClusterBaseSector);
        EXPECT_EQ(v.geometry.GeometryKind, before.GeometryKind);
        EXPECT_EQ(v.geometry.SecondFatSector, before.SecondFatSector);
        const auto texts = disk::ShowVolumeInfo(v.info);
        EXPECT_EQ(texts.fileSystem, "NOT READY");
        EXPECT_EQ(texts.capacity, "0 MB ( Approx )");
        EXPECT_EQ(texts.sectorsPerCluster, "0");
        EXPECT_EQ(texts.bytesPerSector, "512");
    };

    auto fat12 = test::fat16Boot(2048, 1, 8, 4, 512);
    fat12.putText(54, "FAT12   ");
    expectNotReady(fat12, "FAT12");

    expectNotReady(test::ImageBuilder(0), "empty file");

    test::ImageBuilder random(64);
    std::mt19937 gen(7);
    for (auto& b : random.bytes())
        b = static_cast<std::byte>(gen() & 0xFF);
    random.put(510, 1, 0); // no signature by chance
    expectNotReady(random, "random bytes");

    auto noSignature = test::fat16Boot(2048, 1, 200, 4, 512);
    noSignature.put(511, 1, 0);
    expectNotReady(noSignature, "no 55 AA");

    for (int spc : {0, 3, 6, 255}) {
        auto badCluster = test::fat16Boot(2048, 1, 200, static_cast<std::uint8_t>(spc), 512);
        expectNotReady(badCluster, "cluster byte not a power of two");
    }
}

TEST(SelectDrive, DeviceThatCannotBeOpenedIsNotReady)
{
    test::MemoryDevices devices;
    disk::SelectedVolume v;
    disk::DriveItem item{"Logical Disk(sdz1)", "/dev/sdz1", disk::DriveKind::Fixed, 0};
    EXPECT_FALSE(disk::SelectDrive(v, item, devices));
    EXPECT_EQ(disk::ShowVolumeInfo(v.info).fileSystem, "NOT READY");
}

TEST(SelectDrive, LabelAndDrivePageTexts)
{
    test::MemoryDevices devices;
    auto image = test::fat32Boot(81920, 32, 630, 1, 2); // 40 MiB
    devices.add("usb.img", image.source(), "HOLIDAY PHOTOS 2024 AND MORE");
    disk::SelectedVolume v;
    disk::DriveItem item{"Disk Image(usb.img)", "usb.img", disk::DriveKind::Image, 0};
    ASSERT_TRUE(disk::SelectDrive(v, item, devices));
    // A label longer than the classic 19-character field is kept whole.
    EXPECT_EQ(v.info.VolumeLabel, "HOLIDAY PHOTOS 2024 AND MORE");
    const auto texts = disk::ShowVolumeInfo(v.info);
    EXPECT_EQ(texts.capacity, "40 MB ( Approx )");
    EXPECT_EQ(texts.sectorsPerCluster, "1");
    EXPECT_EQ(texts.fileSystem, "FAT32");
}

TEST(DriveInformation, ValuesByKind)
{
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, test::ntfsBoot(1024, 8, 4, 0xF4)));
    auto ntfs = disk::ShowDriveInformation(v.geometry, 12, 34);
    EXPECT_EQ(ntfs.fileSystem, "NTFS");
    EXPECT_EQ(ntfs.startSector, "0");
    EXPECT_EQ(ntfs.firstFat, "N/A");
    EXPECT_EQ(ntfs.secondFat, "N/A");
    EXPECT_EQ(ntfs.mftStart, "32");
    EXPECT_EQ(ntfs.directories, "12");
    EXPECT_EQ(ntfs.files, "34");

    ASSERT_TRUE(test::selectImage(v, test::fat16Boot(2048, 1, 200, 4, 512)));
    auto fat = disk::ShowDriveInformation(v.geometry, 0, 0);
    EXPECT_EQ(fat.fileSystem, "FAT16");
    EXPECT_EQ(fat.startSector, "425");
    EXPECT_EQ(fat.firstFat, "1");
    EXPECT_EQ(fat.secondFat, "201");
    EXPECT_EQ(fat.mftStart, "N/A");
    EXPECT_EQ(fat.spc, "4");

    disk::VolumeGeometry other;
    other.GeometryKind = 400;
    EXPECT_EQ(disk::ShowDriveInformation(other, 0, 0).fileSystem, "");
}

TEST(VolumeGeometry, ClusterSectorOfTinyVolumesStaysUsable)
{
    // 1 reserved sector, FATs of 1 sector, 128 sectors per cluster: the base lies before sector 0.
    auto image = test::fat32Boot(1024, 1, 1, 128, 2);
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, image));
    EXPECT_LT(v.geometry.ClusterBaseSector, 0);
    EXPECT_EQ(v.geometry.clusterSector(2), 3u);
    EXPECT_FALSE(v.geometry.clusterSector(0).has_value());
    EXPECT_EQ(disk::sectorText(v.geometry.ClusterBaseSector), std::to_string(static_cast<std::uint32_t>(3 - 256)));
}
