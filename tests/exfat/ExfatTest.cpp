// SPDX-License-Identifier: GPL-3.0-or-later
// exFAT: hand-built volumes for what no tool makes (a damaged boot region, a
// set whose checksum fails, a valid length short of the size), and the volume
// made through exfat-fuse (tests/exfat/make-exfat-volume.py) checked against
// its manifest.

#include "catalogue/NameText.h"
#include "disk/ExfatBoot.h"
#include "exfat/ExfatDirectory.h"
#include "recovery/FileRecovery.h"
#include "recovery/Sha256.h"
#include "scan/ScanSession.h"
#include "snapshot/RecoverySnapshot.h"
#include "support/Manifest.h"
#include "support/MemoryOutputFolder.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

using namespace sarvik;
namespace fs = std::filesystem;

namespace {

// A tiny volume: 512-byte sectors and clusters, FAT at sector 24, heap at 32,
// bitmap in cluster 2, up-case table in 3, root folder in 4 and 5.
constexpr std::uint32_t kSectors = 1024;
constexpr std::uint32_t kHeap = 32;
constexpr std::uint32_t kClusters = 900;
constexpr std::uint32_t kRoot = 4;

/// 2021-06-15 12:34:56 as an exFAT timestamp.
constexpr std::uint32_t kStamp = ((41u << 9 | 6u << 5 | 15u) << 16) | (12u << 11 | 34u << 5 | 28u);

class ExfatImage {
public:
    ExfatImage() : m_image(kSectors)
    {
        m_image.putText(3, "EXFAT   ");
        put(72, 8, kSectors);
        put(80, 4, 24);
        put(84, 4, 8);
        put(88, 4, kHeap);
        put(92, 4, kClusters);
        put(96, 4, kRoot);
        put(100, 4, 0x12345678);
        put(104, 2, 0x100);
        put(108, 1, 9);
        put(109, 1, 0);
        put(110, 1, 1);
        m_image.signature(0);
        fat(0, 0xFFFFFFF8);
        for (std::uint32_t c = 1; c <= kRoot + 1; ++c)
            fat(c, 0xFFFFFFFF);
        fat(kRoot, kRoot + 1); // the root takes two clusters: 32 entries
        for (std::uint32_t c = 2; c <= kRoot + 1; ++c)
            use(c);
        // Root: the label entry and the bitmap entry.
        put(cluster(kRoot), 1, 0x83);
        put(cluster(kRoot) + 1, 1, 4);
        for (std::uint64_t i = 0; i < 4; ++i)
            put(cluster(kRoot) + 2 + 2 * i, 2, u"Café"[i]);
        put(cluster(kRoot) + 32, 1, 0x81);
        put(cluster(kRoot) + 32 + 20, 4, 2);
        put(cluster(kRoot) + 32 + 24, 8, (kClusters + 7) / 8);
        m_rootSlot = 2;
    }

    static std::uint64_t cluster(std::uint64_t c) { return (kHeap + (c - 2)) * 512; }
    void put(std::uint64_t at, unsigned width, std::uint64_t value) { m_image.put(at, width, value); }
    void fat(std::uint32_t c, std::uint32_t value) { put(24 * 512 + std::uint64_t{c} * 4, 4, value); }
    void use(std::uint32_t c)
    {
        const std::uint64_t bit = c - 2;
        const std::uint64_t at = cluster(2) + bit / 8;
        put(at, 1, std::to_integer<std::uint8_t>(m_image.bytes()[at]) | (1u << (bit % 8)));
    }
    void fill(std::uint32_t c, std::uint8_t value)
    {
        for (std::uint64_t i = 0; i < 512; ++i)
            put(cluster(c) + i, 1, value);
    }

    struct Set {
        std::u16string name;
        std::uint32_t firstCluster = 0;
        std::uint64_t length = 0;
        std::uint64_t valid = 0;
        bool noFatChain = true;
        bool deleted = true;
        bool folder = false;
        std::uint8_t utc = 0x88; // valid, +2 hours
        std::uint32_t stamp = kStamp;
    };
    /// Writes an entry set into the folder at `folderCluster` (the root when 0),
    /// at its next free slot; returns the byte offset of its file entry.
    std::uint64_t add(const Set& s, std::uint32_t folderCluster = 0)
    {
        std::uint32_t& slot = folderCluster == 0 ? m_rootSlot : m_slots[folderCluster];
        const std::uint64_t at = cluster(folderCluster == 0 ? kRoot : folderCluster) + slot * 32;
        const std::size_t names = (s.name.size() + 14) / 15;
        std::vector<std::byte> set((names + 2) * 32);
        auto w = [&](std::size_t off, unsigned width, std::uint64_t v) { disk::putUint(set, off, width, v); };
        w(0, 1, 0x85);
        w(1, 1, names + 1);
        w(4, 2, s.folder ? 0x10 : 0x20);
        w(12, 4, s.stamp);
        w(16, 4, kStamp);
        w(21, 1, 78);
        w(23, 1, s.utc);
        w(32, 1, 0xC0);
        w(33, 1, s.noFatChain ? 3 : 1);
        w(35, 1, s.name.size());
        w(40, 8, s.valid);
        w(52, 4, s.firstCluster);
        w(56, 8, s.length);
        for (std::size_t i = 0; i < s.name.size(); ++i) {
            const std::size_t e = 64 + (i / 15) * 32;
            w(e, 1, 0xC1);
            w(e + 2 + (i % 15) * 2, 2, s.name[i]);
        }
        w(2, 2, exfat::entrySetChecksum(set));
        for (std::size_t e = 0; e < set.size(); e += 32)
            if (s.deleted)
                set[e] &= std::byte{0x7F};
        for (std::size_t i = 0; i < set.size(); ++i)
            put(at + i, 1, std::to_integer<std::uint8_t>(set[i]));
        slot += static_cast<std::uint32_t>(names + 2);
        return at;
    }

    /// Writes the boot region's checksum and its backup copy.
    test::ImageBuilder& finish()
    {
        const std::uint32_t sum = disk::exfatBootRegionChecksum(m_image.bytes(), 512);
        for (std::uint32_t i = 0; i < 512; i += 4)
            put(11 * 512 + i, 4, sum);
        std::copy_n(m_image.bytes().begin(), 12 * 512, m_image.bytes().begin() + 12 * 512);
        return m_image;
    }

private:
    test::ImageBuilder m_image;
    std::uint32_t m_rootSlot = 0;
    std::map<std::uint32_t, std::uint32_t> m_slots;
};

bool scanBuilt(scan::ScanSession& session, const test::ImageBuilder& image)
{
    if (!test::selectImage(session.volume, image))
        return false;
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    scan::RunScan(session, quiet, control, scan::ScanOptions{true});
    return true;
}

struct Copied {
    std::shared_ptr<recovery::MemoryOutputFolder> dest = std::make_shared<recovery::MemoryOutputFolder>("/dest");
    recovery::RecoveryReport report;
};

/// Recover-all of the root's rows into memory.
Copied recoverAll(scan::ScanSession& session)
{
    Copied out;
    recovery::RecoverySettings settings;
    settings.KeepOriginalTimes = true;
    catalogue::RecoveryControl control;
    recovery::RecoveryObserver observer;
    recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, settings, control,
                                  observer, out.report);
    copier.RecoverListItems(session.rows(session.tree.rootKey()), recovery::RecoveryMode::All, {}, {out.dest, "/dest"});
    return out;
}

} // namespace

// Sets are read with their names, lengths and times; a set whose checksum fails
// and one half overwritten by a later set are passed over; a deleted folder is
// read from its own stream extension; the label comes from its entry.
TEST(ExfatVolume, ScanReadsDeletedSetsAndMarksDamagedOnes)
{
    ExfatImage v;
    v.add({u"half.bin", 10, 1500, 700});
    v.fill(10, 0xAB), v.fill(11, 0xAB), v.fill(12, 0xAB);
    v.add({u"chain \U0001F600 file with a name of more than fifteen units.txt", 20, 1024, 1024, false});
    v.fill(20, 0x20), v.fill(21, 0x21), v.fill(22, 0x22);
    v.use(21); // a live file's cluster between: the copy passes over it
    v.add({u"empty.txt", 0, 0, 0});
    v.add({u"Old", 30, 512, 512, true, true, true});
    v.add({u"inner.txt", 31, 5, 5, true, false}, 30); // live in a deleted folder: listed
    v.fill(31, 'i');
    const std::uint64_t bad = v.add({u"bad.txt", 40, 5, 5});
    v.put(bad + 32 + 20, 4, 41); // its first cluster (stream extension offset 20) changed after the checksum
    v.fill(41, 'b');
    // A damaged set whose count claims the next set's entries is no set: the
    // next one is still read (in folder Old: the root is full).
    const std::uint64_t greedy = v.add({u"greedy.txt", 43, 5, 5}, 30);
    v.put(greedy + 1, 1, 4);
    v.add({u"next.txt", 44, 5, 5}, 30);
    // A deleted set whose name entry a later, live set took.
    const std::uint64_t over = v.add({u"over.txt", 42, 5, 5});
    v.put(over + 64, 1, 0xC1);
    // Two deleted files of one day on one cluster: the later one (by two
    // seconds) took it, so only the earlier one is overwritten.
    v.add({u"earlier.txt", 50, 5, 5, true, true, false, 0x88, kStamp});
    v.add({u"later.txt", 50, 5, 5, true, true, false, 0x88, kStamp + 1});
    auto& image = v.finish();

    scan::ScanSession session;
    ASSERT_TRUE(scanBuilt(session, image));
    EXPECT_EQ(session.volume.info.FileSystemKind, disk::VolumeKind::Exfat);
    std::map<std::string, std::string> condition;
    std::map<std::string, std::string> modified; // the file list's columns
    std::map<std::string, std::string> type;
    for (const auto& row : session.rows(session.tree.rootKey())) {
        condition[row.name] = row.condition;
        modified[row.name] = row.modified;
        type[row.name] = row.type;
    }
    EXPECT_EQ(type["bad.txt"], "Deleted TXT File (damaged entry set)");
    EXPECT_EQ(type["half.bin"], "Deleted BIN File");
    // 12:34:56.78 at UTC+2: 10:34:56 UTC, as NTFS rows show their times.
    EXPECT_EQ(modified["half.bin"], "15-6-2021 10:34:56");
    EXPECT_EQ(condition["earlier.txt"], "Overwritten");
    EXPECT_EQ(condition["later.txt"], "Good");
    EXPECT_EQ(condition["half.bin"], "Good");
    EXPECT_EQ(catalogue::toUtf8(session.volume.info.VolumeLabel), "Café"); // carried as 8-bit text
    EXPECT_FALSE(session.volume.info.BackupBootSector);
    std::map<std::string, const catalogue::FatFileEntry*> files;
    for (const auto& e : session.catalogue.fsLists().FatFileList)
        files[e.name] = &e;
    // Listed as its entries say, marked: its data is read from cluster 41.
    ASSERT_EQ(files.count("bad.txt"), 1u);
    EXPECT_TRUE(files["bad.txt"]->exfat->checksumBad);
    EXPECT_EQ(files["bad.txt"]->firstCluster, 41u);
    EXPECT_EQ(files.count("greedy.txt"), 0u);
    ASSERT_EQ(files.count("next.txt"), 1u);
    EXPECT_FALSE(files["next.txt"]->exfat->checksumBad);
    EXPECT_EQ(files.count("over.txt"), 0u);
    ASSERT_EQ(files.count("half.bin"), 1u);
    ASSERT_EQ(files.count("inner.txt"), 1u);
    ASSERT_EQ(files.count("chain \xF0\x9F\x98\x80 file with a name of more than fifteen units.txt"), 1u);
    EXPECT_EQ(files["half.bin"]->exfat->validDataLength, 700u);
    EXPECT_EQ(files["inner.txt"]->parentCluster, 30u);
    ASSERT_EQ(session.catalogue.fsLists().FatFolderList.size(), 1u);
    EXPECT_EQ(session.catalogue.fsLists().FatFolderList[0].deleted, 1u);

    const Copied c = recoverAll(session);
    EXPECT_EQ(c.report.totals().failed, 0u);
    const auto* half = c.dest->find("half.bin");
    ASSERT_NE(half, nullptr);
    ASSERT_EQ(half->bytes.size(), 1500u);
    EXPECT_EQ(std::count(half->bytes.begin(), half->bytes.begin() + 700, std::byte{0xAB}), 700);
    EXPECT_EQ(std::count(half->bytes.begin() + 700, half->bytes.end(), std::byte{0}), 800); // past the valid length
    EXPECT_EQ(half->holes, (std::vector<recovery::MemoryOutputFolder::Hole>{{700, 800}}));  // never written: a hole
    // 2021-06-15 12:34:56.78 at UTC+2.
    ASSERT_TRUE(half->times);
    EXPECT_EQ(half->times->modified, 1623753296);
    EXPECT_EQ(half->times->modifiedNanoseconds, 780000000u);
    const auto* chain = c.dest->find("chain \xF0\x9F\x98\x80 file with a name of more than fifteen units.txt");
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(chain->bytes.size(), 1024u);
    EXPECT_EQ(chain->bytes[0], std::byte{0x20});
    EXPECT_EQ(chain->bytes[512], std::byte{0x22}); // the next free cluster, not the live one
    const auto* damaged = c.dest->find("bad.txt");
    ASSERT_NE(damaged, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(damaged->bytes.data()), damaged->bytes.size()), "bbbbb");
    const auto* empty = c.dest->find("empty.txt");
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->bytes.empty());
    const auto* inner = c.dest->find("Old/inner.txt");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(inner->bytes.data()), inner->bytes.size()), "iiiii");

    // Snapshots do not hold exFAT's stream extensions: saving says so.
    std::vector<std::byte> out;
    const auto saved = snapshot::EncodeSnapshot(session.volume.info, session.volume.partition, session.volume.geometry,
                                                session.catalogue, out);
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.error.find("exFAT snapshots are not supported"), std::string::npos) << saved.error;
}

// A main boot region that fails its checksum gives way to the backup; the
// classic rules do not read exFAT at all.
// The deep search's folders in free space, whose later clusters start in the
// middle of an entry set: a lost folder of three clusters in a row is read
// whole; a deleted folder whose second cluster lies elsewhere is followed there
// by the set its first cluster cut (its checksum holding over both); a later
// cluster that nothing leads to is listed for the whole sets it holds.
TEST(ExfatVolume, DeepSearchFollowsFoldersIntoLaterClusters)
{
    ExfatImage image;
    // Sets of three entries laid end to end over `clusters` (16 entries each).
    const auto lay = [&image](const std::vector<ExfatImage::Set>& sets, const std::vector<std::uint32_t>& clusters) {
        ExfatImage scratch;
        std::uint64_t at = 0;
        for (const ExfatImage::Set& set : sets) {
            const std::uint64_t offset = scratch.add(set, 700);
            at = at == 0 ? offset : at;
        }
        const std::vector<std::byte>& from = scratch.finish().bytes();
        for (std::size_t k = 0; k < clusters.size(); ++k)
            for (std::uint64_t i = 0; i < 512; ++i)
                image.put(ExfatImage::cluster(clusters[k]) + i, 1,
                          std::to_integer<std::uint8_t>(from[at + k * 512 + i]));
    };
    const auto files = [](const std::string& stem, std::uint32_t count, std::uint32_t cluster) {
        std::vector<ExfatImage::Set> sets;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::string name = stem + std::string(1, static_cast<char>('a' + i)) + ".jpg";
            sets.push_back({std::u16string(name.begin(), name.end()), cluster + i, 100, 100});
        }
        return sets;
    };
    const auto names = [](const std::vector<ExfatImage::Set>& sets, std::size_t from, std::size_t to) {
        std::vector<std::string> out;
        for (std::size_t i = from; i < to; ++i)
            out.emplace_back(sets[i].name.begin(), sets[i].name.end());
        return out;
    };
    const auto lost = files("lost", 16, 500); // 48 entries: clusters 100 to 102
    lay(lost, {100, 101, 102});
    const auto holiday = files("trip", 8, 530); // 24 entries: cluster 150, then 400
    lay(holiday, {150, 400});
    image.add({u"Holiday", 150, 512, 512, true, true, true});
    image.fill(299, 0xFF); // old bytes: nothing leads to 300
    const auto far = files("far", 8, 560);
    lay(far, {299, 300});
    image.fill(299, 0xFF);

    scan::ScanSession s;
    ASSERT_TRUE(test::selectImage(s.volume, image.finish()));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    scan::RunScan(s, quiet, control, scan::ScanOptions{true, false, true});

    const auto filesIn = [&s](std::uint32_t folder) {
        std::vector<std::string> in;
        for (const catalogue::FatFileEntry& f : s.catalogue.fsLists().FatFileList)
            if (f.parentCluster == folder)
                in.push_back(f.name);
        std::sort(in.begin(), in.end());
        return in;
    };
    ASSERT_NE(s.catalogue.findFatFolder(100), nullptr);
    EXPECT_EQ(s.catalogue.findFatFolder(100)->name, "$Lost folder 100");
    EXPECT_EQ(filesIn(100), names(lost, 0, 16));
    EXPECT_EQ(s.catalogue.findFatFolder(101), nullptr);
    ASSERT_NE(s.catalogue.findFatFolder(150), nullptr);
    EXPECT_EQ(s.catalogue.findFatFolder(150)->name, "Holiday");
    EXPECT_EQ(filesIn(150), names(holiday, 0, 8));
    EXPECT_EQ(s.catalogue.findFatFolder(400), nullptr);
    // Five sets and the first entry of the sixth lay in cluster 299: cluster
    // 300 holds the sixth's last two entries, then two whole sets.
    ASSERT_NE(s.catalogue.findFatFolder(300), nullptr);
    EXPECT_EQ(filesIn(300), names(far, 6, 8));
}

TEST(ExfatVolume, DamagedMainBootRegionFallsBackToTheBackup)
{
    ExfatImage v;
    v.add({u"a.txt", 10, 5, 5});
    auto& image = v.finish();
    image.put(96, 4, 7); // the main region's root cluster, after its checksum was taken
    scan::ScanSession session;
    ASSERT_TRUE(scanBuilt(session, image));
    EXPECT_TRUE(session.volume.info.BackupBootSector);
    EXPECT_EQ(session.volume.geometry.RootDirStart, kRoot);
    EXPECT_EQ(session.catalogue.fsLists().FatFileList.size(), 1u);
    EXPECT_EQ(disk::ShowVolumeInfo(session.volume.info).fileSystem, "exFAT");

    disk::SelectedVolume classic;
    const auto refused = test::selectImage(classic, image, "mem.img", disk::GeometryRules::Classic);
    EXPECT_EQ(refused.status, disk::SelectStatus::UnsupportedGeometry);

    image.put(12 * 512 + 96, 4, 7); // both regions damaged: the main one is still read
    disk::SelectedVolume both;
    ASSERT_TRUE(test::selectImage(both, image));
    EXPECT_FALSE(both.info.BackupBootSector);
}

// The volume written through exfat-fuse: every deleted file whose data is still
// there comes back byte-exact under its own path, with its modification time.
TEST(ExfatRealVolume, RecoverAllMatchesTheManifest)
{
    const char* env = std::getenv("SARVIK_EXFAT_VOLUMES");
    const fs::path dir = env != nullptr ? fs::path(env) : fs::path(SARVIK_TEST_VOLUMES);
    const fs::path image = dir / "exfat.img";
    if (!fs::exists(image))
        GTEST_SKIP() << "no " << image << " (run tools/make-test-volumes.sh DIR exfat as root)";
    auto bytes = test::readImageFile(image);
    const std::string before = test::sha256Hex(bytes);
    scan::ScanSession session;
    ASSERT_TRUE(test::scanImage(session, std::move(bytes), true));
    EXPECT_EQ(session.volume.info.VolumeLabel, "EXFATTEST");
    const Copied c = recoverAll(session);

    std::size_t checked = 0;
    for (const auto& m : test::readManifest(dir / "exfat.manifest.tsv")) {
        if (!m.isFile() || !m.deleted() || m.noted("overwritten"))
            continue;
        const auto* written = c.dest->find(m.path);
        ASSERT_NE(written, nullptr) << m.path;
        EXPECT_EQ(test::sha256Hex(written->bytes), m.sha256) << m.path;
        const auto at = m.notes.find("mtime=");
        if (at != std::string::npos) {
            const double mtime = std::stod(m.notes.substr(at + 6));
            ASSERT_TRUE(written->times) << m.path;
            EXPECT_NEAR(static_cast<double>(written->times->modified) + written->times->modifiedNanoseconds / 1e9,
                        mtime, 0.001)
                << m.path;
        }
        ++checked;
    }
    EXPECT_GE(checked, 10u);
    const disk::BlockSource& volumeBytes = *session.volume.reader.source();
    std::vector<std::byte> after(volumeBytes.size());
    ASSERT_EQ(volumeBytes.read(0, after), disk::ReadStatus::Ok);
    EXPECT_EQ(test::sha256Hex(after), before);
    std::printf("[ measured ] exfat: %zu deleted files byte-exact, %u written in all\n", checked,
                c.report.totals().written);
}
