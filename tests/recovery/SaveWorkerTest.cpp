// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/SaveWorker.h"
#include "recovery/RecoveryFixture.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace sarvik;

namespace {

/// A volume with `files` files of one 1 MiB+ chunk each, so that a copy takes
/// several reads per file; all of them within the FAT's 2,048 clusters.
struct WorkerVolume : test::FatRecoveryVolume {
    explicit WorkerVolume(int files) : test::FatRecoveryVolume(4, 16384)
    {
        select();
        for (int i = 0; i < files; ++i)
            addFile("f" + std::to_string(i), 10 + static_cast<std::uint32_t>(i) * 600, 1536 * 1024);
        buildTree();
    }
};

} // namespace

// The worker runs the copy on its own thread, reports through the observer,
// calls `finished` at the end and leaves the flags cleared.
TEST(SaveWorker, RunsTheCopyAndClearsItsFlags)
{
    WorkerVolume v(3);
    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    bool finished = false;
    std::thread::id copyThread;
    {
        recovery::SaveWorker worker(rig.control);
        ASSERT_TRUE(worker.start(
            rig.recovery,
            [&](recovery::FileRecovery& r) {
                copyThread = std::this_thread::get_id();
                r.RecoverFatFilesIn(0, rig.target());
            },
            [&] { finished = true; }));
        worker.wait();
        EXPECT_TRUE(worker.done());
    }
    EXPECT_TRUE(finished);
    EXPECT_NE(copyThread, std::this_thread::get_id());
    EXPECT_EQ(rig.report.totals().written, 3u);
    EXPECT_EQ(rig.observer.totals, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(rig.control.StopRecovery.load(), 0);
    EXPECT_EQ(rig.recovery.SavedFileCount(), 0u); // cleared after the copy, as the saving dialog does
}

// Stop from another thread while a file is being read: that file is cut short,
// no later file is started, and destroying the worker joins it.
TEST(SaveWorker, StopFromAnotherThreadEndsTheCopy)
{
    WorkerVolume v(3);
    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    std::mutex m;
    std::condition_variable cv;
    bool reading = false, released = false;
    // Hold the copy inside the first file's second chunk until Stop was pressed.
    v.hooked->onRead = [&](std::uint64_t offset, std::size_t) {
        if (offset < v.clusterOffset(10) + 1024 * 1024 || released)
            return;
        std::unique_lock lock(m);
        reading = true;
        cv.notify_all();
        cv.wait(lock, [&] { return released; });
    };
    {
        recovery::SaveWorker worker(rig.control);
        ASSERT_TRUE(
            worker.start(rig.recovery, [&](recovery::FileRecovery& r) { r.RecoverFatFilesIn(0, rig.target()); }));
        {
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return reading; });
            worker.requestStop();
            released = true;
            cv.notify_all();
        }
    } // the destructor joins
    ASSERT_EQ(rig.report.files().size(), 1u);
    EXPECT_EQ(rig.report.files()[0].outcome, recovery::FileOutcome::CutShort);
    EXPECT_EQ(rig.dest->paths(), std::vector<std::string>{"f0.part"});
    EXPECT_LT(rig.content("f0.part").size(), 1536u * 1024);
}
