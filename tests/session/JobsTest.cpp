// SPDX-License-Identifier: GPL-3.0-or-later
// The jobs a front end runs on workers: a copy (what a stopped copy kept and
// what its box says, reports folded while none is taken) and a scan (its
// reports, a stop that keeps what was found, the time left).

#include "recovery/RecoveryFixture.h"
#include "scan/ScanSession.h"
#include "session/LostVolumeJob.h"
#include "session/RecoveryJob.h"
#include "session/RecoveryOutcome.h"
#include "session/ScanJob.h"
#include "session/SessionFixture.h"
#include "support/ImageFileSource.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>

namespace sarvik::session {
namespace {

// Waits for the calls a worker makes, as a front end's event loop would.
struct Signals {
    std::mutex mutex;
    std::condition_variable changed;
    int progress = 0, partial = 0, ended = 0;
    void bump(int& counter)
    {
        std::lock_guard lock(mutex);
        ++counter;
        changed.notify_all();
    }
    void waitEnded()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return ended > 0; });
    }
};

struct CopyReports final : RecoveryJobObserver, Signals {
    void progressWaiting() override { bump(progress); }
    void copyEnded() override { bump(ended); }
    bool continueAfterError(const std::string&) override { return answer; }
    bool answer = true;
};

// Three deleted files of 1 MiB each in the root of a hand-built FAT16
// volume, each in free clusters of its own (all within the FAT's 2,048).
struct CopyVolume : sarvik::test::FatRecoveryVolume {
    CopyVolume() : sarvik::test::FatRecoveryVolume(4, 16384)
    {
        for (std::uint32_t i = 0; i < 3; ++i) {
            const std::vector<std::uint32_t> clusters = range(10 + i * 600, 512);
            putFile(clusters, sarvik::test::pattern(1024 * 1024, i));
            addFile("f" + std::to_string(i), clusters.front(), 1024 * 1024);
        }
        select();
        buildTree();
    }
    static std::vector<std::uint32_t> range(std::uint32_t first, std::uint32_t count)
    {
        std::vector<std::uint32_t> out(count);
        for (std::uint32_t k = 0; k < count; ++k)
            out[k] = first + k;
        return out;
    }
};

struct CopyRun {
    CopyVolume v;
    CopyReports reports;
    RecoveryJob job{reports};
    search::FilterPatterns filters;
    recovery::RecoverySettings settings;
    recovery::RecoveryReport report;
    std::shared_ptr<recovery::MemoryOutputFolder> dest = std::make_shared<recovery::MemoryOutputFolder>("/dest");
    recovery::FileRecovery copier{v.volume, v.catalogue,   v.tree,        filters,
                                  settings, job.control(), job.reports(), report};
    bool run()
    {
        const recovery::TargetFolder target{dest, dest->displayPath()};
        if (!job.start(copier, [target](recovery::FileRecovery& r) { r.RecoverFatFilesIn(0, target); }))
            return false;
        reports.waitEnded();
        job.wait();
        return true;
    }
};

TEST(RecoveryJob, AStoppedCopyKeepsWhatItWroteAndItsBoxSaysSo)
{
    CopyRun c;
    // Stop Saving while the second file is read.
    std::atomic<bool> asked{false};
    c.v.hooked->onRead = [&](std::uint64_t offset, std::size_t) {
        if (offset >= c.v.clusterOffset(610) && !asked.exchange(true))
            c.job.requestStop();
    };
    c.job.setPlannedFiles(3);
    ASSERT_TRUE(c.run());
    EXPECT_TRUE(c.job.stopped());
    EXPECT_FALSE(c.job.working());
    EXPECT_EQ(c.job.totalText(1), "1 of 3");
    // The first file came whole; the second was cut short, the third never begun.
    const auto* first = c.dest->find("f0");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->bytes, sarvik::test::pattern(1024 * 1024, 0));
    EXPECT_EQ(c.dest->find("f2"), nullptr);
    ASSERT_EQ(c.report.files().size(), 2u);
    EXPECT_EQ(c.report.files()[1].outcome, recovery::FileOutcome::CutShort);

    const RecoverySummary summary = recoverySummary(c.report, "/dest", CopyRequest{3, c.job.stopped()},
                                                    [](std::uint64_t n) { return "<" + std::to_string(n) + ">"; });
    EXPECT_TRUE(summary.losses);
    EXPECT_EQ(summary.text.substr(0, summary.text.find('\n')),
              "<" + std::to_string(c.report.totals().written) + "> of <3> files copied; stopped.");
    EXPECT_NE(summary.text.find("1 cut short"), std::string::npos) << summary.text;
    ASSERT_EQ(summary.details.size(), 1u);
    EXPECT_EQ(summary.details[0].rfind(c.report.files()[1].path + ": ", 0), 0u) << summary.details[0];
}

TEST(RecoveryJob, ReportsWaitFoldedUntilTakenAndAWholeCopySaysSo)
{
    CopyRun c;
    ASSERT_TRUE(c.run());
    // Many reports (three files, their progress), one call: nothing was taken.
    EXPECT_EQ(c.reports.progress, 1);
    const RecoveryProgress shown = c.job.takeProgress();
    EXPECT_TRUE(shown.hasFileName && shown.hasTotal && shown.hasPath);
    EXPECT_EQ(shown.fileName, "f2");
    EXPECT_EQ(shown.totalFiles, 2u); // files before the current one
    const RecoveryProgress again = c.job.takeProgress();
    EXPECT_FALSE(again.hasFileName || again.hasTotal || again.hasPath || again.hasProgress);
    EXPECT_FALSE(c.job.stopped());
    EXPECT_EQ(c.job.totalText(2), "2"); // the files asked for were not given

    const RecoverySummary summary = recoverySummary(c.report, "/dest", CopyRequest{3, false});
    EXPECT_FALSE(summary.losses);
    EXPECT_EQ(summary.text, "3 of 3 files copied.\n\n3 file(s) were written whole to /dest.");
    EXPECT_TRUE(summary.details.empty());
}

TEST(RecoveryOutcome, PlannedFilesCountTheFilesBelowEachFolderRow)
{
    sessiontest::FatSession f;
    const std::vector<catalogue::FileRow> root = f.session.rows(f.session.tree.rootKey());
    // Root: Docs (1 file), old (its folder "deep" holds 1 file), 3 files.
    EXPECT_EQ(plannedFiles(f.session, root, recovery::RecoveryMode::All, {}), 5u);
    std::vector<bool> selected(root.size(), false);
    for (std::size_t i = 0; i < root.size(); ++i)
        selected[i] = root[i].name == "old" || root[i].name == "file1.doc";
    EXPECT_EQ(plannedFiles(f.session, root, recovery::RecoveryMode::Selected, selected), 2u);
    EXPECT_EQ(plannedFiles(f.session, root, recovery::RecoveryMode::Selected, {}), 0u);
}

// ---- Scans -----------------------------------------------------------------

struct ScanReports final : ScanJobObserver, Signals {
    void progressWaiting() override { bump(progress); }
    void partialWaiting() override { bump(partial); }
    void scanEnded() override { bump(ended); }
};

// Lets reads through until `allowed` of them have passed, then holds the rest
// until opened.
class GatedSource final : public disk::BlockSource {
public:
    explicit GatedSource(std::shared_ptr<const disk::BlockSource> base) : m_base(std::move(base)) {}
    std::uint64_t size() const override { return m_base->size(); }
    disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        {
            std::unique_lock lock(m_mutex);
            ++m_reads;
            if (m_allowed >= 0 && m_reads > m_allowed) {
                m_held = true;
                m_changed.notify_all();
                m_changed.wait(lock, [this] { return m_allowed < 0; });
            }
        }
        return m_base->read(offset, buffer);
    }
    void allow(long reads)
    {
        std::lock_guard lock(m_mutex);
        m_allowed = reads;
        m_reads = 0;
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_allowed = -1;
        m_changed.notify_all();
    }
    void waitHeld()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_held; });
    }
    long reads() const
    {
        std::lock_guard lock(m_mutex);
        return m_reads;
    }

private:
    std::shared_ptr<const disk::BlockSource> m_base;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable long m_reads = 0;
    long m_allowed = -1;
    mutable bool m_held = false;
};

struct ScanRun {
    std::shared_ptr<GatedSource> gate;
    scan::ScanSession session;
    ScanReports reports;
    ScanJob job{reports};

    bool select(const char* image)
    {
        const auto file = sarvik::test::ImageFileSource::open(std::string(SARVIK_TEST_VOLUMES) + "/" + image);
        if (!file)
            return false;
        gate = std::make_shared<GatedSource>(file);
        sarvik::test::MemoryDevices devices;
        devices.add(image, gate);
        disk::DriveItem item;
        item.devicePath = image;
        return static_cast<bool>(scan::SelectVolume(session.volume, item, devices));
    }
};

TEST(ScanJob, ReportsTheScanAndAStopKeepsWhatWasFound)
{
    ScanRun whole;
    if (!whole.select("demo-fat32.img"))
        GTEST_SKIP() << "no demo-fat32.img in " << SARVIK_TEST_VOLUMES << " (tools/make-test-volumes.sh)";
    ASSERT_TRUE(whole.job.start(whole.session, scan::ScanOptions{true, false, false, false}));
    EXPECT_FALSE(whole.job.start(whole.session)); // one scan at a time
    whole.reports.waitEnded();
    whole.job.finish();
    EXPECT_FALSE(whole.job.running());
    EXPECT_FALSE(whole.job.result().Stopped);
    const ScanProgress last = whole.job.takeProgress();
    EXPECT_TRUE(last.hasFiles && last.hasProgress);
    EXPECT_EQ(last.files, whole.session.catalogue.fileCount());
    const std::uint32_t allFiles = whole.session.catalogue.fileCount();
    ASSERT_GT(allFiles, 1u);
    const long allReads = whole.gate->reads();

    // Held in the middle of its reads, then stopped: the scan ends as stopped
    // and its session keeps, with a tree, what it had found.
    ScanRun stopped;
    ASSERT_TRUE(stopped.select("demo-fat32.img"));
    stopped.gate->allow(allReads / 2);
    ASSERT_TRUE(stopped.job.start(stopped.session, scan::ScanOptions{true, false, false, false}));
    stopped.gate->waitHeld();
    stopped.job.requestStop();
    stopped.gate->open();
    stopped.reports.waitEnded();
    stopped.job.finish();
    EXPECT_TRUE(stopped.job.result().Stopped);
    EXPECT_LE(stopped.session.catalogue.fileCount(), allFiles);
    EXPECT_EQ(stopped.job.takeProgress().files, stopped.session.catalogue.fileCount());
    EXPECT_NE(stopped.session.tree.node(catalogue::FolderTree::kRootHandle), nullptr);
}

TEST(ScanJob, StatusTextCountsMftRecordsUnderTheThoroughRules)
{
    EXPECT_EQ(scanStatusText("Reading 2048\\80000", true, true, 0), "Reading MFT records: 1024 of 40000");
    EXPECT_EQ(scanStatusText("Reading 2048\\80000", true, true, 8), "Reading MFT records: 256 of 10000");
    EXPECT_EQ(scanStatusText("Reading 2048\\80000", false, true, 0), "Reading 2048\\80000"); // classic rules
    EXPECT_EQ(scanStatusText("Reading 2048\\80000", true, false, 0), "Reading 2048\\80000"); // not NTFS
    EXPECT_EQ(scanStatusText("Reading folders: 3 of 9", true, true, 0), "Reading folders: 3 of 9");
    EXPECT_EQ(scanStatusText("Reading 12\\", true, true, 0), "Reading 12\\");
    EXPECT_EQ(scanStatusText("Reading 1x\\80", true, true, 0), "Reading 1x\\80");
    EXPECT_EQ(scanStatusText("Reading 99999999999999999999999\\1", true, true, 0),
              "Reading 99999999999999999999999\\1");
}

TEST(ScanJob, TimeLeftFollowsThePaceSoFar)
{
    using std::chrono::seconds;
    EXPECT_EQ(timeLeft(seconds(10), 0), std::nullopt);
    EXPECT_EQ(timeLeft(seconds(10), 100), std::nullopt);
    EXPECT_EQ(timeLeft(seconds(10), 25), seconds(30));
    EXPECT_EQ(timeLeft(seconds(10), 99), seconds(1)); // a part of a second left shows as one
    EXPECT_EQ(timeLeft(seconds(0), 50), std::nullopt);

    ScanReports reports;
    ScanJob idle(reports);
    EXPECT_EQ(idle.timeLeft(), std::nullopt); // no percent reported
}

// ---- Lost volumes ------------------------------------------------------------

struct LostReports final : LostVolumeObserver, Signals {
    void progressWaiting() override { bump(progress); }
    void searchEnded() override { bump(ended); }
};

// A disk without a table holding demo-fat32.img at sector 3000, where only
// the reading of every sector finds it.
std::shared_ptr<disk::MemoryBlockSource> oddStartDisk()
{
    std::ifstream in(std::string(SARVIK_TEST_VOLUMES) + "/demo-fat32.img", std::ios::binary);
    if (!in)
        return nullptr;
    std::vector<std::byte> bytes(3000 * 512);
    const std::vector<char> volume{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const char c : volume)
        bytes.push_back(static_cast<std::byte>(c));
    return std::make_shared<disk::MemoryBlockSource>(std::move(bytes));
}

TEST(LostVolumeJob, FindsAVolumeOnlyAWholeReadFindsAndAStopEndsEarly)
{
    const std::shared_ptr<disk::MemoryBlockSource> image = oddStartDisk();
    if (!image)
        GTEST_SKIP() << "no demo-fat32.img in " << SARVIK_TEST_VOLUMES << " (tools/make-test-volumes.sh)";
    {
        LostReports reports;
        LostVolumeJob job(reports);
        ASSERT_TRUE(job.start([image](std::string&) { return image; }));
        reports.waitEnded();
        job.finish();
        const LostVolumeFindings& findings = job.findings();
        EXPECT_FALSE(findings.stopped);
        EXPECT_TRUE(findings.error.empty());
        ASSERT_EQ(findings.found.size(), 1u);
        EXPECT_EQ(findings.found[0].firstSector, 3000u);
        EXPECT_EQ(findings.found[0].kind, disk::VolumeKind::Fat32);
        const LostVolumeProgress last = job.takeProgress();
        EXPECT_EQ(last.percent, 100);

        // Named as the list names the partitions of the disk searched (here
        // from one of its partitions), and added once.
        disk::DriveItem partition;
        partition.kind = disk::DriveKind::Image;
        partition.text = "Disk Image(odd.img) 2: NTFS";
        partition.devicePath = "/images/odd.img@2";
        const LostVolumeReport report = lostVolumeReport(findings, partition, "/images/odd.img", {partition});
        ASSERT_EQ(report.found.size(), 1u);
        EXPECT_EQ(report.found[0].text, "Disk Image(odd.img) lost 1: FAT32");
        EXPECT_EQ(report.found[0].devicePath, "/images/odd.img@lost1");
        EXPECT_EQ(report.found[0].kind, disk::DriveKind::Image);
        EXPECT_EQ(report.found[0].sizeBytes, findings.found[0].sectors * 512);
        ASSERT_EQ(report.added.size(), 1u);
        EXPECT_TRUE(
            lostVolumeReport(findings, partition, "/images/odd.img", {partition, report.found[0]}).added.empty());
        EXPECT_EQ(lostVolumeSummary(findings, report, "/images/odd.img"),
                  "1 lost volume(s) found; they are listed with the drives:\nDisk Image(odd.img) lost 1: FAT32 (found "
                  "by its " +
                      findings.found[0].foundBy + ")");
        // A disk's own name has no parentheses.
        disk::DriveItem whole;
        whole.kind = disk::DriveKind::Fixed;
        whole.text = "/dev/sdb";
        EXPECT_EQ(lostVolumeReport(findings, whole, "/dev/sdb", {}).found[0].text, "Disk(/dev/sdb) lost 1: FAT32");
    }
    {
        // Held at its first read, then stopped: it ends as stopped, before the volume.
        auto gate = std::make_shared<GatedSource>(image);
        gate->allow(0);
        LostReports reports;
        LostVolumeJob job(reports);
        ASSERT_TRUE(job.start([gate](std::string&) { return gate; }));
        EXPECT_FALSE(job.start([gate](std::string&) { return gate; })); // one search at a time
        gate->waitHeld();
        job.requestStop();
        gate->open();
        reports.waitEnded();
        job.finish();
        EXPECT_TRUE(job.findings().stopped);
        EXPECT_TRUE(job.findings().found.empty());
        EXPECT_EQ(lostVolumeSummary(job.findings(), {}, "/images/odd.img"),
                  "No lost volume was found on /images/odd.img.\nThe search was stopped: the rest of the disk was not "
                  "read.");
    }
    {
        LostReports reports;
        LostVolumeJob job(reports);
        ASSERT_TRUE(job.start([](std::string& error) -> std::shared_ptr<const disk::BlockSource> {
            error = "disk.img: Permission denied";
            return nullptr;
        }));
        reports.waitEnded();
        job.finish();
        EXPECT_EQ(job.findings().error, "disk.img: Permission denied");
        EXPECT_TRUE(job.findings().found.empty());
    }
}

} // namespace
} // namespace sarvik::session
