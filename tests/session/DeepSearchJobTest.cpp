// SPDX-License-Identifier: GPL-3.0-or-later
// The deep search as a front end drives it, on thorough-fat32.img: the quick
// scan's results first, then the search on its worker, each of its calls
// handed back on the test's thread as a front end's event loop would. What it
// finds waits until the front end takes it, carries the renames made
// meanwhile, survives its Stop, and is dropped when the page goes.

#include "session/DeepSearchJob.h"
#include "scan/ScanSession.h"
#include "session/EntryAccess.h"
#include "session/FolderTreeItems.h"
#include "support/ImageFileSource.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace sarvik::session {
namespace {

// Holds every read while closed, letting them through one step at a time.
class StepSource final : public disk::BlockSource {
public:
    explicit StepSource(std::shared_ptr<const disk::BlockSource> base) : m_base(std::move(base)) {}
    std::uint64_t size() const override { return m_base->size(); }
    disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_closed || m_steps > 0; });
            if (m_closed)
                --m_steps;
        }
        return m_base->read(offset, buffer);
    }
    void close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_steps = 0;
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_closed = false;
        m_changed.notify_all();
    }
    void step()
    {
        std::lock_guard lock(m_mutex);
        ++m_steps;
        m_changed.notify_all();
    }

private:
    std::shared_ptr<const disk::BlockSource> m_base;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_closed = false;
    mutable long m_steps = 0;
};

// The workers' calls, queued for the test's thread.
struct Calls final : DeepSearchObserver {
    enum class Kind { Sample, Progress, Partial, Ended };
    struct Call {
        Kind kind;
        std::uint64_t number;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Call> queue;

    void push(Kind kind, std::uint64_t number)
    {
        std::lock_guard lock(mutex);
        queue.push_back({kind, number});
        changed.notify_all();
    }
    void sampleEnded(std::uint64_t generation) override { push(Kind::Sample, generation); }
    void progressWaiting() override { push(Kind::Progress, 0); }
    void partialWaiting(std::uint64_t search) override { push(Kind::Partial, search); }
    void searchEnded(std::uint64_t search) override { push(Kind::Ended, search); }

    std::deque<Call> takeAll(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, wait, [this] { return !queue.empty(); });
        return std::exchange(queue, {});
    }
};

struct Page {
    std::shared_ptr<StepSource> gate;
    scan::ScanSession shown;
    Calls calls;
    DeepSearchJob job{calls};
    bool sampleOffered = false;
    int samplesEnded = 0, searchesEnded = 0, staleEnds = 0, partialsArrived = 0;
    std::string status; ///< the search's latest

    /// The search has reached its passes over free space.
    [[nodiscard]] bool inFreeSpace() const { return status.starts_with("Searching free space: "); }

    // The quick thorough scan the page opens on.
    bool open(const char* image)
    {
        const auto file = sarvik::test::ImageFileSource::open(std::string(SARVIK_TEST_VOLUMES) + "/" + image);
        if (!file)
            return false;
        gate = std::make_shared<StepSource>(file);
        sarvik::test::MemoryDevices devices;
        devices.add(image, gate);
        disk::DriveItem item;
        item.devicePath = image;
        if (!scan::SelectVolume(shown.volume, item, devices))
            return false;
        struct Quiet final : catalogue::ScanObserver {
        } quiet;
        catalogue::ScanControl control;
        scan::RunScan(shown, quiet, control, scan::ScanOptions{true, true, false, false});
        return true;
    }

    void hand(const Calls::Call& call)
    {
        switch (call.kind) {
        case Calls::Kind::Sample:
            ++samplesEnded;
            sampleOffered = job.sampleEnded(call.number) || sampleOffered;
            break;
        case Calls::Kind::Progress: {
            const ScanProgress progress = job.takeProgress();
            if (progress.hasStatus)
                status = progress.status;
            break;
        }
        case Calls::Kind::Partial:
            ++partialsArrived;
            job.partialArrived(call.number);
            break;
        case Calls::Kind::Ended:
            if (job.searchEnded(call.number))
                ++searchesEnded;
            else
                ++staleEnds;
            break;
        }
    }

    // Hands the workers' calls to the job one at a time, a read let through
    // whenever none waits (the gate closed), until `done` holds; false after a minute.
    bool pumpUntil(const std::function<bool()>& done)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit)
                return false;
            if (pending.empty()) {
                gate->step();
                pending = calls.takeAll(std::chrono::milliseconds(1));
                continue;
            }
            hand(pending.front());
            pending.pop_front();
        }
        return true;
    }
    std::deque<Calls::Call> pending; ///< taken from the queue, not handed yet
};

std::vector<std::string> folderNames(const scan::ScanSession& session)
{
    std::vector<std::string> names;
    for (const FolderItem& f : folderTreeItems(session.tree, session.catalogue.NamesAreUtf8))
        names.push_back(f.name);
    return names;
}

bool hasFolder(const scan::ScanSession& session, const std::string& name)
{
    const std::vector<std::string> names = folderNames(session);
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Renames the root's folder `from` in the page's session as the user does, and tells the job.
void renameFolder(Page& page, const std::string& from, const std::string& to)
{
    for (const catalogue::FileRow& row : page.shown.rows(page.shown.tree.rootKey())) {
        if (row.name != from)
            continue;
        const std::optional<RenamedEntry> renamed = renameEntry(page.shown, row, to);
        ASSERT_TRUE(renamed.has_value());
        page.job.noteRename(*renamed);
        return;
    }
    FAIL() << "no folder " << from << " in the root";
}

#define OPEN_OR_SKIP(page, image)                                                                                      \
    if (!(page).open(image))                                                                                           \
    GTEST_SKIP() << "no " image " in " << SARVIK_TEST_VOLUMES << " (tools/make-test-volumes.sh)"

TEST(DeepSearchJob, WhatItFindsWaitsUntilTakenAndKeepsTheRenamesMadeMeanwhile)
{
    Page page;
    OPEN_OR_SKIP(page, "thorough-fat32.img");
    const ListSizes quick = listSizes(page.shown);
    ASSERT_TRUE(hasFolder(page.shown, "Big"));
    ASSERT_FALSE(hasFolder(page.shown, "$Lost folder 670"));

    // The page opens: the sample of free space runs, and its end offers the search.
    EXPECT_EQ(page.job.resultsShown(page.shown, DeepSearchJob::Opening::Sample, false), DeepSearchJob::Opening::Sample);
    ASSERT_TRUE(page.pumpUntil([&] { return page.samplesEnded == 1; }));
    EXPECT_FALSE(page.job.sampling());
    EXPECT_TRUE(page.sampleOffered);
    ASSERT_TRUE(page.job.available(page.shown));

    renameFolder(page, "Big", "Big, renamed before");
    page.gate->close();
    ASSERT_TRUE(page.job.start(page.shown, false));
    EXPECT_FALSE(page.job.start(page.shown, false)); // one search at a time
    EXPECT_FALSE(page.job.available(page.shown));
    renameFolder(page, "Keep", "Keep, renamed during");
    renameFolder(page, "Keep, renamed during", "Keep, renamed twice");

    // A copy that holds more than the page arrives while the search reads on;
    // it waits, and the page's session is not touched until the front end takes it.
    ASSERT_TRUE(page.pumpUntil([&] { return page.job.waiting(); }));
    EXPECT_TRUE(page.job.reading());
    EXPECT_EQ(listSizes(page.shown).files, quick.files);
    DeepSearchTake partial = page.job.take(page.shown);
    ASSERT_EQ(partial.kind, DeepSearchTake::Kind::Partial);
    ASSERT_NE(partial.found, nullptr);
    EXPECT_FALSE(page.job.waiting());
    const ListSizes partialSizes = listSizes(*partial.found);
    EXPECT_TRUE(partialSizes.folders > quick.folders || partialSizes.files > quick.files);
    EXPECT_TRUE(hasFolder(*partial.found, "Big, renamed before"));
    EXPECT_TRUE(hasFolder(*partial.found, "Keep, renamed twice"));
    EXPECT_FALSE(hasFolder(*partial.found, "Big"));
    EXPECT_FALSE(hasFolder(*partial.found, "Keep, renamed during"));
    EXPECT_FALSE(partial.found->catalogue.DeepSearched);
    page.shown.takeResults(*partial.found);

    // Later copies are not taken (the session is never free): the end of the
    // search replaces them with what it ended with.
    page.gate->open();
    ASSERT_TRUE(page.pumpUntil([&] { return page.searchesEnded == 1; }));
    EXPECT_TRUE(page.job.running()); // until the page takes what it found
    EXPECT_FALSE(page.job.reading());
    EXPECT_TRUE(page.job.waiting());
    const std::size_t beforeFinal = listSizes(page.shown).files;
    DeepSearchTake final = page.job.take(page.shown);
    ASSERT_EQ(final.kind, DeepSearchTake::Kind::Final);
    EXPECT_FALSE(final.stopped);
    EXPECT_EQ(final.baseFolders, quick.folders);
    EXPECT_EQ(final.baseFiles, quick.files);
    EXPECT_TRUE(final.found->catalogue.DeepSearched);
    EXPECT_GE(listSizes(*final.found).files, beforeFinal);
    EXPECT_TRUE(hasFolder(*final.found, "$Lost folder 670"));
    EXPECT_TRUE(hasFolder(*final.found, "Keep, renamed twice"));
    EXPECT_TRUE(hasFolder(*final.found, "Big, renamed before"));
    page.shown.takeResults(*final.found);
    EXPECT_FALSE(page.job.running());
    EXPECT_FALSE(page.job.waiting());
    EXPECT_EQ(page.job.take(page.shown).kind, DeepSearchTake::Kind::Nothing);
    EXPECT_FALSE(page.job.available(page.shown)); // free space has been searched
}

TEST(DeepSearchJob, AStopKeepsWhatWasFoundAndAPageThatGoesDropsIt)
{
    Page page;
    OPEN_OR_SKIP(page, "thorough-fat32.img");
    const ListSizes quick = listSizes(page.shown);
    // The settings ask for the search every time: it starts with the page.
    page.gate->close();
    EXPECT_EQ(page.job.resultsShown(page.shown, DeepSearchJob::Opening::Search, false), DeepSearchJob::Opening::Search);
    EXPECT_FALSE(page.job.sampling());

    // Stopped in the free space: its end holds what was found until then, as
    // stopped, and is given to the page.
    ASSERT_TRUE(page.pumpUntil([&] { return page.inFreeSpace(); }));
    page.job.requestStop();
    page.gate->open();
    ASSERT_TRUE(page.pumpUntil([&] { return page.searchesEnded == 1; }));
    EXPECT_TRUE(page.job.running()); // until the page takes it
    DeepSearchTake stopped = page.job.take(page.shown);
    ASSERT_EQ(stopped.kind, DeepSearchTake::Kind::Final);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(stopped.found->catalogue.DeepSearched);
    EXPECT_GE(listSizes(*stopped.found).folders, quick.folders);
    EXPECT_GE(listSizes(*stopped.found).files, quick.files);
    page.shown.takeResults(*stopped.found);
    EXPECT_FALSE(page.job.running());
    EXPECT_TRUE(page.job.available(page.shown)); // the search may run again

    // Again, and the page goes while a read is held: the worker is joined at
    // once, its late end is told apart from a new search's, and what it found
    // is never given.
    page.gate->close();
    page.status.clear();
    ASSERT_TRUE(page.job.start(page.shown, false));
    ASSERT_TRUE(page.pumpUntil([&] { return page.inFreeSpace(); }));
    std::thread release([&page] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        page.gate->open();
    });
    page.job.resultsLeft();
    release.join();
    EXPECT_FALSE(page.job.running());
    EXPECT_FALSE(page.job.waiting());
    EXPECT_FALSE(page.job.available(page.shown)); // no page
    const int endsBefore = page.searchesEnded;
    // A page over a stopped scan starts nothing by itself.
    EXPECT_EQ(page.job.resultsShown(page.shown, DeepSearchJob::Opening::Nothing, false),
              DeepSearchJob::Opening::Nothing);
    ASSERT_TRUE(page.job.start(page.shown, false));
    // The window closes: the search is abandoned, its end joins the worker
    // and nothing waits for the page.
    page.job.abandon();
    ASSERT_TRUE(page.pumpUntil([&] { return page.searchesEnded > endsBefore; }));
    EXPECT_EQ(page.staleEnds, 1); // the search of the page that went
    EXPECT_FALSE(page.job.running());
    EXPECT_FALSE(page.job.waiting());
    EXPECT_EQ(page.job.take(page.shown).kind, DeepSearchTake::Kind::Nothing);
}

} // namespace
} // namespace sarvik::session
