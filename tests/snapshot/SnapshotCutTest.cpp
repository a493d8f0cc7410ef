// SPDX-License-Identifier: GPL-3.0-or-later
// A snapshot cut short anywhere never loads as whole, and the encoding of its
// names is what the file says, not what its damaged end suggests.

#include "snapshot/RecoverySnapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace sarvik;
using snapshot::DecodeStatus;

namespace {

/// Names outside ASCII, read wrongly as 8-bit names ("CafÃ©").
const std::vector<std::string> kNames{"Café menu.txt", "Überweisung.pdf", "日本語のファイル.doc", "naïve.csv",
                                      "Ωmega.bin"};

snapshot::SnapshotContent thoroughNtfs()
{
    snapshot::SnapshotContent c;
    c.info.FileSystemKind = disk::VolumeKind::Ntfs;
    c.info.DevicePath = "/dev/sdz1";
    c.info.VolumeSectors = 1000000;
    c.geometry.GeometryKind = disk::VolumeKind::Ntfs;
    c.geometry.SectorsPerCluster = 8;
    c.catalogue.AddNtfsFolder("Документы", 40, 5, 1, 2, 0, 1, {1, 2, 3, 4});
    std::uint32_t record = 41;
    for (int round = 0; round < 12; ++round)
        for (const std::string& name : kNames) {
            c.catalogue.AddNtfsFile(5000 + record, name, record, 40, 3, 4, 1, 99, {5, 6, 7, 8});
            ++record;
        }
    c.catalogue.NamesAreUtf8 = true;
    c.catalogue.DeepSearched = true;
    c.catalogue.Losses.UnreadableSectors = 7;
    return c;
}

snapshot::SnapshotContent thoroughFat()
{
    snapshot::SnapshotContent c;
    c.info.FileSystemKind = disk::VolumeKind::Fat32;
    c.info.DevicePath = "/dev/sdz2";
    c.geometry.GeometryKind = disk::VolumeKind::Fat32;
    c.geometry.SectorsPerCluster = 1;
    c.catalogue.AddFatFolder("Ordner ä", 3, 2, 1, 1, 0, 1, 100);
    std::uint32_t cluster = 10;
    for (int round = 0; round < 20; ++round)
        for (const std::string& name : kNames) {
            c.catalogue.AddFatFile(name, cluster++, 3, 1, 1, 10, 1, 200);
        }
    c.catalogue.NamesAreUtf8 = true;
    c.catalogue.FatTimesOfDay = true;
    return c;
}

std::vector<std::byte> encode(const snapshot::SnapshotContent& c)
{
    std::vector<std::byte> out;
    const auto r = snapshot::EncodeSnapshot(c.info, c.partition, c.geometry, c.catalogue, out);
    EXPECT_TRUE(r.ok) << r.error;
    return out;
}

template <typename Entry> void expectNamesIntact(const std::vector<Entry>& loaded, std::size_t cut)
{
    for (std::size_t i = 0; i < loaded.size(); ++i)
        ASSERT_EQ(loaded[i].name, kNames[i % kNames.size()]) << "cut at " << cut << ", entry " << i;
}

/// Every cut in the last 2 KiB of `whole`: damaged or refused, never loaded
/// whole; names read as UTF-8 and as they were saved, up to the damage.
void expectEveryCutSeen(const std::vector<std::byte>& whole, bool ntfs)
{
    ASSERT_GT(whole.size(), 2048U);
    for (std::size_t cut = whole.size() - 2048; cut < whole.size(); ++cut) {
        const std::vector<std::byte> bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        snapshot::SnapshotContent loaded;
        const auto result = snapshot::DecodeSnapshot(bytes, loaded);
        ASSERT_NE(result.status, DecodeStatus::Loaded) << "cut at " << cut << " of " << whole.size();
        if (result.status == DecodeStatus::Refused)
            continue;
        EXPECT_FALSE(result.message.empty());
        ASSERT_TRUE(loaded.catalogue.NamesAreUtf8) << "cut at " << cut;
        EXPECT_FALSE(loaded.catalogue.DeepSearched) << "cut at " << cut;
        if (ntfs)
            expectNamesIntact(loaded.catalogue.fsLists().NtfsFileList, cut);
        else
            expectNamesIntact(loaded.catalogue.fsLists().FatFileList, cut);
    }
}

} // namespace

TEST(SnapshotCut, EveryCutOfAThoroughSnapshotsLastTwoKibIsDamageWithItsNamesIntact)
{
    const auto ntfs = encode(thoroughNtfs());
    const auto fat = encode(thoroughFat());
    // Whole, each loads as it was saved.
    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(ntfs, loaded).status, DecodeStatus::Loaded);
    EXPECT_TRUE(loaded.catalogue.NamesAreUtf8);
    EXPECT_TRUE(loaded.catalogue.DeepSearched);
    EXPECT_EQ(encode(loaded), ntfs);
    ASSERT_EQ(snapshot::DecodeSnapshot(fat, loaded).status, DecodeStatus::Loaded);
    EXPECT_EQ(encode(loaded), fat);
    expectEveryCutSeen(ntfs, true);
    expectEveryCutSeen(fat, false);
}

TEST(SnapshotCut, SnapshotsWithThePlainTagKeepLoading)
{
    // An older thorough snapshot carries the tag in lower case: whole, it
    // loads with UTF-8 names; cut inside its marker or its trailers, damaged.
    auto older = encode(thoroughNtfs());
    older[0] = std::byte{'r'};
    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(older, loaded).status, DecodeStatus::Loaded);
    EXPECT_TRUE(loaded.catalogue.NamesAreUtf8);
    EXPECT_EQ(loaded.catalogue.fsLists().NtfsFileList.at(0).name, kNames[0]);
    for (std::size_t cut = 1; cut <= 40; ++cut) {
        const std::vector<std::byte> bytes(older.begin(), older.end() - static_cast<std::ptrdiff_t>(cut));
        snapshot::SnapshotContent partial;
        ASSERT_EQ(snapshot::DecodeSnapshot(bytes, partial).status, DecodeStatus::Damaged) << "cut " << cut;
        // Its NTFS times (a trailer only a thorough scan writes) say its names are UTF-8.
        EXPECT_TRUE(partial.catalogue.NamesAreUtf8) << "cut " << cut;
    }

    // A classic snapshot is the plain format byte for byte, and loads whole.
    auto classic = thoroughFat();
    classic.catalogue.NamesAreUtf8 = false;
    classic.catalogue.FatTimesOfDay = false;
    for (auto& f : classic.catalogue.fsLists().FatFileList)
        f.name = "PLAIN.TXT";
    const auto plain = encode(classic);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(plain.data()), 7), "rvx4.02");
    ASSERT_EQ(snapshot::DecodeSnapshot(plain, loaded).status, DecodeStatus::Loaded);
    EXPECT_FALSE(loaded.catalogue.NamesAreUtf8);
    // Any byte cut from its records is damage.
    for (std::size_t cut = 1; cut <= 64; ++cut) {
        const std::vector<std::byte> bytes(plain.begin(), plain.end() - static_cast<std::ptrdiff_t>(cut));
        snapshot::SnapshotContent partial;
        EXPECT_EQ(snapshot::DecodeSnapshot(bytes, partial).status, DecodeStatus::Damaged) << "cut " << cut;
    }
}
