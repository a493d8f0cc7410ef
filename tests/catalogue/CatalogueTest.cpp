// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/Catalogue.h"
#include "catalogue/FileList.h"
#include "catalogue/FolderTree.h"
#include "catalogue/NameText.h"

#include <gtest/gtest.h>

#include <vector>

using namespace sarvik::catalogue;

namespace {

struct RecordingObserver : ScanObserver {
    std::vector<std::string> statuses;
    std::vector<std::uint32_t> positions;
    ScanControl* stopAfterProgress = nullptr;
    std::size_t stopAt = 0;
    bool abandon = false; ///< the owner goes away rather than asking to stop
    void status(const std::string& text) override { statuses.push_back(text); }
    void progress(std::uint32_t position) override
    {
        positions.push_back(position);
        if (stopAfterProgress != nullptr && positions.size() == stopAt) {
            if (abandon)
                stopAfterProgress->Abandoned = true;
            else
                stopAfterProgress->requestStop();
        }
    }
};

} // namespace

TEST(Catalogue, FatFolderWithAKnownFirstClusterIsRefused)
{
    Catalogue c;
    EXPECT_TRUE(c.AddFatFolder("DOCS", 5, 0, 1, 2, 0, 0));
    EXPECT_FALSE(c.AddFatFolder("OTHER", 5, 9, 3, 4, 0, 1));
    EXPECT_TRUE(c.AddFatFolder("PICS", 6, 5, 0, 0, 0, 1));
    ASSERT_EQ(c.fsLists().FatFolderList.size(), 2u);
    EXPECT_EQ(c.folderCount(), 2u);
    EXPECT_EQ(c.fsLists().FatFolderList[0].name, "DOCS");
    EXPECT_EQ(c.fsLists().FatFolderList[0].parentCluster, 0u);
    EXPECT_EQ(c.fsLists().FatFolderList[1].deleted, 1u);
    ASSERT_NE(c.findFatFolder(6), nullptr);
    EXPECT_EQ(c.findFatFolder(6)->name, "PICS");
    EXPECT_EQ(c.findFatFolder(7), nullptr);
}

TEST(Catalogue, FileOrdinalsFollowFileCount)
{
    Catalogue c;
    for (int i = 0; i < 4; ++i) {
        c.AddFatFile("F" + std::to_string(i), 10u + static_cast<unsigned>(i), 0, 0, 0, 100, 1);
    }
    EXPECT_EQ(c.fsLists().FatFileList[0].ordinal, 0u);
    EXPECT_EQ(c.fsLists().FatFileList[3].ordinal, 3u);
    EXPECT_EQ(c.fsLists().FatFileList[3].name, "F3");
}

TEST(Catalogue, ClearReleasesEverythingAndZeroesCounters)
{
    Catalogue c;
    c.AddFatFolder("A", 3, 0, 0, 0, 0, 0);
    c.AddFatFile("B", 4, 3, 0, 0, 1, 1);
    c.EntriesExamined = 9;
    c.ClearFatCatalogue();
    EXPECT_TRUE(c.fsLists().FatFolderList.empty());
    EXPECT_TRUE(c.fsLists().FatFileList.empty());
    EXPECT_EQ(c.folderCount(), 0u);
    EXPECT_EQ(c.fileCount(), 0u);
    EXPECT_EQ(c.EntriesExamined, 0u);
    // The first cluster may be used again once the list is cleared.
    EXPECT_TRUE(c.AddFatFolder("A", 3, 0, 0, 0, 0, 0));

    c.AddNtfsFolder("N", 40, 5, 1, 2, 0, 0);
    c.EntriesExamined = 9;
    c.ClearNtfsCatalogue();
    EXPECT_TRUE(c.fsLists().NtfsFolderList.empty());
    EXPECT_EQ(c.folderCount(), 1u);   // the counts are of what is listed: FAT's "A" is
    EXPECT_EQ(c.EntriesExamined, 9u); // only the FAT clear resets it
    EXPECT_EQ(c.findNtfsFolder(40), nullptr);
}

TEST(Catalogue, LostParentsGetOneSubstituteFolderEach)
{
    Catalogue c;
    c.AddNtfsFolder("Docs", 40, 5, 0, 0, 0, 0);
    c.AddNtfsFolder("Orphan", 41, 900, 0, 0, 0, 1);
    c.AddNtfsFile(100, "a.txt", 60, 777, 0, 0, 1, 10);
    c.AddNtfsFile(102, "b.txt", 61, 777, 0, 0, 1, 10);
    c.AddNtfsFile(104, "c.txt", 62, 40, 0, 0, 1, 10);
    c.AddNtfsFile(106, "d.txt", 63, 5, 0, 0, 1, 10);
    c.AddNtfsFile(108, "e.txt", 64, 888, 0, 0, 1, 10);

    RecordingObserver obs;
    ScanControl control;
    c.AttachLostFolders(obs, control);

    ASSERT_EQ(c.fsLists().NtfsFolderList.size(), 5u);
    EXPECT_EQ(c.fsLists().NtfsFolderList[2].name, "Dir0");
    EXPECT_EQ(c.fsLists().NtfsFolderList[2].recordNumber, 900u);
    EXPECT_EQ(c.fsLists().NtfsFolderList[2].parentRecord, 5u);
    EXPECT_EQ(c.fsLists().NtfsFolderList[2].deleted, 0u);
    EXPECT_EQ(c.fsLists().NtfsFolderList[3].name, "Dir1");
    EXPECT_EQ(c.fsLists().NtfsFolderList[3].recordNumber, 777u);
    EXPECT_EQ(c.fsLists().NtfsFolderList[4].name, "Dir2");
    EXPECT_EQ(c.fsLists().NtfsFolderList[4].recordNumber, 888u);
    EXPECT_EQ(c.folderCount(), 5u);
    ASSERT_FALSE(obs.statuses.empty());
    EXPECT_EQ(obs.statuses.front(), "Searching For Lost Data");
    for (auto p : obs.positions)
        EXPECT_LE(p, 99u);
}

TEST(Catalogue, AttachPlacesEverythingAfterAStopAndEndsOnlyWhenAbandoned)
{
    // Attaching reads nothing from the volume: a stop asked before or during it
    // leaves every file a folder to sit in; an owner going away ends it.
    for (const bool abandon : {false, true}) {
        Catalogue c;
        c.AddNtfsFile(100, "a", 60, 700, 0, 0, 1, 1);
        c.AddNtfsFile(102, "b", 61, 701, 0, 0, 1, 1);
        c.AddNtfsFile(104, "c", 62, 702, 0, 0, 1, 1);
        RecordingObserver obs;
        ScanControl control;
        obs.stopAfterProgress = &control;
        obs.stopAt = 2; // while the second file is handled
        obs.abandon = abandon;
        c.AttachLostFolders(obs, control);
        // Abandoned, the walk ends at the next entry: the third file's parent gets no folder.
        EXPECT_EQ(c.fsLists().NtfsFolderList.size(), abandon ? 2u : 3u) << abandon;
        // The request is the whole scan's: no pass clears it.
        EXPECT_TRUE(control.stopRequested()) << abandon;
    }
}

TEST(NameText, Windows1252BecomesUtf8)
{
    EXPECT_EQ(toUtf8("caf\xE9.txt"), "caf\xC3\xA9.txt");
    EXPECT_EQ(toUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(toUtf8("plain"), "plain");
    EXPECT_EQ(toUtf8(std::string("\x81", 1)), "\xC2\x81");
}

TEST(NameText, Utf8BackToWindows1252)
{
    // Every byte survives the way there and back.
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(sarvik::catalogue::fromUtf8(toUtf8(one)), one) << "byte " << b;
    }
    using sarvik::catalogue::fromUtf8;
    EXPECT_EQ(fromUtf8("\xD0\x9C\xD0\xB8\xD1\x80.txt"), "___.txt") << "Cyrillic has no Windows-1252 byte";
    EXPECT_EQ(fromUtf8("a\xF0\x9F\x98\x80"
                       "b"),
              "a_b")
        << "one mark for one character";
    // Bytes that are not UTF-8: stray continuation, cut sequence, overlong, surrogate.
    EXPECT_EQ(fromUtf8("\x80x"), "_x");
    EXPECT_EQ(fromUtf8("x\xC3"), "x_");
    EXPECT_EQ(fromUtf8("\xC0\xAF"), "__");
    EXPECT_EQ(fromUtf8("\xED\xA0\x80"), "___");
    EXPECT_EQ(sarvik::catalogue::nameFromUtf8("\xC3\xA9t\xC3\xA9", true), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(sarvik::catalogue::nameFromUtf8("\xC3\xA9t\xC3\xA9", false), "\xE9t\xE9");
}

TEST(DateTexts, FatAndNtfsFormats)
{
    EXPECT_EQ(sarvik::catalogue::fatDateText(0x3263), "03-03-2005 ");
    EXPECT_EQ(sarvik::catalogue::fatDateText(0), "00-00-1980 ");
    EXPECT_EQ(sarvik::catalogue::fatDateText(0xFFFF), "31-15-2107 ");
    // A zero FILETIME (a substitute folder's) is the epoch of 1601.
    EXPECT_EQ(sarvik::catalogue::fileTimeText(0), "1-1-1601 0:0:0");
    // 2005-03-05 14:07:09 UTC: no leading zeros anywhere.
    EXPECT_EQ(sarvik::catalogue::fileTimeText(127545052290000000ULL), "5-3-2005 14:7:9");
    // 2000-02-29 23:59:59 UTC, a leap day.
    EXPECT_EQ(sarvik::catalogue::fileTimeText((951868799ULL + 11644473600ULL) * 10000000ULL), "29-2-2000 23:59:59");
    EXPECT_EQ(sarvik::catalogue::fileTimeToUnix(116444736000000000ULL), 0);
}

// The thorough rules go by the standard information's times, the classic ones
// by the file name's; a record without standard information keeps the name's.
TEST(Catalogue, NtfsTimesFollowTheRules)
{
    Catalogue c;
    const NtfsStandardTimes si{131000000000000000, 132000000000000000, 133000000000000000, 134000000000000000};
    c.AddNtfsFile(100, "a.txt", 64, kNtfsRootRecord, 120000000000000000, 121000000000000000, 1, 10, si);
    c.AddNtfsFile(102, "b.txt", 65, kNtfsRootRecord, 120000000000000000, 121000000000000000, 1, 10);
    c.AddNtfsFolder("F", 66, kNtfsRootRecord, 120000000000000000, 121000000000000000, 0, 1, si);
    const CatalogueIndex index(c, CatalogueKind::Ntfs);
    for (const bool thorough : {true, false}) {
        c.NamesAreUtf8 = thorough;
        const NtfsStandardTimes a = c.ntfsTimes(c.fsLists().NtfsFileList[0]);
        EXPECT_EQ(a.modified, thorough ? si.modified : 121000000000000000u);
        EXPECT_EQ(a.accessed, thorough ? si.accessed : 0u);
        EXPECT_EQ(c.ntfsTimes(c.fsLists().NtfsFileList[1]).modified, 121000000000000000u);
        EXPECT_EQ(c.ntfsTimes(c.fsLists().NtfsFolderList[0]).created, thorough ? si.created : 120000000000000000u);
        // The file list's columns (the desktop program's) show the same.
        const auto rows = FillFileList(c, index, CatalogueKind::Ntfs, kNtfsRootRecord, nullptr);
        ASSERT_EQ(rows.size(), 3u);
        for (const FileRow& row : rows) {
            const bool timed = row.name != "b.txt";
            EXPECT_EQ(row.modified, fileTimeText(thorough && timed ? si.modified : 121000000000000000u)) << row.name;
            EXPECT_EQ(row.created, fileTimeText(thorough && timed ? si.created : 120000000000000000u)) << row.name;
        }
    }
}
