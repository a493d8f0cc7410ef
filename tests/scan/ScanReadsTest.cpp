// SPDX-License-Identifier: GPL-3.0-or-later
// What a scan reads of a volume whose free space is dense (every free cluster
// holds old bytes, as a dd of a used card does): the quick scan nothing of the
// free clusters but deleted folders' own, the deep search each free byte
// once; and what the sample of free space makes of used and blank free space.
// On copies of the volumes tools/make-test-volumes.sh makes with real tools.

#include "carve/FatCarve.h"
#include "carve/NtfsCarve.h"
#include "scan/FreeSpaceSample.h"
#include "support/Manifest.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>

namespace sarvik {
namespace {

namespace fs = std::filesystem;

/// A source that keeps the byte ranges read through it.
class CountingSource final : public disk::BlockSource {
public:
    explicit CountingSource(std::shared_ptr<const disk::BlockSource> base) : m_base(std::move(base)) {}
    [[nodiscard]] std::uint64_t size() const override { return m_base->size(); }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        const std::lock_guard lock(m_lock);
        m_reads.push_back({offset, buffer.size()});
        return m_base->read(offset, buffer);
    }
    /// Bytes read so far, each read counted anew.
    [[nodiscard]] std::uint64_t total() const
    {
        const std::lock_guard lock(m_lock);
        std::uint64_t bytes = 0;
        for (const auto& r : m_reads)
            bytes += r.length;
        return bytes;
    }
    /// Bytes read inside `extents` (sorted, apart), each read counted anew.
    [[nodiscard]] std::uint64_t readWithin(const std::vector<carve::Extent>& extents) const
    {
        std::uint64_t total = 0;
        for (const carve::Extent& r : m_reads) {
            auto e = std::upper_bound(extents.begin(), extents.end(), r.offset,
                                      [](std::uint64_t at, const carve::Extent& x) { return at < x.offset; });
            if (e != extents.begin())
                --e;
            for (; e != extents.end() && e->offset < r.offset + r.length; ++e) {
                const std::uint64_t from = std::max(e->offset, r.offset);
                const std::uint64_t to = std::min(e->offset + e->length, r.offset + r.length);
                total += to > from ? to - from : 0;
            }
        }
        return total;
    }

private:
    std::shared_ptr<const disk::BlockSource> m_base;
    mutable std::mutex m_lock;
    mutable std::vector<carve::Extent> m_reads;
};

std::vector<carve::Extent> unclaimed(const scan::ScanSession& s)
{
    switch (s.volume.geometry.GeometryKind) {
    case disk::VolumeKind::Exfat:
        return carve::UnclaimedExfatExtents(s.volume, s.catalogue);
    case disk::VolumeKind::Ntfs:
        return carve::UnclaimedNtfsExtents(s.volume, s.mftRuns, s.catalogue);
    default:
        return carve::UnclaimedFatExtents(s.volume, s.catalogue);
    }
}

/// A copy of a test volume whose free space no found entry names is filled
/// with `fill` (pseudo-random bytes when nothing): the extents filled, and the
/// volume. Null when the volume was not made.
struct Filled {
    std::shared_ptr<disk::MemoryBlockSource> bytes;
    std::vector<carve::Extent> free;
};
std::optional<Filled> filledCopy(const std::string& name, std::optional<std::byte> fill)
{
    const fs::path image = fs::path(SARVIK_TEST_VOLUMES) / name;
    if (!fs::exists(image))
        return std::nullopt;
    Filled f{std::make_shared<disk::MemoryBlockSource>(test::readImageFile(image)), {}};
    scan::ScanSession probe;
    EXPECT_TRUE(test::scanSource(probe, f.bytes, true));
    f.free = unclaimed(probe);
    // Old bytes: a MiB of pseudo-random ones, laid over and over.
    std::vector<std::byte> pattern(std::size_t{1} << 20, fill.value_or(std::byte{0}));
    std::mt19937_64 random(42);
    if (!fill)
        std::generate(pattern.begin(), pattern.end(), [&] { return static_cast<std::byte>(random() & 0xFF); });
    for (const carve::Extent& e : f.free)
        for (std::uint64_t i = 0; i < e.length; i += pattern.size()) {
            const auto n = static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(pattern.size(), e.length - i));
            std::copy_n(pattern.begin(), n, f.bytes->bytes().begin() + static_cast<std::ptrdiff_t>(e.offset + i));
        }
    return f;
}

std::uint64_t totalBytes(const std::vector<carve::Extent>& extents)
{
    std::uint64_t n = 0;
    for (const carve::Extent& e : extents)
        n += e.length;
    return n;
}

/// Scans `bytes` in the thorough rules (with the deep search when asked)
/// through a source that keeps what was read.
std::shared_ptr<CountingSource> countedScan(const std::shared_ptr<const disk::BlockSource>& bytes, bool deep,
                                            scan::ScanSession& s)
{
    auto source = std::make_shared<CountingSource>(bytes);
    test::MemoryDevices devices;
    devices.add("vol.img", source);
    EXPECT_TRUE(scan::SelectVolume(s.volume, {"Disk Image(vol.img)", "vol.img", disk::DriveKind::Image, source->size()},
                                   devices));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    scan::RunScan(s, quiet, control, scan::ScanOptions{true, true, deep});
    return source;
}

class ScanReads : public ::testing::TestWithParam<const char*> {};

TEST_P(ScanReads, QuickReadsNoFreeSpaceAndDeepReadsItOnce)
{
    const auto dense = filledCopy(GetParam(), std::nullopt);
    if (!dense)
        GTEST_SKIP() << "no " << GetParam() << " (tools/make-test-volumes.sh)";
    const std::uint64_t freeBytes = totalBytes(dense->free);
    ASSERT_GT(freeBytes, 1u << 20);

    const auto counted = [&](bool deep, scan::ScanSession& s) { return countedScan(dense->bytes, deep, s); };
    scan::ScanSession quick;
    const auto quickReads = counted(false, quick);
    const std::uint64_t clusterBytes = std::uint64_t{quick.volume.geometry.SectorsPerCluster} * 512;
    // A deleted folder's first cluster is free, and so may be the one after it
    // that the scan looks at to see whether the folder goes on there.
    std::uint64_t deletedFolders = 0;
    for (const auto& f : quick.catalogue.fsLists().FatFolderList)
        deletedFolders += f.deleted == 1 ? 1u : 0u;
    EXPECT_LE(quickReads->readWithin(dense->free), 2 * deletedFolders * clusterBytes) << "of " << freeBytes;
    EXPECT_FALSE(quick.catalogue.DeepSearched);

    scan::ScanSession deep;
    const auto deepReads = counted(true, deep);
    EXPECT_TRUE(deep.catalogue.DeepSearched);
    const std::uint64_t read = deepReads->readWithin(dense->free);
    EXPECT_GE(read, freeBytes) << "every free byte";
    EXPECT_LE(read, freeBytes + freeBytes / 100) << "each free byte once";
}

INSTANTIATE_TEST_SUITE_P(TestVolumes, ScanReads, ::testing::Values("fat32.img", "exfat.img", "ntfs.img"));

// A volume of 32 KiB clusters is searched by the heads of its free clusters:
// 4 KiB of each, and all of a cluster only where its head may start a folder's
// entries; the folder a format cut off is found all the same.
TEST(ScanReads, LargeClustersAreReadByTheirHeads)
{
    constexpr std::uint64_t kSpc = 64;
    constexpr std::uint32_t kClusters = 200;
    constexpr std::uint64_t kData = 37; // boot sector, two FATs of 2 sectors, 32 sectors of root entries
    test::ImageBuilder image = test::fat16Boot(kData + kClusters * kSpc, 1, 2, kSpc, 512);
    image.put(512, 4, 0xFFFFFFF8); // the media and end-of-chain entries of clusters 0 and 1
    const auto at = [&](std::uint32_t c, unsigned entry) { return (kData + (c - 2) * kSpc) * 512 + entry * 32ull; };
    // Old bytes everywhere; a lost folder's first cluster at 20: ".", ".." naming the root, one deleted file.
    std::mt19937_64 random(7);
    for (std::uint64_t offset = kData * 512; offset < image.bytes().size(); offset += 8)
        image.put(offset, 8, random());
    std::fill_n(image.bytes().begin() + static_cast<std::ptrdiff_t>(at(20, 0)), kSpc * 512, std::byte{0});
    const auto entry = [&](std::uint64_t offset, std::string_view name11, std::uint8_t attributes, std::uint32_t c,
                           std::uint32_t size) {
        image.putText(offset, std::string(name11) + std::string(11 - name11.size(), ' '));
        image.put(offset + 11, 1, attributes);
        image.put(offset + 24, 2, 0x5A21); // 2025-01-01
        image.put(offset + 26, 2, c);
        image.put(offset + 28, 4, size);
    };
    entry(at(20, 0), ".", 0x10, 20, 0);
    entry(at(20, 1), "..", 0x10, 0, 0);
    entry(at(20, 2), "\xE5OSTFILETXT", 0x20, 30, 10);
    // The clusters whose head may start a folder's entries are read whole.
    std::uint64_t whole = 0;
    for (std::uint32_t c = 2; c < 2 + kClusters; ++c) {
        const auto first = image.bytes()[static_cast<std::size_t>(at(c, 0))];
        whole += first == std::byte{'.'} || first == std::byte{0xE5} ? 1u : 0u;
    }
    const std::vector<carve::Extent> data{{kData * 512, std::uint64_t{kClusters} * kSpc * 512}};

    scan::ScanSession quick;
    EXPECT_EQ(countedScan(image.source(), false, quick)->readWithin(data), 0u);
    scan::ScanSession deep;
    const std::uint64_t read = countedScan(image.source(), true, deep)->readWithin(data);
    EXPECT_GE(read, std::uint64_t{kClusters} * 4096);
    // Besides: the folder found, read as a folder is (its cluster, and the
    // next one to see whether the folder goes on there).
    EXPECT_LE(read, std::uint64_t{kClusters} * 4096 + whole * (kSpc * 512 - 4096) + 2 * kSpc * 512)
        << whole << " read whole";
    const auto* lost = deep.catalogue.findFatFolder(20);
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->name, "$Lost folder 20");
    EXPECT_EQ(deep.catalogue.fsLists().FatFileList.size(), 1u);
}

// The sample reads a few hundred clusters of free space: old bytes there point
// at the deep search, a blank free space does not.
TEST(FreeSpaceSample, TellsUsedFreeSpaceFromBlank)
{
    for (const bool used : {true, false}) {
        const auto copy = filledCopy("fat32.img", used ? std::nullopt : std::optional(std::byte{0}));
        if (!copy)
            GTEST_SKIP() << "no fat32.img (tools/make-test-volumes.sh)";
        scan::ScanSession s;
        ASSERT_TRUE(test::scanSource(s, copy->bytes, true));
        const scan::FreeSpaceSample sample = scan::SampleFreeSpace(s);
        EXPECT_EQ(sample.unclaimedBytes, totalBytes(unclaimed(s)));
        EXPECT_EQ(sample.sampled, scan::kSampleClusters);
        EXPECT_EQ(sample.holdingData, used ? sample.sampled : 0u);
        EXPECT_EQ(sample.holdsUnnamedData(), used);
    }
}

// On a small volume the sample reads little: the heads of its clusters, the
// allocation table or bitmap, and a read for the device's speed of at most a
// sixty-fourth of what the deep search would read (64 KiB at least), not 4 MiB.
TEST(FreeSpaceSample, ReadsLittleOfASmallVolume)
{
    for (const char* name : {"fat16.img", "exfat.img", "ntfs.img"}) {
        const auto copy = filledCopy(name, std::nullopt);
        if (!copy)
            GTEST_SKIP() << "no " << name << " (tools/make-test-volumes.sh)";
        scan::ScanSession s;
        const auto counted = countedScan(copy->bytes, false, s);
        const std::uint64_t before = counted->total();
        const scan::FreeSpaceSample sample = scan::SampleFreeSpace(s);
        const std::uint64_t tables = std::uint64_t{s.volume.geometry.FatSectors} * 512 + (64 << 10);
        EXPECT_LT(sample.bytesToRead, std::uint64_t{64} << 20) << name;
        EXPECT_LE(counted->total() - before,
                  scan::kSampleClusters * 4096 + std::max<std::uint64_t>(64 << 10, sample.bytesToRead / 64) + tables)
            << name;
        EXPECT_GT(sample.bytesPerSecond, 0.0) << name;
    }
}

} // namespace
} // namespace sarvik

namespace sarvik {
namespace {

/// Asks for a stop the first time a status starting with `phase` is reported.
struct StopAt : catalogue::ScanObserver {
    StopAt(catalogue::ScanControl& c, std::string p) : control(c), phase(std::move(p)) {}
    void status(const std::string& text) override
    {
        seen.push_back(text);
        if (!asked && text.starts_with(phase)) {
            asked = true;
            control.requestStop();
        }
    }
    catalogue::ScanControl& control;
    std::string phase;
    bool asked = false;
    std::vector<std::string> seen;
};

// A stop ends the whole scan, whichever pass it lands in: asked in the folder
// walk, no pass over free space starts; asked as the search of free space
// begins (between two passes), that search reads no further and nothing after
// it runs. What was found is kept and the tree is built.
TEST(ScanReads, AStopEndsTheWholeScanWhereverItLands)
{
    const auto dense = filledCopy("fat32.img", std::nullopt);
    if (!dense)
        GTEST_SKIP() << "no fat32.img (tools/make-test-volumes.sh)";
    for (const char* phase : {"Reading folders", "Searching free space"}) {
        scan::ScanSession s;
        auto source = std::make_shared<CountingSource>(dense->bytes);
        test::MemoryDevices devices;
        devices.add("vol.img", source);
        ASSERT_TRUE(scan::SelectVolume(
            s.volume, {"Disk Image(vol.img)", "vol.img", disk::DriveKind::Image, source->size()}, devices));
        catalogue::ScanControl control;
        StopAt observer(control, phase);
        const scan::ScanResult result = scan::RunScan(s, observer, control, scan::ScanOptions{true, true, true});
        ASSERT_TRUE(observer.asked) << phase;
        EXPECT_TRUE(result.Stopped) << phase;
        EXPECT_FALSE(s.catalogue.DeepSearched) << phase;
        EXPECT_LE(source->readWithin(dense->free), std::uint64_t{1} << 20) << phase << ": at most one block";
        EXPECT_TRUE(
            std::none_of(observer.seen.begin(), observer.seen.end(),
                         [](const std::string& t) { return t.starts_with("Searching free clusters for files"); }))
            << phase << ": carving started";
        EXPECT_EQ(observer.seen.back(), "Creating Directory Tree") << phase;
    }
}

// A stop that lands between two passes (as one pass withdraws Stop, before the
// next offers it) is the whole scan's: no later pass uses it up, no pass over
// free space reads after it, the scan says it was stopped, and the request is
// still asked when the scan returns. The test volumes' passes are short, so the
// request lands on each engine's first boundary.
TEST_P(ScanReads, AStopBetweenTwoPassesIsKeptForTheWholeScan)
{
    const auto dense = filledCopy(GetParam(), std::nullopt);
    if (!dense)
        GTEST_SKIP() << "no " << GetParam() << " (tools/make-test-volumes.sh)";
    struct StopBetweenPasses : catalogue::ScanObserver {
        explicit StopBetweenPasses(catalogue::ScanControl& c) : control(c) {}
        void stopAvailable(bool available) override
        {
            if (!available && !asked) {
                asked = true;
                control.requestStop();
            }
        }
        void status(const std::string& text) override
        {
            if (asked)
                after.push_back(text);
        }
        catalogue::ScanControl& control;
        bool asked = false;
        std::vector<std::string> after;
    };
    scan::ScanSession s;
    catalogue::ScanControl control;
    StopBetweenPasses observer(control);
    auto source = std::make_shared<CountingSource>(dense->bytes);
    test::MemoryDevices devices;
    devices.add("vol.img", source);
    ASSERT_TRUE(scan::SelectVolume(s.volume, {"Disk Image(vol.img)", "vol.img", disk::DriveKind::Image, source->size()},
                                   devices));
    const scan::ScanResult result = scan::RunScan(s, observer, control, scan::ScanOptions{true, true, true});
    ASSERT_TRUE(observer.asked);
    EXPECT_TRUE(result.Stopped);
    EXPECT_FALSE(s.catalogue.DeepSearched);
    EXPECT_TRUE(control.stopRequested());
    for (const std::string& text : observer.after)
        EXPECT_FALSE(text.starts_with("Searching free")) << text;
}

// A stop asked once free space has been read (as the orphans found there are
// being placed) keeps them: the later clusters of a deleted folder and the
// lost folder found on thorough-fat32.img are listed, and the scan says it
// was stopped.
TEST(ScanReads, AStopAfterTheFreeSpaceReadKeepsWhatItFound)
{
    const fs::path image = fs::path(SARVIK_TEST_VOLUMES) / "thorough-fat32.img";
    if (!fs::exists(image))
        GTEST_SKIP() << "no thorough-fat32.img (tools/make-test-volumes.sh)";
    struct StopAfterRead : catalogue::ScanObserver {
        explicit StopAfterRead(catalogue::ScanControl& c) : control(c) {}
        void status(const std::string& text) override
        {
            const bool searching = text.starts_with("Searching free space");
            if (read && !searching && !asked) {
                asked = true;
                control.requestStop();
            }
            read = read || searching;
        }
        catalogue::ScanControl& control;
        bool read = false, asked = false;
    };
    scan::ScanSession s;
    ASSERT_TRUE(test::scanSource(s, std::make_shared<disk::MemoryBlockSource>(test::readImageFile(image)), true));
    const std::size_t quickFolders = s.catalogue.fsLists().FatFolderList.size();
    catalogue::ScanControl control;
    StopAfterRead observer(control);
    const scan::ScanResult result = scan::RunScan(s, observer, control, scan::ScanOptions{true, true, true});
    ASSERT_TRUE(observer.asked);
    EXPECT_TRUE(result.Stopped);
    std::set<std::string> names;
    for (const catalogue::FatFolderEntry& f : s.catalogue.fsLists().FatFolderList)
        names.insert(f.name);
    EXPECT_GT(s.catalogue.fsLists().FatFolderList.size(), quickFolders);
    EXPECT_TRUE(names.contains("$Lost folder 670"));
    EXPECT_TRUE(names.contains("Подпапка"));
}

} // namespace
} // namespace sarvik
