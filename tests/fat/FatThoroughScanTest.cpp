// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/FatThoroughScan.h"
#include "fat/FatOrphanClusters.h"
#include "fat/FatScan.h"
#include "scan/ScanSession.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>

using namespace sarvik;

namespace {

// FAT16: 1 reserved sector, two FATs of 4 sectors (FAT 1 at sector 1), a root
// of 64 entries (sectors 9..12), then clusters of one sector from sector 13.
struct Volume16 {
    test::ImageBuilder image = test::fat16Boot(400, 1, 4, 1, 64);

    static std::uint64_t root(unsigned i) { return 9 * 512ull + i * 32ull; }
    static std::uint64_t inCluster(std::uint32_t c, unsigned i) { return (13 + (c - 2ull)) * 512 + i * 32ull; }
    void fat(std::uint32_t cluster, std::uint16_t value) { image.put(512 + 2ull * cluster, 2, value); }

    void entry(std::uint64_t at, std::string_view name11, std::uint8_t attributes, std::uint32_t cluster,
               std::uint32_t size = 1, std::uint8_t caseFlags = 0)
    {
        for (std::size_t i = 0; i < 11; ++i)
            image.put(at + i, 1, static_cast<unsigned char>(i < name11.size() ? name11[i] : ' '));
        image.put(at + 11, 1, attributes);
        image.put(at + 12, 1, caseFlags);
        image.put(at + 20, 2, cluster >> 16);
        image.put(at + 26, 2, cluster & 0xFFFF);
        image.put(at + 28, 4, size);
    }
    void dots(std::uint32_t cluster, std::uint32_t parent)
    {
        entry(inCluster(cluster, 0), ".", 0x10, cluster, 0);
        entry(inCluster(cluster, 1), "..", 0x10, parent, 0);
    }
    void fill(std::uint64_t at, unsigned count)
    {
        for (unsigned i = 0; i < count; ++i)
            entry(at + i * 32ull, "FILLER  DAT", 0x20, 2);
    }
    /// Long-name entries for `units` before the short entry at `shortAt`, whose
    /// 11 name bytes give the checksum `checksum`.
    void longName(std::uint64_t shortAt, std::u16string_view units, std::uint8_t checksum, bool deleted)
    {
        static constexpr std::array<unsigned, 13> kUnits = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        const std::size_t pieces = (units.size() + 13) / 13; // room for the terminating 0
        for (std::size_t p = 0; p < pieces; ++p) {
            const std::uint64_t at = shortAt - (p + 1) * 32;
            image.put(at, 1, deleted ? 0xE5 : (p + 1) | (p + 1 == pieces ? 0x40 : 0));
            image.put(at + 11, 1, 0x0F);
            image.put(at + 13, 1, checksum);
            for (std::size_t i = 0; i < 13; ++i) {
                const std::size_t k = p * 13 + i;
                image.put(at + kUnits[i], 2, k < units.size() ? units[k] : k == units.size() ? 0 : 0xFFFF);
            }
        }
    }

    /// The thorough scan with the deep search unless `deep` is false.
    std::unique_ptr<scan::ScanSession> scan(bool thorough, bool deep = true)
    {
        auto session = std::make_unique<scan::ScanSession>();
        EXPECT_TRUE(test::selectImage(session->volume, image));
        catalogue::ScanObserver quiet;
        catalogue::ScanControl control;
        scan::RunScan(*session, quiet, control, scan::ScanOptions{thorough, true, deep});
        return session;
    }
};

std::uint8_t checksumOf(std::string_view name11)
{
    std::array<std::byte, 11> bytes{};
    for (std::size_t i = 0; i < 11; ++i)
        bytes[i] = std::byte(static_cast<unsigned char>(name11[i]));
    return fat::shortNameChecksum(bytes);
}

/// The names of the files found, sorted.
std::vector<std::string> fileNames(const scan::ScanSession& s)
{
    std::vector<std::string> names;
    for (const auto& f : s.catalogue.fsLists().FatFileList)
        names.push_back(f.name);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(FatThoroughScan, ReadsLiveChainsAndFollowsDeletedFoldersIntoFreeClusters)
{
    Volume16 v;
    v.entry(Volume16::root(0), "DIR", 0x10, 3, 0);
    v.entry(Volume16::root(1), "\xE5OLD", 0x10, 10, 0);
    // DIR: clusters 3 -> 4; its second cluster holds a deleted file.
    v.fat(3, 4);
    v.fat(4, 0xFFFF);
    v.dots(3, 0);
    v.fill(Volume16::inCluster(3, 2), 14);
    v.entry(Volume16::inCluster(4, 0),
            "\xE5"
            "ATE    TXT",
            0x20, 30);
    // The deleted folder OLD: cluster 10, then free cluster 11 with entries, then
    // free cluster 12 that starts another folder.
    v.dots(10, 0);
    v.fill(Volume16::inCluster(10, 2), 14);
    v.entry(Volume16::inCluster(11, 0), "\xE5OST    TXT", 0x20, 31);
    v.dots(12, 0);
    v.entry(Volume16::inCluster(12, 2), "\xE5THER   TXT", 0x20, 32);

    // The live fillers of the deleted folder count as deleted files.
    const std::vector<std::string> fillers(14, "FILLER.DAT");
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.end(), fillers.begin(), fillers.end());
        return sorted(std::move(more));
    };
    const auto plain = v.scan(false);
    EXPECT_EQ(fileNames(*plain), with({})) << "the default reads one cluster a folder";

    // Cluster 12 ends OLD; as a folder that nothing lists, it is a lost folder of its own.
    EXPECT_EQ(fileNames(*v.scan(true, false)), with({"_ATE.TXT", "_OST.TXT"})) << "quick: no search of free space";
    const auto s = v.scan(true);
    EXPECT_EQ(fileNames(*s), with({"_ATE.TXT", "_OST.TXT", "_THER.TXT"}));
    EXPECT_TRUE(s->catalogue.NamesAreUtf8);
    for (const auto& f : s->catalogue.fsLists().FatFileList)
        EXPECT_EQ(f.parentCluster, f.name == "_ATE.TXT" ? 3u : f.name == "_THER.TXT" ? 12u : 10u) << f.name;

    // Once cluster 11 is in use again the deleted folder stops at its first cluster.
    v.fat(11, 0xFFFF);
    EXPECT_EQ(fileNames(*v.scan(true)), with({"_ATE.TXT", "_THER.TXT"}));
}

TEST(FatThoroughScan, LoopsAndChainsPastTheVolumeAreCut)
{
    Volume16 v;
    v.entry(Volume16::root(0), "LOOP", 0x10, 3, 0);
    v.entry(Volume16::root(1), "FAR", 0x10, 5, 0);
    v.fat(3, 4);
    v.fat(4, 3);     // back to the start
    v.fat(5, 60000); // past the last cluster (388)
    v.dots(3, 0);
    v.fill(Volume16::inCluster(3, 2), 14);
    v.entry(Volume16::inCluster(4, 0),
            "\xE5"
            "NCE    TXT",
            0x20, 30);
    v.dots(5, 0);
    v.entry(Volume16::inCluster(5, 2),
            "\xE5"
            "AR     TXT",
            0x20, 31);

    const auto s = v.scan(true);
    EXPECT_EQ(fileNames(*s), sorted({"_NCE.TXT", "_AR.TXT"}));

    const disk::VolumeGeometry& g = s->volume.geometry;
    const fat::FatTable table(s->volume.reader, g, s->volume.partition.PartitionSectors);
    EXPECT_EQ(table.maxCluster(), 388u);
    EXPECT_EQ(table.chain(3, 100), (std::vector<std::uint32_t>{3, 4}));
    EXPECT_EQ(table.chain(5, 100), (std::vector<std::uint32_t>{5}));
    EXPECT_TRUE(table.chain(400, 100).empty());
}

TEST(FatThoroughScan, NamesDecodeToUtf8AndSeparatorsAreCleaned)
{
    Volume16 v;
    v.fill(Volume16::root(0), 2); // live files: counted, not listed
    v.fill(Volume16::root(4), 1);
    // A deleted file with a Cyrillic long name: the checksum is of its original short name.
    const std::uint64_t report = Volume16::root(3);
    v.longName(report, u"Отчёт.txt", checksumOf("OTCHET  TXT"), true);
    v.entry(report, "\xE5TCHET  TXT", 0x20, 40);
    // A long name outside the Basic Multilingual Plane (a surrogate pair).
    const std::uint64_t clef = Volume16::root(6);
    v.longName(clef, u"\U0001D11E.mid", checksumOf("CLEF    MID"), true);
    v.entry(clef, "\xE5LEF    MID", 0x20, 41);
    // A short name in code page 850 (0x82 is é) and one with lower-case flags.
    v.entry(Volume16::root(7), "CAF\x82    TXT", 0x20, 42);
    v.entry(Volume16::root(8),
            "\xE5"
            "AF\x82    TXT",
            0x20, 43);
    v.entry(Volume16::root(9),
            "\xE5"
            "EADME  TXT",
            0x20, 44, 1, 0x18);
    // Kept as the entry holds it: a control character; a long name with
    // separators keeps its control character, its separators cleaned (the
    // default rules skip both).
    v.entry(Volume16::root(10),
            "\xE5"
            "A\x01     TXT",
            0x20, 45);
    const std::uint64_t slashes = Volume16::root(14);
    v.longName(slashes, u"a/b\\c\x07.txt", checksumOf("ABC~1   TXT"), true);
    v.entry(slashes,
            "\xE5"
            "BC~1   TXT",
            0x20, 46);
    // A short name ends at its first NUL byte, in both rule sets.
    v.entry(Volume16::root(15),
            std::string_view("\xE5"
                             "AB\0"
                             "CD  TXT",
                             11),
            0x20, 47);
    // A live folder whose long name is stale (another checksum) keeps its short name.
    const std::uint64_t folderAt = Volume16::root(12);
    v.longName(folderAt, u"Stale name", checksumOf("OTHER   TXT"), false);
    v.entry(folderAt, "NEWDIR", 0x10, 50, 0);

    const auto s = v.scan(true);
    EXPECT_EQ(fileNames(*s),
              sorted({"Отчёт.txt", "\U0001D11E.mid", "_AFé.TXT", "_eadme.txt", "_A\x01.TXT", "a_b_c\x07.txt", "_AB"}));
    ASSERT_EQ(s->catalogue.fsLists().FatFolderList.size(), 1u);
    EXPECT_EQ(s->catalogue.fsLists().FatFolderList[0].name, "NEWDIR");

    // The default keeps its own rules: bytes of 128 and above are skipped.
    const auto plain = v.scan(false);
    EXPECT_EQ(fileNames(*plain), sorted({"xEADME.TXT", "xAB"}));
    EXPECT_FALSE(plain->catalogue.NamesAreUtf8);
}

TEST(FatThoroughScan, EmptyFilesAndFat32ClustersInUseAreFlagged)
{
    // FAT32: 4 reserved sectors, FATs of 4 sectors (FAT 1 at sector 4), root at cluster 2.
    auto image = test::fat32Boot(600, 4, 4, 1, 2);
    const std::uint64_t root = 12 * 512;
    auto put = [&](unsigned i, std::string_view n, std::uint32_t cluster, std::uint32_t size) {
        const std::uint64_t at = root + i * 32ull;
        for (std::size_t k = 0; k < 11; ++k)
            image.put(at + k, 1, static_cast<unsigned char>(k < n.size() ? n[k] : ' '));
        image.put(at + 11, 1, 0x20);
        image.put(at + 20, 2, cluster >> 16);
        image.put(at + 26, 2, cluster & 0xFFFF);
        image.put(at + 28, 4, size);
    };
    image.put(4 * 512 + 4 * 2, 4, 0x0FFFFFFF); // the root's one cluster
    image.put(4 * 512 + 4 * 7, 4, 0x0FFFFFFF); // cluster 7 belongs to a live file
    put(0, "\xE5MPTY   TXT", 0, 0);
    put(1, "\xE5NUSE   BIN", 7, 100);
    put(2, "\xE5REE    BIN", 9, 100);

    auto scanned = [&](bool thorough) {
        auto s = std::make_unique<scan::ScanSession>();
        EXPECT_TRUE(test::selectImage(s->volume, image));
        catalogue::ScanObserver quiet;
        catalogue::ScanControl control;
        scan::RunScan(*s, quiet, control, scan::ScanOptions{thorough});
        return s;
    };
    const auto s = scanned(true);
    ASSERT_EQ(s->catalogue.fsLists().FatFileList.size(), 3u);
    for (const auto& f : s->catalogue.fsLists().FatFileList) {
        EXPECT_EQ(f.clusterInUse, f.name == "_NUSE.BIN") << f.name;
        if (f.name == "_MPTY.TXT") {
            EXPECT_EQ(f.size, 0u);
        }
    }
    EXPECT_EQ(scanned(false)->catalogue.fsLists().FatFileList.size(), 2u) << "the default passes over cluster 0";
}

TEST(FatThoroughScan, DirectoryClustersAreToldFromOtherData)
{
    Volume16 v;
    v.fill(0, 3);
    v.longName(5 * 32, u"long name.txt", 1, true);
    v.entry(5 * 32, "\xE5ONGNA~1TXT", 0x20, 9);
    const auto cluster = std::span<const std::byte>(v.image.bytes()).first(512);
    EXPECT_TRUE(fat::looksLikeDirectoryEntries(cluster));

    std::array<std::byte, 512> text{};
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = std::byte("The quick brown fox jumps over the lazy dog. "[i % 45]);
    EXPECT_FALSE(fat::looksLikeDirectoryEntries(text));

    std::array<std::byte, 512> zeros{};
    EXPECT_FALSE(fat::looksLikeDirectoryEntries(zeros)) << "an unused cluster holds no entries";

    // An entry after the end marker means the cluster is not a folder's.
    v.image.put(10 * 32, 1, 'Z');
    v.image.put(10 * 32 + 11, 1, 0x20);
    v.image.put(8 * 32, 1, 0);
    EXPECT_FALSE(fat::looksLikeDirectoryEntries(std::span<const std::byte>(v.image.bytes()).first(512)));
}

namespace {

constexpr std::uint16_t kDate = (43 << 9) | (11 << 5) | 14; // 14-11-2023

/// A deleted short entry with a write date, as a folder's later cluster holds it.
void deletedEntry(Volume16& v, std::uint64_t at, std::string_view name11, std::uint32_t cluster, std::uint32_t size,
                  std::uint8_t attributes = 0x20)
{
    v.entry(at, name11, attributes, cluster, size);
    v.image.put(at + 24, 2, kDate);
}

/// Deleted long-name pieces of `units` at `at`, in disk order: piece `highest`
/// (counted from 0 at the start of the name) first, then the ones before it.
void deletedPieces(Volume16& v, std::span<const std::uint64_t> at, std::u16string_view units, std::uint8_t checksum,
                   std::size_t highest)
{
    static constexpr std::array<unsigned, 13> kUnits = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (std::size_t d = 0; d < at.size() && d <= highest; ++d) {
        const std::size_t p = highest - d;
        v.image.put(at[d], 1, 0xE5);
        v.image.put(at[d] + 11, 1, 0x0F);
        v.image.put(at[d] + 13, 1, checksum);
        for (std::size_t i = 0; i < 13; ++i) {
            const std::size_t k = p * 13 + i;
            v.image.put(at[d] + kUnits[i], 2, k < units.size() ? units[k] : k == units.size() ? 0 : 0xFFFF);
        }
    }
}

const catalogue::FatFileEntry* fileNamed(const scan::ScanSession& s, std::string_view name)
{
    for (const auto& f : s.catalogue.fsLists().FatFileList)
        if (f.name == name)
            return &f;
    return nullptr;
}

} // namespace

TEST(FatThoroughScan, LaterClustersOfDeletedFoldersAreFoundApartFromTheFirst)
{
    Volume16 v;
    v.entry(Volume16::root(0), "\xE5OLD", 0x10, 10, 0);
    // OLD's first cluster: dots, twelve entries, then the first two pieces of a
    // name whose last piece and short entry open cluster 50.
    v.dots(10, 0);
    v.fill(Volume16::inCluster(10, 2), 12);
    const std::u16string_view longName = u"a long name cut by the end.txt";
    const std::array<std::uint64_t, 3> pieces = {Volume16::inCluster(10, 14), Volume16::inCluster(10, 15),
                                                 Volume16::inCluster(50, 0)};
    deletedPieces(v, pieces, longName, checksumOf("LONGNA~1TXT"), 2);
    deletedEntry(v, Volume16::inCluster(50, 1), "\xE5ONGNA~1TXT", 20, 100);
    for (unsigned i = 2; i < 15; ++i)
        deletedEntry(v, Volume16::inCluster(50, i),
                     "\xE5"
                     "ECOND  TXT",
                     30 + i, 10);
    // The last file of cluster 50 has data in clusters 70 and 71 ...
    deletedEntry(v, Volume16::inCluster(50, 15),
                 "\xE5"
                 "ATA    BIN",
                 70, 1024);
    // ... and the first file of cluster 90 goes on at 72.
    deletedEntry(v, Volume16::inCluster(90, 0), "\xE5IRST   TXT", 72, 10);
    for (unsigned i = 1; i < 16; ++i)
        deletedEntry(v, Volume16::inCluster(90, i),
                     "\xE5"
                     "ORE    TXT",
                     100 + i, 10);
    // Cluster 120 follows nothing, but lists a subfolder whose ".." names OLD.
    deletedEntry(v, Volume16::inCluster(120, 0), "\xE5UB", 130, 0, 0x10);
    deletedEntry(v, Volume16::inCluster(120, 1), "\xE5HIRD   TXT", 135, 10);
    v.dots(130, 10);
    deletedEntry(v, Volume16::inCluster(130, 2), "\xE5UBFILE TXT", 136, 10);
    // The subfolder fills its first cluster and goes on in the next one, which
    // looks like an orphan too until the subfolder is read.
    for (unsigned i = 3; i < 16; ++i)
        deletedEntry(v, Volume16::inCluster(130, i), "\xE5UBMORE TXT", 137 + i, 10);
    deletedEntry(v, Volume16::inCluster(131, 0),
                 "\xE5"
                 "DJACENTTXT",
                 160, 10);
    // Cluster 200 holds deleted entries that nothing links to a folder.
    deletedEntry(v, Volume16::inCluster(200, 0), "\xE5OST    TXT", 210, 10);
    // Free data that must not be taken for entries: text, a lone entry without
    // a date, an entry whose cluster lies past the volume, and a long name whose
    // checksum is not its short entry's.
    for (unsigned i = 0; i < 512; ++i)
        v.image.put(Volume16::inCluster(140, 0) + i, 1, static_cast<unsigned char>("The quick brown fox. "[i % 21]));
    v.entry(Volume16::inCluster(141, 0), "\xE5ILLER  DAT", 0x20, 5, 10);
    deletedEntry(v, Volume16::inCluster(142, 0),
                 "\xE5"
                 "AR     TXT",
                 5000, 10);
    const std::array<std::uint64_t, 1> stray = {Volume16::inCluster(143, 0)};
    // (no legal first byte gives the checksum of ".TRAY", so the deleted short entry cannot match it)
    deletedPieces(v, stray, u"stray", checksumOf(".TRAY   TXT"), 0);
    deletedEntry(v, Volume16::inCluster(143, 1), "\xE5TRAY   TXT", 220, 10);

    const auto plain = v.scan(false);
    EXPECT_EQ(fileNamed(*plain, "_IRST.TXT"), nullptr);
    EXPECT_EQ(fileNamed(*plain, "xIRST.TXT"), nullptr) << "the default never reads free clusters";

    const auto s = v.scan(true);
    auto parentOf = [&](std::string_view name) -> std::int64_t {
        const auto* f = fileNamed(*s, name);
        return f == nullptr ? -1 : std::int64_t{f->parentCluster};
    };
    EXPECT_EQ(parentOf("a long name cut by the end.txt"), 10) << "the cut name is carried into cluster 50";
    EXPECT_EQ(parentOf("_ATA.BIN"), 10);
    EXPECT_EQ(parentOf("_IRST.TXT"), 10) << "cluster 90's data follows cluster 50's";
    EXPECT_EQ(parentOf("_HIRD.TXT"), 10) << "cluster 120's subfolder names OLD as its parent";
    EXPECT_EQ(parentOf("_UBFILE.TXT"), 130) << "the subfolder is read as well";
    EXPECT_EQ(parentOf("_DJACENT.TXT"), 130);
    EXPECT_EQ(std::count_if(s->catalogue.fsLists().FatFileList.begin(), s->catalogue.fsLists().FatFileList.end(),
                            [](const auto& f) { return f.name == "_DJACENT.TXT"; }),
              1)
        << "a cluster read after a subfolder's first is not an orphan as well";
    EXPECT_EQ(parentOf("_OST.TXT"), 200);
    const catalogue::FatFolderEntry* lost = s->catalogue.findFatFolder(200);
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->name, "cluster 200");
    EXPECT_EQ(lost->deleted, 1u);
    const catalogue::FatFolderEntry* lostRoot = s->catalogue.findFatFolder(lost->parentCluster);
    ASSERT_NE(lostRoot, nullptr);
    EXPECT_EQ(lostRoot->name, "$Unlinked entries");
    EXPECT_EQ(lostRoot->parentCluster, catalogue::kFatRootKey);
    for (const char* name : {"_AR.TXT", "_TRAY.TXT", "stray", "_ILLER.DAT"})
        EXPECT_EQ(fileNamed(*s, name), nullptr) << name;
    std::size_t orphanFolders = 0;
    for (const auto& f : s->catalogue.fsLists().FatFolderList)
        orphanFolders += f.parentCluster == lost->parentCluster;
    EXPECT_EQ(orphanFolders, 1u) << "only cluster 200 is left unlinked";

    // Once cluster 50 is in use again its entries are not the folder's: the cut
    // name is lost, and what followed it has nothing to link it to OLD.
    v.fat(50, 0xFFFF);
    const auto reused = v.scan(true);
    const auto* first = fileNamed(*reused, "_IRST.TXT");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->parentCluster, 90u);
    EXPECT_EQ(fileNamed(*reused, "a long name cut by the end.txt"), nullptr);
}

TEST(FatThoroughScan, OrphanClustersAreToldStrictly)
{
    Volume16 v;
    const auto cluster = [&](std::uint32_t c) {
        return std::span<const std::byte>(v.image.bytes()).subspan(Volume16::inCluster(c, 0), 512);
    };
    deletedEntry(v, Volume16::inCluster(20, 0), "\xE5OOD    TXT", 30, 10);
    EXPECT_TRUE(fat::looksLikeOrphanDirectoryCluster(cluster(20), 388, false));
    EXPECT_FALSE(fat::looksLikeOrphanDirectoryCluster(cluster(20), 29, false)) << "its cluster is past the volume";

    // A live entry among deleted ones: not a deleted folder's.
    deletedEntry(v, Volume16::inCluster(21, 0), "\xE5OOD    TXT", 30, 10);
    deletedEntry(v, Volume16::inCluster(21, 1), "LIVE    TXT", 31, 10);
    EXPECT_FALSE(fat::looksLikeOrphanDirectoryCluster(cluster(21), 388, false));

    // A first cluster (it starts with ".") is never an orphan.
    v.dots(22, 0);
    EXPECT_FALSE(fat::looksLikeOrphanDirectoryCluster(cluster(22), 388, false));

    // Bad times, bad flags, a file with data but no cluster.
    deletedEntry(v, Volume16::inCluster(23, 0),
                 "\xE5"
                 "AD     TXT",
                 30, 10);
    v.image.put(Volume16::inCluster(23, 0) + 22, 2, 25u << 11);
    EXPECT_FALSE(fat::looksLikeOrphanDirectoryCluster(cluster(23), 388, false)) << "hour 25";
    deletedEntry(v, Volume16::inCluster(24, 0),
                 "\xE5"
                 "AD     TXT",
                 30, 10);
    v.image.put(Volume16::inCluster(24, 0) + 12, 1, 0x01);
    EXPECT_FALSE(fat::looksLikeOrphanDirectoryCluster(cluster(24), 388, false)) << "undefined case flag";
    deletedEntry(v, Volume16::inCluster(25, 0),
                 "\xE5"
                 "AD     TXT",
                 0, 10);
    EXPECT_FALSE(fat::looksLikeOrphanDirectoryCluster(cluster(25), 388, false)) << "data without a cluster";

    // Long-name pieces cut by the end marker, rather than by the cluster end.
    deletedEntry(v, Volume16::inCluster(26, 0), "\xE5OOD    TXT", 30, 10);
    const std::array<std::uint64_t, 1> cut = {Volume16::inCluster(26, 1)};
    deletedPieces(v, cut, u"cut", 0x42, 0);
    EXPECT_FALSE(fat::looksLikeOrphanDirectoryCluster(cluster(26), 388, false));
    // ... and by the cluster end: the name goes on in the next cluster.
    for (unsigned i = 1; i < 15; ++i)
        deletedEntry(v, Volume16::inCluster(27, i - 1), "\xE5OOD    TXT", 30 + i, 10);
    const std::array<std::uint64_t, 2> atEnd = {Volume16::inCluster(27, 14), Volume16::inCluster(27, 15)};
    deletedPieces(v, atEnd, u"a name of three pieces.txt", checksumOf("ANAMEO~1TXT"), 2);
    EXPECT_TRUE(fat::looksLikeOrphanDirectoryCluster(cluster(27), 388, false));
    const fat::DirectoryEnd end = fat::directoryEnd(cluster(27), 512, false);
    EXPECT_TRUE(end.open);
    EXPECT_EQ(end.tailLongName.size(), 64u);
    EXPECT_EQ(end.nextDataCluster, 45u) << "the last file's one cluster is 44";
    // The next cluster carries on with the first piece and the matching short entry.
    const std::array<std::uint64_t, 1> rest = {Volume16::inCluster(28, 0)};
    deletedPieces(v, rest, u"a name of three pieces.txt", checksumOf("ANAMEO~1TXT"), 0);
    deletedEntry(v, Volume16::inCluster(28, 1), "\xE5NAMEO~1TXT", 50, 10);
    EXPECT_TRUE(fat::continuesLongName(end, cluster(28)));
    // Not with a piece that holds the end of a name, nor with another name's short entry.
    deletedPieces(v, rest, u"a name of three pieces.txt", checksumOf("ANAMEO~1TXT"), 2);
    EXPECT_FALSE(fat::continuesLongName(end, cluster(28)));
    deletedPieces(v, rest, u"a name of three pieces.txt", checksumOf("ANAMEO~1TXT"), 0);
    v.image.put(Volume16::inCluster(28, 1), 1, 'B'); // a live "BNAMEO~1.TXT": another checksum
    EXPECT_FALSE(fat::continuesLongName(end, cluster(28)));
}

TEST(FatThoroughScan, LostFoldersAreFoundByTheirFirstCluster)
{
    Volume16 v;
    // KEEP (cluster 3) is live; the slot that named its deleted subfolder now
    // holds a live file, so only the subfolder's own clusters are left.
    v.entry(Volume16::root(0), "KEEP", 0x10, 3, 0);
    v.fat(3, 0xFFFF);
    v.dots(3, 0);
    v.entry(Volume16::inCluster(3, 2), "NEW     TXT", 0x20, 5, 10);
    v.fat(5, 0xFFFF);
    // The lost folder at 20: a full first cluster, a later one at 21, and a
    // subfolder at 22 that its entries still list.
    v.dots(20, 3);
    deletedEntry(v, Volume16::inCluster(20, 2), "\xE5UB", 22, 0, 0x10);
    for (unsigned i = 3; i < 16; ++i)
        deletedEntry(v, Volume16::inCluster(20, i), "\xE5OSTFILETXT", 100 + i, 10);
    deletedEntry(v, Volume16::inCluster(21, 0),
                 "\xE5"
                 "ECOND  TXT",
                 120, 10);
    v.dots(22, 20);
    deletedEntry(v, Volume16::inCluster(22, 2), "\xE5UBFILE TXT", 121, 10);
    // One whose parent's cluster holds nothing now, and one from the root.
    v.dots(30, 300);
    deletedEntry(v, Volume16::inCluster(30, 2), "\xE5RPHAN  TXT", 122, 10);
    v.dots(32, 0);
    deletedEntry(v, Volume16::inCluster(32, 2), "\xE5OOTED  TXT", 123, 10);
    // 70 names 72 as its parent, 72 names KEEP; 72's entries do not list 70.
    v.dots(70, 72);
    deletedEntry(v, Volume16::inCluster(70, 2), "\xE5NNER   TXT", 124, 10);
    v.dots(72, 3);
    deletedEntry(v, Volume16::inCluster(72, 2), "\xE5UTER   TXT", 125, 10);
    // A deleted folder whose entry is intact keeps its own name.
    v.entry(Volume16::root(1), "\xE5OLD", 0x10, 60, 0);
    v.dots(60, 0);
    deletedEntry(v, Volume16::inCluster(60, 2), "\xE5LDFILE TXT", 126, 10);

    // Not lost folders: "." naming another cluster, "." without the folder
    // bit, ".." past the volume, and a first cluster still in use (a live
    // folder no entry reaches). A live entry among deleted ones (82) is one: a
    // quick format leaves every folder's entries live.
    v.entry(Volume16::inCluster(80, 0), ".", 0x10, 81, 0);
    v.entry(Volume16::inCluster(80, 1), "..", 0x10, 0, 0);
    deletedEntry(v, Volume16::inCluster(80, 2), "\xE5OTA    TXT", 127, 10);
    v.dots(82, 0);
    deletedEntry(v, Volume16::inCluster(82, 2), "\xE5OTB    TXT", 128, 10);
    v.entry(Volume16::inCluster(82, 3), "LIVE    TXT", 0x20, 129, 10);
    v.dots(84, 0);
    v.image.put(Volume16::inCluster(84, 0) + 11, 1, 0x20);
    deletedEntry(v, Volume16::inCluster(84, 2), "\xE5OTC    TXT", 130, 10);
    v.dots(86, 5000);
    deletedEntry(v, Volume16::inCluster(86, 2), "\xE5OTD    TXT", 131, 10);
    v.dots(88, 0);
    v.fat(88, 0xFFFF);
    deletedEntry(v, Volume16::inCluster(88, 2), "\xE5OTE    TXT", 132, 10);

    const auto plain = v.scan(false);
    EXPECT_EQ(plain->catalogue.fsLists().FatFileList.size(), 1u) << "the default lists only OLD's file";
    EXPECT_EQ(plain->catalogue.findFatFolder(20), nullptr);

    const auto s = v.scan(true);
    auto folder = [&](std::uint32_t c) { return s->catalogue.findFatFolder(c); };
    auto parentOf = [&](std::string_view name) -> std::int64_t {
        const auto* f = fileNamed(*s, name);
        return f == nullptr ? -1 : std::int64_t{f->parentCluster};
    };
    auto expectFolder = [&](std::uint32_t c, std::string_view name, std::uint32_t parent) {
        const catalogue::FatFolderEntry* f = folder(c);
        ASSERT_NE(f, nullptr) << c;
        EXPECT_EQ(f->name, name);
        EXPECT_EQ(f->parentCluster, parent) << name;
        EXPECT_EQ(f->deleted, 1u) << name;
    };
    expectFolder(20, "$Lost folder 20", 3);
    expectFolder(22, "_UB", 20); // listed by the lost folder's entries: its own name
    expectFolder(32, "$Lost folder 32", catalogue::kFatRootKey);
    expectFolder(72, "$Lost folder 72", 3);
    expectFolder(70, "$Lost folder 70", 72); // placed once the folder its ".." names is known
    expectFolder(60, "_OLD", catalogue::kFatRootKey);
    const catalogue::FatFolderEntry* unknownParent = folder(30);
    ASSERT_NE(unknownParent, nullptr);
    EXPECT_EQ(unknownParent->name, "$Lost folder 30");
    const catalogue::FatFolderEntry* lostAndFound = folder(unknownParent->parentCluster);
    ASSERT_NE(lostAndFound, nullptr);
    EXPECT_EQ(lostAndFound->name, "$Unlinked entries");

    EXPECT_EQ(parentOf("_OSTFILE.TXT"), 20);
    EXPECT_EQ(parentOf("_ECOND.TXT"), 20) << "the free cluster after the first is read as well";
    EXPECT_EQ(parentOf("_UBFILE.TXT"), 22);
    EXPECT_EQ(parentOf("_RPHAN.TXT"), 30);
    EXPECT_EQ(parentOf("_OOTED.TXT"), 32);
    EXPECT_EQ(parentOf("_NNER.TXT"), 70);
    EXPECT_EQ(parentOf("_UTER.TXT"), 72);
    EXPECT_EQ(parentOf("_LDFILE.TXT"), 60);
    EXPECT_EQ(std::count_if(s->catalogue.fsLists().FatFileList.begin(), s->catalogue.fsLists().FatFileList.end(),
                            [](const auto& f) { return f.name == "_UBFILE.TXT"; }),
              1)
        << "a subfolder listed by a lost folder is not taken as lost too";
    for (const std::uint32_t c : {80u, 81u, 84u, 86u, 88u})
        EXPECT_EQ(folder(c), nullptr) << c;
    for (const char* name : {"_OTA.TXT", "_OTC.TXT", "_OTD.TXT", "_OTE.TXT"})
        EXPECT_EQ(fileNamed(*s, name), nullptr) << name;
    expectFolder(82, "$Lost folder 82", catalogue::kFatRootKey);
    EXPECT_EQ(parentOf("_OTB.TXT"), 82);
    EXPECT_EQ(parentOf("LIVE.TXT"), 82) << "a live entry of a lost folder is listed as a deleted file";
}

TEST(FatThoroughScan, LostFolderClustersAreToldStrictly)
{
    Volume16 v;
    const auto cluster = [&](std::uint32_t c) {
        return std::span<const std::byte>(v.image.bytes()).subspan(Volume16::inCluster(c, 0), 512);
    };
    v.dots(20, 7);
    deletedEntry(v, Volume16::inCluster(20, 2), "\xE5OOD    TXT", 30, 10);
    EXPECT_EQ(fat::lostFolderParent(cluster(20), 20, 388, false), std::optional<std::uint32_t>(7));
    EXPECT_EQ(fat::lostFolderParent(cluster(20), 21, 388, false), std::nullopt) << "\".\" names another cluster";
    v.dots(21, 0);
    EXPECT_EQ(fat::lostFolderParent(cluster(21), 21, 388, false), std::optional<std::uint32_t>(0))
        << "an empty folder of the root";
    v.dots(22, 22);
    EXPECT_EQ(fat::lostFolderParent(cluster(22), 22, 388, false), std::nullopt) << "\"..\" names the folder itself";
    v.dots(23, 0);
    v.entry(Volume16::inCluster(23, 2), "LIVE    TXT", 0x20, 31, 10);
    v.image.put(Volume16::inCluster(23, 2) + 24, 2, kDate);
    EXPECT_EQ(fat::lostFolderParent(cluster(23), 23, 388, false), std::nullopt) << "a live entry";
    v.dots(24, 0);
    v.image.put(Volume16::inCluster(24, 1) + 28, 4, 512u);
    EXPECT_EQ(fat::lostFolderParent(cluster(24), 24, 388, false), std::nullopt) << "\"..\" with a size";
    v.dots(25, 0);
    v.image.put(Volume16::inCluster(25, 1) + 2, 1, 'X');
    EXPECT_EQ(fat::lostFolderParent(cluster(25), 25, 388, false), std::nullopt) << "\"..X\" is no dot entry";
    v.dots(26, 0);
    v.image.put(Volume16::inCluster(26, 0) + 20, 2, 1u);
    EXPECT_EQ(fat::lostFolderParent(cluster(26), 26, 388, false), std::nullopt) << "a high word on FAT16";
    // Entries after the dots as strict as an orphan cluster's: a long name cut by the end marker.
    v.dots(27, 0);
    const std::array<std::uint64_t, 1> cut = {Volume16::inCluster(27, 2)};
    deletedPieces(v, cut, u"cut", 0x42, 0);
    EXPECT_EQ(fat::lostFolderParent(cluster(27), 27, 388, false), std::nullopt);
}

TEST(FatThoroughScan, EachPhaseReportsWhatItHasDoneOfWhatItKnows)
{
    Volume16 v;
    v.entry(Volume16::root(0), "DIR", 0x10, 3, 0);
    v.entry(Volume16::root(1), "\xE5OLD", 0x10, 10, 0);
    v.fat(3, 0xFFFF);
    v.dots(3, 0);
    v.dots(10, 0);
    struct Recorder : catalogue::ScanObserver {
        // Each status with the progress reported next after it.
        std::vector<std::pair<std::string, std::optional<std::uint32_t>>> seen;
        void status(const std::string& text) override { seen.emplace_back(text, std::nullopt); }
        void progress(std::uint32_t position) override
        {
            if (!seen.empty() && !seen.back().second)
                seen.back().second = position;
        }
    } recorder;
    scan::ScanSession session;
    ASSERT_TRUE(test::selectImage(session.volume, v.image));
    catalogue::ScanControl control;
    scan::RunScan(session, recorder, control, scan::ScanOptions{true, true, true});

    std::vector<std::string> texts;
    for (const auto& [text, position] : recorder.seen)
        texts.push_back(text);
    // The root, each of the two folders as it is read, the deep search's read
    // of the free clusters (from none of their bytes to all of them), the
    // search for files by content, then the tree.
    ASSERT_GE(texts.size(), 8u);
    EXPECT_EQ(texts[0], "Reading the root folder");
    EXPECT_EQ(texts[1], "Reading folders: 1 of 2");
    EXPECT_EQ(texts[2], "Reading folders: 2 of 2");
    const std::string start = "Searching free space: 0 bytes of ";
    ASSERT_TRUE(texts[3].starts_with(start)) << texts[3];
    const std::string freeBytes = texts[3].substr(start.size());
    EXPECT_TRUE(freeBytes.ends_with(" KB")) << "the free clusters of a 200 KB volume: " << freeBytes;
    EXPECT_EQ(texts[4], "Searching free space: " + freeBytes + " of " + freeBytes);
    EXPECT_EQ(recorder.seen[4].second, 100u);
    EXPECT_TRUE(texts[texts.size() - 2].starts_with("Searching free clusters for files: ")) << texts[texts.size() - 2];
    EXPECT_EQ(texts.back(), "Creating Directory Tree");
    // The progress is the share of each phase finished: half at the second folder.
    EXPECT_EQ(recorder.seen[1].second, 0u);
    EXPECT_EQ(recorder.seen[2].second, 50u);
}
