// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/Catalogue.h"
#include "catalogue/FileList.h"
#include "catalogue/FolderTree.h"

#include <gtest/gtest.h>

using namespace sarvik::catalogue;

namespace {

const ClusterChainData* chain(const Entry& e)
{
    return std::get_if<ClusterChainData>(&e.location);
}

const NtfsRecordData* record(const Entry& e)
{
    return std::get_if<NtfsRecordData>(&e.location);
}

/// The lighter reads of every entry give what the whole entry gives of them.
void expectLighterReadsAgree(const Catalogue& c)
{
    std::vector<EntryId> ids;
    for (std::size_t i = 0; i < c.folderEntryCount(); ++i)
        ids.push_back(folderEntryId(i));
    for (std::size_t i = 0; i < c.fileEntryCount(); ++i)
        ids.push_back(fileEntryId(i));
    for (const EntryId id : ids) {
        SCOPED_TRACE(static_cast<std::uint64_t>(id));
        const Entry whole = c.entry(id);
        EXPECT_EQ(c.entryFlags(id), whole.flags);
        const Entry noParent = c.entry(id, EntryParts::NoParent);
        EXPECT_EQ(noParent.parent, kNoEntryId);
        EXPECT_EQ(noParent.parentNumber, whole.parentNumber);
        EXPECT_EQ(noParent.times.modified.value, whole.times.modified.value);
        EXPECT_EQ(noParent.times.created.source, whole.times.created.source);
        EXPECT_EQ(noParent.location.index(), whole.location.index());
        const Entry basic = c.entry(id, EntryParts::Basic);
        EXPECT_EQ(basic.flags, whole.flags);
        EXPECT_EQ(basic.name, whole.name);
        EXPECT_EQ(basic.size, whole.size);
        EXPECT_EQ(basic.number, whole.number);
        EXPECT_EQ(basic.listId, whole.listId);
        EXPECT_FALSE(basic.times.modified.known());
        EXPECT_TRUE(std::holds_alternative<std::monostate>(basic.location));
        const EntrySummary brief = c.summary(id);
        EXPECT_EQ(brief.flags, whole.flags);
        EXPECT_EQ(brief.name, whole.name);
        EXPECT_EQ(brief.size, whole.size);
        EXPECT_EQ(brief.listId, whole.listId);
        const auto sameTime = [](const EntryTime& a, const EntryTime& b) {
            return a.source == b.source && a.value == b.value && a.hundredths == b.hundredths &&
                   a.utcOffset == b.utcOffset;
        };
        EXPECT_TRUE(sameTime(brief.created, whole.times.created));
        EXPECT_TRUE(sameTime(brief.modified, whole.times.modified));
        EXPECT_TRUE(sameTime(brief.accessed, whole.times.accessed));
    }
    for (const EntryFlag flag : {EntryFlag::Deleted, EntryFlag::ChecksumBad, EntryFlag::Carved, EntryFlag::Moved}) {
        std::size_t folders = 0, files = 0;
        for (const EntryId id : ids)
            (isFolderId(id) ? folders : files) += hasFlag(c.entry(id).flags, flag) ? 1U : 0U;
        EXPECT_EQ(c.countWith(true, flag), folders) << static_cast<unsigned>(flag);
        EXPECT_EQ(c.countWith(false, flag), files) << static_cast<unsigned>(flag);
    }
    EXPECT_TRUE(c.summary(kRootEntryId).name.empty());
    EXPECT_EQ(c.entryFlags(kRootEntryId), 0u);
    EXPECT_EQ(c.entryFlags(kNoEntryId), 0u);
}

} // namespace

TEST(Entry, FatEntriesNameTheirParentsAndKeepTheirFacts)
{
    Catalogue c;
    ASSERT_TRUE(c.AddFatFolder("DOCS", 5, kFatRootKey, 0x5765, 0x5766, 0, 0, 0x1234, {77, 0x5760, 0x0400, 150}));
    ASSERT_TRUE(c.AddFatFolder("OLD", 9, 5, 0, 0, 0, 1));
    c.AddFatFile("a.txt", 12, 9, 0x5765, 0x5766, 3000, 1, 0x2000, {4096, 0, 0, 0});
    c.fsLists().FatFileList.back().clusterInUse = true;
    c.AddFatFile("live.txt", 20, 5, 0, 0, 10, 0);
    c.AddFatFile("lost.txt", 30, 4242, 0, 0, 10, 1); // its folder is not listed

    EXPECT_EQ(c.kind(), CatalogueKind::Fat);
    EXPECT_EQ(c.fileEntryCount(), 3u);
    EXPECT_EQ(c.folderEntryCount(), 2u);

    const Entry docs = c.entry(folderEntryId(0));
    EXPECT_EQ(docs.id, folderEntryId(0));
    EXPECT_TRUE(docs.folder());
    EXPECT_FALSE(docs.deleted());
    EXPECT_EQ(docs.parent, kRootEntryId);
    EXPECT_EQ(docs.name, "DOCS");
    EXPECT_EQ(docs.number, 5u);
    EXPECT_EQ(docs.entryAddress, 77u);
    // A thorough scan's times: the write time to the second, the creation time
    // from the entry with its hundredths, the access date alone.
    EXPECT_EQ(docs.times.modified.source, TimeSource::FatTime);
    EXPECT_EQ(docs.times.modified.value, (0x5765u << 16) | 0x1234u);
    EXPECT_EQ(docs.times.created.source, TimeSource::FatTime);
    EXPECT_EQ(docs.times.created.value, (0x5760u << 16) | 0x0400u);
    EXPECT_EQ(docs.times.created.hundredths, 150);
    EXPECT_EQ(docs.times.accessed.source, TimeSource::FatDate);
    EXPECT_EQ(docs.times.accessed.value, 0x5766u);

    const Entry a = c.entry(fileEntryId(0));
    EXPECT_FALSE(a.folder());
    EXPECT_TRUE(a.deleted());
    EXPECT_TRUE(a.is(EntryFlag::ClusterInUse));
    EXPECT_EQ(a.parent, folderEntryId(1));
    EXPECT_EQ(c.entry(a.parent).name, "OLD");
    EXPECT_EQ(c.entry(a.parent).parent, folderEntryId(0));
    EXPECT_EQ(a.size, 3000u);
    EXPECT_EQ(a.initialized, 3000u);
    ASSERT_NE(chain(a), nullptr);
    EXPECT_EQ(chain(a)->firstCluster, 12u);
    EXPECT_FALSE(chain(a)->contiguous);
    EXPECT_FALSE(a.times.created.known()); // the entry recorded no creation date

    EXPECT_FALSE(c.entry(fileEntryId(1)).deleted());
    EXPECT_EQ(c.entry(fileEntryId(2)).parent, kNoEntryId);

    // A classic snapshot's catalogue keeps dates alone and no entry addresses.
    c.FatTimesOfDay = false;
    c.FatEntryOrigins = false;
    const Entry classic = c.entry(folderEntryId(0));
    EXPECT_EQ(classic.times.modified.source, TimeSource::FatDate);
    EXPECT_EQ(classic.times.modified.value, 0x5765u);
    EXPECT_FALSE(classic.times.created.known());
    EXPECT_EQ(classic.entryAddress, 0u);
    expectLighterReadsAgree(c);
}

TEST(Entry, IdsOutsideTheCatalogueNameNoEntry)
{
    Catalogue c;
    c.AddFatFile("a", 3, 0, 0, 0, 1, 1);
    EXPECT_EQ(c.entry(fileEntryId(1)).id, kNoEntryId);
    EXPECT_EQ(c.entry(folderEntryId(0)).id, kNoEntryId);
    EXPECT_EQ(c.entry(kNoEntryId).id, kNoEntryId);
    const Entry root = c.entry(kRootEntryId);
    EXPECT_EQ(root.id, kRootEntryId);
    EXPECT_TRUE(root.folder());
    EXPECT_EQ(root.parent, kNoEntryId);
    EXPECT_TRUE(isFolderId(kRootEntryId));
    EXPECT_FALSE(isFolderId(fileEntryId(5)));
    EXPECT_EQ(entryIndex(folderEntryId(7)), 7u);
}

TEST(Entry, ExfatSizesTimesAndDamageComeFromTheEntrySet)
{
    Catalogue c;
    c.AddFatFile("big.bin", 40, 0, 0, 0, 0xFFFFFFFFu, 1);
    ExfatData d;
    d.dataLength = 6'000'000'000ULL;
    d.validDataLength = 5'000'000'000ULL;
    d.noFatChain = true;
    d.modified = 0x57654321u;
    d.modified10ms = 120;
    d.modifiedUtc = 0x80 | 4; // UTC+1
    d.checksumBad = true;
    c.fsLists().FatFileList.back().exfat = d;
    const Entry e = c.entry(fileEntryId(0));
    EXPECT_EQ(e.size, 6'000'000'000ULL); // past the 32-bit size field
    EXPECT_EQ(e.initialized, 5'000'000'000ULL);
    EXPECT_TRUE(e.is(EntryFlag::ChecksumBad));
    ASSERT_NE(chain(e), nullptr);
    EXPECT_TRUE(chain(e)->contiguous);
    EXPECT_EQ(e.times.modified.source, TimeSource::ExfatTime);
    EXPECT_EQ(e.times.modified.value, 0x57654321u);
    EXPECT_EQ(e.times.modified.hundredths, 120);
    EXPECT_EQ(e.times.modified.utcOffset, 0x84);

    // A valid length past the data's own (a damaged set) never makes more bytes written than there are.
    c.fsLists().FatFileList.back().exfat->validDataLength = 7'000'000'000ULL;
    EXPECT_EQ(c.entry(fileEntryId(0)).initialized, 6'000'000'000ULL);
    expectLighterReadsAgree(c); // exFAT flags: the damaged set
}

TEST(Entry, MovedStandInsAndCarvedFilesSayHowTheyCameToBe)
{
    Catalogue c;
    ASSERT_TRUE(c.AddFatFolderEntry("old", 7, 0, 0, 0, 1, 0, {}));
    ASSERT_TRUE(c.AddFatFolderEntry("new", 7, 0, 0, 0, 0, 0, {}));
    ASSERT_EQ(c.folderEntryCount(), 2u);
    const Entry live = c.entry(folderEntryId(0));
    const Entry standIn = c.entry(folderEntryId(1));
    EXPECT_EQ(live.name, "new");
    EXPECT_FALSE(live.is(EntryFlag::Moved));
    EXPECT_EQ(standIn.name, "old");
    EXPECT_TRUE(standIn.is(EntryFlag::Moved));
    EXPECT_TRUE(standIn.deleted());
    EXPECT_EQ(c.folderIdByKey(7), folderEntryId(0));

    c.AddFatFile("f100.jpg", 100, 0, 0, 0, 5000, 1);
    c.fsLists().FatFileList.back().carved = Carved::Incomplete;
    const Entry carved = c.entry(fileEntryId(0));
    EXPECT_TRUE(carved.is(EntryFlag::Carved));
    EXPECT_TRUE(carved.is(EntryFlag::CarvedIncomplete));
    const auto* extent = std::get_if<CarvedExtent>(&carved.location);
    ASSERT_NE(extent, nullptr);
    EXPECT_EQ(extent->firstCluster, 100u);
    expectLighterReadsAgree(c);
}

TEST(Entry, NtfsEntriesKeepFortyEightBitReferencesRunsAndStreams)
{
    Catalogue c;
    c.NamesAreUtf8 = true;
    const std::uint64_t bigRecord = 0x0000'1234'5678'9ABCULL; // past 32 bits
    c.AddNtfsFolder("Users", bigRecord, kNtfsRootRecord, 11, 12, 0, 0, {21, 22, 23, 24});
    c.AddNtfsFile(800, "report.pdf", bigRecord + 1, bigRecord, 11, 12, 1, 10'000, {31, 32, 33, 34});
    c.KeepNtfsFileData(NtfsDataKept::Runs, {{100, 2, false, false}, {0, 1, true, false}}, 6000);
    c.AddNtfsFile(800, "report.pdf:Zone.Identifier", bigRecord + 1, bigRecord, 11, 12, 1, 26);
    c.fsLists().NtfsFileList.back().stream = "Zone.Identifier";
    c.KeepNtfsFileData(NtfsDataKept::Resident);

    EXPECT_EQ(c.kind(), CatalogueKind::Ntfs);
    const Entry users = c.entry(folderEntryId(0));
    EXPECT_EQ(users.parent, kRootEntryId);
    EXPECT_EQ(users.number, bigRecord);
    EXPECT_EQ(c.folderIdByKey(bigRecord), folderEntryId(0));
    EXPECT_EQ(c.folderKey(folderEntryId(0)), bigRecord);
    EXPECT_EQ(c.folderKey(kRootEntryId), kNtfsRootRecord);

    const Entry pdf = c.entry(fileEntryId(0));
    EXPECT_EQ(pdf.parent, folderEntryId(0));
    EXPECT_EQ(pdf.size, 10'000u);
    EXPECT_EQ(pdf.initialized, 6000u);
    // The thorough rules show the standard information's times, all four.
    EXPECT_EQ(pdf.times.created.source, TimeSource::NtfsStandardInformation);
    EXPECT_EQ(pdf.times.created.value, 31u);
    EXPECT_EQ(pdf.times.changed.value, 33u);
    EXPECT_EQ(pdf.times.accessed.value, 34u);
    ASSERT_NE(record(pdf), nullptr);
    EXPECT_EQ(record(pdf)->recordSector, 800u);
    ASSERT_EQ(record(pdf)->runs.size(), 2u);
    EXPECT_EQ(record(pdf)->runs[0].start, 100);
    EXPECT_TRUE(record(pdf)->runs[1].sparse);
    EXPECT_TRUE(record(pdf)->stream.empty());

    const Entry zone = c.entry(fileEntryId(1));
    EXPECT_TRUE(zone.is(EntryFlag::Stream));
    ASSERT_NE(record(zone), nullptr);
    EXPECT_EQ(record(zone)->stream, "Zone.Identifier");
    EXPECT_TRUE(record(zone)->resident);
    EXPECT_TRUE(record(zone)->runs.empty());
    EXPECT_EQ(zone.initialized, 26u);

    // The classic rules go by the file name's two times.
    c.NamesAreUtf8 = false;
    const Entry classic = c.entry(fileEntryId(0));
    EXPECT_EQ(classic.times.created.source, TimeSource::NtfsFileName);
    EXPECT_EQ(classic.times.created.value, 11u);
    EXPECT_FALSE(classic.times.accessed.known());
    expectLighterReadsAgree(c);
    c.NamesAreUtf8 = true;
    c.fsLists().NtfsFileList.front().nameDecoded = true;
    expectLighterReadsAgree(c);
}

TEST(Entry, KeptRunsThatPassTheRunListAreNotHandedOut)
{
    Catalogue c;
    c.AddNtfsFile(800, "x", 70, kNtfsRootRecord, 0, 0, 1, 4096);
    c.KeepNtfsFileData(NtfsDataKept::Runs, {{100, 1, false, false}});
    c.fsLists().NtfsFileList.back().runCount = 5; // damaged: more runs than were kept
    const Entry e = c.entry(fileEntryId(0));
    ASSERT_NE(record(e), nullptr);
    EXPECT_TRUE(record(e)->runs.empty());
}

TEST(Entry, FileRowsCarryTheirEntryIds)
{
    Catalogue c;
    ASSERT_TRUE(c.AddFatFolder("D", 5, 0, 0, 0, 0, 0));
    c.AddFatFile("a.txt", 12, 5, 0, 0, 1, 1);
    c.AddFatFile("b.txt", 13, 5, 0, 0, 1, 1);
    const CatalogueIndex index(c, CatalogueKind::Fat);
    const auto rows = FillFileList(c, index, CatalogueKind::Fat, 5, [](const std::string& n) { return n == "b.txt"; });
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].entry, fileEntryId(1));
    EXPECT_EQ(c.entry(rows[0].entry).name, "b.txt");
    const auto top = FillFileList(c, index, CatalogueKind::Fat, 0, {});
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].entry, folderEntryId(0));
}
