// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/FatScan.h"
#include "scan/ScanSession.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace sarvik;

namespace {

// A small FAT16 volume: 1 reserved sector, two FATs of 4 sectors, a root of 64
// entries (4 sectors), then clusters of `spc` sectors.
class Fat16Volume {
public:
    explicit Fat16Volume(std::uint8_t spc = 1, std::uint16_t rootEntries = 64, std::size_t sectors = 400)
        : image(test::fat16Boot(sectors, 1, 4, spc, rootEntries)), m_spc(spc), m_rootStart(9),
          m_dataStart(9 + rootEntries / 16u)
    {
    }

    std::uint64_t rootEntryOffset(unsigned index) const { return m_rootStart * 512ull + index * 32ull; }
    std::uint64_t clusterEntryOffset(std::uint32_t cluster, unsigned index) const
    {
        return (m_dataStart + (cluster - 2ull) * m_spc) * 512 + index * 32ull;
    }

    /// A short entry: `name11` is the 8+3 blank-padded name.
    void shortEntry(std::uint64_t at, std::string_view name11, std::uint8_t attributes, std::uint32_t cluster,
                    std::uint32_t size = 0, std::uint16_t writeDate = 0x3263, std::uint16_t accessDate = 0x3264)
    {
        std::string n(name11);
        n.resize(11, ' ');
        for (std::size_t i = 0; i < 11; ++i)
            image.put(at + i, 1, static_cast<unsigned char>(n[i]));
        image.put(at + 11, 1, attributes);
        image.put(at + 18, 2, accessDate);
        image.put(at + 20, 2, cluster >> 16);
        image.put(at + 24, 2, writeDate);
        image.put(at + 26, 2, cluster & 0xFFFF);
        image.put(at + 28, 4, size);
    }
    /// One long-name entry holding up to 13 characters of `part` (ASCII), with order byte `order`.
    void longEntry(std::uint64_t at, std::uint8_t order, std::string_view part)
    {
        static constexpr unsigned units[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        image.put(at, 1, order);
        image.put(at + 11, 1, 0x0F);
        for (unsigned i = 0; i < 13; ++i) {
            std::uint16_t unit = 0xFFFF;
            if (i < part.size())
                unit = static_cast<unsigned char>(part[i]);
            else if (i == part.size())
                unit = 0;
            image.put(at + units[i], 2, unit);
        }
    }
    /// Live files in entries [from, to) so that no empty entry ends the directory early.
    void fill(std::uint64_t firstEntryOffset, unsigned count)
    {
        for (unsigned i = 0; i < count; ++i)
            shortEntry(firstEntryOffset + i * 32ull, "FILLER  DAT", 0x20, 2, 1);
    }
    /// "." and ".." at the start of a folder's cluster.
    void dotEntries(std::uint32_t cluster, std::uint32_t parent)
    {
        shortEntry(clusterEntryOffset(cluster, 0), ".", 0x10, cluster);
        shortEntry(clusterEntryOffset(cluster, 1), "..", 0x10, parent);
    }

    std::unique_ptr<scan::ScanSession> scan(catalogue::ScanObserver* observer = nullptr,
                                            catalogue::ScanControl* control = nullptr)
    {
        auto session = std::make_unique<scan::ScanSession>();
        EXPECT_TRUE(test::selectImage(session->volume, image));
        catalogue::ScanObserver quiet;
        catalogue::ScanControl ownControl;
        scan::RunScan(*session, observer != nullptr ? *observer : quiet, control != nullptr ? *control : ownControl);
        return session;
    }

    test::ImageBuilder image;

private:
    std::uint32_t m_spc;
    std::uint64_t m_rootStart;
    std::uint64_t m_dataStart;
};

const catalogue::FatFileEntry* file(const scan::ScanSession& s, std::string_view name)
{
    for (const auto& f : s.catalogue.fsLists().FatFileList)
        if (f.name == name)
            return &f;
    return nullptr;
}

const catalogue::FatFolderEntry* folder(const scan::ScanSession& s, std::string_view name)
{
    for (const auto& f : s.catalogue.fsLists().FatFolderList)
        if (f.name == name)
            return &f;
    return nullptr;
}

} // namespace

TEST(FatScan, DeletedShortNameGetsAnXAndLiveFilesAreOnlyCounted)
{
    Fat16Volume v;
    std::string deletedName = "\xE5ILE    TXT";
    v.shortEntry(v.rootEntryOffset(0), deletedName, 0x20, 5, 1234);
    v.shortEntry(v.rootEntryOffset(1), "FILE    TXT", 0x20, 6, 99);
    auto sp = v.scan();
    auto& s = *sp;
    ASSERT_EQ(s.catalogue.fsLists().FatFileList.size(), 1u);
    const auto& f = s.catalogue.fsLists().FatFileList[0];
    EXPECT_EQ(f.name, "xILE.TXT");
    EXPECT_EQ(f.firstCluster, 5u);
    EXPECT_EQ(f.parentCluster, 0u);
    EXPECT_EQ(f.size, 1234u);
    EXPECT_EQ(f.writeDate, 0x3263);
    EXPECT_EQ(f.accessDate, 0x3264);
    EXPECT_EQ(f.ordinal, 0u);
    EXPECT_EQ(s.catalogue.EntriesExamined, 2u);
    EXPECT_EQ(s.catalogue.fileCount(), 1u);
}

TEST(FatScan, DeletedFolderMakesEverythingBelowItDeleted)
{
    Fat16Volume v;
    v.shortEntry(v.rootEntryOffset(0), "LIVE       ", 0x10, 3);
    v.shortEntry(v.rootEntryOffset(1), "\xE5ONE       ", 0x10, 4);
    v.dotEntries(3, 0);
    v.shortEntry(v.clusterEntryOffset(3, 2), "\xE5OST    DOC", 0x20, 10, 10);
    v.dotEntries(4, 0);
    v.shortEntry(v.clusterEntryOffset(4, 2), "INNER   TXT", 0x20, 11, 20); // not marked, but inside a deleted folder
    v.shortEntry(v.clusterEntryOffset(4, 3), "DEEP       ", 0x10, 5);
    v.dotEntries(5, 4);
    v.shortEntry(v.clusterEntryOffset(5, 2), "BOTTOM  TXT", 0x20, 12, 30);
    auto sp = v.scan();
    auto& s = *sp;

    ASSERT_NE(folder(s, "LIVE"), nullptr);
    EXPECT_EQ(folder(s, "LIVE")->deleted, 0u);
    ASSERT_NE(folder(s, "xONE"), nullptr);
    EXPECT_EQ(folder(s, "xONE")->deleted, 1u);
    ASSERT_NE(folder(s, "DEEP"), nullptr);
    EXPECT_EQ(folder(s, "DEEP")->deleted, 1u);
    EXPECT_EQ(folder(s, "DEEP")->parentCluster, 4u);
    ASSERT_NE(file(s, "xOST.DOC"), nullptr);
    EXPECT_EQ(file(s, "xOST.DOC")->parentCluster, 3u);
    ASSERT_NE(file(s, "INNER.TXT"), nullptr);
    EXPECT_EQ(file(s, "INNER.TXT")->parentCluster, 4u);
    ASSERT_NE(file(s, "BOTTOM.TXT"), nullptr);
    EXPECT_EQ(file(s, "BOTTOM.TXT")->parentCluster, 5u);

    // The rows of the deleted folder: its subfolder first, then its files.
    const auto* gone = s.tree.findByKey(4);
    ASSERT_NE(gone, nullptr);
    const auto rows = s.rows(gone->key);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, "DEEP");
    EXPECT_EQ(rows[0].type, "Deleted Folder");
    EXPECT_EQ(rows[1].name, "INNER.TXT");
    EXPECT_EQ(rows[1].type, "Deleted TXT File");
    EXPECT_EQ(rows[1].size, 20u);
    EXPECT_EQ(rows[1].created, "03-03-2005 ");
}

TEST(FatScan, ReusedFolderClusterIsListedButNotRead)
{
    Fat16Volume v;
    v.shortEntry(v.rootEntryOffset(0),
                 "\xE5"
                 "EUSED     ",
                 0x10, 3);
    // Cluster 3 now holds file data, not "." and "..".
    v.shortEntry(v.clusterEntryOffset(3, 0), "\xE5NOTHER TXT", 0x20, 9, 5);
    v.shortEntry(v.clusterEntryOffset(3, 1), "\xE5ND     TXT", 0x20, 9, 5);
    v.shortEntry(v.clusterEntryOffset(3, 2), "\xE5IDDEN  TXT", 0x20, 9, 5);
    auto sp = v.scan();
    auto& s = *sp;
    EXPECT_EQ(s.catalogue.fsLists().FatFolderList.size(), 1u);
    EXPECT_TRUE(s.catalogue.fsLists().FatFileList.empty());
}

TEST(FatScan, LongNames)
{
    Fat16Volume v;
    // Exactly 13 characters, closed by the order byte 0x41 of a live set.
    v.longEntry(v.rootEntryOffset(0), 0x41, "Thirteen.char");
    v.shortEntry(v.rootEntryOffset(1), "\xE5HIRTE~1CHA", 0x20, 5, 1);
    // A deleted set (order bytes 0xE5) of two entries, read back to the first non-long-name entry.
    v.shortEntry(v.rootEntryOffset(2), "KEEP    TXT", 0x20, 6, 1);
    v.longEntry(v.rootEntryOffset(3), 0xE5, "t 2024.txt");
    v.longEntry(v.rootEntryOffset(4), 0xE5, "Quarterly Rep");
    v.shortEntry(v.rootEntryOffset(5), "\xE5UARTE~1TXT", 0x20, 7, 2);
    // A name with ':' is found; one with 0xE9 is not.
    v.longEntry(v.rootEntryOffset(6), 0x41, "a:b.txt");
    v.shortEntry(v.rootEntryOffset(7),
                 "\xE5"
                 "B      TXT",
                 0x20, 8, 3);
    v.longEntry(v.rootEntryOffset(8), 0x41, "caf\xE9.txt");
    v.shortEntry(v.rootEntryOffset(9),
                 "\xE5"
                 "AF     TXT",
                 0x20, 9, 4);
    // Entries with first cluster 0 are never found.
    v.shortEntry(v.rootEntryOffset(10), "\xE5MPTY   TXT", 0x20, 0, 0);
    // A short entry at index 0 of a sector takes nothing from the sector before.
    v.fill(v.rootEntryOffset(11), 4);
    v.longEntry(v.rootEntryOffset(15), 0xE5, "not mine.txt");
    v.shortEntry(v.rootEntryOffset(16), "\xE5LONE   TXT", 0x20, 10, 5);
    auto sp = v.scan();
    auto& s = *sp;

    EXPECT_NE(file(s, "Thirteen.char"), nullptr);
    ASSERT_NE(file(s, "Quarterly Rept 2024.txt"), nullptr);
    EXPECT_EQ(file(s, "Quarterly Rept 2024.txt")->firstCluster, 7u);
    EXPECT_NE(file(s, "a:b.txt"), nullptr);
    EXPECT_EQ(file(s, "caf\xE9.txt"), nullptr);
    EXPECT_EQ(file(s, "xAF.TXT"), nullptr); // the long name replaced it, then failed
    EXPECT_EQ(file(s, "xMPTY.TXT"), nullptr);
    EXPECT_NE(file(s, "xLONE.TXT"), nullptr);
    EXPECT_EQ(s.catalogue.fileCount(), 4u);
    EXPECT_EQ(s.catalogue.EntriesExamined, 9u); // 4 deleted found, KEEP, 4 fillers; not the 0xE9 name
}

TEST(FatScan, AssembleLongNameStopsAt255Characters)
{
    std::vector<std::byte> sector(512);
    // 15 long-name entries of 13 'a' each = 195 characters would not reach 255,
    // so build in a 1024-byte buffer view of one sector: 15 entries then the short one.
    for (unsigned i = 0; i < 15; ++i) {
        const std::size_t at = i * 32;
        sector[at] = std::byte{0xE5};
        sector[at + 11] = std::byte{0x0F};
        for (unsigned u : {1u, 3u, 5u, 7u, 9u, 14u, 16u, 18u, 20u, 22u, 24u, 28u, 30u})
            sector[at + u] = std::byte{'a'};
    }
    std::string name;
    EXPECT_TRUE(fat::AssembleLongName(sector, 15, name));
    EXPECT_EQ(name.size(), 195u);
    EXPECT_FALSE(fat::AssembleLongName(sector, 0, name));

    std::vector<std::byte> big(32 * 21);
    for (unsigned i = 0; i < 20; ++i) {
        const std::size_t at = i * 32;
        big[at] = std::byte{0xE5};
        big[at + 11] = std::byte{0x0F};
        for (unsigned u : {1u, 3u, 5u, 7u, 9u, 14u, 16u, 18u, 20u, 22u, 24u, 28u, 30u})
            big[at + u] = std::byte{'b'};
    }
    EXPECT_TRUE(fat::AssembleLongName(big, 20, name));
    EXPECT_EQ(name.size(), 255u);
}

TEST(FatScan, OnlyTheFirstClusterOfAFolderIsRead)
{
    Fat16Volume v(2); // two sectors a cluster
    v.shortEntry(v.rootEntryOffset(0), "DIR        ", 0x10, 3);
    v.dotEntries(3, 0);
    v.fill(v.clusterEntryOffset(3, 2), 18);
    v.shortEntry(v.clusterEntryOffset(3, 20),
                 "\xE5"
                 "ECOND  TXT",
                 0x20, 20, 1);                                               // second sector: found
    v.shortEntry(v.clusterEntryOffset(4, 0), "\xE5HIRD   TXT", 0x20, 21, 1); // next cluster: not read
    auto sp = v.scan();
    auto& s = *sp;
    EXPECT_NE(file(s, "xECOND.TXT"), nullptr);
    EXPECT_EQ(file(s, "xHIRD.TXT"), nullptr);
}

TEST(FatScan, Fat16RootOf512EntriesIs32Sectors)
{
    Fat16Volume v(4, 512, 2000);
    v.fill(v.rootEntryOffset(0), 511);
    v.shortEntry(v.rootEntryOffset(511),
                 "\xE5"
                 "AST    TXT",
                 0x20, 40, 1);
    auto sp = v.scan();
    auto& s = *sp;
    EXPECT_NE(file(s, "xAST.TXT"), nullptr);
    EXPECT_EQ(s.volume.geometry.RootDirSectors, 32u);
}

TEST(FatScan, Fat32RootAndHighClusterWord)
{
    auto image = test::fat32Boot(600, 4, 4, 1, 2);
    // Root cluster 2 at sector 4 + 8 = 12.
    const std::uint64_t root = 12 * 512;
    auto put = [&](std::uint64_t at, std::string_view n, std::uint8_t attr, std::uint32_t cluster) {
        for (std::size_t i = 0; i < 11; ++i)
            image.put(at + i, 1, static_cast<unsigned char>(i < n.size() ? n[i] : ' '));
        image.put(at + 11, 1, attr);
        image.put(at + 20, 2, cluster >> 16);
        image.put(at + 26, 2, cluster & 0xFFFF);
        image.put(at + 28, 4, 7);
    };
    put(root, "\xE5IG     BIN", 0x20, 0x00010005);
    scan::ScanSession s;
    ASSERT_TRUE(test::selectImage(s.volume, image));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    scan::RunScan(s, quiet, control);
    ASSERT_EQ(s.catalogue.fsLists().FatFileList.size(), 1u);
    EXPECT_EQ(s.catalogue.fsLists().FatFileList[0].firstCluster, 0x00010005u);
}

TEST(FatScan, StopDuringTheWalkStillBuildsTheTree)
{
    Fat16Volume v;
    v.shortEntry(v.rootEntryOffset(0), "A          ", 0x10, 3);
    v.shortEntry(v.rootEntryOffset(1), "B          ", 0x10, 4);
    v.dotEntries(3, 0);
    v.dotEntries(4, 0);
    v.shortEntry(v.clusterEntryOffset(3, 2), "\xE5NA     TXT", 0x20, 10, 1);
    v.shortEntry(v.clusterEntryOffset(4, 2), "\xE5NB     TXT", 0x20, 11, 1);

    struct StopOnFirstSector : catalogue::ScanObserver {
        catalogue::ScanControl* control = nullptr;
        void currentSector(std::uint64_t) override
        {
            if (++sectors == 2) // the root's first sector (it ends there), then A's first
                control->ScanStopFlag = 1;
        }
        int sectors = 0;
    } observer;
    catalogue::ScanControl control;
    observer.control = &control;
    auto sp = v.scan(&observer, &control);
    auto& s = *sp;
    EXPECT_TRUE(control.stopRequested());    // kept for whatever follows the scan
    EXPECT_TRUE(s.catalogue.Losses.Stopped); // a stopped scan is not taken for a whole one
    EXPECT_EQ(s.catalogue.fsLists().FatFolderList.size(), 2u);
    EXPECT_EQ(s.tree.root().children.size(), 2u);
    EXPECT_EQ(file(s, "xNB.TXT"), nullptr); // B was never read
}

TEST(FatScan, DamagedDirectoriesEndWithWhatWasFound)
{
    Fat16Volume v;
    v.shortEntry(v.rootEntryOffset(0), "LOOP       ", 0x10, 3);
    v.dotEntries(3, 0);
    // A subfolder pointing back at its parent, and one at a cluster past the volume's end.
    v.shortEntry(v.clusterEntryOffset(3, 2), "BACK       ", 0x10, 3);
    v.shortEntry(v.clusterEntryOffset(3, 3), "FAR        ", 0x10, 60000);
    v.shortEntry(v.clusterEntryOffset(3, 4), "\xE5OUND   TXT", 0x20, 12, 1);
    // Root sector 1 is unreadable; its entries must not be parsed from stale bytes.
    v.shortEntry(v.rootEntryOffset(16), "\xE5NREAD  TXT", 0x20, 13, 1);
    auto source = v.image.source();
    source->addBadRange(10 * 512, 512);
    test::MemoryDevices devices;
    devices.add("bad.img", source);
    scan::ScanSession s;
    ASSERT_TRUE(disk::SelectDrive(s.volume, {"Disk Image(bad.img)", "bad.img", disk::DriveKind::Image, 0}, devices));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    for (const bool thorough : {true, false}) { // the classic result stays in `s`
        const scan::ScanResult result = scan::RunScan(s, quiet, control, scan::ScanOptions{thorough});
        EXPECT_EQ(result.UnreadableSectors, 1u) << "thorough " << thorough;
        EXPECT_FALSE(result.Stopped);
    }
    EXPECT_EQ(s.catalogue.fsLists().FatFolderList.size(), 2u); // LOOP and FAR; BACK repeats cluster 3
    EXPECT_NE(file(s, "xOUND.TXT"), nullptr);
    EXPECT_EQ(file(s, "xNREAD.TXT"), nullptr);
}

TEST(FatScan, RandomDirectoryBytesNeverCrash)
{
    Fat16Volume v(1, 64, 300);
    std::uint32_t seed = 12345;
    for (std::size_t i = 9 * 512; i < v.image.bytes().size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        v.image.bytes()[i] = static_cast<std::byte>(seed >> 24);
    }
    auto sp = v.scan();
    auto& s = *sp;
    // Every folder found has a distinct first cluster, and the tree placed each at most once.
    std::vector<std::uint32_t> clusters;
    for (const auto& f : s.catalogue.fsLists().FatFolderList)
        clusters.push_back(f.firstCluster);
    std::sort(clusters.begin(), clusters.end());
    EXPECT_EQ(std::adjacent_find(clusters.begin(), clusters.end()), clusters.end());
    EXPECT_LE(s.tree.size(), s.catalogue.fsLists().FatFolderList.size() + 1);
}
