#include "platform/DriveDiscovery.h"
#include "platform/PosixDevice.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

TEST(PosixBlockSource, ImageFilesAreReadOnlyAndBounded)
{
    const fs::path image = fs::temp_directory_path() / ("sarvik-img-" + std::to_string(::getpid()));
    {
        std::ofstream out(image, std::ios::binary);
        for (int i = 0; i < 1024; ++i)
            out.put(static_cast<char>(i & 0xFF));
    }
    std::string error;
    auto source = platform::PosixBlockSource::open(image.string(), &error);
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

    EXPECT_EQ(platform::PosixBlockSource::open((image.string() + ".missing"), &error), nullptr);
    EXPECT_NE(error.find("No such file"), std::string::npos);
    EXPECT_EQ(platform::PosixBlockSource::open(fs::temp_directory_path().string(), &error), nullptr);
    fs::remove(image);
}
