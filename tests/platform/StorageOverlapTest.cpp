// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StorageOverlap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace sarvik::platform;
using namespace std::string_view_literals;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

StorageId block(std::uint32_t major, std::uint32_t minor)
{
    return {StorageId::Kind::Block, deviceNumber(major, minor), 0};
}

const StorageId kImage{StorageId::Kind::File, deviceNumber(8, 3), 12}; // an image file on sda3

BlockDeviceFacts device(const char* name, std::uint64_t number, std::uint64_t sizeBytes)
{
    BlockDeviceFacts d;
    d.name = name;
    d.number = number;
    d.sizeBytes = sizeBytes;
    return d;
}

BlockDeviceFacts partition(const char* name, std::uint32_t minor, std::uint32_t number, std::uint64_t startMiB,
                           std::uint64_t sizeMiB)
{
    BlockDeviceFacts d = device(name, deviceNumber(8, minor), sizeMiB * kMiB);
    d.disk = deviceNumber(8, 0);
    d.partition = number;
    d.startBytes = startMiB * kMiB;
    return d;
}

BlockDeviceFacts loop(const char* name, std::uint32_t minor, StorageId backing, std::uint64_t offsetMiB,
                      std::uint64_t limitMiB)
{
    BlockDeviceFacts d = device(name, deviceNumber(7, minor), 0);
    d.backing = backing;
    d.backingOffset = offsetMiB * kMiB;
    d.backingLimit = limitMiB * kMiB;
    return d;
}

/// sda with three partitions (1 MiB-101 MiB, 101-201, 201-end), an image on
/// sda3 looped whole (loop0) and at its two partitions' offsets (loop1, loop2),
/// a loop over loop0 (loop3), two logical volumes on sda2, and a loop device
/// that loops onto itself.
BlockTopology sampleSystem()
{
    BlockTopology t;
    t.devices.push_back(device("sda", deviceNumber(8, 0), 1000 * kMiB));
    t.devices.push_back(partition("sda1", 1, 1, 1, 100));
    t.devices.push_back(partition("sda2", 2, 2, 101, 100));
    t.devices.push_back(partition("sda3", 3, 3, 201, 799));
    t.devices.push_back(loop("loop0", 0, kImage, 0, 0));
    t.devices.push_back(loop("loop1", 1, kImage, 1, 10));
    t.devices.push_back(loop("loop2", 2, kImage, 11, 0));
    t.devices.push_back(loop("loop3", 3, block(7, 0), 1, 0));
    t.devices.push_back(loop("loop4", 4, block(7, 4), 0, 0));
    BlockDeviceFacts lv1 = device("dm-0", deviceNumber(253, 0), 10 * kMiB);
    lv1.slaves = {deviceNumber(8, 2)};
    BlockDeviceFacts lv2 = lv1;
    lv2.name = "dm-1";
    lv2.number = deviceNumber(253, 1);
    t.devices.push_back(lv1);
    t.devices.push_back(lv2);
    return t;
}

Overlap meet(const StorageRegion& written, const StorageRegion& read)
{
    const BlockTopology t = sampleSystem();
    return overlapOf(regionsUnder(written, t), regionsUnder(read, t));
}

} // namespace

TEST(StorageOverlap, DevicesPartitionsLoopsAndMappedDevicesMeetWhereTheirBytesDo)
{
    // Whole disk and its partition meet both ways; sibling partitions share the disk only.
    EXPECT_EQ(meet({block(8, 1)}, {block(8, 0)}), Overlap::Same);
    EXPECT_EQ(meet({block(8, 0)}, {block(8, 1)}), Overlap::Same);
    EXPECT_EQ(meet({block(8, 2)}, {block(8, 1)}), Overlap::SameDisk);
    // Partition 1 of the image (1 MiB, 10 MiB long) as the source: loop1 shows
    // exactly it, loop2 shows what follows, loop0 and loop3 (over loop0 at 1 MiB) reach it.
    const StorageRegion imagePart1{kImage, 1 * kMiB, 11 * kMiB};
    EXPECT_EQ(meet({block(7, 1)}, imagePart1), Overlap::Same);
    EXPECT_EQ(meet({block(7, 2)}, imagePart1), Overlap::SameDisk);
    EXPECT_EQ(meet({block(7, 0)}, imagePart1), Overlap::Same);
    EXPECT_EQ(meet({block(7, 3)}, imagePart1), Overlap::Same);
    // The same through the loop device as source, partition 1 given on it.
    EXPECT_EQ(meet({block(7, 1)}, {block(7, 0), 1 * kMiB, 11 * kMiB}), Overlap::Same);
    EXPECT_EQ(meet({block(7, 2)}, {block(7, 0), 1 * kMiB, 11 * kMiB}), Overlap::SameDisk);
    // The image is its own storage: the partition that holds it is not the image.
    EXPECT_EQ(meet({block(8, 3)}, {kImage}), Overlap::None);
    EXPECT_EQ(meet({kImage}, {block(7, 0)}), Overlap::Same);
    // Logical volumes: their member is wholly theirs, a sibling only maybe.
    EXPECT_EQ(meet({block(253, 0)}, {block(8, 2)}), Overlap::Same);
    EXPECT_EQ(meet({block(253, 0)}, {block(253, 1)}), Overlap::SameDisk);
    EXPECT_EQ(meet({block(253, 0)}, {block(8, 1)}), Overlap::SameDisk);
    // A loop device over itself ends.
    EXPECT_EQ(meet({block(7, 4)}, {block(8, 0)}), Overlap::None);
}

TEST(StorageOverlap, MountInfoLinesGiveDeviceMountPointSourceAndWhetherWritable)
{
    const std::string text = "22 1 8:3 / / rw,relatime shared:1 - ext4 /dev/sda3 rw,errors=remount-ro\n"
                             "47 22 0:41 / /media/my\\040card rw,relatime - fuse /home/u/card\\134.img rw,user_id=0\n"
                             "48 22 0:42 / /mnt/fat rw,nosuid shared:5 master:2 - fuse.fusefat fusefat rw,user_id=0\n"
                             "49 22 7:0 / /mnt/ro ro,relatime - vfat /dev/loop0 rw\n"
                             "50 22 7:1 / /mnt/super rw - vfat /dev/loop1 ro\n"
                             "garbage line without the separator\n"
                             "51 22 x:y / /bad rw - ext4 /dev/sdz rw\n";
    const auto mounts = parseMountInfo(text);
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[0].device, deviceNumber(8, 3));
    EXPECT_EQ(mounts[0].source, "/dev/sda3");
    EXPECT_TRUE(mounts[0].readWrite);
    EXPECT_EQ(mounts[1].mountPoint, "/media/my card");
    EXPECT_EQ(mounts[1].source, "/home/u/card\\.img");
    EXPECT_EQ(mounts[2].fsType, "fuse.fusefat");
    EXPECT_EQ(mounts[2].source, "fusefat");
    EXPECT_EQ(mounts[2].device, deviceNumber(0, 42));
    EXPECT_FALSE(mounts[3].readWrite); // the mount is read-only
    EXPECT_FALSE(mounts[4].readWrite); // the file system is
}

TEST(StorageOverlap, SysfsTreeGivesPartitionsLoopBackingAndSlaves)
{
    std::string t = (fs::temp_directory_path() / "sarvik-sysfs-XXXXXX").string();
    const fs::path root = ::mkdtemp(t.data());
    const auto put = [](const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
    };
    // As in sysfs: class/block holds links; a partition's folder lies in its disk's.
    put(root / "devices/sda/dev", "8:0\n");
    put(root / "devices/sda/size", "2048000\n");
    put(root / "devices/sda/sda2/dev", "8:2\n");
    put(root / "devices/sda/sda2/partition", "2\n");
    put(root / "devices/sda/sda2/start", "206848\n");
    put(root / "devices/sda/sda2/size", "204800\n");
    put(root / "devices/loop0/dev", "7:0\n");
    put(root / "devices/loop0/loop/backing_file", "/srv/card.img\n");
    put(root / "devices/loop0/loop/offset", "1048576\n");
    put(root / "devices/loop0/loop/sizelimit", "0\n");
    put(root / "devices/dm-0/dev", "253:0\n");
    put(root / "devices/dm-0/slaves/sda2", "");
    fs::create_directories(root / "class/block");
    for (const char* name : {"sda", "sda/sda2", "loop0", "dm-0"})
        fs::create_directory_symlink(root / "devices" / name, root / "class/block" / fs::path(name).filename());

    std::string asked;
    const BlockTopology topology = readBlockTopology(root / "class/block", [&](const std::string& path) {
        asked = path;
        return std::optional<StorageId>(kImage);
    });
    fs::remove_all(root);

    ASSERT_EQ(topology.devices.size(), 4u);
    const BlockDeviceFacts* sda2 = topology.find(deviceNumber(8, 2));
    ASSERT_NE(sda2, nullptr);
    EXPECT_EQ(sda2->disk, deviceNumber(8, 0));
    EXPECT_EQ(sda2->partition, 2u);
    EXPECT_EQ(sda2->startBytes, 206848u * 512);
    EXPECT_EQ(sda2->sizeBytes, 204800u * 512);
    const BlockDeviceFacts* loop0 = topology.find(deviceNumber(7, 0));
    ASSERT_NE(loop0, nullptr);
    EXPECT_EQ(asked, "/srv/card.img");
    EXPECT_EQ(loop0->backing, kImage);
    EXPECT_EQ(loop0->backingOffset, kMiB);
    const BlockDeviceFacts* dm = topology.find(deviceNumber(253, 0));
    ASSERT_NE(dm, nullptr);
    EXPECT_EQ(dm->slaves, std::vector<std::uint64_t>{deviceNumber(8, 2)});
    EXPECT_EQ(topology.find(deviceNumber(8, 0))->disk, 0u);
}

TEST(StorageOverlap, FuseDaemonIsFoundByTheMountPointItsCommandLineNames)
{
    const auto args = splitCommandLine("fusefat\0-o\0rw+\0card.img\0mnt/fat/\0"sv);
    ASSERT_EQ(args.size(), 5u);
    EXPECT_TRUE(commandNamesMount(args, "/home/u", "/home/u/mnt/fat"));
    EXPECT_TRUE(commandNamesMount({"ntfs-3g", "/dev/loop0", "/media/x/../card"}, "/", "/media/card"));
    EXPECT_TRUE(commandNamesMount(args, "/", "/home/u/mnt/fat")); // in the background, in "/"
    EXPECT_FALSE(commandNamesMount(args, "/home/u", "/home/u/mnt"));
    EXPECT_FALSE(commandNamesMount(args, "/", "/home/u/mnt/xfat"));
    EXPECT_FALSE(commandNamesMount({"/home/u/mnt/fat"}, "/", "/home/u/mnt/fat")); // the program's own name
}
