// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/Volume.h"
#include "disk/DriveInformation.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <random>

using namespace sarvik;

TEST(SelectDrive, Fat16GeometryFromTheBootSector)
{
    auto image = test::fat16Boot(2048, 1, 200, 4, 512);
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, image));
    EXPECT_EQ(v.info.FileSystemKind, 100);
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
        EXPECT_EQ(v.info.FileSystemKind, 400);
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

    // The type text alone makes no FAT12 volume: without a sector count there are no clusters.
    auto fat12 = test::fat16Boot(2048, 1, 8, 4, 512);
    fat12.putText(54, "FAT12   ");
    expectNotReady(fat12, "FAT12 type text, no sectors");

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

// Each way a selection fails comes out as its own kind, with what the user needs.
TEST(SelectDrive, FailureKindsAreKeptApart)
{
    test::MemoryDevices devices;
    auto zeros = test::ImageBuilder(64);
    devices.add("zeros.img", zeros.source());
    auto unreadable = std::make_shared<disk::MemoryBlockSource>(test::fat16Boot(2048, 1, 200, 4, 512).bytes());
    unreadable->addBadRange(0, 512);
    devices.add("bad.img", unreadable);
    auto select = [&](const std::string& path, disk::GeometryRules rules = disk::GeometryRules::Thorough) {
        disk::SelectedVolume v;
        const auto result =
            disk::SelectDrive(v, {"Disk Image(" + path + ")", path, disk::DriveKind::Image, 0}, devices, rules);
        EXPECT_EQ(disk::ShowVolumeInfo(v.info).fileSystem, "NOT READY") << path;
        EXPECT_FALSE(v.reader.isOpen()) << path;
        return result;
    };
    const auto missing = select("missing.img");
    EXPECT_EQ(missing.status, disk::SelectStatus::CannotOpen);
    EXPECT_EQ(missing.detail, "missing.img: No such file or directory"); // the provider's reason, passed on
    EXPECT_EQ(select("bad.img").status, disk::SelectStatus::Unreadable);
    EXPECT_EQ(select("zeros.img").status, disk::SelectStatus::NotAVolume);
    EXPECT_EQ(disk::selectFailureText(select("zeros.img")), "not a FAT12, FAT16, FAT32, exFAT or NTFS volume");
    // A compressed image is named as such, with what to do.
    auto gzipped = test::ImageBuilder(64);
    gzipped.put(0, 2, 0x8B1F);
    devices.add("card.img.gz", gzipped.source());
    const auto compressed = select("card.img.gz");
    EXPECT_EQ(compressed.status, disk::SelectStatus::NotAVolume);
    EXPECT_EQ(disk::selectFailureText(compressed), "not a FAT12, FAT16, FAT32, exFAT or NTFS volume but a "
                                                   "gzip-compressed file: decompress it and open what comes out");
    auto xz = test::ImageBuilder(64);
    xz.put(0, 1, 0xFD);
    xz.putText(1, "7zXZ");
    devices.add("card.img.xz", xz.source());
    EXPECT_EQ(select("card.img.xz").detail, "xz-compressed");

    // Geometry: each field the rules do not read is named.
    auto fourK = test::fat16Boot(2048, 1, 25, 1, 512);
    fourK.put(11, 2, 4096);
    auto oneFat = test::fat16Boot(2048, 1, 200, 4, 512);
    oneFat.put(16, 1, 1);
    auto bigRecords = test::ntfsBoot(1024, 8, 4, 0xF4);
    bigRecords.put(64, 1, 0xF4); // 2^12 = 4096-byte MFT records
    auto odd = test::fat16Boot(2048, 1, 200, 4, 512);
    odd.put(11, 2, 640);
    devices.add("4k.img", fourK.source());
    devices.add("onefat.img", oneFat.source());
    devices.add("records.img", bigRecords.source());
    devices.add("odd.img", odd.source());
    const struct {
        const char* path;
        const char* field;
    } classic[] = {{"4k.img", "bytes per sector 4096"},
                   {"onefat.img", "number of FATs 1"},
                   {"records.img", "MFT record size 4096 bytes"}};
    for (const auto& c : classic) {
        const auto refused = select(c.path, disk::GeometryRules::Classic);
        EXPECT_EQ(refused.status, disk::SelectStatus::UnsupportedGeometry) << c.path;
        EXPECT_EQ(refused.detail.rfind(c.field, 0), 0u) << refused.detail;
        disk::SelectedVolume v;
        EXPECT_TRUE(disk::SelectDrive(v, {"", c.path, disk::DriveKind::Image, 0}, devices)) << c.path;
    }
    const auto oddSize = select("odd.img");
    EXPECT_EQ(oddSize.status, disk::SelectStatus::UnsupportedGeometry);
    EXPECT_EQ(oddSize.detail, "bytes per sector 640");
}

// The thorough rules scale every sector number to 512-byte units and lay out one FAT.
TEST(SelectDrive, LargeSectorsAndOneFatInFiveHundredTwelveByteUnits)
{
    auto image = test::fat16Boot(2048, 1, 25, 1, 512); // 1 reserved, 25 sectors a FAT, 512 root entries
    image.put(11, 2, 4096);
    image.put(16, 1, 1);
    image.put(19, 2, 256); // 256 sectors of 4096 bytes: the whole 1 MiB image
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, image));
    EXPECT_EQ(v.info.BytesPerSector, 4096u);
    EXPECT_EQ(v.info.VolumeClusterSectors, 1u);
    EXPECT_EQ(v.info.FileSystemSectors, 2048u);
    EXPECT_EQ(disk::ShowVolumeInfo(v.info).bytesPerSector, "4096");
    EXPECT_EQ(v.geometry.SectorsPerCluster, 8u);
    EXPECT_EQ(v.geometry.FirstFatSector, 8u);
    EXPECT_EQ(v.geometry.SecondFatSector, 8u); // the one FAT serves as both copies
    EXPECT_EQ(v.geometry.RootDirStart, 208u);
    EXPECT_EQ(v.geometry.RootDirSectors, 32u);    // 16 KiB of entries: four 4096-byte sectors
    EXPECT_EQ(v.geometry.clusterSector(2), 240u); // right after the root
    EXPECT_FALSE(disk::truncationText(v.info).has_value());

    auto ntfs = test::ntfsBoot(2048, 1, 4, 1);
    ntfs.put(11, 2, 4096);
    ntfs.put(64, 1, 1); // one 4096-byte cluster per record
    ASSERT_TRUE(test::selectImage(v, ntfs));
    EXPECT_EQ(v.geometry.MftStartSector, 32u);
    EXPECT_EQ(v.geometry.MftRecordSectors, 8u);
    EXPECT_EQ(v.geometry.IndexRecordSectors, 8u);
}

// A lost or damaged main boot sector gives way to its backup; a cut image says where it ends.
TEST(SelectDrive, BackupBootSectorAndTruncatedImage)
{
    auto fat32 = test::fat32Boot(4096, 32, 1000, 8, 2);
    const auto boot = std::vector<std::byte>(fat32.bytes().begin(), fat32.bytes().begin() + 512);
    std::copy(boot.begin(), boot.end(), fat32.bytes().begin() + 6 * 512);
    fat32.put(510, 1, 0); // the main one no longer parses
    disk::SelectedVolume v;
    ASSERT_TRUE(test::selectImage(v, fat32));
    EXPECT_TRUE(v.info.BackupBootSector);
    EXPECT_EQ(v.geometry.ClusterBaseSector, 2016);
    EXPECT_EQ(disk::backupBootText(v.info).value_or(""),
              "read from the backup boot sector (sector 6); the main one cannot be read or is damaged");

    // NTFS keeps its copy in the device's last sector; here the main one cannot even be read.
    auto ntfs = test::ntfsBoot(1024, 8, 4, 0xF4);
    ntfs.put(40, 8, 1023);
    std::copy(ntfs.bytes().begin(), ntfs.bytes().begin() + 512, ntfs.bytes().end() - 512);
    test::MemoryDevices devices;
    auto source = std::make_shared<disk::MemoryBlockSource>(ntfs.bytes());
    source->addBadRange(0, 512);
    devices.add("ntfs.img", source);
    ASSERT_TRUE(disk::SelectDrive(v, {"", "ntfs.img", disk::DriveKind::Image, 0}, devices));
    EXPECT_EQ(v.info.FileSystemKind, disk::VolumeKind::Ntfs);
    EXPECT_EQ(v.info.BackupBootSectorAt, 1023u * 512);
    EXPECT_EQ(v.geometry.MftStartSector, 32u);

    // A volume that claims 4096 sectors in an image of 2048.
    auto cut = test::fat16Boot(2048, 1, 200, 4, 512);
    cut.put(19, 2, 4096);
    ASSERT_TRUE(test::selectImage(v, cut));
    EXPECT_FALSE(v.info.BackupBootSector);
    EXPECT_EQ(v.info.FileSystemSectors, 4096u);
    EXPECT_EQ(v.info.VolumeSectors, 2048u);
    EXPECT_EQ(disk::truncationText(v.info).value_or(""),
              "the image ends at sector 2048 of the volume's 4096: 1.0 MiB (50%) is missing");
}
