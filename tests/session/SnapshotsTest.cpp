// SPDX-License-Identifier: GPL-3.0-or-later
// What follows a scan of a real volume: the snapshot commands' steps (the
// bytes a save writes load back into another session with the same rows, the
// volume is opened again where the snapshot says, and another volume at that
// place is told apart), and the sample of free space that offers the deep search.

#include "session/Snapshots.h"
#include "catalogue/ScanObserver.h"
#include "scan/ScanSession.h"
#include "session/FreeSpaceJob.h"
#include "support/ImageFileSource.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

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

// Scans `path` under the name `name` of `devices` with the thorough rules.
bool scanThorough(scan::ScanSession& session, test::MemoryDevices& devices, const char* name)
{
    disk::DriveItem item;
    item.devicePath = name;
    if (!scan::SelectVolume(session.volume, item, devices))
        return false;
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    (void)scan::RunScan(session, quiet, control, scan::ScanOptions{true, false, false, false});
    return session.catalogue.fileCount() > 0;
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
    ASSERT_TRUE(scanThorough(scanned, devices, "demo.img"));

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

// Takes the end reports of a free-space sample, as a front end would.
struct SampleReports final : FreeSpaceObserver {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint64_t> ended;
    void sampleEnded(std::uint64_t generation) override
    {
        std::lock_guard lock(mutex);
        ended.push_back(generation);
        changed.notify_all();
    }
    std::uint64_t waitFor(std::size_t count)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return ended.size() >= count; });
        return ended.back();
    }
};

TEST(FreeSpaceJob, ASampleOffersTheDeepSearchOnlyWhereItCanRun)
{
    const auto demo = test::ImageFileSource::open(volumePath("demo-fat32.img"));
    if (!demo)
        GTEST_SKIP() << "no demo-fat32.img in " << SARVIK_TEST_VOLUMES;
    test::MemoryDevices devices;
    devices.add("demo.img", demo);
    scan::ScanSession session;
    ASSERT_TRUE(scanThorough(session, devices, "demo.img"));
    EXPECT_TRUE(deepSearchPossible(session));

    SampleReports reports;
    FreeSpaceJob job(reports);
    job.start(session);
    // Started again at once: the first sample is cancelled and its end report is stale.
    job.start(session);
    const std::uint64_t last = reports.waitFor(2);
    EXPECT_FALSE(job.ended(reports.ended.front()));
    EXPECT_TRUE(job.ended(last));
    EXPECT_FALSE(job.running());
    EXPECT_GT(job.sample().sampled, 0u);
    EXPECT_EQ(deepSearchOffer(job.sample()).empty(), !job.sample().holdsUnnamedData());

    scan::FreeSpaceSample full;
    full.unclaimedBytes = full.bytesToRead = 1 << 20;
    full.sampled = full.holdingData = 256;
    ASSERT_TRUE(full.holdsUnnamedData());
    EXPECT_EQ(deepSearchOffer(full), full.finding() + ". Deep Search reads it: " + full.cost() + ".");
    EXPECT_EQ(deepSearchOffer(scan::FreeSpaceSample{}), "");

    // Searched already, classic rules, or no volume to read: no deep search.
    session.catalogue.DeepSearched = true;
    EXPECT_FALSE(deepSearchPossible(session));
    session.catalogue.DeepSearched = false;
    session.catalogue.NamesAreUtf8 = false;
    EXPECT_FALSE(deepSearchPossible(session));
    session.catalogue.NamesAreUtf8 = true;
    session.volume.reader.setDevice("demo.img", nullptr);
    EXPECT_FALSE(deepSearchPossible(session));
}

TEST(Snapshots, TheDesktopSavesUnderTheNameAsTyped)
{
    EXPECT_EQ(typedSnapshotPath("/home/u/snap1"), "/home/u/snap1.rvu");
    // An extension already typed, in any case, is kept as typed.
    EXPECT_EQ(typedSnapshotPath("/home/u/Snap1.RVU"), "/home/u/Snap1.RVU");
    EXPECT_EQ(typedSnapshotPath("/home/u/a.RvSx"), "/home/u/a.RvSx");
    // Only the name's end counts: not a folder's, nor an extension alone.
    EXPECT_EQ(typedSnapshotPath("/x.rvu/snap"), "/x.rvu/snap.rvu");
    EXPECT_EQ(typedSnapshotPath("/home/u/.rvu"), "/home/u/.rvu.rvu");
    EXPECT_EQ(typedSnapshotPath("snap.rvu.txt"), "snap.rvu.txt.rvu");
}

} // namespace
} // namespace sarvik::session
