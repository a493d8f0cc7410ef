// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/PreviousVersions.h"

#include "support/ImageFileSource.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

namespace sarvik::session {
namespace {

using catalogue::EntryId;

constexpr std::uint64_t kHour = 36'000'000'000ULL;
constexpr std::uint64_t kDay1 = 132'000'000'000'000'000ULL;

/// A thorough NTFS catalogue built entry by entry: folders and files in use
/// unless said otherwise, each file's record sector its record number * 2.
struct Volume {
    scan::ScanSession s;
    Volume()
    {
        s.volume.geometry.GeometryKind = disk::VolumeKind::Ntfs;
        s.catalogue.NamesAreUtf8 = true;
    }
    Volume& folder(const char* name, std::uint64_t record, std::uint64_t parent = catalogue::kNtfsRootRecord,
                   std::uint32_t deleted = 0)
    {
        s.catalogue.AddNtfsFolder(name, record, parent, kDay1, kDay1, 0, deleted);
        return *this;
    }
    Volume& file(const char* name, std::uint64_t record, std::uint64_t size, std::uint64_t modified,
                 std::uint64_t parent = catalogue::kNtfsRootRecord, std::uint32_t deleted = 0)
    {
        s.catalogue.AddNtfsFile(record * 2, name, record, parent, kDay1, modified, deleted, size,
                                catalogue::NtfsStandardTimes{kDay1, modified, modified, modified});
        return *this;
    }
    scan::ScanSession& done()
    {
        s.buildTree();
        return s;
    }
};

/// Each added file: its path, size and the shadow copy it is read from.
struct Added {
    std::string path;
    std::uint64_t size = 0;
    std::uint32_t copy = 0;
    bool operator==(const Added&) const = default;
};

std::multimap<std::string, Added> addedFiles(const scan::ScanSession& s)
{
    std::multimap<std::string, Added> out;
    const catalogue::Catalogue& c = s.catalogue;
    for (std::size_t i = 0; i < c.fileEntryCount(); ++i) {
        const recovery::OtherSource* from = s.fileSources ? s.fileSources->sourceOf(i) : nullptr;
        if (from == nullptr)
            continue;
        const catalogue::Entry e = c.entry(catalogue::fileEntryId(i));
        const std::string path = lowerPath(c, e.id).value_or("?");
        out.emplace(path, Added{path, e.size, from->shadowCopy});
    }
    return out;
}

/// The live volume now, and two shadow copies: 2 taken a day after 1.
struct Copies : ::testing::Test {
    Volume now, newer, older;
    void SetUp() override
    {
        now.folder("Docs", 40).file("same.txt", 50, 10, kDay1).file("c.txt", 51, 6, kDay1 + 9 * kHour, 40);
        // A file deleted now is no file in use: the copy's still adds.
        now.file("b.txt", 52, 7, kDay1, catalogue::kNtfsRootRecord, 1);
        newer.folder("Docs", 40)
            .folder("Gone", 41)
            .folder("System Volume Information", 42)
            .file("same.txt", 50, 10, kDay1)
            .file("c.txt", 51, 5, kDay1 + 5 * kHour, 40)
            .file("b.txt", 52, 7, kDay1 + kHour)
            .file("d.txt", 60, 3, kDay1, 41)
            .file("{3808876b-c176-4e48-b7ae-04046e6cc752}", 61, 4096, kDay1, 42)
            .file("$Secure", 9, 100, kDay1)
            .file("old.txt", 62, 8, kDay1, catalogue::kNtfsRootRecord, 1); // deleted in the copy too
        older.folder("Docs", 40)
            .file("c.txt", 51, 4, kDay1 + 2 * kHour, 40)
            .file("b.txt", 52, 7, kDay1 + kHour) // as in the newer copy
            .file("SAME.TXT", 50, 9, kDay1);     // NTFS names compare without case
        now.done();
        newer.done();
        older.done();
    }
    std::size_t run(PreviousScope scope)
    {
        PreviousVersions versions(now.s, now.s, scope);
        std::size_t total = versions.addCopy(2, kDay1 + 24 * kHour, newer.s);
        total += versions.addCopy(1, kDay1, older.s);
        versions.finish();
        EXPECT_EQ(total, versions.added());
        return total;
    }
};

TEST_F(Copies, NewestCopyGivesEachChangedOrDeletedFileOneVersion)
{
    EXPECT_EQ(run(PreviousScope::Newest), 4U);
    const std::multimap<std::string, Added> expected{
        {"/docs/c.txt", {"/docs/c.txt", 5, 2}},
        {"/b.txt", {"/b.txt", 7, 2}},
        {"/gone/d.txt", {"/gone/d.txt", 3, 2}}, // its folder added as a deleted one
        {"/same.txt", {"/same.txt", 9, 1}},     // the newer copy's is the volume's
    };
    EXPECT_EQ(addedFiles(now.s), expected);

    // Each is a deleted file of the volume's listing, whole in its copy and
    // labelled with the copy's time; the volume's own files are not.
    const recovery::FileSources& sources = *now.s.fileSources;
    const catalogue::Catalogue& c = now.s.catalogue;
    for (std::size_t i = 0; i < c.fileEntryCount(); ++i) {
        const bool fromCopy = sources.sourceOf(i) != nullptr;
        EXPECT_EQ(sources.volumeOf(i) != nullptr, fromCopy);
        if (!fromCopy) {
            EXPECT_EQ(sources.originText(i), "");
            continue;
        }
        EXPECT_TRUE(c.entry(catalogue::fileEntryId(i)).deleted());
        const std::string when = sources.sourceOf(i)->shadowCopy == 2 ? "2019-04-18 18:40 UTC" : "2019-04-17 18:40 UTC";
        EXPECT_EQ(sources.originText(i), "from the shadow copy of " + when);
        EXPECT_EQ(sources.conditionText(i), "Whole in the shadow copy of " + when);
    }
    const catalogue::TreeNode* goneNode = nullptr;
    for (const std::uint32_t handle : now.s.tree.root().children)
        if (const catalogue::TreeNode* child = now.s.tree.node(handle); child != nullptr && child->name == "Gone")
            goneNode = child;
    ASSERT_NE(goneNode, nullptr) << "the copy's folder is not placed under the root";
    const auto rows = now.s.rows(goneNode->key);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].name, "d.txt");
    EXPECT_EQ(rows[0].condition, "Whole in the shadow copy of 2019-04-18 18:40 UTC");
}

TEST_F(Copies, AllCopiesAddEveryVersionThatDiffers)
{
    EXPECT_EQ(run(PreviousScope::All), 5U);
    const auto added = addedFiles(now.s);
    // c.txt from both copies; b.txt once, the older copy's being the newer's.
    EXPECT_EQ(added.count("/docs/c.txt"), 2U);
    EXPECT_EQ(added.count("/b.txt"), 1U);
    std::map<std::uint64_t, std::uint32_t> cVersions;
    const auto [from, to] = added.equal_range("/docs/c.txt");
    for (auto it = from; it != to; ++it)
        cVersions[it->second.size] = it->second.copy;
    EXPECT_EQ(cVersions, (std::map<std::uint64_t, std::uint32_t>{{4, 1}, {5, 2}}));
}

TEST(PreviousVersions, CopyThatDiffersInNothingAddsNothing)
{
    Volume now, copy;
    now.folder("A", 30).file("x", 31, 1, kDay1, 30);
    copy.folder("A", 30).file("x", 31, 1, kDay1, 30);
    now.done();
    copy.done();
    const std::size_t folders = now.s.catalogue.folderEntryCount();
    PreviousVersions versions(now.s, now.s, PreviousScope::All);
    EXPECT_EQ(versions.addCopy(1, kDay1, copy.s), 0U);
    versions.finish();
    EXPECT_EQ(now.s.fileSources, nullptr);
    EXPECT_EQ(now.s.catalogue.folderEntryCount(), folders);
}

/// A thorough scan of test volume `image`, files in use listed; false when
/// the volume is not there.
bool scanImage(scan::ScanSession& s, const char* image)
{
    const auto file = sarvik::test::ImageFileSource::open(std::string(SARVIK_TEST_VOLUMES) + "/" + image);
    if (!file)
        return false;
    sarvik::test::MemoryDevices devices;
    devices.add(image, file);
    disk::DriveItem item;
    item.devicePath = image;
    if (!scan::SelectVolume(s.volume, item, devices))
        return false;
    catalogue::ScanObserver observer;
    catalogue::ScanControl control;
    return !scan::RunScan(s, observer, control, scan::ScanOptions{true, false, false, true}).Stopped;
}

TEST(PreviousVersions, SameSizeAtAnotherTimeIsComparedByItsBytes)
{
    // The "copy" is the volume itself listed by hand: Fragments/part A.bin
    // and part C.bin (12,288 bytes each, other bytes) an hour later than
    // they are, part C.bin's entry reading part A.bin's record.
    scan::ScanSession now, copy;
    if (!scanImage(now, "ntfs.img") || !scanImage(copy, "ntfs.img"))
        GTEST_SKIP() << "no ntfs.img in " << SARVIK_TEST_VOLUMES << " (tools/make-test-volumes.sh)";
    std::map<std::string, catalogue::Entry> live;
    for (std::size_t i = 0; i < now.catalogue.fileEntryCount(); ++i) {
        const catalogue::Entry e = now.catalogue.entry(catalogue::fileEntryId(i));
        if (!e.deleted())
            live.emplace(std::string(e.name), e);
    }
    ASSERT_TRUE(live.contains("part A.bin") && live.contains("part C.bin"));
    const catalogue::Entry a = live.at("part A.bin");
    const catalogue::Entry c = live.at("part C.bin");
    ASSERT_EQ(a.size, c.size);
    ASSERT_EQ(a.parentNumber, c.parentNumber);
    const std::uint64_t folder = a.parentNumber;
    copy.catalogue = catalogue::Catalogue{};
    copy.catalogue.NamesAreUtf8 = true;
    copy.catalogue.AddNtfsFolder("Fragments", folder, catalogue::kNtfsRootRecord, kDay1, kDay1, 0, 0);
    const auto sector = [](const catalogue::Entry& e) {
        return std::get<catalogue::NtfsRecordData>(e.location).recordSector;
    };
    for (const catalogue::Entry* e : {&a, &c}) {
        const std::uint64_t later = e->times.modified.value + kHour;
        copy.catalogue.AddNtfsFile(sector(a), std::string(e->name), e->number, folder, kDay1, later, 0, e->size,
                                   catalogue::NtfsStandardTimes{kDay1, later, later, later});
    }
    copy.buildTree();
    PreviousVersions versions(now, now, PreviousScope::All);
    EXPECT_EQ(versions.addCopy(1, kDay1, copy), 1U);
    versions.finish();
    const auto added = addedFiles(now);
    ASSERT_EQ(added.size(), 1U);
    EXPECT_EQ(added.begin()->first, "/fragments/part c.bin");
}

TEST(PreviousVersions, SystemPaths)
{
    EXPECT_TRUE(isSystemPath("/system volume information"));
    EXPECT_TRUE(isSystemPath("/system volume information/tracking.log"));
    EXPECT_TRUE(isSystemPath("/$extend/$usnjrnl"));
    EXPECT_FALSE(isSystemPath("/system volume information.txt"));
    EXPECT_FALSE(isSystemPath("/docs/$money.txt"));
}

} // namespace
} // namespace sarvik::session
