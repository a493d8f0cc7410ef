// SPDX-License-Identifier: GPL-3.0-or-later
#include "snapshot/RecoverySnapshot.h"

#include <gtest/gtest.h>

#include <array>

using namespace sarvik;
using snapshot::DecodeStatus;

namespace {

snapshot::SnapshotContent ntfsWith(std::string name, bool utf8)
{
    snapshot::SnapshotContent c;
    c.info.FileSystemKind = disk::VolumeKind::Ntfs;
    c.info.DevicePath = "/dev/sdz1";
    c.geometry.GeometryKind = disk::VolumeKind::Ntfs;
    c.geometry.SectorsPerCluster = 8;
    c.catalogue.AddNtfsFolder("Папка", 40, 5, 1, 2, 0, 1);
    c.catalogue.AddNtfsFile(1234, std::move(name), 41, 40, 3, 4, 1, 99);
    c.catalogue.NamesAreUtf8 = utf8;
    return c;
}

std::vector<std::byte> encode(const snapshot::SnapshotContent& c)
{
    std::vector<std::byte> out;
    const auto r = snapshot::EncodeSnapshot(c.info, c.partition, c.geometry, c.catalogue, out);
    EXPECT_TRUE(r.ok) << r.error;
    return out;
}

bool endsWithMarker(const std::vector<std::byte>& bytes)
{
    const auto& m = snapshot::kUtf8NamesMarker;
    return bytes.size() >= m.size() &&
           std::equal(m.begin(), m.end(), bytes.end() - static_cast<std::ptrdiff_t>(m.size()),
                      [](char a, std::byte b) { return std::byte(static_cast<unsigned char>(a)) == b; });
}

} // namespace

TEST(SnapshotUtf8Names, ThoroughNamesRoundTripWithTheMarkerAndDefaultOnesWithout)
{
    // 200 Cyrillic letters: 400 bytes of UTF-8, past the 255 of an 8-bit name.
    std::string longName;
    for (int i = 0; i < 200; ++i)
        longName += "ж";
    const auto thorough = encode(ntfsWith(longName, true));
    const auto plain = encode(ntfsWith("plain.txt", false));
    EXPECT_TRUE(endsWithMarker(thorough));
    EXPECT_FALSE(endsWithMarker(plain));

    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(thorough, loaded).status, DecodeStatus::Loaded);
    EXPECT_TRUE(loaded.catalogue.NamesAreUtf8);
    EXPECT_EQ(loaded.catalogue.fsLists().NtfsFileList.at(0).name, longName);
    EXPECT_EQ(loaded.catalogue.fsLists().NtfsFolderList.at(0).name, "Папка");
    EXPECT_EQ(encode(loaded), thorough) << "a reloaded thorough snapshot saves to the same bytes";

    snapshot::SnapshotContent loadedPlain;
    ASSERT_EQ(snapshot::DecodeSnapshot(plain, loadedPlain).status, DecodeStatus::Loaded);
    EXPECT_FALSE(loadedPlain.catalogue.NamesAreUtf8);
    EXPECT_EQ(encode(loadedPlain), plain);

    // Without the flag the long name does not fit, as before.
    std::vector<std::byte> out;
    const auto c = ntfsWith(longName, false);
    EXPECT_FALSE(snapshot::EncodeSnapshot(c.info, c.partition, c.geometry, c.catalogue, out).ok);
}

TEST(SnapshotUtf8Names, TheMarkerCountsOnlyRightAfterTheBody)
{
    auto bytes = encode(ntfsWith("a.txt", false));
    // Other bytes between the body and the marker: not ours, the names stay
    // 8-bit, and bytes no trailer accounts for are damage.
    for (const char c : std::string("xx") + std::string(snapshot::kUtf8NamesMarker))
        bytes.push_back(std::byte(static_cast<unsigned char>(c)));
    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(bytes, loaded).status, DecodeStatus::Damaged);
    EXPECT_FALSE(loaded.catalogue.NamesAreUtf8);
    EXPECT_EQ(loaded.catalogue.fsLists().NtfsFileList.size(), 1U);

    // A damaged body of an older snapshot (plain tag) never yields UTF-8
    // names, even when the file ends with the marker; one whose tag says it
    // is a thorough scan's keeps them.
    auto damaged = encode(ntfsWith("b.txt", true));
    damaged.erase(damaged.end() - 41, damaged.end() - static_cast<std::ptrdiff_t>(snapshot::kUtf8NamesMarker.size()));
    snapshot::SnapshotContent partial;
    EXPECT_EQ(snapshot::DecodeSnapshot(damaged, partial).status, DecodeStatus::Damaged);
    EXPECT_TRUE(partial.catalogue.NamesAreUtf8);
    damaged[0] = std::byte{'r'};
    EXPECT_EQ(snapshot::DecodeSnapshot(damaged, partial).status, DecodeStatus::Damaged);
    EXPECT_FALSE(partial.catalogue.NamesAreUtf8);

    // A UTF-8 name too long for 8-bit names, then bytes before the marker, in
    // an older snapshot: the marker does not count, so that record is damage
    // and what loads saves again.
    auto junk = encode(ntfsWith(std::string(300, 'n'), true));
    junk[0] = std::byte{'r'};
    junk.insert(junk.end() - static_cast<std::ptrdiff_t>(snapshot::kUtf8NamesMarker.size()), std::byte{'x'});
    snapshot::SnapshotContent cut;
    EXPECT_EQ(snapshot::DecodeSnapshot(junk, cut).status, DecodeStatus::Damaged);
    EXPECT_FALSE(cut.catalogue.NamesAreUtf8);
    EXPECT_TRUE(cut.catalogue.fsLists().NtfsFileList.empty());
    EXPECT_EQ(cut.catalogue.fsLists().NtfsFolderList.size(), 1U);
    std::vector<std::byte> again;
    EXPECT_TRUE(snapshot::EncodeSnapshot(cut.info, cut.partition, cut.geometry, cut.catalogue, again).ok);
    // With the thorough tag the name is UTF-8 by the file's own word: it
    // loads, and the stray byte is the damage.
    junk[0] = std::byte{static_cast<unsigned char>(snapshot::kThoroughTag[0])};
    EXPECT_EQ(snapshot::DecodeSnapshot(junk, cut).status, DecodeStatus::Damaged);
    EXPECT_TRUE(cut.catalogue.NamesAreUtf8);
    EXPECT_EQ(cut.catalogue.fsLists().NtfsFileList.size(), 1U);
    EXPECT_TRUE(snapshot::EncodeSnapshot(cut.info, cut.partition, cut.geometry, cut.catalogue, again).ok);
}

TEST(SnapshotUtf8Names, AnExfatGeometryIsRefusedAsSavingRefusesIt)
{
    auto c = ntfsWith("a.txt", false);
    auto bytes = encode(c);
    c.geometry.GeometryKind = disk::VolumeKind::Exfat;
    std::vector<std::byte> out;
    EXPECT_FALSE(snapshot::EncodeSnapshot(c.info, c.partition, c.geometry, c.catalogue, out).ok);
    // The geometry block's kind (16 bytes in) patched to exFAT: loading refuses it too.
    const std::size_t kindAt = snapshot::kTag.size() + snapshot::kVersion.size() + 4 + c.info.DevicePath.size() + 15 +
                               c.info.VolumeLabel.size() + 16;
    ASSERT_EQ(std::to_integer<int>(bytes.at(kindAt)), disk::VolumeKind::Ntfs & 0xFF);
    bytes[kindAt] = std::byte(disk::VolumeKind::Exfat & 0xFF);
    bytes[kindAt + 1] = std::byte(disk::VolumeKind::Exfat >> 8);
    snapshot::SnapshotContent loaded;
    const auto decoded = snapshot::DecodeSnapshot(bytes, loaded);
    EXPECT_EQ(decoded.status, DecodeStatus::Refused);
    EXPECT_NE(decoded.message.find("exFAT"), std::string::npos) << decoded.message;
}

TEST(SnapshotUtf8Names, ThoroughFatSnapshotsKeepTimesOfDayAndEntryOriginsClassicOnesStayAsTheyWere)
{
    // Origins whose every field differs from the other entry's, and a wide address.
    const catalogue::FatEntryOrigin folderOrigin{5, 0x5771, 0x1234, 7};
    const catalogue::FatEntryOrigin fileOrigin{0x1'0000'0203, 0x5772, 0x4321, 199};
    const auto fat = [&](bool utf8, std::uint16_t time) {
        snapshot::SnapshotContent c;
        c.info.FileSystemKind = disk::VolumeKind::Fat16;
        c.info.DevicePath = "/dev/sdz1";
        c.geometry.GeometryKind = disk::VolumeKind::Fat16;
        c.geometry.SectorsPerCluster = 4;
        c.catalogue.AddFatFolder("Docs", 3, 0, 0x5770, 0x5770, 0, 0, time,
                                 time == 0 ? catalogue::FatEntryOrigin{} : folderOrigin);
        c.catalogue.AddFatFile("a.txt", 9, 3, 0x5770, 0x5770, 10, 1,
                               static_cast<std::uint16_t>(time == 0 ? 0 : time + 1),
                               time == 0 ? catalogue::FatEntryOrigin{} : fileOrigin);
        c.catalogue.NamesAreUtf8 = utf8;
        return c;
    };
    const std::uint16_t time = (22 << 11) | (13 << 5) | 10;
    const auto thorough = encode(fat(true, time));
    EXPECT_TRUE(endsWithMarker(thorough)) << "the time trailer comes before the names marker";
    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(thorough, loaded).status, DecodeStatus::Loaded);
    EXPECT_TRUE(loaded.catalogue.NamesAreUtf8);
    EXPECT_TRUE(loaded.catalogue.FatTimesOfDay);
    EXPECT_EQ(loaded.catalogue.fsLists().FatFolderList.at(0).writeTime, time);
    EXPECT_EQ(loaded.catalogue.fsLists().FatFileList.at(0).writeTime, time + 1);
    EXPECT_TRUE(loaded.catalogue.FatEntryOrigins);
    const auto same = [](const catalogue::FatEntryOrigin& a, const catalogue::FatEntryOrigin& b) {
        return a.address == b.address && a.createDate == b.createDate && a.createTime == b.createTime &&
               a.createTenths == b.createTenths;
    };
    EXPECT_TRUE(same(loaded.catalogue.fsLists().FatFolderList.at(0).origin, folderOrigin));
    EXPECT_TRUE(same(loaded.catalogue.fsLists().FatFileList.at(0).origin, fileOrigin));
    EXPECT_EQ(encode(loaded), thorough);

    // Classic snapshots keep the original format: no trailer, and no times of day when loaded.
    EXPECT_EQ(encode(fat(false, time)), encode(fat(false, 0)));
    EXPECT_EQ(encode(fat(true, 0)).size() + snapshot::kFatTimesTrailer.size() + 4 + 2 * 2, thorough.size());
    snapshot::SnapshotContent classic;
    ASSERT_EQ(snapshot::DecodeSnapshot(encode(fat(false, time)), classic).status, DecodeStatus::Loaded);
    EXPECT_FALSE(classic.catalogue.FatTimesOfDay);
    EXPECT_EQ(classic.catalogue.fsLists().FatFileList.at(0).writeTime, 0u);
    EXPECT_FALSE(classic.catalogue.FatEntryOrigins);
    EXPECT_EQ(classic.catalogue.fsLists().FatFileList.at(0).origin.address, 0u);
}

TEST(SnapshotUtf8Names, ThoroughNtfsSnapshotsKeepStandardTimesClassicOnesStayAsTheyWere)
{
    const auto timed = [](bool utf8) {
        auto c = ntfsWith("a.txt", utf8);
        c.catalogue.fsLists().NtfsFolderList.at(0).standard = {11, 12, 13, 14};
        c.catalogue.fsLists().NtfsFileList.at(0).standard = {21, 22, 23, 0x1'0000'0024};
        return c;
    };
    const auto thorough = encode(timed(true));
    EXPECT_TRUE(endsWithMarker(thorough));
    EXPECT_EQ(encode(ntfsWith("a.txt", true)).size() + snapshot::kNtfsTimesTrailer.size() + 4 + 2 * 32,
              thorough.size());
    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(thorough, loaded).status, DecodeStatus::Loaded);
    const auto times = [](const catalogue::NtfsStandardTimes& t) {
        return std::array<std::uint64_t, 4>{t.created, t.modified, t.recordChanged, t.accessed};
    };
    EXPECT_EQ(times(loaded.catalogue.fsLists().NtfsFolderList.at(0).standard),
              (std::array<std::uint64_t, 4>{11, 12, 13, 14}));
    EXPECT_EQ(times(loaded.catalogue.fsLists().NtfsFileList.at(0).standard),
              (std::array<std::uint64_t, 4>{21, 22, 23, 0x1'0000'0024}));
    EXPECT_TRUE(loaded.catalogue.NamesAreUtf8);
    EXPECT_EQ(encode(loaded), thorough);
    EXPECT_EQ(encode(timed(false)), encode(ntfsWith("a.txt", false))) << "classic snapshots carry no times";
}

// The carved marks: a trailer of 7 + 4 + 5 bytes per carved file before the
// names marker, none without carved files; a mark that is not 1 or 2, or an
// index past the file records, makes the load damaged rather than leave an
// incomplete file looking whole.
TEST(SnapshotUtf8Names, CarvedMarksRoundTripAndADamagedListIsNotPassedOver)
{
    auto content = ntfsWith("record.txt", true);
    content.catalogue.AddNtfsFile(80, "f10.png", 10, 40, 0, 0, 1, 5000);
    content.catalogue.fsLists().NtfsFileList.back().carved = catalogue::Carved::Incomplete;
    const auto bytes = encode(content);
    auto plain = content;
    plain.catalogue.fsLists().NtfsFileList.back().carved = catalogue::Carved::No;
    ASSERT_EQ(encode(plain).size() + snapshot::kCarvedTrailer.size() + 4 + 5, bytes.size());
    EXPECT_TRUE(endsWithMarker(bytes));
    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(bytes, loaded).status, DecodeStatus::Loaded);
    EXPECT_EQ(loaded.catalogue.fsLists().NtfsFileList.at(0).carved, catalogue::Carved::No);
    EXPECT_EQ(loaded.catalogue.fsLists().NtfsFileList.at(1).carved, catalogue::Carved::Incomplete);
    EXPECT_TRUE(loaded.catalogue.NamesAreUtf8);

    const std::size_t entry = bytes.size() - snapshot::kUtf8NamesMarker.size() - 5;
    for (const auto& [at, value] : {std::pair{entry + 4, 7}, std::pair{entry, 2}}) {
        auto bad = bytes;
        bad[at] = std::byte(value); // mark 7, or the index of a third file record
        snapshot::SnapshotContent damaged;
        EXPECT_EQ(snapshot::DecodeSnapshot(bad, damaged).status, DecodeStatus::Damaged) << at;
    }
}

// Whether the deep search ran is kept with the carved marks; a snapshot
// without the trailer (a quick scan, or an older one) loads as a quick one,
// and a classic snapshot never carries it.
TEST(SnapshotUtf8Names, TheDeepSearchMarkRoundTripsAfterTheCarvedMarks)
{
    auto content = ntfsWith("record.txt", true);
    content.catalogue.AddNtfsFile(80, "f10.png", 10, 40, 0, 0, 1, 5000);
    content.catalogue.fsLists().NtfsFileList.back().carved = catalogue::Carved::Whole;
    const auto quick = encode(content);
    content.catalogue.DeepSearched = true;
    const auto deep = encode(content);
    ASSERT_EQ(quick.size() + snapshot::kDeepSearchTrailer.size(), deep.size());
    for (const auto& [bytes, searched] : {std::pair{&quick, false}, std::pair{&deep, true}}) {
        snapshot::SnapshotContent loaded;
        ASSERT_EQ(snapshot::DecodeSnapshot(*bytes, loaded).status, DecodeStatus::Loaded);
        EXPECT_EQ(loaded.catalogue.DeepSearched, searched);
        EXPECT_EQ(loaded.catalogue.fsLists().NtfsFileList.at(1).carved, catalogue::Carved::Whole);
        EXPECT_TRUE(loaded.catalogue.NamesAreUtf8);
    }
    auto classic = ntfsWith("record.txt", false);
    const auto plain = encode(classic);
    classic.catalogue.DeepSearched = true;
    EXPECT_EQ(encode(classic), plain);
}

TEST(SnapshotUtf8Names, ScanLossesAndACutImageRoundTripAndACutTrailerIsDamage)
{
    for (const bool utf8 : {false, true}) {
        SCOPED_TRACE(utf8 ? "thorough" : "classic");
        auto content = ntfsWith("record.txt", utf8);
        content.info.VolumeSectors = 1000;
        const auto whole = encode(content);
        content.catalogue.Losses.UnreadableSectors = 3;
        content.catalogue.Losses.UnreadableRecords = 2;
        content.info.FileSystemSectors = 4096; // the image ends 3,096 sectors early
        const auto lossy = encode(content);
        ASSERT_EQ(lossy.size(), whole.size() + snapshot::kLossesTrailer.size() + snapshot::kLossesTrailerBody);

        snapshot::SnapshotContent loaded;
        ASSERT_EQ(snapshot::DecodeSnapshot(lossy, loaded).status, DecodeStatus::Loaded);
        EXPECT_EQ(loaded.catalogue.Losses.UnreadableSectors, 3u);
        EXPECT_EQ(loaded.catalogue.Losses.UnreadableRecords, 2u);
        EXPECT_EQ(loaded.info.FileSystemSectors, 4096u);
        EXPECT_EQ(loaded.catalogue.NamesAreUtf8, utf8);
        EXPECT_EQ(encode(loaded), lossy);

        // The file cut inside the counts: its losses do not pass for none.
        const std::size_t tag = whole.size() - (utf8 ? snapshot::kUtf8NamesMarker.size() : 0);
        const std::vector<std::byte> cut(
            lossy.begin(), lossy.begin() + static_cast<std::ptrdiff_t>(tag + snapshot::kLossesTrailer.size() + 5));
        snapshot::SnapshotContent partial;
        EXPECT_EQ(snapshot::DecodeSnapshot(cut, partial).status, DecodeStatus::Damaged);
    }
}
