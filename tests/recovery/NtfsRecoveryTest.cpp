// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/NtfsData.h"
#include "recovery/FileRecovery.h"
#include "recovery/RecoveryFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

using namespace sarvik;
using ntfs::DataAttributeKind;
using recovery::FileOutcome;
using test::pattern;

namespace {

constexpr std::uint32_t kSpc = 8;
constexpr std::uint16_t kUsn = 0x0BAD;

/// One MFT record as it is meant to be read (after the fixup).
struct Record {
    std::array<std::byte, 1024> b{};
    Record(std::uint16_t firstAttribute = 0x38)
    {
        put(0, 4, 0x454C4946); // "FILE"
        put(4, 2, 0x30);       // update-sequence array
        put(6, 2, 3);          // sequence number + one entry per sector
        put(0x14, 2, firstAttribute);
        put(0x16, 2, 0); // deleted file
    }
    void put(std::size_t at, unsigned width, std::uint64_t value) { disk::putUint(b, at, width, value); }
    /// Copies what fits of `v` to `at`.
    void bytes(std::size_t at, const std::vector<std::byte>& v)
    {
        for (std::size_t i = 0; i < v.size() && at + i < b.size(); ++i)
            b[at + i] = v[i];
    }
    /// A resident unnamed data attribute holding `data` at attribute + 24.
    std::size_t resident(std::size_t at, const std::vector<std::byte>& data)
    {
        const std::size_t length = (24 + data.size() + 7) / 8 * 8;
        put(at, 4, 0x80);
        put(at + 4, 4, length);
        put(at + 8, 1, 0);
        put(at + 9, 1, 0);
        put(at + 16, 4, data.size());
        put(at + 20, 2, 24);
        bytes(at + 24, data);
        return at + length;
    }
    /// A non-resident data attribute with the run list `runs`; `nameLength` makes it a named stream.
    std::size_t nonResident(std::size_t at, const std::vector<std::uint8_t>& runs, std::uint8_t nameLength = 0)
    {
        const std::size_t length = (0x40 + runs.size() + 7) / 8 * 8;
        put(at, 4, 0x80);
        put(at + 4, 4, length);
        put(at + 8, 1, 1);
        put(at + 9, 1, nameLength);
        put(at + 0x20, 2, 0x40);
        for (std::size_t i = 0; i < runs.size(); ++i)
            put(at + 0x40 + i, 1, runs[i]);
        return at + length;
    }
    void end(std::size_t at) { put(at, 4, 0xFFFFFFFF); }
};

/// A volume of 8-sector clusters from sector 0, holding records and clusters.
struct NtfsRig {
    NtfsRig() : image(4096)
    {
        volume.geometry.GeometryKind = disk::VolumeKind::Ntfs;
        volume.geometry.SectorsPerCluster = kSpc;
        volume.geometry.ClusterBaseSector = 0;
    }
    /// Stores a record as the disk holds it: the last two bytes of each sector
    /// replaced by the sequence number, the real ones kept in the array.
    void storeRecord(std::uint64_t sector, const Record& r)
    {
        auto disk = r.b;
        for (std::size_t s = 0; s < 2; ++s) {
            disk[0x32 + 2 * s] = r.b[510 + 512 * s];
            disk[0x33 + 2 * s] = r.b[511 + 512 * s];
            disk::putUint(disk, 510 + 512 * s, 2, kUsn);
        }
        disk::putUint(disk, 0x30, 2, kUsn);
        std::copy(disk.begin(), disk.end(), image.bytes().begin() + static_cast<std::ptrdiff_t>(sector * 512));
    }
    void cluster(std::uint64_t c, const std::vector<std::byte>& data, std::size_t from)
    {
        for (std::size_t i = 0; i < kSpc * 512 && from + i < data.size(); ++i)
            image.bytes()[c * kSpc * 512 + i] = data[from + i];
    }
    void select()
    {
        memory = image.source();
        volume.reader.setDevice("mem.img", memory);
    }
    test::ImageBuilder image;
    std::shared_ptr<disk::MemoryBlockSource> memory;
    disk::SelectedVolume volume;
    catalogue::Catalogue catalogue;
    catalogue::FolderTree tree;
};

std::vector<std::byte> zeros(std::size_t n)
{
    return std::vector<std::byte>(n);
}

std::vector<std::byte> cat(std::vector<std::byte> a, const std::vector<std::byte>& b, std::size_t count)
{
    a.insert(a.end(), b.begin(), b.begin() + static_cast<std::ptrdiff_t>(count));
    return a;
}

} // namespace

TEST(NtfsDataRuns, DecodeLengthsOffsetsSparseRunsAndBounds)
{
    auto decode = [](std::vector<std::uint8_t> runs) {
        Record r;
        r.nonResident(0x38, runs);
        return ntfs::DecodeDataRuns(r.b, 0x38);
    };
    auto one = decode({0x21, 0x18, 0x34, 0x56, 0x00});
    ASSERT_TRUE(one);
    ASSERT_EQ(one->size(), 1u);
    EXPECT_EQ((*one)[0].start, 0x5634);
    EXPECT_EQ((*one)[0].length, 0x18u);

    // One-byte 0xFF and four-byte 0xFFFFFFFF offsets both step one cluster back.
    auto back = decode({0x11, 0x02, 0x64, 0x11, 0x01, 0xFF, 0x41, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 3u);
    EXPECT_EQ((*back)[1].start, 99);
    EXPECT_EQ((*back)[2].start, 98);

    // A run without an offset is sparse; the run after it is relative to the
    // last run that had an offset.
    auto sparse = decode({0x11, 0x01, 0x64, 0x01, 0x05, 0x11, 0x01, 0x0A, 0x00});
    ASSERT_TRUE(sparse);
    ASSERT_EQ(sparse->size(), 3u);
    EXPECT_TRUE((*sparse)[1].sparse);
    EXPECT_EQ((*sparse)[1].length, 5u);
    EXPECT_FALSE((*sparse)[2].sparse);
    EXPECT_EQ((*sparse)[2].start, 110);

    // Eight-byte fields decode; a nibble above 8 ends the list after the runs before it.
    auto wide = decode({0x88, 1, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x91, 1, 0x00});
    ASSERT_TRUE(wide);
    ASSERT_EQ(wide->size(), 1u);
    EXPECT_EQ((*wide)[0].start, 0x10);
    EXPECT_FALSE(decode({0x19, 0x01}));

    // A list without a terminating 0 that decodes nothing fails; the walk never leaves the record.
    Record full;
    full.nonResident(0x38, {});
    full.put(0x38 + 0x20, 2, 1024 - 0x38 - 2);
    full.put(1022, 1, 0x22);
    full.put(1023, 1, 0x01);
    EXPECT_FALSE(ntfs::DecodeDataRuns(full.b, 0x38));
}

TEST(NtfsDataRuns, LocateDataAttributeWalksWithinTheRecord)
{
    Record named;
    std::size_t at = named.nonResident(0x38, {0x11, 0x01, 0x10, 0}, 4); // a named stream comes first
    at = named.resident(at, pattern(10, 1));
    named.end(at);
    const auto found = ntfs::LocateDataAttribute(named.b);
    EXPECT_EQ(found.kind, ntfs::DataAttributeKind::Resident);
    EXPECT_EQ(found.offset, 0x38u + 0x48u);

    Record badOffset(0x3FF);
    EXPECT_EQ(ntfs::LocateDataAttribute(badOffset.b).kind, ntfs::DataAttributeKind::None);

    Record zeroLength;
    zeroLength.put(0x38, 4, 0x10);
    zeroLength.put(0x3C, 4, 0);
    EXPECT_EQ(ntfs::LocateDataAttribute(zeroLength.b).kind, ntfs::DataAttributeKind::None);

    Record strange;
    strange.resident(0x38, pattern(4, 1));
    strange.put(0x38 + 8, 1, 2);
    EXPECT_EQ(ntfs::LocateDataAttribute(strange.b).kind, ntfs::DataAttributeKind::None);

    Record runaway; // lengths that keep the walk going until it passes 0x3FF
    for (std::size_t a = 0x38; a < 1024 - 8; a += 0x100) {
        runaway.put(a, 4, 0x10);
        runaway.put(a + 4, 4, 0x100);
    }
    EXPECT_EQ(ntfs::LocateDataAttribute(runaway.b).kind, ntfs::DataAttributeKind::None);
}

// Resident data comes from attribute + 24, through the record's fixup (the
// 700 bytes from 0xB0 cross the end of the first sector, where the disk holds
// the sequence number); 900 bytes would pass byte 1023 and nothing is created;
// size 0 creates nothing; a record that cannot be read is reported, not copied.
TEST(NtfsRecovery, ResidentDataSizeZeroAndUnreadableRecords)
{
    NtfsRig v;
    const auto small = pattern(700, 1);
    Record r700(0x98);
    r700.end(r700.resident(0x98, small));
    v.storeRecord(100, r700);
    Record r900(0x98);
    r900.resident(0x98, pattern(900, 2));
    v.storeRecord(102, r900);
    v.select();
    v.memory->addBadRange(104 * 512, 1024);

    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "small.txt", 700, 100, 1, 1), 1);
    EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "big.txt", 900, 102, 1, 1), 0);
    EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "empty.txt", 0, 100, 1, 1), 0);
    EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "lost.txt", 50, 104, 1, 1), 0);

    EXPECT_EQ(rig.content("small.txt"), small);
    EXPECT_EQ(rig.dest->paths(), std::vector<std::string>{"small.txt"});
    ASSERT_EQ(rig.report.files().size(), 4u);
    EXPECT_EQ(rig.report.files()[1].outcome, FileOutcome::NothingToWrite);
    EXPECT_EQ(rig.report.files()[2].outcome, FileOutcome::NothingToWrite);
    EXPECT_EQ(rig.report.files()[3].outcome, FileOutcome::Unreadable);
    EXPECT_EQ(rig.recovery.SavedFileCount(), 1u);
}

// 5000 bytes in one run of two 4096-byte clusters; a fragmented file whose
// second run steps back; a sparse run in the middle written as zeros with the
// run after it relative to the run before it; runs that end before the size.
TEST(NtfsRecovery, NonResidentRunsFragmentsAndSparseRuns)
{
    NtfsRig v;
    const auto a = pattern(5000, 1);
    v.cluster(200, a, 0);
    v.cluster(201, a, 4096);
    Record ra;
    ra.end(ra.nonResident(0x38, {0x11, 0x02, 0xC8, 0x00}));
    v.storeRecord(100, ra);

    const auto b = pattern(3 * 4096, 2);
    v.cluster(300, b, 0);
    v.cluster(250, b, 4096);
    v.cluster(251, b, 8192);
    Record rb; // 1 cluster at 300, then 2 at 300 - 50
    rb.end(rb.nonResident(0x38, {0x21, 0x01, 0x2C, 0x01, 0x11, 0x02, 0xCE, 0x00}));
    v.storeRecord(102, rb);

    const auto c = pattern(3 * 4096, 3);
    v.cluster(400, c, 0);
    v.cluster(410, c, 8192);
    Record rc; // 1 cluster at 400, 1 sparse, then 1 at 400 + 10
    rc.end(rc.nonResident(0x38, {0x21, 0x01, 0x90, 0x01, 0x01, 0x01, 0x11, 0x01, 0x0A, 0x00}));
    v.storeRecord(104, rc);

    Record rd; // one cluster of data for a size of three
    rd.end(rd.nonResident(0x38, {0x21, 0x01, 0x90, 0x01, 0x00}));
    v.storeRecord(106, rd);
    v.select();

    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "a.bin", 5000, 100, 1, 1), 1);
    EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "b.bin", b.size(), 102, 1, 1), 1);
    EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "c.bin", c.size(), 104, 1, 1), 1);
    EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "d.bin", 3 * 4096, 106, 1, 1), 1);

    EXPECT_EQ(rig.content("a.bin"), a);
    EXPECT_EQ(rig.content("b.bin"), b);
    auto expectedC = cat(cat(std::vector<std::byte>(c.begin(), c.begin() + 4096), zeros(4096), 4096),
                         std::vector<std::byte>(c.begin() + 8192, c.end()), 4096);
    EXPECT_EQ(rig.content("c.bin"), expectedC);
    EXPECT_EQ(rig.content("d.bin"), std::vector<std::byte>(c.begin(), c.begin() + 4096));
    ASSERT_EQ(rig.report.files().size(), 4u);
    EXPECT_EQ(rig.report.files()[2].zeroFilledBlocks, 0u); // sparse zeros are data, not read failures
    EXPECT_EQ(rig.report.files()[3].outcome, FileOutcome::Incomplete);
    EXPECT_EQ(rig.observer.paths.front(), "/dest/a.bin"); // NTFS shows the whole path
}

// Sparse runs reach the destination as holes, in the middle and at the end of
// a file, as does a compression unit of sparse clusters only; the file still
// reads whole. A cluster that cannot be read is written as zeros and counted,
// never passed over as a hole.
TEST(NtfsRecovery, SparseRunsAndUnitsReachTheDestinationAsHoles)
{
    using Hole = recovery::MemoryOutputFolder::Hole;
    NtfsRig v;
    const auto d = pattern(4 * 4096, 1);
    v.cluster(300, d, 0);
    v.cluster(310, d, 3 * 4096);
    Record mid; // 1 cluster at 300, 2 sparse, 1 at 310
    mid.end(mid.nonResident(0x38, {0x21, 0x01, 0x2C, 0x01, 0x01, 0x02, 0x11, 0x01, 0x0A, 0x00}));
    v.storeRecord(100, mid);
    Record tail; // 1 cluster at 300, then 3 sparse to the end
    tail.end(tail.nonResident(0x38, {0x21, 0x01, 0x2C, 0x01, 0x01, 0x03, 0x00}));
    v.storeRecord(102, tail);
    v.cluster(330, d, 0);
    v.cluster(331, d, 4096);
    Record bad; // 2 clusters at 330, the second unreadable
    bad.end(bad.nonResident(0x38, {0x21, 0x02, 0x4A, 0x01, 0x00}));
    v.storeRecord(104, bad);
    const std::vector<std::uint8_t> chunk = {0x02, 0x30, 'x', 'y', 'z', 0x00, 0x00}; // 3 bytes stored as they are
    std::vector<std::byte> packed(chunk.size());
    std::transform(chunk.begin(), chunk.end(), packed.begin(), [](std::uint8_t x) { return std::byte{x}; });
    v.cluster(340, packed, 0);
    Record compressed; // units of 2 clusters: 1 at 340 and 1 sparse, then 2 sparse
    compressed.end(compressed.nonResident(0x38, {0x21, 0x01, 0x54, 0x01, 0x01, 0x03, 0x00}));
    compressed.put(0x38 + 0x0C, 2, 0x0001);
    compressed.put(0x38 + 0x22, 1, 1);
    v.storeRecord(106, compressed);
    v.select();
    v.memory->addBadRange(331 * 4096, 4096);

    auto part = [&d](std::size_t from, std::size_t count) {
        return std::vector<std::byte>(d.begin() + static_cast<std::ptrdiff_t>(from),
                                      d.begin() + static_cast<std::ptrdiff_t>(from + count));
    };
    auto xyz = zeros(2 * 8192 - 100);
    xyz[0] = std::byte{'x'};
    xyz[1] = std::byte{'y'};
    xyz[2] = std::byte{'z'};
    const struct {
        const char* name;
        std::uint64_t sector;
        std::vector<std::byte> bytes;
        std::vector<Hole> holes;
        std::uint32_t zeroFilledBlocks;
    } cases[] = {
        {"mid.bin", 100, cat(cat(part(0, 4096), zeros(8192), 8192), part(3 * 4096, 4096), 4096), {{4096, 8192}}, 0},
        {"tail.bin", 102, cat(part(0, 4096), zeros(3 * 4096), 3 * 4096 - 100), {{4096, 3 * 4096 - 100}}, 0},
        {"bad.bin", 104, cat(part(0, 4096), zeros(4096), 4096), {}, 1},
        {"packed.bin", 106, xyz, {{8192, 8192 - 100}}, 0},
    };
    for (const bool thorough : {false, true}) {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.settings.ThoroughScan = thorough;
        for (const auto& c : cases) {
            EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), c.name, c.bytes.size(), c.sector, 1, 1), 1);
            const auto* file = rig.dest->find(c.name);
            ASSERT_NE(file, nullptr) << c.name;
            EXPECT_EQ(file->bytes, c.bytes) << c.name;
            EXPECT_EQ(file->holes, c.holes) << c.name;
            const recovery::FileReport& report = rig.report.files().back();
            EXPECT_EQ(report.outcome, FileOutcome::Written) << c.name;
            EXPECT_EQ(report.bytesWritten, c.bytes.size()) << c.name;
            EXPECT_EQ(report.zeroFilledBlocks, c.zeroFilledBlocks) << c.name;
        }
    }
}

// Damaged sizes and run lengths (the volume has 512 clusters): a data size of
// 0xFFFFFFFFFFFFFFFF once made the sectors still needed round to 0, and the
// copy wrote 0-byte chunks for ever; it ends where the runs end. A run of 2^40
// clusters is cut at the volume's last cluster. Sparse runs hold no clusters:
// a sparse file larger than the volume is written whole.
TEST(NtfsRecovery, DamagedSizesAndRunLengthsStayWithinTheVolume)
{
    NtfsRig v;
    const auto a = pattern(2 * 4096, 1);
    v.cluster(200, a, 0);
    v.cluster(201, a, 4096);
    Record ra;
    ra.end(ra.nonResident(0x38, {0x11, 0x02, 0xC8, 0x00}));
    v.storeRecord(100, ra);
    const auto b = pattern(12 * 4096, 2);
    for (std::size_t k = 0; k < 12; ++k)
        v.cluster(500 + k, b, k * 4096);
    Record rb; // 2^40 clusters at 500
    rb.end(rb.nonResident(0x38, {0x26, 0, 0, 0, 0, 0, 0x01, 0xF4, 0x01, 0x00}));
    v.storeRecord(102, rb);
    Record rc; // 600 sparse clusters, more than the volume's 512
    rc.end(rc.nonResident(0x38, {0x02, 0x58, 0x02, 0x00}));
    v.storeRecord(104, rc);
    v.select();

    for (const bool thorough : {false, true}) {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.settings.ThoroughScan = thorough;
        const std::uint64_t huge = ~std::uint64_t{0};
        EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "a.bin", huge, 100, 1, 1), 1);
        EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "b.bin", huge, 102, 1, 1), 1);
        EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "c.bin", 600 * 4096, 104, 1, 1), 1);
        EXPECT_EQ(rig.content("a.bin"), a);
        EXPECT_EQ(rig.content("b.bin"), b);
        EXPECT_EQ(rig.content("c.bin"), zeros(600 * 4096));
        ASSERT_EQ(rig.report.files().size(), 3u);
        EXPECT_EQ(rig.report.files()[0].outcome, FileOutcome::Incomplete) << thorough;
        EXPECT_EQ(rig.report.files()[1].outcome, FileOutcome::CutAtVolumeEnd) << thorough;
        EXPECT_EQ(rig.report.files()[2].outcome, FileOutcome::Written) << thorough;
    }
}

// Compressed data whose header gives no unit size this reads cannot be
// decoded: nothing of its raw clusters is written, the file is incomplete, and
// its condition is unknown rather than "Good".
TEST(NtfsRecovery, UndecodableCompressedDataIsNeitherWrittenNorGood)
{
    NtfsRig v;
    v.cluster(200, pattern(4096, 1), 0);
    Record r;
    r.end(r.nonResident(0x38, {0x11, 0x01, 0xC8, 0x00}));
    r.put(0x38 + 0x0C, 2, 0x0001); // compressed, with a unit of 2^0 clusters
    v.storeRecord(100, r);
    v.select();
    for (const bool thorough : {false, true}) {
        test::CopyRig rig(v.volume, v.catalogue, v.tree);
        rig.settings.ThoroughScan = thorough;
        EXPECT_EQ(rig.recovery.RecoverNtfsFile(rig.target(), "c.bin", 4096, 100, 1, 1), 1);
        ASSERT_EQ(rig.report.files().size(), 1u);
        EXPECT_EQ(rig.report.files()[0].outcome, FileOutcome::Incomplete);
        EXPECT_EQ(rig.report.files()[0].bytesWritten, 0u);
    }
    for (const bool thorough : {false, true}) {
        recovery::ConditionEstimator conditions(v.volume, thorough);
        EXPECT_EQ(conditions.ntfsFile(100, 4096).condition, recovery::FileCondition::Unknown);
    }
}

// Rows and folders of an NTFS catalogue land under the names the tree shows.
TEST(NtfsRecovery, FolderRowsCopyTheirFiles)
{
    NtfsRig v;
    const auto data = pattern(100, 1);
    Record r;
    r.end(r.resident(0x38, data));
    v.storeRecord(100, r);
    v.select();
    v.catalogue.AddNtfsFolder("Docs", 40, 5, 0, 0, 0, 1);
    v.catalogue.AddNtfsFolder("Inner", 41, 40, 0, 0, 0, 1);
    v.catalogue.AddNtfsFile(100, "note.txt", 60, 41, 0, 0, 1, 100);
    v.catalogue.AddNtfsFile(100, "top.txt", 61, 5, 0, 0, 1, 100);
    v.tree.BuildFolderTree(v.catalogue, catalogue::CatalogueKind::Ntfs);
    const catalogue::CatalogueIndex index(v.catalogue, catalogue::CatalogueKind::Ntfs);
    const auto rows = catalogue::FillFileList(v.catalogue, index, catalogue::CatalogueKind::Ntfs, 5, nullptr);
    ASSERT_EQ(rows.size(), 2u);

    test::CopyRig rig(v.volume, v.catalogue, v.tree);
    rig.recovery.RecoverListItems(rows, recovery::RecoveryMode::All, {}, rig.target());
    EXPECT_EQ(rig.dest->paths(), (std::vector<std::string>{"Docs", "Docs/Inner", "Docs/Inner/note.txt", "top.txt"}));
    EXPECT_EQ(rig.content("Docs/Inner/note.txt"), data);
}

// Damaged records: whatever the bytes, the walk and the decoder stay inside the
// record, end, and never produce more runs than the record has bytes.
TEST(NtfsDataRuns, RandomRecordsStayBounded)
{
    std::uint32_t x = 12345;
    for (int round = 0; round < 3000; ++round) {
        Record r(static_cast<std::uint16_t>(0x38 + round % 64));
        for (auto& b : r.b) {
            x = x * 1103515245u + 12345u;
            b = static_cast<std::byte>(x >> 16);
        }
        r.put(0x14, 2, 0x38 + static_cast<unsigned>(round % 0x3C8));
        if (round % 2 == 0) // often a data attribute right there
            r.put(static_cast<std::size_t>(0x38 + round % 0x3C8), 4, 0x80);
        const auto located = ntfs::LocateDataAttribute(r.b);
        EXPECT_LT(located.offset, 0x3FFu);
        const auto runs = ntfs::DecodeDataRuns(r.b, located.offset);
        if (runs) {
            EXPECT_LE(runs->size(), 1024u);
        }
    }
}
