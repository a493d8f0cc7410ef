// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/FileRecovery.h"
#include "recovery/RecoveryFixture.h"
#include "scan/ScanSession.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>

#include <algorithm>

using namespace sarvik;
namespace CopyMode = recovery::CopyMode;
using recovery::FileOutcome;
using test::pattern;

namespace {

std::vector<std::byte> slice(const std::vector<std::byte>& v, std::size_t from, std::size_t count)
{
    return {v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

} // namespace

// A deleted file whose FAT entries are 0 is read from consecutive clusters and
// its fifth cluster is cut to the size; a file whose chain survives in the first
// FAT follows it; a chain broken in the first FAT and whole in the second uses
// the second; a chain the FAT continues past the size fits neither and the file
// is read from consecutive clusters.
TEST(FatRecovery, ClusterSourcesFollowFirstFatThenSecondThenConsecutive)
{
    test::FatRecoveryVolume v(4);
    const auto contiguous = pattern(10000, 1);
    v.putFile({10, 11, 12, 13, 14}, contiguous);
    const auto fragmented = pattern(5000, 2);
    v.putFile({40, 60, 50}, fragmented);
    v.chain(1, {40, 60, 50});
    const auto secondFat = pattern(6144, 3);
    v.putFile({70, 90, 80}, secondFat);
    v.fat(1, 70, 0);
    v.chain(2, {70, 90, 80});
    // Three clusters of data, but both FATs link on past them: no chain fits.
    const auto tooLong = pattern(4100, 4);
    v.putFile({100, 101, 102}, tooLong);
    v.chain(1, {100, 120, 121, 122});
    v.chain(2, {100, 120, 121, 122});
    v.select();
    v.addFile("xONTIG.BIN", 10, 10000);
    v.addFile("xRAG.BIN", 40, 5000);
    v.addFile("xECOND.BIN", 70, 6144);
    v.addFile("xOOLONG.BIN", 100, 4100);
    v.buildTree();

    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    rig.recovery.RecoverFatFilesIn(0, rig.target());

    EXPECT_EQ(rig.content("xONTIG.BIN"), contiguous);
    EXPECT_EQ(rig.content("xRAG.BIN"), fragmented);
    EXPECT_EQ(rig.content("xECOND.BIN"), secondFat);
    EXPECT_EQ(rig.content("xOOLONG.BIN"), tooLong);
    EXPECT_EQ(rig.recovery.SavedFileCount(), 4u);
    EXPECT_EQ(rig.report.totals().written, 4u);
    EXPECT_EQ(rig.report.totals().zeroFilledBlocks, 0u);
    EXPECT_EQ(rig.report.totals().bytesWritten, 10000u + 5000u + 6144u + 4100u);
}

// An empty FAT file is created empty; an unreadable sector inside a file becomes
// one block of zeros (one sector with 4 sectors per cluster, 16 with 32), is
// counted, and the bytes around it are intact.
TEST(FatRecovery, EmptyFilesAndUnreadableBlocks)
{
    for (const std::uint8_t spc : {std::uint8_t{4}, std::uint8_t{32}}) {
        SCOPED_TRACE(spc);
        test::FatRecoveryVolume v(spc, 16384);
        const std::size_t size = spc * 512u * 3 - 100;
        const auto data = pattern(size, 9);
        v.putFile({20, 21, 22}, data);
        v.select();
        const std::uint64_t badOffset = v.clusterOffset(21) + 512; // the second sector of the second cluster
        v.memory->addBadRange(badOffset, 1);
        v.addFile("xMPTY.TXT", 30, 0);
        v.addFile("xAD.BIN", 20, static_cast<std::uint32_t>(size));
        v.buildTree();
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.recovery.RecoverFatFilesIn(0, rig.target());

        ASSERT_TRUE(rig.has("xMPTY.TXT"));
        EXPECT_TRUE(rig.content("xMPTY.TXT").empty());
        const auto got = rig.content("xAD.BIN");
        ASSERT_EQ(got.size(), size);
        const std::size_t block = recovery::FileRecovery::blockSectors(spc) * 512u;
        const std::size_t badStart = (spc * 512u + 512) / block * block;
        EXPECT_EQ(slice(got, 0, badStart), slice(data, 0, badStart));
        EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(badStart),
                                got.begin() + static_cast<std::ptrdiff_t>(badStart + block),
                                [](std::byte b) { return b == std::byte{0}; }));
        EXPECT_EQ(slice(got, badStart + block, size - badStart - block),
                  slice(data, badStart + block, size - badStart - block));
        EXPECT_EQ(rig.report.totals().zeroFilledBlocks, 1u);
        EXPECT_EQ(rig.report.totals().filesWithZeroFill, 1u);
        EXPECT_EQ(rig.report.totals().written, 2u);
    }
}

// Two, then three, files of one name in one folder under each policy.
TEST(FatRecovery, DuplicateNamesFollowThePolicy)
{
    test::FatRecoveryVolume v(1);
    const auto a = pattern(700, 1), b = pattern(300, 2), c = pattern(200, 3);
    v.putFile({10, 11}, a);
    v.putFile({20}, b);
    v.putFile({30}, c);
    v.select();
    v.addFile("a.txt", 10, 700);
    v.addFile("a.txt", 20, 300);
    v.addFile("a.txt", 30, 200);
    v.buildTree();

    {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.recovery.RecoverFatFilesIn(0, rig.target());
        EXPECT_EQ(rig.content("a.txt"), a);
        EXPECT_EQ(rig.content("Copy (1 ) of a.txt"), b);
        EXPECT_EQ(rig.content("Copy (2 ) of a.txt"), c);
        EXPECT_EQ(rig.observer.totals, (std::vector<std::uint32_t>{0, 1, 2}));
    }
    {
        // "Copy (n ) of" numbers are remembered, not searched from 1 each time:
        // a few look-ups per file, however many files share the name.
        test::FatRecoveryVolume many(1);
        many.putFile({20}, b);
        many.select();
        constexpr std::size_t kFiles = 65000;
        for (std::size_t i = 0; i < kFiles; ++i) // live files: no condition estimate of shared clusters
            many.catalogue.AddFatFile("same.txt", 20, 0, 0, 0, 300, 0);
        many.buildTree();
        test::CopyRig rig(many.volume, many.catalogue, many.tree);
        const auto started = std::chrono::steady_clock::now();
        rig.recovery.RecoverFatFilesIn(0, rig.target());
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(rig.report.totals().written, kFiles);
        EXPECT_EQ(rig.content("Copy (64999 ) of same.txt"), b);
        EXPECT_LT(rig.dest->existsCalls(), 4 * kFiles);
        std::printf("[ measured ] %zu files of one name copied in %.1f s\n", kFiles, seconds);
    }
    {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.settings.DuplicatePolicy = recovery::DuplicatePolicy::Skip;
        rig.recovery.RecoverFatFilesIn(0, rig.target());
        EXPECT_EQ(rig.dest->paths(), std::vector<std::string>{"a.txt"});
        EXPECT_EQ(rig.content("a.txt"), a);
        EXPECT_EQ(rig.report.totals().duplicatesSkipped, 2u);
        EXPECT_TRUE(rig.observer.questions.empty());
    }
    {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.settings.DuplicatePolicy = recovery::DuplicatePolicy::Overwrite;
        rig.recovery.RecoverFatFilesIn(0, rig.target());
        EXPECT_EQ(rig.dest->paths(), std::vector<std::string>{"a.txt"});
        EXPECT_EQ(rig.content("a.txt"), c); // the last one written replaced the longer first one
        EXPECT_EQ(rig.report.totals().written, 3u);
    }
}

// A filter leaves files out without a question and still creates folders; the
// open path (CopyMode 0) applies neither filter nor duplicate rule and replaces.
TEST(FatRecovery, FiltersAndTheOpenPath)
{
    test::FatRecoveryVolume v(1);
    const auto doc = pattern(100, 1), txt = pattern(50, 2);
    v.putFile({10}, doc);
    v.putFile({11}, txt);
    v.select();
    v.addFolder("DOCS", 5);
    v.addFile("report.doc", 10, 100, 5);
    v.addFile("readme.txt", 11, 50, 5);
    v.addFolder("EMPTY", 6);
    v.addFile("notes.txt", 11, 50, 6);
    v.buildTree();

    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    ASSERT_EQ(rig.filters.add("*.DOC"), search::AddPatternResult::Added);
    const auto rows =
        catalogue::FillFileList(v.catalogue, catalogue::CatalogueIndex(v.catalogue, catalogue::CatalogueKind::Fat),
                                catalogue::CatalogueKind::Fat, 0, nullptr);
    ASSERT_EQ(rows.size(), 2u);
    rig.recovery.RecoverListItems(rows, recovery::RecoveryMode::All, {}, rig.target());
    EXPECT_EQ(rig.dest->paths(), (std::vector<std::string>{"DOCS", "DOCS/report.doc", "EMPTY"}));
    EXPECT_EQ(rig.content("DOCS/report.doc"), doc);
    EXPECT_EQ(rig.report.totals().filtered, 2u);
    EXPECT_TRUE(rig.observer.questions.empty());

    // Open path: readme.txt passes though the filter excludes it, and a second
    // open replaces the first copy instead of renaming.
    test::CopyRig open(v.volume, v.catalogue, v.tree);
    ASSERT_EQ(open.filters.add("*.DOC"), search::AddPatternResult::Added);
    EXPECT_EQ(open.recovery.RecoverFatFile(open.target(), 1, CopyMode::Open, 11, 50, "readme.txt", 1), 1);
    EXPECT_EQ(open.recovery.RecoverFatFile(open.target(), 1, CopyMode::Open, 10, 100, "readme.txt", 1), 1);
    EXPECT_EQ(open.dest->paths(), std::vector<std::string>{"readme.txt"});
    EXPECT_EQ(open.content("readme.txt"), doc);
    EXPECT_TRUE(open.observer.progress.empty());
    EXPECT_TRUE(open.observer.names.empty());
}

// Selected rows only; folders come out with everything below them, under the
// names the tree shows; a folder the tree did not place is not copied.
TEST(FatRecovery, SelectedRowsAndFolderTrees)
{
    test::FatRecoveryVolume v(1);
    const auto x = pattern(10, 1);
    v.putFile({10}, x);
    v.select();
    v.addFolder("A", 5);
    v.addFolder("B", 6, 5);
    v.addFolder("C", 7, 6);
    v.addFolder("LOST", 8, 99); // its parent is not a known folder
    v.addFile("deep.txt", 10, 10, 7);
    v.addFile("top.txt", 10, 10, 0);
    v.addFile("lost.txt", 10, 10, 8);
    v.buildTree();
    const auto rows =
        catalogue::FillFileList(v.catalogue, catalogue::CatalogueIndex(v.catalogue, catalogue::CatalogueKind::Fat),
                                catalogue::CatalogueKind::Fat, 0, nullptr);
    ASSERT_EQ(rows.size(), 2u); // A, top.txt

    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    const std::vector<bool> onlyFolder = {true, false};
    rig.recovery.RecoverListItems(rows, recovery::RecoveryMode::Selected, onlyFolder, rig.target());
    EXPECT_EQ(rig.dest->paths(), (std::vector<std::string>{"A", "A/B", "A/B/C", "A/B/C/deep.txt"}));
    EXPECT_EQ(rig.content("A/B/C/deep.txt"), x);
}

// Skip ends the file being written (it stays, cut short at a block boundary)
// and the copy goes on; Stop ends it the same way and starts nothing more.
TEST(FatRecovery, SkipAndStopCutTheCurrentFileShort)
{
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stop" : "skip");
        test::FatRecoveryVolume v(4, 8192);
        const std::size_t bigSize = 1536 * 1024;
        const auto big = pattern(bigSize, 1), small = pattern(3000, 2);
        v.putFile({10}, pattern(0, 0));
        for (std::uint32_t k = 0; k < bigSize / 2048; ++k)
            v.putData(10 + k, big, k * 2048u, 2048);
        v.putFile({1000, 1001}, small);
        v.select();
        v.addFile("big.bin", 10, static_cast<std::uint32_t>(bigSize));
        v.addFile("small.bin", 1000, 3000);
        v.buildTree();
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        // Press the button while the big file's data is being read, once it is
        // past its first megabyte.
        const std::uint64_t trigger = v.clusterOffset(10) + 1024 * 1024;
        bool pressed = false;
        v.hooked->onRead = [&](std::uint64_t offset, std::size_t) {
            if (!pressed && offset >= trigger && offset < v.clusterOffset(1000)) {
                pressed = true;
                (stop ? rig.control.StopRecovery : rig.control.SkipFile).store(1);
            }
        };
        rig.recovery.RecoverFatFilesIn(0, rig.target());
        ASSERT_TRUE(pressed);
        // The fragment keeps its working name; nothing takes the real one.
        EXPECT_FALSE(rig.has("big.bin"));
        EXPECT_EQ(rig.report.files()[0].name, "big.bin.part");
        const auto got = rig.content("big.bin.part");
        EXPECT_GT(got.size(), 0u);
        EXPECT_LT(got.size(), bigSize);
        EXPECT_EQ(got.size() % 512, 0u);
        EXPECT_EQ(got, slice(big, 0, got.size()));
        ASSERT_FALSE(rig.report.files().empty());
        EXPECT_EQ(rig.report.files()[0].outcome, FileOutcome::CutShort);
        if (stop) {
            EXPECT_FALSE(rig.has("small.bin"));
            EXPECT_EQ(rig.report.files().size(), 1u);
        } else {
            EXPECT_EQ(rig.content("small.bin"), small);
            EXPECT_EQ(rig.report.totals().written, 1u);
        }
    }
}

// Names read from disk cannot lead outside the destination: separators,
// ".." and "." and absolute paths become plain names, control characters
// become '_', an empty name "_"; Windows-1252 letters come out in UTF-8.
TEST(FatRecovery, NamesThatTryToEscapeStayInside)
{
    test::FatRecoveryVolume v(1);
    const auto x = pattern(10, 1);
    v.putFile({10}, x);
    v.select();
    v.addFolder("..", 5);
    v.addFile("../evil", 10, 10, 5);
    v.addFile("a/b", 10, 10);
    v.addFile("/etc/x", 10, 10);
    v.addFile("..\\..\\win", 10, 10);
    v.addFile(std::string("ctl\x01\x1b\x7f"
                          "x"),
              10, 10);
    v.addFile("", 10, 10);
    v.addFile(".", 10, 10);
    v.addFile("caf\xE9.txt", 10, 10);
    v.addFile(std::string(300, 'n'), 10, 10);
    v.buildTree();
    const auto rows =
        catalogue::FillFileList(v.catalogue, catalogue::CatalogueIndex(v.catalogue, catalogue::CatalogueKind::Fat),
                                catalogue::CatalogueKind::Fat, 0, nullptr);
    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    rig.recovery.RecoverListItems(rows, recovery::RecoveryMode::All, {}, rig.target());

    const std::vector<std::string> expected = {"_",
                                               "__",
                                               "__/.._evil",
                                               "a_b",
                                               "_etc_x",
                                               ".._.._win",
                                               "ctl___x",
                                               "Copy (1 ) of _",
                                               "caf\xC3\xA9.txt",
                                               std::string(255, 'n')};
    auto paths = rig.dest->paths();
    auto sorted = expected;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(paths, sorted);
    for (const auto& p : paths) {
        if (p != "__") {
            EXPECT_EQ(rig.content(p), x) << p;
        }
    }
    for (const auto& r : rig.report.files())
        EXPECT_TRUE(r.path.starts_with("/dest/")) << r.path;
    EXPECT_EQ(rig.report.totals().written, 9u);
}

// A planted link at the target name is never written through: under Rename the
// file gets the next free name; under Overwrite it cannot be created, the
// question is asked, and No stops the copy before the next file.
TEST(FatRecovery, PlantedLinksAndCreationFailures)
{
    {
        // A destination that refuses ':' and '?' (FAT through FUSE): the files
        // are written under names without them, and the report gives both.
        test::FatRecoveryVolume v(1);
        const auto x = pattern(10, 1);
        v.putFile({10}, x);
        v.select();
        v.addFolder("d:1", 20);
        v.addFile("a:b.txt", 10, 10, 20);
        v.addFile("what?.txt", 10, 10, 20);
        v.buildTree();
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.dest->refuseCharacters(":?");
        rig.recovery.RecoverFatFolder(v.tree.findByKey(20)->handle, 20, rig.target(), "d:1");
        EXPECT_EQ(rig.content("d_1/a_b.txt"), x);
        EXPECT_EQ(rig.content("d_1/what_.txt"), x);
        ASSERT_EQ(rig.report.files().size(), 2u);
        EXPECT_EQ(rig.report.files()[0].refusedName, "a:b.txt");
        EXPECT_EQ(rig.report.files()[0].path, "/dest/d_1/a_b.txt");
        EXPECT_EQ(rig.report.totals().written, 2u);
    }
    test::FatRecoveryVolume v(1);
    const auto x = pattern(10, 1);
    v.putFile({10}, x);
    v.select();
    v.addFile("a.txt", 10, 10);
    v.addFile("b.txt", 10, 10);
    v.buildTree();

    {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.dest->plantLink("a.txt", "/etc/passwd");
        rig.recovery.RecoverFatFilesIn(0, rig.target());
        EXPECT_EQ(rig.dest->find("a.txt")->kind, recovery::MemoryOutputFolder::Kind::Link);
        EXPECT_EQ(rig.content("Copy (1 ) of a.txt"), x);
    }
    {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.settings.DuplicatePolicy = recovery::DuplicatePolicy::Overwrite;
        rig.dest->plantLink("a.txt", "/etc/passwd");
        rig.observer.answer = false;
        rig.recovery.RecoverFatFilesIn(0, rig.target());
        EXPECT_EQ(rig.observer.questions,
                  std::vector<std::string>{"Error creating file : /dest/a.txt.  Continue Recovery ? "});
        EXPECT_EQ(rig.control.StopRecovery.load(), 1);
        EXPECT_FALSE(rig.has("b.txt"));
        EXPECT_TRUE(rig.report.anyFailed());
    }
    {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.dest->refuseCreation(true);
        rig.recovery.RecoverFatFilesIn(0, rig.target()); // Yes each time: both are tried
        EXPECT_EQ(rig.observer.questions.size(), 2u);
        EXPECT_EQ(rig.report.totals().failed, 2u);
        EXPECT_EQ(rig.recovery.SavedFileCount(), 0u);
    }
    {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.dest->failWritesAfter(15); // the disk fills during the second file
        rig.recovery.RecoverFatFilesIn(0, rig.target());
        ASSERT_EQ(rig.report.files().size(), 2u);
        EXPECT_EQ(rig.report.files()[0].outcome, FileOutcome::Written);
        EXPECT_EQ(rig.report.files()[1].outcome, FileOutcome::WriteFailed);
        EXPECT_TRUE(rig.report.anyFailed());
        // What the half-written file holds, under its working name.
        const recovery::FileReport& failed = rig.report.files()[1];
        EXPECT_FALSE(rig.has("b.txt"));
        EXPECT_EQ(failed.bytesWritten, rig.content("b.txt.part").size());
        EXPECT_GT(failed.bytesWritten, 0u);
    }
}

// FAT32, thorough mode: a deleted file whose high cluster word reads 0 while
// the cluster its low word names is in use. Where the folder (or an entry
// beside it) has a high word that gives a free cluster with free room for the
// size, the file is copied from there; where none fits, it keeps the cluster
// in use, is flagged, and its copy is reported as read from clusters in use.
TEST(FatRecovery, Fat32ClearedHighWordIsTakenFromTheFolderWhereItFits)
{
    // 70,000 sectors of one-sector clusters: clusters reach past 65,535 (high word 1).
    // FAT 1 at sector 4 (560 sectors), the data area from sector 1124, root at cluster 2.
    auto image = test::fat32Boot(70000, 4, 560, 1, 2);
    auto fat = [&](std::uint32_t cluster, std::uint32_t value) { image.put(4 * 512 + 4ull * cluster, 4, value); };
    auto clusterAt = [](std::uint32_t cluster) { return (1124 + (cluster - 2ull)) * 512; };
    auto entry = [&](std::uint64_t at, std::string_view name11, std::uint8_t attributes, std::uint32_t cluster,
                     std::uint32_t size) {
        for (std::size_t k = 0; k < 11; ++k)
            image.put(at + k, 1, static_cast<unsigned char>(k < name11.size() ? name11[k] : ' '));
        image.put(at + 11, 1, attributes);
        image.put(at + 20, 2, cluster >> 16);
        image.put(at + 26, 2, cluster & 0xFFFF);
        image.put(at + 28, 4, size);
    };
    auto putBytes = [&](std::uint32_t cluster, const std::vector<std::byte>& bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            image.bytes().at(clusterAt(cluster) + i) = bytes[i];
    };
    constexpr std::uint32_t kEnd = 0x0FFFFFFF;
    constexpr std::uint32_t kDir = 0x10004; // high word 1
    fat(2, kEnd);
    fat(kDir, kEnd);
    for (const std::uint32_t used : {16u, 20u, 24u, 30u, 0x10014u})
        fat(used, kEnd);
    const std::uint64_t root = clusterAt(2);
    entry(root, "DIR", 0x10, kDir, 0);
    entry(root + 32, "\xE5OOT    BIN", 0x20, 30, 600); // beside DIR: high word 1 -> 0x1001E
    entry(clusterAt(kDir), ".", 0x10, kDir, 0);
    entry(clusterAt(kDir) + 32, "..", 0x10, 0, 0);
    entry(clusterAt(kDir) + 64, "\xE5OST    BIN", 0x20, 16, 1000);        // -> 0x10010, free
    entry(clusterAt(kDir) + 96, "\xE5ULL    BIN", 0x20, 20, 1000);        // 0x10014 is in use too
    entry(clusterAt(kDir) + 128, "\xE5IG     BIN", 0x20, 24, 3400 * 512); // 0x10018 + 3400 is past the volume
    entry(clusterAt(kDir) + 160, "\xE5REE    BIN", 0x20, 5000, 100);      // its own cluster is free
    const auto rootFile = pattern(600, 1);
    const auto dirFile = pattern(1000, 2);
    putBytes(0x1001E, rootFile);
    putBytes(0x10010, dirFile);
    putBytes(30, pattern(512, 3)); // what now lies at the low word's clusters
    putBytes(16, pattern(512, 4));

    for (const bool thorough : {false, true}) {
        scan::ScanSession session;
        ASSERT_TRUE(test::selectImage(session.volume, image));
        catalogue::ScanObserver quiet;
        catalogue::ScanControl scanControl;
        scan::RunScan(session, quiet, scanControl, scan::ScanOptions{thorough});
        auto file = [&](const char* name) -> const catalogue::FatFileEntry* {
            for (const auto& f : session.catalogue.fsLists().FatFileList)
                if (f.name == name)
                    return &f;
            return nullptr;
        };
        if (!thorough) {
            // The default rules keep the cluster the entry gives.
            const auto* f = file("xOST.BIN");
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->firstCluster, 16u);
            continue;
        }
        struct Expected {
            const char* name;
            std::uint32_t firstCluster;
            bool inferred;
            bool inUse;
        };
        for (const Expected& x : {Expected{"_OOT.BIN", 0x1001E, true, false},
                                  Expected{"_OST.BIN", 0x10010, true, false}, Expected{"_ULL.BIN", 20, false, true},
                                  Expected{"_IG.BIN", 24, false, true}, Expected{"_REE.BIN", 5000, false, false}}) {
            const auto* f = file(x.name);
            ASSERT_NE(f, nullptr) << x.name;
            EXPECT_EQ(f->firstCluster, x.firstCluster) << x.name;
            EXPECT_EQ(f->clusterHighInferred, x.inferred) << x.name;
            EXPECT_EQ(f->clusterInUse, x.inUse) << x.name;
        }

        recovery::RecoverySettings settings;
        settings.ThoroughScan = true;
        catalogue::RecoveryControl control;
        recovery::RecoveryObserver observer;
        recovery::RecoveryReport report;
        auto dest = std::make_shared<recovery::MemoryOutputFolder>("/dest");
        recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, settings,
                                      control, observer, report);
        copier.RecoverListItems(session.rows(session.tree.rootKey()), recovery::RecoveryMode::All, {}, {dest, "/dest"});
        const auto* rootCopy = dest->find("_OOT.BIN");
        const auto* dirCopy = dest->find("DIR/_OST.BIN");
        ASSERT_NE(rootCopy, nullptr);
        ASSERT_NE(dirCopy, nullptr);
        EXPECT_EQ(rootCopy->bytes, rootFile);
        EXPECT_EQ(dirCopy->bytes, dirFile);
        std::vector<std::string> fromUsed;
        for (const auto& r : report.files())
            if (r.clustersInUse != 0)
                fromUsed.push_back(r.name);
        std::sort(fromUsed.begin(), fromUsed.end());
        EXPECT_EQ(fromUsed, (std::vector<std::string>{"_IG.BIN", "_ULL.BIN"}));
    }
}

// Thorough copy of a deleted file whose chain is gone: it was written around
// clusters that live files held (16 and 17 between its 15 and 18), so the
// next free clusters give it back whole where the consecutive ones read the
// live file's bytes. The condition estimate follows the same clusters; a file
// whose free clusters run out before the volume ends keeps the consecutive read.
TEST(FatRecovery, ThoroughCopyPassesOverClustersLiveFilesHold)
{
    test::FatRecoveryVolume v(4, 2048);
    const auto aroundLive = pattern(4 * 2048 - 100, 7);
    v.putFile({15, 18, 19, 20}, aroundLive);
    const auto live = pattern(2 * 2048, 8);
    v.putFile({16, 17}, live);
    v.chain(1, {16, 17});
    v.chain(2, {16, 17});
    // Past the last free clusters: every cluster after 500 is in use.
    const std::uint32_t last = 509; // a 2048-sector volume of 4-sector clusters has data clusters 2..507
    for (std::uint32_t c = 501; c <= last; ++c)
        v.fat(1, c, 0xFFFF);
    const auto atTheEnd = pattern(3 * 2048, 9);
    v.putFile({500, 501, 502}, atTheEnd);
    v.select();
    v.addFile("xROUND.BIN", 15, static_cast<std::uint32_t>(aroundLive.size()));
    v.addFile("xTEND.BIN", 500, static_cast<std::uint32_t>(atTheEnd.size()));
    v.buildTree();

    {
        test::CopyRig plain(v.volume, v.catalogue, v.tree);
        plain.recovery.RecoverFatFilesIn(0, plain.target());
        const auto liveBytes = slice(live, 0, 2 * 2048);
        EXPECT_NE(plain.content("xROUND.BIN"), aroundLive) << "the default copy reads the consecutive clusters";
        EXPECT_EQ(slice(plain.content("xROUND.BIN"), 2048, 2 * 2048), liveBytes);
        EXPECT_EQ(plain.content("xTEND.BIN"), atTheEnd);
    }
    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    rig.settings.ThoroughScan = true;
    rig.recovery.RecoverFatFilesIn(0, rig.target());
    EXPECT_EQ(rig.content("xROUND.BIN"), aroundLive);
    EXPECT_EQ(rig.content("xTEND.BIN"), atTheEnd) << "too few free clusters: the consecutive ones";

    recovery::ConditionEstimator plainEstimate(v.volume);
    recovery::ConditionEstimator thoroughEstimate(v.volume, true);
    EXPECT_EQ(plainEstimate.fatFile(15, aroundLive.size()).clustersInUse, 2u);
    EXPECT_EQ(thoroughEstimate.fatFile(15, aroundLive.size()).clustersInUse, 0u);
    EXPECT_EQ(thoroughEstimate.fatFile(15, aroundLive.size()).condition, recovery::FileCondition::Good);
    EXPECT_EQ(thoroughEstimate.fatFile(500, atTheEnd.size()).clustersInUse, 2u);
}

// A copy never reads past the volume's last cluster (2043 here), in either rule
// set. A damaged entry of size 0xFFFFFFFF is cut there and reported so, never
// 4 GiB of zeros. An image shorter than its boot sector says (the sector count
// at 0x13 claims 8192 sectors, the image holds 4096, whose last whole cluster
// is 1019) gives what it holds of a file whose data lies past its end, reported
// incomplete.
TEST(FatRecovery, CopiesStopAtTheVolumesLastClusterAndTheImagesEnd)
{
    for (const bool thorough : {false, true}) {
        test::FatRecoveryVolume v(4);
        v.image.put(0x13, 2, 8192);
        const auto tail = pattern(4 * 2048, 1);
        v.putFile({2040, 2041, 2042, 2043}, tail);
        v.select();
        v.addFile("xAMAGED.BIN", 2040, 0xFFFFFFFF);
        v.buildTree();
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.settings.ThoroughScan = thorough;
        rig.recovery.RecoverFatFilesIn(0, rig.target());
        ASSERT_EQ(rig.report.files().size(), 1u);
        EXPECT_EQ(rig.report.files()[0].outcome, FileOutcome::CutAtVolumeEnd) << thorough;
        EXPECT_EQ(rig.content("xAMAGED.BIN"), tail);
        EXPECT_EQ(recovery::lossText(rig.report.files()[0]),
                  "cut at the volume's end after 8192 of 4294967295 bytes: the rest would lie past its last cluster");

        test::FatRecoveryVolume truncated(4);
        truncated.image.put(0x13, 2, 8192);
        const auto data = pattern(8 * 2048, 2);
        truncated.putFile({1015, 1016, 1017, 1018, 1019}, data);
        truncated.image.bytes().resize(4096 * 512);
        truncated.select();
        truncated.addFile("xAST.BIN", 1015, 8 * 2048);
        truncated.buildTree();
        test::CopyRig cut(truncated.volume, truncated.catalogue, truncated.tree);
        cut.settings.ThoroughScan = thorough;
        cut.recovery.RecoverFatFilesIn(0, cut.target());
        ASSERT_EQ(cut.report.files().size(), 1u);
        EXPECT_EQ(cut.report.files()[0].outcome, FileOutcome::Incomplete) << thorough;
        EXPECT_EQ(cut.content("xAST.BIN"), slice(data, 0, 5 * 2048));
    }
}
