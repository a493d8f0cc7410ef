// SPDX-License-Identifier: GPL-3.0-or-later
// The results' session-wide pieces on a small in-memory FAT session: what the
// properties box counts, Find beside the file filters, renames carried into a
// later scan, and the find job's stop and drop.

#include "scan/ScanSession.h"
#include "session/DeepSearchOutcome.h"
#include "session/EntryAccess.h"
#include "session/FindJob.h"
#include "session/FolderTreeItems.h"
#include "session/Properties.h"
#include "session/SessionFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace sarvik::session {
namespace {

using sessiontest::FatSession;

const catalogue::FileRow* rowNamed(const std::vector<catalogue::FileRow>& rows, const std::string& name)
{
    for (const catalogue::FileRow& r : rows)
        if (r.name == name)
            return &r;
    return nullptr;
}

TEST(Properties, DataPlaceKeepsTheFirstRunsAndSaysThereAreMore)
{
    // Ten runs of an NTFS record: the first eight are kept, and that more follow.
    std::vector<catalogue::NtfsDataRun> runs;
    for (int i = 0; i < 10; ++i)
        runs.push_back({100 * (i + 1), static_cast<std::uint64_t>(i + 1), i == 1, i == 2});
    catalogue::Entry e;
    e.location = catalogue::NtfsRecordData{0, 77, {}, false, runs};
    const DataPlace many = dataPlace(e);
    EXPECT_EQ(many.kind, DataPlace::Kind::Runs);
    EXPECT_EQ(many.first, 77u);
    ASSERT_EQ(many.runs.size(), kPlaceRunsShown);
    EXPECT_TRUE(many.moreRuns);
    EXPECT_TRUE(many.runs[1].sparse);
    EXPECT_TRUE(many.runs[2].missing);
    EXPECT_EQ(many.runs[7].start, 800);

    // Exactly eight: none said to follow. Data inside the record: no runs at all.
    e.location = catalogue::NtfsRecordData{0, 77, {}, false, std::span(runs).first(8)};
    EXPECT_FALSE(dataPlace(e).moreRuns);
    e.location = catalogue::NtfsRecordData{0, 78, {}, true, runs};
    const DataPlace inside = dataPlace(e);
    EXPECT_EQ(inside.kind, DataPlace::Kind::InRecord);
    EXPECT_TRUE(inside.runs.empty());
    e.location = catalogue::ClusterChainData{41, true};
    EXPECT_EQ(dataPlace(e).kind, DataPlace::Kind::Consecutive);
    e.location = catalogue::CarvedExtent{9};
    EXPECT_EQ(dataPlace(e).kind, DataPlace::Kind::Carved);
    e.location = std::monostate{};
    EXPECT_EQ(dataPlace(e).kind, DataPlace::Kind::None);
}

TEST(Properties, FolderTotalsCountEveryFolderBelowAndTheirFiles)
{
    FatSession f;
    const std::vector<catalogue::FileRow> root = f.session.rows(f.session.tree.rootKey());
    const catalogue::FileRow* old = rowNamed(root, "old");
    ASSERT_NE(old, nullptr);
    const RowProperties folder = rowProperties(f.session, *old);
    EXPECT_TRUE(folder.folder);
    // "old" holds "deep", which holds deep.bin (1,500,000 bytes, under 2 MB).
    EXPECT_EQ(folder.contents, "1 File(s) and 1 Folder(s)");
    EXPECT_EQ(folder.size, "1 MB");

    const catalogue::FileRow* big = rowNamed(root, "File2.txt");
    ASSERT_NE(big, nullptr);
    const RowProperties file = rowProperties(f.session, *big);
    EXPECT_FALSE(file.folder);
    EXPECT_EQ(file.size, "4883 KB");
    EXPECT_EQ(file.contents, "");
    EXPECT_EQ(file.name, "File2.txt");

    // Beside the rounded sizes: the exact bytes and the path from the root.
    EXPECT_EQ(file.bytes, 5'000'000u);
    EXPECT_EQ(file.path, "/File2.txt");
    EXPECT_FALSE(file.condition.empty());
    EXPECT_EQ(folder.bytes, 1'500'000u);
    EXPECT_EQ(folder.path, "/old");
    const std::vector<catalogue::FileRow> inOld =
        f.session.rows(listedFolderKey(f.session.tree, static_cast<std::uint32_t>(old->key)));
    const catalogue::FileRow* deep = rowNamed(inOld, "deep");
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(rowProperties(f.session, *deep).path, "/old/deep");

    EXPECT_EQ(fileSizeText(0), "1 KB");
    EXPECT_EQ(fileSizeText(1024), "2 KB");
    EXPECT_EQ(folderSizeText(FolderTotals{0, 1, 1024 * 1024 - 1}), "Less than 1 MB");
    EXPECT_EQ(contentsText(FolderTotals{}), "0 File(s) and 0 Folder(s)");
}

TEST(Properties, WholeTimesAndNoneWhereNoneIsKept)
{
    using catalogue::EntryTime;
    using catalogue::TimeSource;
    // 15-06-2021 13:45:30 (FAT keeps two-second steps; the hundredths add the odd second).
    const std::uint16_t date = (41u << 9) | (6u << 5) | 15u;
    const std::uint16_t time = (13u << 11) | (45u << 5) | 15u;
    EXPECT_EQ(wholeTimeText(EntryTime{TimeSource::FatTime, (std::uint64_t{date} << 16) | time, 100, 0}),
              "15-06-2021 13:45:31");
    EXPECT_EQ(wholeTimeText(EntryTime{TimeSource::FatDate, date, 0, 0}), "15-06-2021");
    // Nothing kept, or a date of day 0 or month 0: no date at all, not 1980.
    EXPECT_EQ(wholeTimeText(EntryTime{}), "");
    EXPECT_EQ(wholeTimeText(EntryTime{TimeSource::FatTime, std::uint64_t{1} << 5, 0, 0}), "");
    EXPECT_EQ(wholeTimeText(EntryTime{TimeSource::FatDate, 41u << 9, 0, 0}), "");
    // NTFS: 2021-01-01 00:00:00 UTC as a FILETIME.
    EXPECT_EQ(wholeTimeText(EntryTime{TimeSource::NtfsStandardInformation, 132539328000000000ULL, 0, 0}),
              "1-1-2021 0:0:0 UTC");
}

TEST(FolderTreeItems, EachFolderFollowsItsParentAndListsItsOwnRows)
{
    FatSession f;
    const catalogue::FolderTree& tree = f.session.tree;
    const std::vector<FolderItem> items = folderTreeItems(tree, true);
    ASSERT_EQ(items.size(), 3u);
    // The root's folders in the tree's order, then "deep" under "old".
    EXPECT_EQ(items[0].name, "Docs");
    EXPECT_EQ(items[1].name, "old");
    EXPECT_EQ(items[0].parent, catalogue::FolderTree::kRootHandle);
    EXPECT_EQ(items[2].name, "deep");
    EXPECT_EQ(items[2].parent, items[1].handle);
    // Each item opens the rows of its own folder; the root and a handle the
    // tree does not hold open the root's.
    EXPECT_EQ(listedFolderKey(tree, items[2].handle), 12u);
    EXPECT_EQ(listedFolderKey(tree, catalogue::FolderTree::kRootHandle), tree.rootKey());
    EXPECT_EQ(listedFolderKey(tree, 9999), tree.rootKey());
    std::vector<std::string> deep;
    for (const catalogue::FileRow& r : f.session.rows(listedFolderKey(tree, items[2].handle)))
        deep.push_back(r.name);
    EXPECT_EQ(deep, std::vector<std::string>{"deep.bin"});

    // A chain of folders deeper than any call stack would hold, each in the
    // folder before it.
    FatSession chain;
    catalogue::Catalogue& c = chain.session.catalogue;
    constexpr std::uint32_t kDepth = 200'000;
    for (std::uint32_t i = 0; i < kDepth; ++i)
        c.AddFatFolder("d", 1000 + i, i == 0 ? 10 : 1000 + i - 1, 0, 0, 0, 1);
    chain.session.buildTree();
    const std::vector<FolderItem> deepItems = folderTreeItems(chain.session.tree, true);
    ASSERT_EQ(deepItems.size(), 3u + kDepth);
    std::set<std::uint32_t> seen{catalogue::FolderTree::kRootHandle};
    for (const FolderItem& item : deepItems) {
        ASSERT_TRUE(seen.contains(item.parent));
        seen.insert(item.handle);
    }
}

TEST(EntryAccess, ARenameReachesTheListsAndALaterScanOfTheSameVolume)
{
    FatSession f;
    std::vector<catalogue::FileRow> root = f.session.rows(f.session.tree.rootKey());
    const catalogue::FileRow* file = rowNamed(root, "file1.doc");
    const catalogue::FileRow* folder = rowNamed(root, "Docs");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(folder, nullptr);
    catalogue::FileRow ghost = *file;
    const std::optional<RenamedEntry> renamedFile = renameEntry(f.session, *file, "kept.doc");
    const std::optional<RenamedEntry> renamedFolder = renameEntry(f.session, *folder, "Papers");
    ASSERT_TRUE(renamedFile && renamedFolder);
    root = f.session.rows(f.session.tree.rootKey());
    EXPECT_NE(rowNamed(root, "kept.doc"), nullptr);
    EXPECT_NE(rowNamed(root, "Papers"), nullptr);
    EXPECT_EQ(f.session.tree.node(static_cast<std::uint32_t>(rowNamed(root, "Papers")->key))->name, "Papers");

    // A later scan numbers its entries afresh (here: one more file listed
    // first); the renames find their entries by what they are.
    FatSession later;
    const catalogue::FatFileEntry extra = later.session.catalogue.fsLists().FatFileList.back();
    later.session.catalogue.fsLists().FatFileList.insert(later.session.catalogue.fsLists().FatFileList.begin(), extra);
    later.session.catalogue.fsLists().FatFileList.front().name = "another.doc";
    later.session.catalogue.fsLists().FatFileList.front().firstCluster = 999;
    applyRename(later.session, *renamedFile);
    applyRename(later.session, *renamedFolder);
    int kept = 0;
    for (const catalogue::FatFileEntry& e : later.session.catalogue.fsLists().FatFileList)
        kept += e.name == "kept.doc" ? 1 : 0;
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(later.session.catalogue.fsLists().FatFileList.front().name, "another.doc");
    EXPECT_EQ(later.session.catalogue.fsLists().FatFolderList[0].name, "Papers");

    // A row that names no entry renames nothing.
    ghost.entry = catalogue::fileEntryId(12345);
    EXPECT_FALSE(renameEntry(f.session, ghost, "x"));
    EXPECT_EQ(listSizes(f.session).files, 5u);
    EXPECT_EQ(fileParentKey(f.session, 3), std::optional<std::uint64_t>(10));
    EXPECT_EQ(fileParentKey(f.session, 5), std::nullopt);
}

TEST(DeepSearchOutcome, ASearchReplacesThePageOnlyWithMoreAndSaysWhatItAdded)
{
    FatSession shown;
    FatSession found;
    EXPECT_TRUE(holdsAtLeast(found.session, shown.session, false)); // as much: the end of a search is taken
    EXPECT_FALSE(holdsAtLeast(found.session, shown.session, true)); // a copy on the way brings nothing new
    found.addFile("carved.jpg", 0, 10, 0);
    EXPECT_TRUE(holdsAtLeast(found.session, shown.session, true));
    // Fewer folders (the volume changed, or a stop before the free space) never replace the page.
    found.session.catalogue.fsLists().FatFolderList.pop_back();
    EXPECT_FALSE(holdsAtLeast(found.session, shown.session, false));
    EXPECT_EQ(deepSearchFoundLess(true),
              "Deep search stopped before it reached the free space; the list is as the scan left it.");

    const ListSizes base = listSizes(shown.session);
    EXPECT_EQ(deepSearchOutcome(shown.session, base.folders, base.files, false),
              "Deep search found nothing more in the free space.");
    FatSession more;
    more.addFile("a.bin", 0, 1, 0);
    more.addFile("b.bin", 0, 1, 0);
    more.session.catalogue.Losses.UnreadableSectors = 3;
    EXPECT_EQ(deepSearchOutcome(more.session, base.folders, base.files, true),
              "Deep search stopped; what it found before is listed: 0 more folders and 2 more files. 3 sector(s) "
              "could not be read.");
    EXPECT_EQ(deepSearchOutcome(more.session, base.folders - 1, base.files + 1, false),
              "Deep search found 1 more folder and 1 more file. 3 sector(s) could not be read.");
}

// Collects what a find job reports, as a front end would on its own thread.
struct Reports : FindObserver {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<unsigned> ended;
    int waiting = 0;
    FindJob* job = nullptr;
    bool pauseAtFirst = false;

    void matchesWaiting() override
    {
        std::lock_guard lock(mutex);
        ++waiting;
        if (pauseAtFirst && job != nullptr) {
            pauseAtFirst = false;
            job->pause(); // held before the next entry
        }
        changed.notify_all();
    }
    void walkEnded(unsigned generation) override
    {
        std::lock_guard lock(mutex);
        ended.push_back(generation);
        changed.notify_all();
    }
    unsigned waitForEnd()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return !ended.empty(); });
        return ended.back();
    }
};

std::vector<std::string> names(const std::vector<search::SearchMatch>& matches)
{
    std::vector<std::string> out;
    for (const search::SearchMatch& m : matches)
        out.push_back(m.name);
    return out;
}

TEST(FindJob, FindsWhatTheFiltersHideAndKeepsWhatAStoppedWalkFound)
{
    FatSession f;
    // The filters shape the list, not the search: Find still lists the .doc files.
    ASSERT_EQ(f.session.filters.add("*.txt"), search::AddPatternResult::Added);
    const std::vector<catalogue::FileRow> root = f.session.rows(f.session.tree.rootKey());
    EXPECT_EQ(rowNamed(root, "file1.doc"), nullptr);
    Reports reports;
    FindJob job(f.session.catalogue, f.session.tree, f.session.kind(), reports);
    reports.job = &job;
    ASSERT_TRUE(job.start("*.doc"));
    EXPECT_FALSE(job.start("*.txt")); // one walk at a time
    const unsigned first = reports.waitForEnd();
    EXPECT_TRUE(job.walkEnded(first));
    EXPECT_FALSE(job.running());
    EXPECT_EQ(names(job.takeMatches()), (std::vector<std::string>{"file1.doc", "report.doc"}));
    EXPECT_TRUE(job.takeMatches().empty()); // taken once

    // Held after its first match, then stopped: the match stays, the end
    // report of the stopped walk is not the job's any more.
    reports.ended.clear();
    reports.pauseAtFirst = true;
    ASSERT_TRUE(job.start("*"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!job.control()->waiting() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(job.control()->waiting());
    job.stop();
    EXPECT_FALSE(job.running());
    EXPECT_FALSE(job.walkEnded(reports.waitForEnd()));
    EXPECT_EQ(names(job.takeMatches()), (std::vector<std::string>{"file10.txt"}));

    // Dropped: nothing of it is left to take, and a new walk starts clean.
    reports.ended.clear();
    reports.pauseAtFirst = true;
    ASSERT_TRUE(job.start("*"));
    while (!job.control()->waiting() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    job.drop();
    EXPECT_TRUE(job.takeMatches().empty());
    {
        std::lock_guard lock(reports.mutex);
        reports.ended.clear(); // the dropped walk's report
    }
    ASSERT_TRUE(job.start("deep*"));
    EXPECT_TRUE(job.walkEnded(reports.waitForEnd()));
    EXPECT_EQ(names(job.takeMatches()), (std::vector<std::string>{"deep.bin"}));
}

} // namespace
} // namespace sarvik::session
