// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/MftRunList.h"
#include "support/NtfsBuilder.h"

#include <gtest/gtest.h>

#include <random>

using namespace sarvik;
using namespace sarvik::ntfs;
using test::ClusterRun;
using test::encodeRuns;
using test::MftRecordBuilder;
using test::NtfsImage;

namespace {

using Runs = std::vector<std::pair<std::uint64_t, std::uint64_t>>; // (start, length) in sectors

Runs runsOf(const MftRunList& list)
{
    Runs out;
    for (std::size_t i = 0; i < list.RunCount(); ++i)
        out.emplace_back(list.RunStarts()[i], list.RunLengths()[i]);
    return out;
}

std::vector<std::byte> bytes(const std::vector<std::uint8_t>& v)
{
    std::vector<std::byte> out;
    for (const std::uint8_t b : v)
        out.push_back(static_cast<std::byte>(b));
    return out;
}

struct Decoded {
    Runs runs;
    RunListEnd end;
};

Decoded decode(const std::vector<std::uint8_t>& raw, std::uint32_t spc = 8, std::uint64_t volumeSectors = 1u << 24,
               std::size_t maxRuns = kMaxMftRuns)
{
    MftRunList list;
    const auto b = bytes(raw);
    const RunListEnd end = DecodeRunList(b, 0, b.size(), list, 0, spc, {volumeSectors, maxRuns});
    return {runsOf(list), end};
}

} // namespace

// ---- Decoding -------------------------------------------------------------

TEST(DecodeRunList, RunsSparseRunsAndNegativeOffsets)
{
    const Decoded plain = decode(encodeRuns({{4, 100}, {2, 300}}));
    EXPECT_EQ(plain.end, RunListEnd::EndMarker);
    EXPECT_EQ(plain.runs, (Runs{{800, 32}, {2400, 16}}));

    // The run after a sparse one is placed relative to the run before the sparse one.
    const Decoded sparse = decode(encodeRuns({{4, 100}, {3, std::nullopt}, {5, 120}}));
    EXPECT_EQ(sparse.runs, (Runs{{800, 32}, {0, 24}, {960, 40}}));

    // A one-byte offset of 0xFF: one cluster before the previous run.
    const Decoded back = decode({0x11, 0x02, 0x50, 0x11, 0x01, 0xFF, 0x00});
    EXPECT_EQ(back.runs, (Runs{{0x50 * 8, 16}, {0x4F * 8, 8}}));

    // Negative offsets of every width, two's complement within it.
    for (unsigned width = 1; width <= 8; ++width) {
        std::vector<std::uint8_t> raw = {0x21, 0x01, 0x00, 0x10}; // 1 cluster at 0x1000
        raw.push_back(static_cast<std::uint8_t>(0x01 | (width << 4)));
        raw.push_back(0x01);
        raw.push_back(0xF0); // -16 ...
        for (unsigned i = 1; i < width; ++i)
            raw.push_back(0xFF);
        if (width == 1)
            raw.back() = 0xF0;
        raw.push_back(0x00);
        EXPECT_EQ(decode(raw).runs, (Runs{{0x1000 * 8, 8}, {(0x1000 - 16) * 8, 8}})) << "width " << width;
    }
}

TEST(DecodeRunList, WideLengthFieldsAndWhereDecodingEnds)
{
    // Length fields of 5 to 8 bytes whose value fits 32 bits.
    for (unsigned width = 5; width <= 8; ++width) {
        std::vector<std::uint8_t> raw = {static_cast<std::uint8_t>(0x10 | width), 0x07};
        raw.resize(1 + width, 0x00);
        raw.push_back(0x10);
        raw.push_back(0x00);
        EXPECT_EQ(decode(raw).runs, (Runs{{0x10 * 8, 56}})) << "width " << width;
    }

    // A field wider than 8 bytes ends the list; the runs before it stay.
    for (const std::uint8_t header : {std::uint8_t{0x19}, std::uint8_t{0x91}}) {
        const Decoded d = decode({0x11, 0x01, 0x20, header, 0x01, 0x01, 0x01, 0x00});
        EXPECT_EQ(d.end, RunListEnd::BadHeader);
        EXPECT_EQ(d.runs, (Runs{{0x100, 8}}));
    }

    // A run cut by the end of the bytes is not taken.
    const Decoded cut = decode({0x11, 0x01, 0x20, 0x31, 0x05, 0x00});
    EXPECT_EQ(cut.end, RunListEnd::OutOfBytes);
    EXPECT_EQ(cut.runs.size(), 1u);

    // The first run with an offset is placed from cluster 0 even after a sparse run.
    EXPECT_EQ(decode(encodeRuns({{2, std::nullopt}, {1, 40}})).runs, (Runs{{0, 16}, {320, 8}}));
}

TEST(DecodeRunList, RunsAreBoundedByTheVolume)
{
    // Starting at or past the volume's end.
    Decoded d = decode(encodeRuns({{1, 10}, {1, 1000}}), 8, 1000 * 8);
    EXPECT_EQ(d.end, RunListEnd::OutsideVolume);
    EXPECT_EQ(d.runs, (Runs{{80, 8}}));
    // Starting before sector 0.
    d = decode(encodeRuns({{1, 10}, {1, -20}}), 8, 1000 * 8);
    EXPECT_EQ(d.end, RunListEnd::OutsideVolume);
    EXPECT_EQ(d.runs.size(), 1u);
    // More sectors in all than the volume has, also with an 8-byte length.
    d = decode(encodeRuns({{600, 10}, {600, 10}}), 8, 1000 * 8);
    EXPECT_EQ(d.end, RunListEnd::OutsideVolume);
    EXPECT_EQ(d.runs, (Runs{{80, 4800}}));
    d = decode({0x18, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00}, 128, 1000);
    EXPECT_EQ(d.end, RunListEnd::OutsideVolume);
    EXPECT_TRUE(d.runs.empty());
    // A list that keeps coming back to the same clusters ends once the volume is used up.
    std::vector<ClusterRun> loop;
    for (int i = 0; i < 300; ++i)
        loop.push_back({10, 50});
    d = decode(encodeRuns(loop), 8, 1000);
    EXPECT_EQ(d.end, RunListEnd::OutsideVolume);
    EXPECT_EQ(d.runs.size(), 12u); // 12 * 80 sectors fit in 1000
}

TEST(DecodeRunList, ManyRunsAndTheRunLimit)
{
    std::vector<ClusterRun> many;
    for (std::int64_t i = 0; i < 3000; ++i)
        many.push_back({1, 10 + 2 * i});
    const Decoded all = decode(encodeRuns(many));
    ASSERT_EQ(all.runs.size(), 3000u);
    EXPECT_EQ(all.runs[2999], (std::pair<std::uint64_t, std::uint64_t>{(10 + 2 * 2999) * 8, 8}));
    const Decoded capped = decode(encodeRuns(many), 8, 1u << 24, 1500);
    EXPECT_EQ(capped.end, RunListEnd::TooManyRuns);
    EXPECT_EQ(capped.runs.size(), 1500u);
}

// ---- Record sectors -------------------------------------------------------

TEST(MftRecordSector, MapsRecordsThroughTheRuns)
{
    MftRunList list;
    EXPECT_EQ(MftRecordSector(list, 0), 0u);
    EXPECT_FALSE(RecordSectorInRuns(list, 0));

    list.append(1000, 8); // records 0..3
    list.append(0, 4);    // sparse: records 4..5
    list.append(5000, 0); // passed over
    list.append(2000, 6); // records 6..8
    EXPECT_EQ(MftRecordSector(list, 0), 1000u);
    EXPECT_EQ(MftRecordSector(list, 3), 1006u);
    EXPECT_EQ(MftRecordSector(list, 4), 0u); // first sector of the sparse run
    EXPECT_EQ(MftRecordSector(list, 5), 2u);
    EXPECT_EQ(MftRecordSector(list, 6), 2000u); // offset 12 = the first two runs' length
    EXPECT_EQ(MftRecordSector(list, 8), 2004u);
    EXPECT_EQ(MftRecordSector(list, 9), 0u); // just past the last run
    EXPECT_FALSE(RecordSectorInRuns(list, 9));
    EXPECT_FALSE(RecordSectorInRuns(list, std::uint64_t{1} << 63));
    EXPECT_TRUE(list.isSparse(list.locateRecord(5)->run));
    EXPECT_EQ(list.totalSectors(), 18u);
}

TEST(MftRecordSector, AgreesWithAWalkOverTheRuns)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        MftRunList list;
        const int n = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i)
            list.append(rng() % 4 == 0 ? 0 : 100 + rng() % 100000, rng() % 5 == 0 ? 0 : 1 + rng() % 33);
        for (std::uint64_t record = 0; record < list.totalSectors() / 2 + 3; ++record) {
            // The walk: move on while the cumulative length is at most the offset.
            const std::uint64_t offset = record * 2;
            std::uint64_t before = 0;
            std::size_t k = 0;
            while (k < list.RunCount() && before + list.RunLengths()[k] <= offset)
                before += list.RunLengths()[k++];
            const std::uint64_t expected = k == list.RunCount() ? 0 : list.RunStarts()[k] + offset - before;
            ASSERT_EQ(MftRecordSector(list, record), expected) << "round " << round << " record " << record;
        }
    }
}

// ---- Building the list from a volume --------------------------------------

namespace {

constexpr std::size_t kSectors = 16384; // 8 MiB
constexpr std::uint8_t kSpc = 8;
constexpr std::uint32_t kMftCluster = 4;
constexpr std::uint32_t kRecords = 64; // 16 clusters

Runs built(const NtfsImage& image)
{
    disk::SelectedVolume v;
    EXPECT_TRUE(image.select(v));
    MftRunList list;
    BuildMftRunList(list, v);
    return runsOf(list);
}

/// Record 0 describing its MFT with `runs`, optionally an attribute list after the data attribute.
MftRecordBuilder record0(const std::vector<ClusterRun>& runs)
{
    MftRecordBuilder b;
    b.fileName(u"$MFT", 5, 3).nonResidentData(kRecords * 1024, encodeRuns(runs));
    return b;
}

} // namespace

TEST(BuildMftRunList, RecordZeroWithoutAList)
{
    NtfsImage image(kSectors, kSpc, kMftCluster, kRecords);
    EXPECT_EQ(built(image), (Runs{{32, 128}}));

    // Two runs, the second before the first on the volume.
    image.put(0, record0({{8, 400}, {8, 200}}).build());
    EXPECT_EQ(built(image), (Runs{{3200, 64}, {1600, 64}}));
}

TEST(BuildMftRunList, MissingRecordsEndTheBuild)
{
    // Record 0 without "FILE": the root folder's index allocation stays.
    NtfsImage image(kSectors, kSpc, kMftCluster, kRecords);
    image.image().putText(image.mftSector() * 512, "BAAD");
    EXPECT_EQ(built(image), (Runs{{(kMftCluster + 16) * kSpc, 8}}));

    // Record 0 without a data attribute: likewise.
    image.put(0, MftRecordBuilder().fileName(u"$MFT", 5, 3).build());
    EXPECT_EQ(built(image), (Runs{{(kMftCluster + 16) * kSpc, 8}}));

    // Record 5 without "FILE": nothing.
    image.image().putText(image.recordSector(5) * 512, "BAAD");
    EXPECT_TRUE(built(image).empty());

    // No device.
    disk::SelectedVolume none;
    MftRunList list;
    list.append(1, 2);
    BuildMftRunList(list, none);
    EXPECT_EQ(list.RunCount(), 0u);
}

TEST(BuildMftRunList, AttributeListAppendsTheExtensionPieces)
{
    NtfsImage image(kSectors, kSpc, kMftCluster, kRecords);
    // The MFT's first piece: 16 clusters at 4 (records 0..63). The second piece,
    // 8 clusters at 900, is described in record 20; the third (4 clusters at 950)
    // in record 21, which is listed twice.
    image.put(0, record0({{16, kMftCluster}})
                     .attributeList({{0x10, 0}, {0x30, 0}, {0x80, 0}, {0x80, 20}, {0x80, 21}, {0x80, 21}})
                     .build());
    image.put(20, MftRecordBuilder().nonResidentData(0, encodeRuns({{8, 900}})).build());
    image.put(21, MftRecordBuilder().nonResidentData(0, encodeRuns({{4, 950}})).build());
    EXPECT_EQ(built(image), (Runs{{32, 128}, {7200, 64}, {7600, 32}}));

    // An entry beyond the runs decoded so far, or in a record that cannot be
    // found, is skipped; later entries still count.
    image.put(0, record0({{16, kMftCluster}})
                     .attributeList({{0x80, 0}, {0x80, 70}, {0x80, 4000000}, {0x80, 20}, {0x80, 70}})
                     .build());
    image.put(20, MftRecordBuilder().nonResidentData(0, encodeRuns({{8, 900}})).build());
    // Record 70 lies in the second piece (records 64..95 at sector 7200), so its
    // second listing is read once that piece is known.
    image.putAt(7200 + 2 * (70 - 64), MftRecordBuilder().nonResidentData(0, encodeRuns({{2, 980}})).build());
    EXPECT_EQ(built(image), (Runs{{32, 128}, {7200, 64}, {7840, 16}}));
}

TEST(BuildMftRunList, FirstListedPieceReplacesRecordZerosRunsOnlyWhenItHasThem)
{
    NtfsImage image(kSectors, kSpc, kMftCluster, kRecords);
    // The list's first entry names record 30, whose data attribute describes
    // the MFT anew; record 0's own runs are dropped.
    image.put(0, record0({{16, kMftCluster}}).attributeList({{0x80, 30}, {0x80, 20}}).build());
    image.put(30, MftRecordBuilder().nonResidentData(0, encodeRuns({{16, kMftCluster}, {4, 700}})).build());
    image.put(20, MftRecordBuilder().nonResidentData(0, encodeRuns({{2, 800}})).build());
    EXPECT_EQ(built(image), (Runs{{32, 128}, {5600, 32}, {6400, 16}}));

    // When that record holds no data attribute, record 0's runs stay.
    image.put(30, MftRecordBuilder().fileName(u"x", 5, 1).build());
    EXPECT_EQ(built(image), (Runs{{32, 128}, {6400, 16}}));
}

TEST(BuildMftRunList, ExtensionRunsCrossingTheSecondSectorEndAreFixedUp)
{
    NtfsImage image(kSectors, kSpc, kMftCluster, kRecords);
    image.put(0, record0({{16, kMftCluster}}).attributeList({{0x80, 0}, {0x80, 20}}).build());
    // Filler so that the data attribute's runs fill the record's last 16 bytes:
    // the sparse run's length lies on byte 1022 and the end byte on 1023, the
    // two bytes that the update sequence protects.
    const auto runs = encodeRuns({{1, 1000}, {1, 1003}, {1, 1006}, {1, 1009}, {1, std::nullopt}});
    ASSERT_EQ(runs.size(), 16u);
    MftRecordBuilder ext;
    ext.raw(0x100, 0, std::vector<std::uint8_t>(1024 - 0x38 - 16 - 64 - 16, 0x5A))
        .nonResidentData(0, runs)
        .noEndMarker();
    ASSERT_EQ(ext.attributeOffset(2), 1024u);
    image.put(20, ext.build());
    EXPECT_EQ(built(image), (Runs{{32, 128}, {8000, 8}, {8024, 8}, {8048, 8}, {8072, 8}, {0, 8}}));
}

TEST(BuildMftRunList, NonResidentListIsOneStreamOverItsRuns)
{
    // One sector per cluster. The list lies in a run of one cluster and a run of
    // two; one entry straddles the two runs.
    NtfsImage image(kSectors, 1, 64, kRecords);
    std::vector<test::ListEntry> entries;
    for (int i = 0; i < 15; ++i)
        entries.push_back({0x10, 0}); // 480 bytes
    entries.push_back({0x80, 0, 40}); // 480..519
    entries.push_back({0x80, 20});    // 520..551, in the second run's first sector
    for (int i = 0; i < 16; ++i)
        entries.push_back({0x10, 0}); // to 1063, into its second sector
    entries.push_back({0x80, 21});    // 1064..1095
    std::vector<std::uint8_t> list = test::encodeListEntries(entries);
    list.resize(1536, 0);
    for (std::size_t i = 0; i < 512; ++i)
        image.image().put(3000 * 512 + i, 1, list[i]);
    for (std::size_t i = 512; i < 1536; ++i)
        image.image().put(2000 * 512 + i - 512, 1, list[i]);
    image.put(0, record0({{128, 64}}).nonResidentAttributeList(1100, encodeRuns({{1, 3000}, {2, 2000}})).build());
    image.put(20, MftRecordBuilder().nonResidentData(0, encodeRuns({{10, 4000}})).build());
    image.put(21, MftRecordBuilder().nonResidentData(0, encodeRuns({{6, 5000}})).build());
    EXPECT_EQ(built(image), (Runs{{64, 128}, {4000, 10}, {5000, 6}}));

    // When the second run's second sector cannot be read, the list ends there:
    // the entries of the sectors before it still count.
    disk::SelectedVolume v;
    test::MemoryDevices devices;
    auto source = image.image().source();
    source->addBadRange(2001 * 512 + 100, 1);
    devices.add("bad.img", source);
    ASSERT_TRUE(disk::SelectDrive(v, {"", "bad.img", disk::DriveKind::Image, source->size()}, devices));
    MftRunList runs;
    BuildMftRunList(runs, v);
    EXPECT_EQ(runsOf(runs), (Runs{{64, 128}, {4000, 10}}));
}
