// The snapshot commands' steps on a scanned real volume: the bytes a save
// writes load back into another session with the same rows, the volume is
// opened again where the snapshot says, and another volume at that place is
// told apart.

#include "session/Snapshots.h"
#include "catalogue/ScanObserver.h"
#include "scan/ScanSession.h"
#include "support/ImageFileSource.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace sarvik::session {
namespace {

std::string volumePath(const char* name)
{
    return std::string(SARVIK_TEST_VOLUMES) + "/" + name;
}

std::vector<std::string> rootNames(const scan::ScanSession& session)
{
    std::vector<std::string> names;
    for (const catalogue::FileRow& row : session.rows(session.tree.rootKey()))
        names.push_back(row.name);
    return names;
}

TEST(Snapshots, ASavedSnapshotLoadsBackAndItsVolumeIsCheckedAgain)
{
    const auto demo = test::ImageFileSource::open(volumePath("demo-fat32.img"));
    const auto card = test::ImageFileSource::open(volumePath("card-fat32.img"));
    if (!demo || !card)
        GTEST_SKIP() << "no demo-fat32.img or card-fat32.img in " << SARVIK_TEST_VOLUMES;
    test::MemoryDevices devices;
    devices.add("demo.img", demo);
    scan::ScanSession scanned;
    disk::DriveItem item;
    item.devicePath = "demo.img";
    ASSERT_TRUE(static_cast<bool>(scan::SelectVolume(scanned.volume, item, devices)));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    (void)scan::RunScan(scanned, quiet, control, scan::ScanOptions{true, false, false, false});
    ASSERT_GT(scanned.catalogue.FileCount, 0u);

    const SnapshotBytes saved = encodeSnapshot(scanned);
    ASSERT_TRUE(saved.ok) << saved.error;
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "session-snapshot-test.RVU";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(saved.bytes.data()), // NOLINT: bytes to a stream
                  static_cast<std::streamsize>(saved.bytes.size()));
    }

    scan::ScanSession loaded;
    ASSERT_EQ(loaded.filters.add("*.nothing"), search::AddPatternResult::Added);
    const SnapshotLoad load = loadSnapshot(loaded, file.string());
    ASSERT_FALSE(load.refused) << load.refusal;
    EXPECT_TRUE(load.partial.empty());
    EXPECT_TRUE(loaded.filters.empty()); // a load starts without filters
    EXPECT_EQ(rootNames(loaded), rootNames(scanned));

    // Where the snapshot says, the same volume: opened, and no differences.
    EXPECT_TRUE(reopenSnapshotVolume(loaded, devices));
    EXPECT_TRUE(loaded.volume.reader.isOpen());
    EXPECT_TRUE(snapshotVolumeDifferences(loaded, devices).empty());
    // Another volume put at that place is told apart.
    test::MemoryDevices swapped;
    swapped.add("demo.img", card);
    EXPECT_FALSE(snapshotVolumeDifferences(loaded, swapped).empty());
    // Nothing at that place: not opened.
    test::MemoryDevices none;
    EXPECT_FALSE(reopenSnapshotVolume(loaded, none));

    // A file that is not a snapshot is refused and changes nothing.
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "not a snapshot";
    }
    const SnapshotLoad refused = loadSnapshot(loaded, file.string());
    EXPECT_TRUE(refused.refused);
    EXPECT_FALSE(refused.refusal.empty());
    EXPECT_EQ(rootNames(loaded), rootNames(scanned));
    std::filesystem::remove(file);
}

} // namespace
} // namespace sarvik::session
