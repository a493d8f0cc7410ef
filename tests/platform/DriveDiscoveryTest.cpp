// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DriveDiscovery.h"
#include "platform/Devices.h"
#include "platform/PartitionSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

using namespace sarvik;
namespace fs = std::filesystem;

namespace {

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("sarvik-sysfs-" + std::to_string(::getpid()));
        fs::remove_all(root);
    }
    void TearDown() override { fs::remove_all(root); }

    void write(const fs::path& rel, const std::string& text)
    {
        fs::create_directories((root / rel).parent_path());
        std::ofstream(root / rel) << text << "\n";
    }
    void disk(const std::string& name, bool removable, std::uint64_t sectors)
    {
        write("block/" + name + "/removable", removable ? "1" : "0");
        write("block/" + name + "/size", std::to_string(sectors));
    }
    void partition(const std::string& diskName, const std::string& name, std::uint64_t sectors)
    {
        write("block/" + diskName + "/" + name + "/partition", "1");
        write("block/" + diskName + "/" + name + "/size", std::to_string(sectors));
    }
    fs::path root;
};

} // namespace

TEST_F(FakeSysfs, PartitionsWholeDisksAndLoopDevices)
{
    disk("sda", false, 1000000);
    partition("sda", "sda1", 2048);
    partition("sda", "sda10", 4096);
    partition("sda", "sda2", 8192);
    disk("sdb", true, 60000); // a stick formatted without a partition table
    disk("sdc", true, 0);     // a card reader with no card
    disk("loop0", false, 2048);
    write("block/loop0/loop/backing_file", "/home/u/disk.img");
    disk("loop1", false, 0); // unattached
    disk("ram0", false, 8192);
    disk("sr0", true, 100000);

    const auto items = platform::FillDriveTree(root.string(), "/dev");
    std::vector<std::string> texts;
    for (const auto& i : items)
        texts.push_back(i.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Logical Disk(loop0)", "Logical Disk(sda1)", "Logical Disk(sda2)",
                                               "Logical Disk(sda10)", "Removable Disk(sdb)"}));
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[1].devicePath, "/dev/sda1");
    EXPECT_EQ(items[1].sizeBytes, 2048u * 512);
    EXPECT_EQ(items[4].kind, disk::DriveKind::Removable);
    EXPECT_EQ(items[0].kind, disk::DriveKind::Fixed);
}

TEST_F(FakeSysfs, MissingSysfsGivesNoDrives)
{
    EXPECT_TRUE(platform::FillDriveTree((root / "nothing").string(), "/dev").empty());
}

TEST(SystemBlockSource, ImageFilesAreReadOnlyAndBounded)
{
    const fs::path image = fs::temp_directory_path() / ("sarvik-img-" + std::to_string(::getpid()));
    {
        std::ofstream out(image, std::ios::binary);
        for (int i = 0; i < 1024; ++i)
            out.put(static_cast<char>(i & 0xFF));
    }
    std::string error;
    auto source = platform::SystemBlockSource::open(image.string(), &error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->size(), 1024u);
    std::array<std::byte, 512> buffer;
    buffer.fill(std::byte{0xEE});
    EXPECT_EQ(source->read(512, buffer), disk::ReadStatus::Ok);
    EXPECT_EQ(buffer[1], std::byte{1});
    buffer.fill(std::byte{0xEE});
    EXPECT_EQ(source->read(513, buffer), disk::ReadStatus::Short);
    EXPECT_EQ(buffer[0], std::byte{0xEE});

    const auto item = platform::imageDriveItem(image.string());
    EXPECT_EQ(item.text, "Disk Image(" + image.filename().string() + ")");
    EXPECT_EQ(item.kind, disk::DriveKind::Image);

    EXPECT_EQ(platform::SystemBlockSource::open((image.string() + ".missing"), &error), nullptr);
    EXPECT_NE(error.find("No such file"), std::string::npos);
    EXPECT_EQ(platform::SystemBlockSource::open(fs::temp_directory_path().string(), &error), nullptr);
    fs::remove(image);
}

// The holes of a sparse image are known to read as zeros without being read;
// no byte that was written is ever taken for one.
TEST(PosixBlockSource, HolesOfASparseImageAreKnownZeros)
{
    constexpr std::uint64_t kMiB = 1 << 20;
    const fs::path image = fs::temp_directory_path() / ("sarvik-sparse-" + std::to_string(::getpid()));
    {
        std::ofstream out(image, std::ios::binary);
        out << std::string(4096, 'a');
        out.seekp(static_cast<std::streamoff>(kMiB));
        out << std::string(4096, 'b');
    }
    fs::resize_file(image, 3 * kMiB); // a hole up to the end
    auto source = platform::SystemBlockSource::open(image.string());
    ASSERT_NE(source, nullptr);
    std::vector<std::byte> bytes(kMiB);
    for (const std::uint64_t at : {std::uint64_t{0}, std::uint64_t{4095}, std::uint64_t{4096}, kMiB - 1, kMiB,
                                   kMiB + 4095, kMiB + 4096, 3 * kMiB - 1}) {
        const std::uint64_t zeros = source->knownZeros(at);
        ASSERT_LE(zeros, 3 * kMiB - at);
        const auto span = std::span(bytes).first(static_cast<std::size_t>(std::min(zeros, kMiB)));
        ASSERT_EQ(source->read(at, span), disk::ReadStatus::Ok);
        EXPECT_TRUE(std::all_of(span.begin(), span.end(), [](std::byte b) { return b == std::byte{0}; })) << at;
    }
    EXPECT_EQ(source->knownZeros(0), 0u);
    EXPECT_EQ(source->knownZeros(kMiB + 4095), 0u);
    if (source->knownZeros(4096) != 0) { // this file system reports holes
        EXPECT_EQ(source->knownZeros(4096), kMiB - 4096);
        EXPECT_EQ(source->knownZeros(kMiB + 4096), 2 * kMiB - 4096);
    }
    fs::remove(image);
}

namespace {

/// An MBR disk image of 4096 sectors with partitions at 64 (100 sectors) and
/// 1000 (200 sectors); each partition's first byte is its number.
void writeMbrDisk(const fs::path& file)
{
    std::vector<char> bytes(4096 * 512);
    auto entry = [&](int slot, std::uint32_t first, std::uint32_t count) {
        const std::size_t at = 446 + static_cast<std::size_t>(slot) * 16;
        bytes[at + 4] = 0x0C;
        for (unsigned i = 0; i < 4; ++i) {
            bytes[at + 8 + i] = static_cast<char>((first >> (8 * i)) & 0xFF);
            bytes[at + 12 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
        }
    };
    entry(0, 64, 100);
    entry(1, 1000, 200);
    bytes[510] = static_cast<char>(0x55);
    bytes[511] = static_cast<char>(0xAA);
    bytes[64 * 512] = 1;
    bytes[1000 * 512] = 2;
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

TEST_F(FakeSysfs, WholeDisksWithATableAreListedAsTheirPartitions)
{
    disk("sdc", true, 4096);
    const fs::path dev = root / "dev";
    fs::create_directories(dev);
    writeMbrDisk(dev / "sdc");
    const auto items = platform::FillDriveTree(root.string(), dev.string());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text, "Removable Disk(sdc) 1");
    EXPECT_EQ(items[1].text, "Removable Disk(sdc) 2");
    EXPECT_EQ(items[1].devicePath, (dev / "sdc").string() + "@2");
    EXPECT_EQ(items[1].sizeBytes, 200u * 512);

    const auto images = platform::imageDriveItems((dev / "sdc").string());
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].text, "Disk Image(sdc) 1");
    EXPECT_EQ(images[0].kind, disk::DriveKind::Image);

    // Reads of a partition start at its first sector and end at its last.
    std::string error;
    const auto second = platform::openVolumeSource(items[1].devicePath, &error);
    ASSERT_NE(second, nullptr) << error;
    EXPECT_EQ(second->size(), 200u * 512);
    std::array<std::byte, 512> sector{};
    ASSERT_EQ(second->read(0, sector), disk::ReadStatus::Ok);
    EXPECT_EQ(sector[0], std::byte{2});
    EXPECT_EQ(second->read(200 * 512, sector), disk::ReadStatus::Short);
    EXPECT_EQ(platform::openVolumeSource((dev / "sdc").string() + "@3", &error), nullptr);
    EXPECT_NE(error.find("no partition 3"), std::string::npos) << error;

    // A file whose own name ends in "@1" is that file, not a partition.
    writeMbrDisk(dev / "odd@1");
    const auto odd = platform::openVolumeSource((dev / "odd@1").string());
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->size(), 4096u * 512);
}
