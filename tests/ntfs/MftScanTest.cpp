// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/MftScan.h"
#include "support/NtfsBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

using namespace sarvik;
using namespace sarvik::ntfs;
using catalogue::Catalogue;
using catalogue::ScanControl;
using test::encodeRuns;
using test::MftRecordBuilder;
using test::NtfsImage;

namespace {

struct Recorder : catalogue::ScanObserver {
    std::vector<std::string> statuses;
    std::vector<std::uint32_t> positions;
    std::vector<std::uint64_t> sectors;
    std::vector<std::string> items;
    std::vector<bool> stops;
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::vector<std::uint32_t> filesSeen;
    std::vector<std::uint32_t> foldersSeen;
    ScanControl* control = nullptr;
    std::uint64_t stopAtSector = ~std::uint64_t{0};
    bool follows = true;

    void foldersFound(std::uint32_t n) override
    {
        folders = n;
        foldersSeen.push_back(n);
    }
    void filesFound(std::uint32_t n) override
    {
        files = n;
        filesSeen.push_back(n);
    }
    void currentSector(std::uint64_t s) override
    {
        sectors.push_back(s);
        if (control != nullptr && s == stopAtSector)
            control->ScanStopFlag = 1;
    }
    void lastItem(const std::string& n) override { items.push_back(n); }
    void status(const std::string& t) override { statuses.push_back(t); }
    void progress(std::uint32_t p) override { positions.push_back(p); }
    void stopAvailable(bool a) override { stops.push_back(a); }
    bool followsEachItem() const override { return follows; }
};

struct ScanResult {
    Catalogue catalogue;
    MftRunList runs;
    Recorder recorder;
    ScanControl control;
};

void scan(const std::shared_ptr<const disk::BlockSource>& source, ScanResult& out, const NtfsScanOptions& options = {})
{
    test::MemoryDevices devices;
    devices.add("ntfs.img", source);
    disk::SelectedVolume volume;
    ASSERT_TRUE(disk::SelectDrive(volume, {"", "ntfs.img", disk::DriveKind::Image, source->size()}, devices));
    ASSERT_EQ(volume.info.FileSystemKind, disk::VolumeKind::Ntfs);
    out.recorder.control = &out.control;
    ScanMft(volume, out.catalogue, out.runs, out.recorder, out.control, options);
}

/// Refuses every read of more than one record, so the scan must read position by position.
class OneRecordAtATime final : public disk::BlockSource {
public:
    explicit OneRecordAtATime(std::shared_ptr<const disk::BlockSource> base) : m_base(std::move(base)) {}
    std::uint64_t size() const override { return m_base->size(); }
    disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        if (buffer.size() > kMftRecordSize)
            return disk::ReadStatus::Failed;
        return m_base->read(offset, buffer);
    }

private:
    std::shared_ptr<const disk::BlockSource> m_base;
};

std::string describe(const Catalogue& c)
{
    std::string s;
    for (const auto& f : c.fsLists().NtfsFolderList)
        s += "D " + f.name + " " + std::to_string(f.recordNumber) + " " + std::to_string(f.parentRecord) + " " +
             std::to_string(f.created) + " " + std::to_string(f.modified) + " " + std::to_string(f.deleted) + "\n";
    for (const auto& f : c.fsLists().NtfsFileList)
        s += "F " + f.name + " " + std::to_string(f.recordNumber) + " " + std::to_string(f.parentRecord) + " " +
             std::to_string(f.created) + " " + std::to_string(f.modified) + " " + std::to_string(f.size) + " " +
             std::to_string(f.recordSector) + "\n";
    s += "counts " + std::to_string(c.folderCount()) + " " + std::to_string(c.fileCount()) + "\n";
    return s;
}

constexpr std::size_t kSectors = 4096;
constexpr std::uint8_t kSpc = 8;
constexpr std::uint32_t kMftCluster = 4;
constexpr std::uint32_t kRecords = 64;

/// A volume with one record of every kind the scan tells apart.
NtfsImage mixedVolume()
{
    using namespace FileNamespace;
    NtfsImage v(kSectors, kSpc, kMftCluster, kRecords);
    v.put(16, MftRecordBuilder(RecordFlags::FolderInUse).fileName(u"Docs", 5, Win32AndDos, 1000, 2000).build());
    v.put(17, MftRecordBuilder(RecordFlags::DeletedFolder).fileName(u"Old", 16, Posix, 1001, 2001).build());
    v.put(18, MftRecordBuilder(RecordFlags::DeletedFile)
                  .fileName(u"REPORT~1.DOC", 17, Dos)
                  .fileName(u"report.doc", 17, Win32, 1002, 2002)
                  .residentData(300)
                  .build());
    v.put(19, MftRecordBuilder(RecordFlags::DeletedFile)
                  .fileName(u"big.bin", 5, Win32AndDos)
                  .nonResidentData(123456, encodeRuns({{31, 300}}))
                  .build());
    v.put(20, MftRecordBuilder(RecordFlags::FileInUse).fileName(u"live.txt", 16, Win32).residentData(5).build());
    v.put(21, MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"lost.txt", 40, Posix).residentData(5).build());
    v.put(22, MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"nodata", 5, Win32).build());
    v.put(23, MftRecordBuilder(RecordFlags::DeletedFile).residentData(9).build()); // no name: not reported
    v.put(24, MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"BOTH.TXT", 5, Win32AndDos).residentData(1).build());
    // The data attribute lives in extension record 26.
    v.put(25, MftRecordBuilder(RecordFlags::DeletedFile)
                  .attributeList({{0x10, 25}, {0x30, 25}, {0x80, 26}})
                  .fileName(u"moved", 5, Win32)
                  .build());
    v.put(26, MftRecordBuilder(RecordFlags::FileInUse).residentData(777).build());
    // A POSIX name in the base record, a Win32 one in the extension record: the Win32 one wins.
    v.put(27, MftRecordBuilder(RecordFlags::DeletedFile)
                  .attributeList({{0x30, 27}, {0x30, 28}})
                  .fileName(u"posix name", 5, Posix)
                  .residentData(3)
                  .build());
    v.put(28, MftRecordBuilder(RecordFlags::FileInUse).fileName(u"win32 name", 5, Win32).build());
    v.put(29, MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"lost2.txt", 41, Posix).residentData(2).build());
    v.put(30, MftRecordBuilder(RecordFlags::DeletedFolder).fileName(u"sub", 40, Posix).build());
    // Flags other than 0 to 3 count as a file in use.
    v.put(31, MftRecordBuilder(9).fileName(u"odd flags", 5, Win32).residentData(1).build());
    v.put(63, MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"last.txt", 5, Posix).residentData(4).build());
    return v;
}

} // namespace

TEST(ScanMft, FindsFoldersAndDeletedFilesOfEveryKind)
{
    NtfsImage image = mixedVolume();
    ScanResult r;
    scan(image.image().source(), r);
    const Catalogue& c = r.catalogue;
    const std::uint64_t mft = image.mftSector();

    EXPECT_EQ(describe(c), "D Docs 16 5 1000 2000 0\n"
                           "D Old 17 16 1001 2001 1\n"
                           "D sub 30 40 0 0 1\n"
                           "D Dir0 40 5 0 0 0\n"
                           "D Dir1 41 5 0 0 0\n"
                           "F report.doc 18 17 1002 2002 300 " +
                               std::to_string(mft + 36) +
                               "\n"
                               "F big.bin 19 5 0 0 123456 " +
                               std::to_string(mft + 38) +
                               "\n"
                               "F lost.txt 21 40 0 0 5 " +
                               std::to_string(mft + 42) +
                               "\n"
                               "F nodata 22 5 0 0 0 " +
                               std::to_string(mft + 44) +
                               "\n"
                               "F BOTH.TXT 24 5 0 0 1 " +
                               std::to_string(mft + 48) +
                               "\n"
                               "F moved 25 5 0 0 777 " +
                               std::to_string(mft + 52) +
                               "\n"
                               "F win32 name 27 5 0 0 3 " +
                               std::to_string(mft + 54) +
                               "\n"
                               "F lost2.txt 29 41 0 0 2 " +
                               std::to_string(mft + 58) +
                               "\n"
                               "F last.txt 63 5 0 0 4 " +
                               std::to_string(mft + 126) +
                               "\n"
                               "counts 5 9\n");

    // Every named record updates the labels, files in use included; the root does not.
    EXPECT_EQ(r.recorder.items, (std::vector<std::string>{"$MFT", "Docs", "Old", "report.doc", "big.bin", "live.txt",
                                                          "lost.txt", "nodata", "BOTH.TXT", "moved", "win32 name",
                                                          "win32 name", "lost2.txt", "sub", "odd flags", "last.txt"}));
    // "$MFT" (in use) shows 0 files; "live.txt" shows the two found before it.
    EXPECT_EQ(r.recorder.filesSeen.front(), 0u);
    EXPECT_EQ(r.recorder.filesSeen[3], 2u);
    EXPECT_EQ(r.recorder.files, 9u);

    // One position per two sectors of the MFT.
    ASSERT_EQ(r.recorder.sectors.size(), 64u);
    EXPECT_EQ(r.recorder.sectors.front(), mft);
    EXPECT_EQ(r.recorder.sectors.back(), mft + 126);

    const auto& st = r.recorder.statuses;
    ASSERT_GE(st.size(), 3u);
    EXPECT_EQ(st.front(), "Reading 2\\128");
    EXPECT_EQ(st[st.size() - 3], "Reading 128\\128");
    EXPECT_EQ(st[st.size() - 2], "Searching For Lost Data");
    EXPECT_EQ(st.back(), "Creating Directory Tree");
    EXPECT_EQ(*std::max_element(r.recorder.positions.begin(), r.recorder.positions.end()), 99u);
    EXPECT_EQ(r.recorder.positions.front(), 0u);
    EXPECT_EQ(r.recorder.positions.back(), 0u);
    EXPECT_EQ(r.recorder.stops, (std::vector<bool>{true, false}));
    EXPECT_EQ(r.control.ScanStopFlag.load(), 0);
    EXPECT_EQ(r.runs.RunCount(), 1u);
}

TEST(ScanMft, ReadingARecordAtATimeGivesTheSameResult)
{
    NtfsImage image = mixedVolume();
    ScanResult blocks;
    scan(image.image().source(), blocks);
    ScanResult single;
    scan(std::make_shared<OneRecordAtATime>(image.image().source()), single);
    EXPECT_EQ(describe(single.catalogue), describe(blocks.catalogue));
    EXPECT_EQ(single.recorder.statuses, blocks.recorder.statuses);
    EXPECT_EQ(single.recorder.items, blocks.recorder.items);
}

TEST(ScanMft, AnObserverOfCountsAloneGetsTheSameCatalogue)
{
    for (const bool thorough : {false, true}) {
        NtfsImage image = mixedVolume();
        ScanResult every;
        scan(image.image().source(), every, {thorough});
        ScanResult summary;
        summary.recorder.follows = false;
        scan(image.image().source(), summary, {thorough});
        EXPECT_EQ(describe(summary.catalogue), describe(every.catalogue)) << thorough;
        EXPECT_EQ(summary.catalogue.fsLists().NtfsDataRuns.size(), every.catalogue.fsLists().NtfsDataRuns.size());
        for (std::size_t i = 0; i < summary.catalogue.fsLists().NtfsFileList.size(); ++i)
            EXPECT_EQ(summary.catalogue.fsLists().NtfsFileList[i].dataKept,
                      every.catalogue.fsLists().NtfsFileList[i].dataKept)
                << i;
        EXPECT_EQ(summary.recorder.files, every.recorder.files);
        EXPECT_EQ(summary.recorder.folders, every.recorder.folders);
        EXPECT_EQ(*std::max_element(summary.recorder.positions.begin(), summary.recorder.positions.end()), 99u);
        EXPECT_EQ(summary.recorder.statuses.back(), "Creating Directory Tree");
    }
}

TEST(ScanMft, StopEndsTheLoopButNotTheClosingSteps)
{
    NtfsImage image = mixedVolume();
    ScanResult r;
    r.recorder.stopAtSector = image.recordSector(21);
    scan(image.image().source(), r);
    // The position being read when Stop came is finished; nothing after it is read.
    EXPECT_EQ(r.recorder.sectors.back(), image.recordSector(21));
    EXPECT_EQ(describe(r.catalogue), "D Docs 16 5 1000 2000 0\n"
                                     "D Old 17 16 1001 2001 1\n"
                                     "D Dir0 40 5 0 0 0\n"
                                     "F report.doc 18 17 1002 2002 300 " +
                                         std::to_string(image.recordSector(18)) +
                                         "\n"
                                         "F big.bin 19 5 0 0 123456 " +
                                         std::to_string(image.recordSector(19)) +
                                         "\n"
                                         "F lost.txt 21 40 0 0 5 " +
                                         std::to_string(image.recordSector(21)) +
                                         "\n"
                                         "counts 3 3\n");
    EXPECT_EQ(r.recorder.statuses.back(), "Creating Directory Tree");
    EXPECT_TRUE(r.control.stopRequested()); // no pass clears the request
    EXPECT_TRUE(r.catalogue.Losses.Stopped);
}

TEST(ScanMft, UnreadableRecordsAreSkippedNotRepeated)
{
    NtfsImage image = mixedVolume();
    auto source = image.image().source();
    source->addBadRange(image.recordSector(22) * 512 + 700, 1);
    ScanResult r;
    scan(source, r);
    std::vector<std::uint64_t> records;
    for (const auto& f : r.catalogue.fsLists().NtfsFileList)
        records.push_back(f.recordNumber);
    EXPECT_EQ(records, (std::vector<std::uint64_t>{18, 19, 21, 24, 25, 27, 29, 63}));
    EXPECT_EQ(r.catalogue.fileCount(), 8u);
    EXPECT_EQ(r.catalogue.Losses.UnreadableRecords, 1u); // reported, not taken for an empty position
    EXPECT_FALSE(r.catalogue.Losses.Stopped);
}

TEST(ScanMft, BlocksOfRecordsJoinWithoutSeams)
{
    // 3000 records: three blocks of reading, the last one short.
    constexpr std::uint32_t records = 3000;
    NtfsImage image(8192, kSpc, kMftCluster, records);
    const std::vector<std::uint32_t> placed = {1023, 1024, 2047, 2048, 2999};
    for (const std::uint32_t n : placed)
        image.put(n, MftRecordBuilder(RecordFlags::DeletedFile)
                         .fileName(test::u16("f" + std::to_string(n)), 5, FileNamespace::Posix)
                         .residentData(n % 512)
                         .build());
    ScanResult r;
    scan(image.image().source(), r);
    ASSERT_EQ(r.catalogue.fsLists().NtfsFileList.size(), placed.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const auto& f = r.catalogue.fsLists().NtfsFileList[i];
        EXPECT_EQ(f.name, "f" + std::to_string(placed[i]));
        EXPECT_EQ(f.recordNumber, placed[i]);
        EXPECT_EQ(f.size, placed[i] % 512);
        EXPECT_EQ(f.recordSector, image.recordSector(placed[i]));
    }
    EXPECT_EQ(r.recorder.sectors.size(), records);
}

TEST(ScanMft, RunsOfOddLengthKeepTwoSectorPositions)
{
    // One sector per cluster; the MFT in runs of 5, 7 and 4 sectors.
    NtfsImage image(2048, 1, 40, 8);
    image.put(0, MftRecordBuilder()
                     .fileName(u"$MFT", 5, 3)
                     .nonResidentData(8 * 1024, encodeRuns({{5, 40}, {7, 100}, {4, 200}}))
                     .build());
    auto deleted = [](const char* name) {
        return MftRecordBuilder(RecordFlags::DeletedFile).fileName(test::u16(name), 5, 1).residentData(1).build();
    };
    image.putAt(44, deleted("straddles run 0"));  // position 2: sectors 44 and 45
    image.putAt(101, deleted("off the grid"));    // never the start of a position
    image.putAt(106, deleted("straddles run 1")); // position 6: sectors 106 and 107
    image.putAt(202, deleted("in run 2"));        // position 8
    ScanResult r;
    scan(image.image().source(), r);
    EXPECT_EQ(r.recorder.sectors, (std::vector<std::uint64_t>{40, 42, 44, 100, 102, 104, 106, 200, 202}));
    EXPECT_EQ(describe(r.catalogue), "F straddles run 0 2 5 0 0 1 44\n"
                                     "F straddles run 1 6 5 0 0 1 106\n"
                                     "F in run 2 8 5 0 0 1 202\n"
                                     "counts 0 3\n");
    // Nine positions of two sectors over 16 sectors.
    EXPECT_EQ(r.recorder.statuses[r.recorder.statuses.size() - 3], "Reading 18\\16");
}

TEST(ScanMft, SparseRunsHoldNoRecords)
{
    // Two sectors per cluster: one record per cluster. The MFT: 6 clusters, a
    // hole of 2, then 4 clusters.
    NtfsImage image(2048, 2, 20, 12);
    image.put(0, MftRecordBuilder()
                     .fileName(u"$MFT", 5, 3)
                     .nonResidentData(12 * 1024, encodeRuns({{6, 20}, {2, std::nullopt}, {4, 40}}))
                     .build());
    // A record at the sectors that the hole would map to if it were read from sector 0.
    image.putAt(2, MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"not here", 5, 1).build());
    image.putAt(80, MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"after the hole", 5, 1).build());
    ScanResult r;
    scan(image.image().source(), r);
    EXPECT_EQ(describe(r.catalogue), "F after the hole 8 5 0 0 0 80\ncounts 0 1\n");
}

TEST(ScanMft, DamagedRecordsAndListsGiveFewerResults)
{
    NtfsImage image(kSectors, kSpc, kMftCluster, kRecords);
    // Record 0's second run lies past the volume's end: only the first is scanned.
    image.put(0, MftRecordBuilder()
                     .fileName(u"$MFT", 5, 3)
                     .nonResidentData(kRecords * 1024, encodeRuns({{16, kMftCluster}, {1000000, 100}}))
                     .build());
    // An attribute list that points far outside the MFT.
    image.put(16, MftRecordBuilder(RecordFlags::DeletedFile)
                      .attributeList({{0x30, 16}, {0x80, 4000000}})
                      .fileName(u"outside", 5, 1)
                      .build());
    // A first attribute offset outside the record, a zero attribute length, a
    // value offset past the record.
    MftRecord far = MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"far", 5, 1).build();
    disk::putUint(far, kRecordFirstAttribute, 2, 4000);
    image.put(17, far);
    MftRecordBuilder zero(RecordFlags::DeletedFile);
    zero.residentData(4).fileName(u"zero", 5, 1);
    MftRecord z = zero.build();
    disk::putUint(z, zero.attributeOffset(0) + 4, 4, 0);
    image.put(18, z);
    MftRecordBuilder past(RecordFlags::DeletedFile);
    past.fileName(u"past", 5, 1);
    MftRecord p = past.build();
    disk::putUint(p, past.attributeOffset(0) + 20, 2, 1500);
    image.put(19, p);
    image.put(20, MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"fine", 5, 1).residentData(8).build());
    ScanResult r;
    scan(image.image().source(), r);
    EXPECT_EQ(r.runs.RunCount(), 1u);
    // No data attribute anywhere: size 0 and the sector of the last record tried,
    // which lies beyond the runs.
    EXPECT_EQ(describe(r.catalogue), "F outside 16 5 0 0 0 0\n"
                                     "F fine 20 5 0 0 8 " +
                                         std::to_string(image.recordSector(20)) + "\ncounts 0 2\n");
}

TEST(ScanMft, RandomDamageNeverLeavesTheVolume)
{
    const NtfsImage clean = mixedVolume();
    std::mt19937 rng(7);
    const std::uint64_t mftBytes = kRecords * 1024;
    for (int round = 0; round < 150; ++round) {
        NtfsImage image = clean;
        auto& bytes = image.image().bytes();
        const int flips = 1 + static_cast<int>(rng() % 60);
        for (int f = 0; f < flips; ++f) {
            const std::uint64_t record = rng() % kRecords;
            const std::uint64_t at = image.mftSector() * 512 + record * 1024 + rng() % (rng() % 2 ? 0x60 : 1024);
            ASSERT_LT(at, image.mftSector() * 512 + mftBytes);
            bytes[at] = static_cast<std::byte>(rng() & 0xFF);
        }
        ScanResult r;
        scan(image.image().source(), r);
        const Catalogue& c = r.catalogue;
        ASSERT_EQ(c.fileCount(), c.fsLists().NtfsFileList.size());
        ASSERT_EQ(c.folderCount(), c.fsLists().NtfsFolderList.size());
        ASSERT_LE(r.runs.totalSectors(), kSectors);
        for (const auto& f : c.fsLists().NtfsFileList) {
            ASSERT_LE(f.name.size(), 255u);
            ASSERT_LT(f.recordNumber, r.recorder.sectors.size());
            ASSERT_LT(f.recordSector, kSectors);
        }
        ASSERT_EQ(r.control.ScanStopFlag.load(), 0);
    }
}

TEST(ScanMft, ThoroughListsDeletedFilesThatKeptDataButLostEveryName)
{
    using test::ListEntry;
    NtfsImage image(kSectors, kSpc, kMftCluster, kRecords);
    // Listed: resident data in the base record.
    image.put(24, MftRecordBuilder(RecordFlags::DeletedFile).standardInformation(1000, 2000).residentData(9).build());
    // Not listed: a file in use without a name.
    image.put(25, MftRecordBuilder(RecordFlags::FileInUse).standardInformation(1, 2).residentData(9).build());
    // Listed: the data's first extent lies in extension record 27, which is
    // not listed on its own.
    image.put(26, MftRecordBuilder(RecordFlags::DeletedFile)
                      .attributeList({{0x10, 26}, ListEntry{0x80, 27, 32, 0, 1, 0}})
                      .standardInformation(1100, 2100)
                      .build());
    image.put(27, MftRecordBuilder(RecordFlags::DeletedFile)
                      .baseRecord(26, 1)
                      .dataExtent(0, 2, 5000, encodeRuns({{2, 300}}), 0)
                      .build());
    // Not listed: a file name (of no known name space) in its extension record.
    image.put(28, MftRecordBuilder(RecordFlags::DeletedFile)
                      .attributeList({{0x10, 28}, {0x30, 29}, {0x80, 28}})
                      .standardInformation(1, 2)
                      .residentData(7)
                      .build());
    image.put(29, MftRecordBuilder(RecordFlags::DeletedFile).baseRecord(28, 1).fileName(u"odd", 5, 4).build());
    // Not listed: a damaged file name in the base record itself.
    image.put(35, MftRecordBuilder(RecordFlags::DeletedFile)
                      .standardInformation(1, 2)
                      .fileName(u"odd", 5, 7)
                      .residentData(7)
                      .build());
    // Not listed: empty data, no standard information, a deleted folder.
    image.put(30, MftRecordBuilder(RecordFlags::DeletedFile).standardInformation(1, 2).residentData(0).build());
    image.put(31, MftRecordBuilder(RecordFlags::DeletedFile).residentData(9).build());
    image.put(32, MftRecordBuilder(RecordFlags::DeletedFolder).standardInformation(1, 2).residentData(9).build());
    // Not listed: the only data extent lies in a record another file has taken since.
    image.put(33, MftRecordBuilder(RecordFlags::DeletedFile)
                      .attributeList({{0x10, 33}, ListEntry{0x80, 34, 32, 0, 1, 0}})
                      .standardInformation(1, 2)
                      .build());
    image.put(34, MftRecordBuilder(RecordFlags::FileInUse)
                      .baseRecord(40, 1)
                      .dataExtent(0, 2, 5000, encodeRuns({{2, 300}}), 0)
                      .build());
    // Listed: non-resident data in the base record.
    image.put(36, MftRecordBuilder(RecordFlags::DeletedFile)
                      .standardInformation(1200, 2200)
                      .nonResidentData(123456, encodeRuns({{31, 400}}))
                      .build());
    // Not listed: a record of the volume's own range.
    image.put(20, MftRecordBuilder(RecordFlags::DeletedFile).standardInformation(1, 2).residentData(9).build());

    ScanResult plain;
    scan(image.image().source(), plain);
    EXPECT_EQ(describe(plain.catalogue), "counts 0 0\n") << "the default rules list no nameless file";

    ScanResult thorough;
    scan(image.image().source(), thorough, NtfsScanOptions{true});
    EXPECT_EQ(describe(thorough.catalogue), "D $Nameless files 1 5 0 0 1\n"
                                            "F record 24 24 1 1000 2000 9 " +
                                                std::to_string(image.recordSector(24)) +
                                                "\n"
                                                "F record 26 26 1 1100 2100 5000 " +
                                                std::to_string(image.recordSector(27)) +
                                                "\n"
                                                "F record 36 36 1 1200 2200 123456 " +
                                                std::to_string(image.recordSector(36)) +
                                                "\n"
                                                "counts 1 3\n");
    EXPECT_EQ(thorough.recorder.files, 3u);
    EXPECT_EQ(thorough.recorder.folders, 1u);
    // The standard information's four times are kept for the timeline, each from its own field.
    const auto times = [](const catalogue::NtfsFileEntry& f) {
        return std::array<std::uint64_t, 4>{f.standard.created, f.standard.modified, f.standard.recordChanged,
                                            f.standard.accessed};
    };
    EXPECT_EQ(times(thorough.catalogue.fsLists().NtfsFileList.at(0)),
              (std::array<std::uint64_t, 4>{1000, 1001, 2000, 1002}));

    // A deleted file whose name survives in an extension record keeps that name.
    NtfsImage named(kSectors, kSpc, kMftCluster, kRecords);
    named.put(28, MftRecordBuilder(RecordFlags::DeletedFile)
                      .attributeList({{0x10, 28}, {0x30, 29}, {0x80, 28}})
                      .standardInformation(1, 2)
                      .residentData(7)
                      .build());
    named.put(29, MftRecordBuilder(RecordFlags::DeletedFile).baseRecord(28, 1).fileName(u"kept.txt", 5, 0).build());
    ScanResult keptName;
    scan(named.image().source(), keptName, NtfsScanOptions{true});
    EXPECT_EQ(describe(keptName.catalogue),
              "F kept.txt 28 5 0 0 7 " + std::to_string(named.recordSector(28)) + "\ncounts 0 1\n");
    EXPECT_EQ(times(keptName.catalogue.fsLists().NtfsFileList.at(0)), (std::array<std::uint64_t, 4>{1, 2, 2, 3}));
}

TEST(ScanMft, TwoThreadsListWhatOneDoesInTheSameOrder)
{
    // Three blocks of records, taken in turn by two threads (one block a
    // chunk): every kind of item lies in each, folders named as parents from
    // other blocks, kept runs in every block, and one unreadable position.
    using namespace FileNamespace;
    constexpr std::uint32_t records = 3000;
    NtfsImage image(8192, kSpc, kMftCluster, records);
    for (const std::uint32_t base : {100u, 1100u, 2100u}) {
        const std::uint32_t otherFolder = base == 100 ? 1100 : 100;
        image.put(base, MftRecordBuilder(RecordFlags::FolderInUse)
                            .fileName(test::u16("dir" + std::to_string(base)), 5, Win32)
                            .build());
        image.put(base + 1, MftRecordBuilder(RecordFlags::DeletedFolder)
                                .fileName(test::u16("gone" + std::to_string(base)), otherFolder, Win32)
                                .build());
        image.put(base + 2, MftRecordBuilder(RecordFlags::DeletedFile)
                                .standardInformation(base, base + 1)
                                .fileName(test::u16("big" + std::to_string(base)), otherFolder, Win32)
                                .nonResidentData(base * 4096, encodeRuns({{base / 100 + 40, base / 100 + 1}}))
                                .build());
        image.put(base + 3, MftRecordBuilder(RecordFlags::DeletedFile)
                                .fileName(test::u16("small" + std::to_string(base)), base + 1, Posix)
                                .residentData(base % 511)
                                .build());
        image.put(base + 4, MftRecordBuilder(RecordFlags::FileInUse)
                                .fileName(test::u16("live" + std::to_string(base)), base, Win32)
                                .residentData(3)
                                .build());
        // Nameless under the thorough rules; its parent is nowhere: a lost folder.
        image.put(base + 5,
                  MftRecordBuilder(RecordFlags::DeletedFile).standardInformation(1, 2).residentData(9).build());
        image.put(base + 6, MftRecordBuilder(RecordFlags::DeletedFile)
                                .fileName(test::u16("orphan" + std::to_string(base)), base + 900, Win32)
                                .nonResidentData(8192, encodeRuns({{2, 60}}))
                                .build());
    }
    auto source = image.image().source();
    source->addBadRange(image.recordSector(1500) * 512 + 100, 1);
    for (const bool thorough : {false, true}) {
        ScanResult one;
        scan(source, one, {thorough});
        ScanResult two;
        two.recorder.follows = false;
        NtfsScanOptions options{thorough};
        options.twoThreadsFrom = 2;
        scan(source, two, options);
        EXPECT_EQ(describe(two.catalogue), describe(one.catalogue)) << thorough;
        ASSERT_EQ(two.catalogue.fsLists().NtfsFileList.size(), one.catalogue.fsLists().NtfsFileList.size());
        for (std::size_t i = 0; i < one.catalogue.fsLists().NtfsFileList.size(); ++i) {
            const auto& a = one.catalogue.fsLists().NtfsFileList[i];
            const auto& b = two.catalogue.fsLists().NtfsFileList[i];
            EXPECT_EQ(b.dataKept, a.dataKept) << i;
            EXPECT_EQ(b.runCount, a.runCount) << i;
            EXPECT_EQ(b.firstRun, a.firstRun) << i;
            EXPECT_EQ(b.standard.created, a.standard.created) << i;
        }
        ASSERT_EQ(two.catalogue.fsLists().NtfsDataRuns.size(), one.catalogue.fsLists().NtfsDataRuns.size());
        for (std::size_t i = 0; i < one.catalogue.fsLists().NtfsDataRuns.size(); ++i)
            EXPECT_EQ(two.catalogue.fsLists().NtfsDataRuns[i].start, one.catalogue.fsLists().NtfsDataRuns[i].start)
                << i;
        for (const auto& folder : one.catalogue.fsLists().NtfsFolderList)
            EXPECT_EQ(two.catalogue.findNtfsFolder(folder.recordNumber)->name,
                      one.catalogue.findNtfsFolder(folder.recordNumber)->name);
        EXPECT_EQ(two.catalogue.Losses.UnreadableRecords, 1u);
        EXPECT_EQ(two.recorder.files, one.recorder.files);
        EXPECT_EQ(two.recorder.folders, one.recorder.folders);
        EXPECT_EQ(two.recorder.statuses.back(), "Creating Directory Tree");
    }
}

TEST(AddFoundRecords, CountsGoOnFromTheScansOwn)
{
    // Records of an earlier MFT in a free cluster (a deleted folder and a file
    // in it), which give their own numbers; an observer that follows each item
    // hears counts that go on from the scan's, never from none.
    using namespace FileNamespace;
    NtfsImage image = mixedVolume();
    constexpr std::uint64_t kFoundSector = 300 * kSpc;
    const auto numbered = [](ntfs::MftRecord record, std::uint32_t number) {
        for (std::size_t k = 0; k < 4; ++k)
            record.data()[44 + k] = static_cast<std::byte>(number >> (8 * k));
        return record;
    };
    image.putAt(kFoundSector,
                numbered(MftRecordBuilder(RecordFlags::DeletedFolder).fileName(u"earlier", 5, Win32).build(), 500));
    image.putAt(
        kFoundSector + 2,
        numbered(MftRecordBuilder(RecordFlags::DeletedFile).fileName(u"kept.txt", 500, Win32).residentData(4).build(),
                 501));
    disk::SelectedVolume volume;
    ASSERT_TRUE(image.select(volume));
    Catalogue catalogue;
    MftRunList runs;
    Recorder recorder;
    ScanControl control;
    ScanMft(volume, catalogue, runs, recorder, control, {true});
    const std::uint32_t folders = catalogue.folderCount();
    const std::uint32_t files = catalogue.fileCount();
    recorder.foldersSeen.clear();
    recorder.filesSeen.clear();
    RecordSightings sightings(kMftRecordSize, kSpc * 512);
    std::vector<std::byte> cluster(kSpc * 512);
    ASSERT_EQ(volume.reader.read(kFoundSector, kSpc, cluster), disk::ReadStatus::Ok);
    sightings.look(kFoundSector * 512, cluster);
    const FoundRecords found = AddFoundRecords(volume, catalogue, runs, sightings, recorder, control, true);
    EXPECT_EQ(found.folders, 1u);
    EXPECT_EQ(found.files, 1u);
    ASSERT_FALSE(recorder.foldersSeen.empty());
    ASSERT_FALSE(recorder.filesSeen.empty());
    for (const std::uint32_t n : recorder.foldersSeen)
        EXPECT_GE(n, folders);
    for (const std::uint32_t n : recorder.filesSeen)
        EXPECT_GE(n, files);
    EXPECT_EQ(recorder.foldersSeen.back(), catalogue.folderCount());
    EXPECT_EQ(recorder.filesSeen.back(), files + 1);
}
