// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/ScanSession.h"
#include "snapshot/RecoverySnapshot.h"
#include "snapshot/SnapshotFile.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <limits>

using namespace sarvik;
using snapshot::DecodeStatus;

namespace {

std::vector<std::byte> encode(const snapshot::SnapshotContent& c)
{
    std::vector<std::byte> out;
    const auto r = snapshot::EncodeSnapshot(c.info, c.partition, c.geometry, c.catalogue, out);
    EXPECT_TRUE(r.ok) << r.error;
    return out;
}

std::vector<std::byte> bytesOf(std::string_view text)
{
    std::vector<std::byte> b;
    for (const char c : text)
        b.push_back(static_cast<std::byte>(c));
    return b;
}

std::uint64_t le(const std::vector<std::byte>& b, std::size_t at, unsigned width)
{
    return disk::ByteReader(b).uint(at, width).value();
}

snapshot::SnapshotContent fatContent()
{
    snapshot::SnapshotContent c;
    c.info = {disk::VolumeKind::Fat32, "/dev/sdb1", 8, 0x1'2345'6789ull, 1, "USBSTICK"};
    c.partition = {7, 0, 0x2345'6789u, 0xAABBCCDDu, 0x1122};
    auto& g = c.geometry;
    g.GeometryKind = disk::VolumeKind::Fat32;
    g.FatSectors = 1000;
    g.SectorsPerCluster = 8;
    g.RootDirSectors = 0;
    g.RootDirStart = 2;
    g.ReservedSectors = 32;
    g.ClusterBaseSector = -6; // a tiny volume: cluster 0 lies before sector 0
    g.FirstFatSector = 32;
    g.SecondFatSector = 1032;
    g.MftStartSector = 77;
    g.NtfsReserved = 1;
    g.MftRecordSectors = 2;
    g.IndexRecordSectors = 8;
    g.SearchEndSector = 123456;
    g.GeometryReserved16 = 0xBEEF;
    auto& cat = c.catalogue;
    cat.AddFatFolder("DOCS", 3, 0, 0x3263, 0x3264, 0, 0);
    cat.AddFatFolder("\xE5OLD", 4, 3, 0x1111, 0x2222, 0, 1);
    cat.AddFatFile("a.txt", 10, 0, 0x3000, 0x3001, 1234, 1);
    cat.AddFatFile("caf\xE9.doc", 11, 3, 0x3002, 0x3003, 0xFFFFFFFFu, 1);
    cat.AddFatFile("", 12, 4, 0, 0, 0, 1);
    return c;
}

snapshot::SnapshotContent ntfsContent()
{
    snapshot::SnapshotContent c;
    c.info = {disk::VolumeKind::Ntfs, "/tmp/ntfs.img", 8, 204800, 1, ""};
    c.partition = {0, 0, 204800, 0, 0};
    auto& g = c.geometry;
    g.GeometryKind = disk::VolumeKind::Ntfs;
    g.SectorsPerCluster = 8;
    g.MftStartSector = 0xFFFF'FFF8u;
    g.MftRecordSectors = 2;
    g.IndexRecordSectors = 8;
    auto& cat = c.catalogue;
    cat.AddNtfsFolder("Users", 40, 5, 0x01D9'0000'1111'2222ull, 0x01DA'0000'3333'4444ull, 0, 0);
    cat.AddNtfsFolder("gone", 41, 40, 1, 2, 0, 1);
    cat.AddNtfsFile(0xFFFF'FFFFu, "report.pdf", 100, 41, 0x0102'0304'0506'0708ull, 0x1112'1314'1516'1718ull, 1,
                    0x0000'0001'0000'0002ull);
    cat.AddNtfsFile(64, "x", 101, 5, 0, 0, 1, 0);
    return c;
}

/// Record boundaries of an encoded snapshot, worked out from the format's own
/// fields: where the body starts, and the end offset of every whole record.
struct Layout {
    std::size_t bodyStart = 0;
    std::vector<std::size_t> folderEnds;
    std::size_t fileCountEnd = 0;
    std::vector<std::size_t> fileEnds;
};

Layout layoutOf(const std::vector<std::byte>& b)
{
    Layout l;
    const std::size_t d = le(b, 12, 2);
    const std::size_t v = le(b, 27 + d, 2);
    l.bodyStart = 29 + d + v + 68;
    std::size_t at = l.bodyStart;
    const auto folders = le(b, at, 4);
    at += 4;
    for (std::uint64_t i = 0; i < folders; ++i) {
        at += 2 + le(b, at, 2);
        l.folderEnds.push_back(at);
    }
    const auto files = le(b, at, 4);
    at += 4;
    l.fileCountEnd = at;
    for (std::uint64_t i = 0; i < files; ++i) {
        at += 2 + le(b, at, 2);
        l.fileEnds.push_back(at);
    }
    EXPECT_EQ(at, b.size());
    return l;
}

std::size_t folderCount(const catalogue::Catalogue& c, std::uint16_t kind)
{
    return kind == disk::VolumeKind::Ntfs ? c.fsLists().NtfsFolderList.size() : c.fsLists().FatFolderList.size();
}
std::size_t fileCount(const catalogue::Catalogue& c, std::uint16_t kind)
{
    return kind == disk::VolumeKind::Ntfs ? c.fsLists().NtfsFileList.size() : c.fsLists().FatFileList.size();
}

} // namespace

// ---- The byte layout -------------------------------------------------------

TEST(SnapshotFormat, FatFileHasTheFieldsOfTheTablesAtTheirOffsets)
{
    auto c = fatContent();
    const auto b = encode(c);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 10), "rvx4.021.0");
    EXPECT_EQ(le(b, 10, 2), 200u);
    EXPECT_EQ(le(b, 12, 2), 9u); // "/dev/sdb1"
    const std::size_t d = 9;
    EXPECT_EQ(le(b, 14 + d, 4), 8u);
    EXPECT_EQ(le(b, 18 + d, 4), 0x2345'6789u); // low half first
    EXPECT_EQ(le(b, 22 + d, 4), 1u);
    EXPECT_EQ(le(b, 26 + d, 1), 1u);
    EXPECT_EQ(le(b, 27 + d, 2), 8u);
    const std::size_t p = 29 + d + 8;
    EXPECT_EQ(le(b, p, 2), 7u);
    EXPECT_EQ(le(b, p + 6, 4), 0x2345'6789u);
    EXPECT_EQ(le(b, p + 10, 4), 0xAABBCCDDu);
    EXPECT_EQ(le(b, p + 14, 2), 0x1122u);
    EXPECT_EQ(le(b, p + 16, 2), 200u);
    EXPECT_EQ(le(b, p + 18, 4), 1000u);
    EXPECT_EQ(le(b, p + 22, 4), 8u);
    EXPECT_EQ(le(b, p + 30, 4), 32u);
    EXPECT_EQ(le(b, p + 34, 4), 0xFFFF'FFFAu); // -6 as 32-bit two's complement
    EXPECT_EQ(le(b, p + 42, 4), 1032u);
    EXPECT_EQ(le(b, p + 46, 4), 77u);
    EXPECT_EQ(le(b, p + 62, 4), 123456u);
    EXPECT_EQ(le(b, p + 66, 2), 0xBEEFu);
    std::size_t at = p + 68;
    EXPECT_EQ(le(b, at, 4), 2u);
    at += 4;
    // First folder record: L = 4 + 15, name, first cluster 3, parent 0, dates, deleted, reserved.
    EXPECT_EQ(le(b, at, 2), 19u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()) + at + 2, 4), "DOCS");
    EXPECT_EQ(le(b, at + 6, 4), 3u);
    EXPECT_EQ(le(b, at + 14, 2), 0x3263u);
    EXPECT_EQ(le(b, at + 16, 2), 0x3264u);
    EXPECT_EQ(le(b, at + 18, 1), 0u);
    at += 21 + 2 + 19; // past the second folder record (name of 4)
    EXPECT_EQ(le(b, at, 4), 3u);
    at += 4;
    // First file record: L = 5 + 21, ..., size at 14+N, deleted at 18+N, ordinal at 19+N.
    EXPECT_EQ(le(b, at, 2), 26u);
    EXPECT_EQ(le(b, at + 2 + 5, 4), 10u);
    EXPECT_EQ(le(b, at + 14 + 5, 4), 1234u);
    EXPECT_EQ(le(b, at + 18 + 5, 1), 1u);
    EXPECT_EQ(le(b, at + 19 + 5, 4), 0u);
}

TEST(SnapshotFormat, NtfsFileKeepsRecordSectorBeforeTheNameAndSplitsWideValues)
{
    const auto b = encode(ntfsContent());
    const auto l = layoutOf(b);
    const std::size_t p = l.bodyStart - 68;
    EXPECT_EQ(le(b, p + 46, 4), 0xFFFF'FFF8u);
    std::size_t at = l.folderEnds.front() - (2 + 27 + 5);
    EXPECT_EQ(le(b, at, 2), 32u);
    EXPECT_EQ(le(b, at + 10 + 5, 4), 0x1111'2222u); // created, low half
    EXPECT_EQ(le(b, at + 14 + 5, 4), 0x01D9'0000u); // created, high half
    at = l.fileCountEnd;
    EXPECT_EQ(le(b, at, 2), 10u + 37u);
    EXPECT_EQ(le(b, at + 2, 4), 0xFFFF'FFFFu); // recordSector
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()) + at + 6, 10), "report.pdf");
    EXPECT_EQ(le(b, at + 6 + 10, 4), 100u);
    EXPECT_EQ(le(b, at + 31 + 10, 4), 2u); // size, low half
    EXPECT_EQ(le(b, at + 35 + 10, 4), 1u); // size, high half
}

// ---- Round trips ------------------------------------------------------------

TEST(SnapshotRoundTrip, FatAndNtfsReloadToTheSameCatalogueAndResaveByteForByte)
{
    for (const auto& original : {fatContent(), ntfsContent()}) {
        const auto first = encode(original);
        snapshot::SnapshotContent loaded;
        const auto r = snapshot::DecodeSnapshot(first, loaded);
        ASSERT_EQ(r.status, DecodeStatus::Loaded) << r.message;
        EXPECT_EQ(loaded.info.DevicePath, original.info.DevicePath);
        EXPECT_EQ(loaded.info.VolumeLabel, original.info.VolumeLabel);
        EXPECT_EQ(loaded.info.VolumeSectors, original.info.VolumeSectors);
        EXPECT_EQ(loaded.geometry.ClusterBaseSector, original.geometry.ClusterBaseSector);
        EXPECT_EQ(loaded.geometry.MftStartSector, original.geometry.MftStartSector);
        EXPECT_EQ(loaded.geometry.RootDirStart, 0u) << "RootDirStart is not in the file";
        EXPECT_EQ(loaded.catalogue.folderCount(), original.catalogue.folderCount());
        EXPECT_EQ(loaded.catalogue.fileCount(), original.catalogue.fileCount());
        const auto second = encode(loaded);
        EXPECT_EQ(first, second);
    }
    snapshot::SnapshotContent ntfs;
    ASSERT_EQ(snapshot::DecodeSnapshot(encode(ntfsContent()), ntfs).status, DecodeStatus::Loaded);
    const auto& f = ntfs.catalogue.fsLists().NtfsFileList.at(0);
    EXPECT_EQ(f.recordSector, 0xFFFF'FFFFu);
    EXPECT_EQ(f.created, 0x0102'0304'0506'0708ull);
    EXPECT_EQ(f.modified, 0x1112'1314'1516'1718ull);
    EXPECT_EQ(f.size, 0x0000'0001'0000'0002ull);
    EXPECT_EQ(f.parentRecord, 41u);
    EXPECT_EQ(ntfs.catalogue.fsLists().NtfsFolderList.at(1).deleted, 1u);
}

// A volume of 4096-byte sectors adds its sector size after the records (before
// the names marker) and gets it back; one of 512-byte sectors adds nothing.
TEST(SnapshotRoundTrip, SectorSizeTrailerOnlyWhereSectorsAreNot512Bytes)
{
    auto tail = [](const std::vector<std::byte>& bytes, std::size_t n) {
        std::string text;
        for (std::size_t i = bytes.size() - std::min(n, bytes.size()); i < bytes.size(); ++i)
            text.push_back(static_cast<char>(bytes[i]));
        return text;
    };
    auto c = ntfsContent();
    const auto classic = encode(c);
    EXPECT_EQ(tail(classic, 64).find("SECTOR="), std::string::npos);

    c.info.BytesPerSector = 4096;
    c.geometry.MftRecordSectors = 8;
    c.catalogue.NamesAreUtf8 = true;
    const auto bytes = encode(c);
    EXPECT_EQ(bytes.size(), classic.size() + 22);
    EXPECT_EQ(tail(bytes, 22), "SECTOR=4096NAMES=UTF-8");
    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(bytes, loaded).status, DecodeStatus::Loaded);
    EXPECT_EQ(loaded.info.BytesPerSector, 4096u);
    EXPECT_EQ(loaded.geometry.MftRecordSectors, 8u);
    EXPECT_TRUE(loaded.catalogue.NamesAreUtf8);
    EXPECT_EQ(encode(loaded), bytes);
}

TEST(SnapshotRoundTrip, ReservedFieldsAndStoredOrdinalsAreNotCarriedButARenameIs)
{
    auto c = fatContent();
    c.catalogue.fsLists().FatFolderList[0].reserved = 0x5A5A;
    c.catalogue.fsLists().FatFolderList[0].name = "RENAMED";
    for (auto& f : c.catalogue.fsLists().FatFileList)
        f.ordinal = 99 - f.ordinal; // ordinals a file may hold: 99, 98, 97
    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(encode(c), loaded).status, DecodeStatus::Loaded);
    EXPECT_EQ(loaded.catalogue.fsLists().FatFolderList[0].name, "RENAMED");
    EXPECT_EQ(loaded.catalogue.fsLists().FatFolderList[0].reserved, 0u);
    ASSERT_EQ(loaded.catalogue.fsLists().FatFileList.size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(loaded.catalogue.fsLists().FatFileList[i].ordinal, i);
    EXPECT_EQ(loaded.catalogue.fileCount(), 3u);
}

TEST(SnapshotRoundTrip, ScannedFat16VolumeLoadsIntoASessionWithItsTree)
{
    // 1 reserved sector, FATs of 4, 64 root entries: root at sector 9, clusters from 13.
    auto image = test::fat16Boot(400, 1, 4, 1, 64);
    auto entry = [&](std::uint64_t at, std::string_view name11, std::uint8_t attr, std::uint32_t cluster,
                     std::uint32_t size) {
        image.putText(at, name11);
        image.put(at + 11, 1, attr);
        image.put(at + 26, 2, cluster);
        image.put(at + 28, 4, size);
    };
    entry(9 * 512, "DIR        ", 0x10, 3, 0);
    entry(9 * 512 + 32,
          "\xE5"
          "ONE    TXT",
          0x20, 7, 100);
    const std::uint64_t dir = (13 + 1) * 512ull; // cluster 3
    entry(dir, ".          ", 0x10, 3, 0);
    entry(dir + 32, "..         ", 0x10, 0, 0);
    entry(dir + 64, "\xE5WO    TXT", 0x20, 8, 200);
    scan::ScanSession scanned;
    ASSERT_TRUE(test::selectImage(scanned.volume, image));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    scan::RunScan(scanned, quiet, control);
    ASSERT_EQ(scanned.catalogue.fsLists().FatFileList.size(), 2u);

    std::vector<std::byte> bytes;
    ASSERT_TRUE(snapshot::EncodeSnapshot(scanned.volume.info, scanned.volume.partition, scanned.volume.geometry,
                                         scanned.catalogue, bytes)
                    .ok);
    scan::ScanSession loaded;
    loaded.volume.geometry.RootDirStart = 4242;
    const auto r = snapshot::LoadSnapshot(loaded, bytes);
    ASSERT_EQ(r.status, DecodeStatus::Loaded) << r.message;
    EXPECT_EQ(loaded.volume.geometry.RootDirStart, 4242u) << "a load keeps RootDirStart";
    EXPECT_EQ(loaded.volume.geometry.ClusterBaseSector, scanned.volume.geometry.ClusterBaseSector);
    EXPECT_EQ(loaded.volume.reader.DevicePath(), "mem.img");
    EXPECT_FALSE(loaded.volume.reader.isOpen());
    EXPECT_EQ(loaded.tree.size(), scanned.tree.size());
    const auto rootRows = loaded.rows(0);
    const auto scannedRows = scanned.rows(0);
    ASSERT_EQ(rootRows.size(), scannedRows.size());
    for (std::size_t i = 0; i < rootRows.size(); ++i)
        EXPECT_EQ(rootRows[i].name, scannedRows[i].name);
    EXPECT_EQ(loaded.rows(3).size(), 1u);
}

TEST(SnapshotRoundTrip, EmptyScanEndsWithTwoZeroCountsAndLoadsToRootOnly)
{
    auto c = fatContent();
    c.catalogue.ClearFatCatalogue();
    const auto b = encode(c);
    ASSERT_GE(b.size(), 8u);
    EXPECT_EQ(le(b, b.size() - 8, 4), 0u);
    EXPECT_EQ(le(b, b.size() - 4, 4), 0u);
    EXPECT_EQ(layoutOf(b).bodyStart + 8, b.size());
    scan::ScanSession s;
    ASSERT_EQ(snapshot::LoadSnapshot(s, b).status, DecodeStatus::Loaded);
    EXPECT_EQ(s.tree.size(), 1u);
    EXPECT_EQ(s.tree.root().name, "Root");
    EXPECT_TRUE(s.rows(0).empty());
}

// ---- Tag and version --------------------------------------------------------

TEST(SnapshotLoad, TagAndVersionAreComparedWithoutCaseAndRefusalsKeepTheirTexts)
{
    auto b = encode(fatContent());
    auto upper = b;
    for (std::size_t i = 0; i < 7; ++i)
        upper[i] = static_cast<std::byte>(std::toupper(std::to_integer<int>(upper[i])));
    snapshot::SnapshotContent c;
    EXPECT_EQ(snapshot::DecodeSnapshot(upper, c).status, DecodeStatus::Loaded);
    EXPECT_TRUE(snapshot::HasSnapshotTag(upper));

    auto wrongTag = bytesOf(std::string("abc\0def1.0", 10));
    auto r = snapshot::DecodeSnapshot(wrongTag, c);
    EXPECT_EQ(r.status, DecodeStatus::Refused);
    EXPECT_EQ(r.message, "    Invalid version of the file found : abc");
    r = snapshot::DecodeSnapshot(bytesOf("rvx4"), c);
    EXPECT_EQ(r.message, "    Invalid version of the file found : rvx4");

    auto v2 = b;
    v2[7] = std::byte{'2'};
    r = snapshot::DecodeSnapshot(v2, c);
    EXPECT_EQ(r.status, DecodeStatus::Refused);
    EXPECT_EQ(r.message, "              version of file does not match with current version 1.0");
}

TEST(SnapshotLoad, RefusedFileLeavesThePreviousSessionUntouched)
{
    scan::ScanSession s;
    const auto good = encode(ntfsContent());
    ASSERT_EQ(snapshot::LoadSnapshot(s, good).status, DecodeStatus::Loaded);
    const auto before = encode({s.volume.info, s.volume.partition, s.volume.geometry, s.catalogue});
    const auto treeSize = s.tree.size();

    auto v2 = encode(fatContent());
    v2[7] = std::byte{'2'};
    auto longPath = encode(fatContent());
    disk::putUint(longPath, 12, 2, snapshot::kMaxDevicePathLength + 1);
    auto longLabel = encode(fatContent());
    disk::putUint(longLabel, 27 + 9, 2, snapshot::kMaxVolumeLabelLength + 1);
    auto cutGeometry = encode(fatContent());
    cutGeometry.resize(layoutOf(cutGeometry).bodyStart - 1);
    for (const auto& bad : {v2, longPath, longLabel, cutGeometry}) {
        const auto r = snapshot::LoadSnapshot(s, bad);
        EXPECT_EQ(r.status, DecodeStatus::Refused);
        EXPECT_FALSE(r.message.empty());
        EXPECT_EQ(encode({s.volume.info, s.volume.partition, s.volume.geometry, s.catalogue}), before);
        EXPECT_EQ(s.tree.size(), treeSize);
        EXPECT_EQ(s.catalogue.fsLists().NtfsFileList.size(), 2u);
    }
}

// ---- Damage -----------------------------------------------------------------

TEST(SnapshotLoad, CutAtEveryLengthMakesOnlyEntriesFromWholeRecords)
{
    for (const auto& original : {fatContent(), ntfsContent()}) {
        const auto full = encode(original);
        const auto l = layoutOf(full);
        const std::uint16_t kind = original.geometry.GeometryKind;
        for (std::size_t cut = 0; cut <= full.size(); ++cut) {
            const std::vector<std::byte> part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
            snapshot::SnapshotContent c;
            const auto r = snapshot::DecodeSnapshot(part, c);
            SCOPED_TRACE("cut at " + std::to_string(cut));
            if (cut < l.bodyStart) {
                EXPECT_EQ(r.status, DecodeStatus::Refused);
                continue;
            }
            EXPECT_EQ(r.status, cut == full.size() ? DecodeStatus::Loaded : DecodeStatus::Damaged);
            EXPECT_EQ(r.message.empty(), cut == full.size());
            std::size_t folders = 0;
            for (const auto end : l.folderEnds)
                folders += (cut >= l.bodyStart + 4 && end <= cut) ? 1 : 0;
            std::size_t files = 0;
            for (const auto end : l.fileEnds)
                files += (cut >= l.fileCountEnd && end <= cut) ? 1 : 0;
            EXPECT_EQ(folderCount(c.catalogue, kind), folders);
            EXPECT_EQ(fileCount(c.catalogue, kind), files);
            EXPECT_EQ(c.catalogue.folderCount(), folders);
            EXPECT_EQ(c.catalogue.fileCount(), files);
        }
    }
}

TEST(SnapshotLoad, DamagedRecordStopsTheLoadAndKeepsWhatCameBefore)
{
    const auto full = encode(fatContent());
    const auto l = layoutOf(full);
    struct Case {
        const char* what;
        std::vector<std::byte> bytes;
        std::size_t folders;
        std::size_t files;
    };
    std::vector<Case> cases;

    auto bigCount = full;
    disk::putUint(bigCount, l.folderEnds.back(), 4, 0xFFFF'FFFFu); // file count far beyond the records
    cases.push_back({"count larger than the records", bigCount, 2, 3});

    auto shortLength = full;
    disk::putUint(shortLength, l.folderEnds[0], 2, 14); // second folder: less than its 15 fixed bytes
    cases.push_back({"length below the fixed part", shortLength, 1, 0});

    auto zeroLength = full;
    disk::putUint(zeroLength, l.fileCountEnd, 2, 0);
    cases.push_back({"zero length", zeroLength, 2, 0});

    auto longName = full;
    disk::putUint(longName, l.bodyStart + 4, 2, 256 + 15); // a name of 256 characters
    longName.resize(longName.size() + 300);
    cases.push_back({"name longer than 255", longName, 0, 0});

    {
        // The second folder's record, 14 bytes long where its fixed part takes 15.
        snapshot::SnapshotContent c;
        const snapshot::DamageNote note = snapshot::DecodeSnapshot(shortLength, c).damage;
        EXPECT_EQ(note.what, snapshot::SnapshotDamage::RecordTooShort);
        EXPECT_TRUE(note.folders);
        EXPECT_EQ(note.index, 2u);
        EXPECT_EQ(note.value, 14u);
        EXPECT_EQ(note.limit, 15u);
        EXPECT_EQ(note.offset, l.folderEnds[0]);
    }
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        snapshot::SnapshotContent c;
        const auto r = snapshot::DecodeSnapshot(k.bytes, c);
        EXPECT_EQ(r.status, DecodeStatus::Damaged);
        EXPECT_NE(r.message.find("damaged"), std::string::npos) << r.message;
        // The message words the note a front end words in its own language.
        EXPECT_NE(r.damage.what, snapshot::SnapshotDamage::None);
        EXPECT_EQ(r.message, snapshot::damageMessage(r.damage));
        EXPECT_EQ(c.catalogue.fsLists().FatFolderList.size(), k.folders);
        EXPECT_EQ(c.catalogue.fsLists().FatFileList.size(), k.files);
        EXPECT_EQ(c.info.DevicePath, "/dev/sdb1");
    }
}

TEST(SnapshotLoad, UnknownGeometryKindReadsNoBody)
{
    auto c = fatContent();
    c.geometry.GeometryKind = 400;
    auto b = encode(c);
    EXPECT_EQ(b.size(), layoutOf(encode(fatContent())).bodyStart);
    b.push_back(std::byte{0x7F}); // whatever follows is not read
    snapshot::SnapshotContent loaded;
    EXPECT_EQ(snapshot::DecodeSnapshot(b, loaded).status, DecodeStatus::Loaded);
    EXPECT_TRUE(loaded.catalogue.fsLists().FatFolderList.empty());
    EXPECT_TRUE(loaded.catalogue.fsLists().NtfsFolderList.empty());
    EXPECT_EQ(loaded.geometry.GeometryKind, 400u);
}

// ---- Values that do not fit -------------------------------------------------

TEST(SnapshotSave, ValuesBeyondTheirFieldsFailInsteadOfWrapping)
{
    std::vector<std::pair<const char*, snapshot::SnapshotContent>> cases;
    auto add = [&](const char* what, auto change, bool ntfs) {
        auto c = ntfs ? ntfsContent() : fatContent();
        change(c);
        cases.emplace_back(what, std::move(c));
    };
    add(
        "recordSector", [](auto& c) { c.catalogue.fsLists().NtfsFileList[1].recordSector = 1ull << 32; }, true);
    add(
        "MftStartSector", [](auto& c) { c.geometry.MftStartSector = 1ull << 32; }, true);
    add(
        "base below", [](auto& c) { c.geometry.ClusterBaseSector = std::int64_t{INT32_MIN} - 1; }, false);
    add(
        "base above", [](auto& c) { c.geometry.ClusterBaseSector = std::int64_t{INT32_MAX} + 1; }, false);
    add(
        "file name", [](auto& c) { c.catalogue.fsLists().FatFileList[2].name.assign(256, 'n'); }, false);
    add(
        "folder name", [](auto& c) { c.catalogue.fsLists().NtfsFolderList[0].name.assign(70000, 'n'); }, true);
    add(
        "device path", [](auto& c) { c.info.DevicePath.assign(snapshot::kMaxDevicePathLength + 1, 'p'); }, false);
    add(
        "label", [](auto& c) { c.info.VolumeLabel.assign(snapshot::kMaxVolumeLabelLength + 1, 'l'); }, true);
    for (const auto& [what, c] : cases) {
        SCOPED_TRACE(what);
        std::vector<std::byte> out{std::byte{1}};
        const auto r = snapshot::EncodeSnapshot(c.info, c.partition, c.geometry, c.catalogue, out);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("Cannot save"), std::string::npos) << r.error;
        EXPECT_EQ(out.size(), 1u);
    }
    // The edges that do fit load back as they were.
    auto c = fatContent();
    c.geometry.ClusterBaseSector = INT32_MIN;
    c.catalogue.fsLists().FatFileList[2].name.assign(255, 'n');
    snapshot::SnapshotContent loaded;
    ASSERT_EQ(snapshot::DecodeSnapshot(encode(c), loaded).status, DecodeStatus::Loaded);
    EXPECT_EQ(loaded.geometry.ClusterBaseSector, INT32_MIN);
    EXPECT_EQ(loaded.catalogue.fsLists().FatFileList[2].name.size(), 255u);
}

// ---- Paths and files --------------------------------------------------------

TEST(SnapshotSave, PathRuleUpperCasesTheNameAndAddsOneExtension)
{
    using snapshot::SnapshotPath;
    EXPECT_EQ(SnapshotPath("/home/u/scans/a", true), "/home/u/scans/A.RVU");
    EXPECT_EQ(SnapshotPath("/home/u/scans/a.rvu", true), "/home/u/scans/A.RVU");
    EXPECT_EQ(SnapshotPath("/home/u/scans/A.Rvu", true), "/home/u/scans/A.RVU");
    EXPECT_EQ(SnapshotPath("b.rvux", true), "B.RVUX.RVU");
    EXPECT_EQ(SnapshotPath("rvu", true), "RVU.RVU");
    EXPECT_EQ(SnapshotPath("/x.rvu/caf\xC3\xA9", true), "/x.rvu/CAF\xC3\xA9.RVU") << "only ASCII letters change";
    EXPECT_EQ(SnapshotPath("c:\\scans\\a", false), "C:\\SCANS\\A.RVU");
    EXPECT_EQ(SnapshotPath("c:\\scans\\a.rvu", false), "C:\\SCANS\\A.RVU");
}

TEST(SnapshotFile, SaveWritesTheRuledPathAndLoadReadsItBack)
{
    const auto dir = std::filesystem::temp_directory_path() /
                     ("sarvik-snap-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    scan::ScanSession s;
    ASSERT_EQ(snapshot::LoadSnapshot(s, encode(ntfsContent())).status, DecodeStatus::Loaded);

    const auto saved = snapshot::SaveSnapshot(s, (dir / "scan1").string());
    ASSERT_TRUE(saved.ok) << saved.message;
    // A system whose names ignore case gets the whole path upper-cased.
    const std::string expected = (dir / "SCAN1.RVU").string();
    EXPECT_TRUE(snapshot::kCaseSensitiveFileNames
                    ? saved.path == expected
                    : std::ranges::equal(saved.path, expected,
                                         [](char a, char b) {
                                             return std::toupper(static_cast<unsigned char>(a)) ==
                                                    std::toupper(static_cast<unsigned char>(b));
                                         }))
        << saved.path;
    EXPECT_TRUE(snapshot::IsSnapshotFile(saved.path));

    scan::ScanSession again;
    EXPECT_EQ(snapshot::LoadSnapshotFile(again, saved.path).status, DecodeStatus::Loaded);
    EXPECT_EQ(again.catalogue.fsLists().NtfsFileList.size(), 2u);

    const auto missing = snapshot::LoadSnapshotFile(again, (dir / "none.RVU").string());
    EXPECT_EQ(missing.status, DecodeStatus::Refused);
    EXPECT_EQ(missing.message, "Unable to open the file");
    EXPECT_EQ(again.catalogue.fsLists().NtfsFileList.size(), 2u);

    const auto noFolder = snapshot::SaveSnapshot(s, (dir / "no" / "such").string());
    EXPECT_FALSE(noFolder.ok);
    EXPECT_EQ(noFolder.message, "Unable to open the file");

    // A save that cannot be encoded leaves an existing file as it was.
    const auto before = std::filesystem::file_size(saved.path);
    s.catalogue.fsLists().NtfsFileList[0].recordSector = 1ull << 40;
    const auto refused = snapshot::SaveSnapshot(s, saved.path);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(std::filesystem::file_size(saved.path), before);

    std::ofstream(dir / "plain.img") << "not a snapshot";
    EXPECT_FALSE(snapshot::IsSnapshotFile((dir / "plain.img").string()));
    EXPECT_FALSE(snapshot::IsSnapshotFile(dir.string()));
    std::filesystem::remove_all(dir);
}

TEST(SnapshotVolume, GeometryDifferencesNameEachFieldThatDiffers)
{
    const auto c = fatContent();
    EXPECT_TRUE(snapshot::GeometryDifferences(c.geometry, c.geometry, true).empty());
    auto other = c.geometry;
    other.SectorsPerCluster = 4;
    other.SecondFatSector = 900;
    auto lines = snapshot::GeometryDifferences(c.geometry, other, true);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "sectors per cluster: snapshot 8, volume 4");
    EXPECT_EQ(lines[1], "second FAT sector: snapshot 1032, volume 900");
    other = ntfsContent().geometry;
    lines = snapshot::GeometryDifferences(c.geometry, other, true);
    EXPECT_EQ(lines.at(0), "file system: snapshot FAT32, volume NTFS");
    EXPECT_EQ(snapshot::GeometryDifferences(c.geometry, other, false).size(), 1u);
    // An NTFS snapshot ignores the FAT fields but not the MFT position.
    auto n = ntfsContent().geometry;
    auto m = n;
    m.FatSectors = 5;
    EXPECT_TRUE(snapshot::GeometryDifferences(n, m, true).empty());
    m.MftStartSector = 32;
    EXPECT_EQ(snapshot::GeometryDifferences(n, m, true).size(), 1u);
}
