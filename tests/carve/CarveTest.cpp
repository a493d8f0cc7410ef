// SPDX-License-Identifier: GPL-3.0-or-later
// Carving checked against the carving test volumes (tests/carve/make-carve-volumes.py,
// made by tools/make-test-volumes.sh): every file the manifest says carving
// must give back comes back byte-exact under the name of its first unit, files
// cut by foreign sectors are listed as incomplete, and nothing else is found.

#include "carve/Carver.h"
#include "carve/FatCarve.h"
#include "carve/NtfsCarve.h"
#include "recovery/FileRecovery.h"
#include "recovery/Sha256.h"
#include "scan/ScanSession.h"
#include "snapshot/SnapshotFile.h"
#include "support/Manifest.h"
#include "support/MemoryOutputFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <tuple>

using namespace sarvik;
namespace fs = std::filesystem;

namespace {

/// The folder of the carving volumes: $SARVIK_CARVE_VOLUMES when set, else the test volumes.
fs::path carveVolumes()
{
    if (const char* dir = std::getenv("SARVIK_CARVE_VOLUMES"))
        return dir;
    return SARVIK_TEST_VOLUMES;
}

std::string note(const test::ManifestRow& row, const std::string& key)
{
    const auto at = row.notes.find(key + "=");
    if (at == std::string::npos)
        return {};
    const auto from = at + key.size() + 1;
    return row.notes.substr(from, row.notes.find(' ', from) - from);
}

struct RawImage {
    std::shared_ptr<disk::MemoryBlockSource> source;
    std::vector<test::ManifestRow> rows;
};

std::optional<RawImage> loadRaw()
{
    const fs::path image = carveVolumes() / "raw-carve.img";
    if (!fs::exists(image))
        return std::nullopt;
    return RawImage{std::make_shared<disk::MemoryBlockSource>(test::readImageFile(image)),
                    test::readManifest(carveVolumes() / "raw-carve.manifest.tsv")};
}

std::string sha256Of(const disk::MemoryBlockSource& source, std::uint64_t offset, std::uint64_t length)
{
    std::vector<std::byte> bytes(length);
    EXPECT_EQ(source.read(offset, bytes), disk::ReadStatus::Ok);
    return test::sha256Hex(bytes);
}

/// Every file below `folder` by its SHA-256, with its path.
void collectFiles(const recovery::MemoryOutputFolder& folder, const std::string& prefix,
                  std::map<std::string, std::string>& out)
{
    for (const auto& [name, entry] : folder.entries()) {
        if (entry.folder)
            collectFiles(*entry.folder, prefix + name + "/", out);
        else if (entry.kind == recovery::MemoryOutputFolder::Kind::File)
            out[test::sha256Hex(entry.bytes)] = prefix + name;
    }
}

} // namespace

#define SKIP_WITHOUT_RAW(raw)                                                                                          \
    if (!(raw))                                                                                                        \
    GTEST_SKIP() << "no raw-carve.img (tools/make-test-volumes.sh DIR carve)"

// The whole image, sector by sector: each file whole and byte-exact (a JPEG's
// thumbnail and a PDF's first %%EOF do not end it early), the fragmented ones
// incomplete with their intact start, and no other finds in the random gaps.
TEST(CarveRawImage, FindsEveryFileByContent)
{
    const auto raw = loadRaw();
    SKIP_WITHOUT_RAW(raw);
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    const carve::Extent all{0, raw->source->size()};
    const carve::CarveResult result = carve::Carve(*raw->source, {&all, 1}, {}, quiet, control);
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(result.bytesSearched, raw->source->size());

    std::map<std::uint64_t, const carve::CarvedFile*> byOffset;
    for (const auto& f : result.files)
        byOffset[f.offset] = &f;
    for (const auto& row : raw->rows) {
        SCOPED_TRACE(row.path);
        const auto it = byOffset.find(std::uint64_t{row.firstCluster} * 512);
        ASSERT_NE(it, byOffset.end());
        const carve::CarvedFile& f = *it->second;
        EXPECT_EQ(f.extension, note(row, "ext"));
        if (note(row, "carve") == "whole") {
            EXPECT_TRUE(f.complete);
            EXPECT_EQ(f.length, row.size);
            EXPECT_EQ(sha256Of(*raw->source, f.offset, f.length), row.sha256);
        } else {
            EXPECT_FALSE(f.complete);
            // What held ends where the structure broke: at the chunk that spans
            // the cut, after the member whose length jumps over it, or a little
            // into the foreign bytes (JPEG scan data).
            EXPECT_GT(f.length, 0u);
            EXPECT_LT(f.length, row.size + 8 * 512);
        }
    }
    EXPECT_EQ(result.files.size(), raw->rows.size());
}

// A stretch that ends inside a file (the next cluster belongs to something
// else) makes that file incomplete, never whole; a stop ends the search.
TEST(CarveRawImage, StretchEndsAndStops)
{
    const auto raw = loadRaw();
    SKIP_WITHOUT_RAW(raw);
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    for (const auto& row : raw->rows) {
        if (note(row, "carve") != "whole")
            continue;
        SCOPED_TRACE(row.path);
        const carve::Extent cut{std::uint64_t{row.firstCluster} * 512, (row.size / 2 + 511) / 512 * 512};
        const auto result = carve::Carve(*raw->source, {&cut, 1}, {}, quiet, control);
        ASSERT_EQ(result.files.size(), 1u);
        EXPECT_FALSE(result.files[0].complete);
        EXPECT_LE(result.files[0].length, cut.length);
    }
    control.ScanStopFlag = 1;
    const carve::Extent all{0, raw->source->size()};
    const auto stopped = carve::Carve(*raw->source, {&all, 1}, {}, quiet, control);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(stopped.files.empty());
}

// Units of 32 KiB: only each unit's head is read to match signatures, and a
// candidate's walk reads its body; every whole file of the raw image, moved to
// the start of a unit among old random bytes, is found byte-exact all the same.
TEST(CarveRawImage, LargeUnitsAreMatchedByTheirHeads)
{
    const auto raw = loadRaw();
    SKIP_WITHOUT_RAW(raw);
    constexpr std::uint64_t kUnit = 32 << 10;
    struct Counting final : disk::BlockSource {
        explicit Counting(const disk::BlockSource& b) : base(b) {}
        [[nodiscard]] std::uint64_t size() const override { return base.size(); }
        [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
        {
            bytes += buffer.size();
            return base.read(offset, buffer);
        }
        const disk::BlockSource& base;
        mutable std::uint64_t bytes = 0;
    };
    std::vector<std::byte> image;
    std::map<std::uint64_t, const test::ManifestRow*> placed;
    std::uint64_t fileBytes = 0;
    std::uint32_t seed = 1;
    const auto oldBytes = [&](std::uint64_t n) {
        for (std::uint64_t i = 0; i < n; ++i)
            image.push_back(static_cast<std::byte>((seed = seed * 1103515245u + 12345u) >> 24));
    };
    for (const auto& row : raw->rows) {
        if (note(row, "carve") != "whole")
            continue;
        oldBytes(kUnit * 32); // units that start no file
        placed[image.size()] = &row;
        std::vector<std::byte> bytes(row.size);
        ASSERT_EQ(raw->source->read(std::uint64_t{row.firstCluster} * 512, bytes), disk::ReadStatus::Ok);
        image.insert(image.end(), bytes.begin(), bytes.end());
        oldBytes((kUnit - row.size % kUnit) % kUnit);
        fileBytes += row.size;
    }
    ASSERT_FALSE(placed.empty());
    const disk::MemoryBlockSource memory(std::move(image));
    const Counting source(memory);
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    carve::CarveOptions options;
    options.unitBytes = kUnit;
    const carve::Extent all{0, source.size()};
    const carve::CarveResult result = carve::Carve(source, {&all, 1}, options, quiet, control);

    ASSERT_EQ(result.files.size(), placed.size());
    for (const carve::CarvedFile& f : result.files) {
        const auto it = placed.find(f.offset);
        ASSERT_NE(it, placed.end()) << f.offset;
        SCOPED_TRACE(it->second->path);
        EXPECT_TRUE(f.complete);
        EXPECT_EQ(f.length, it->second->size);
        EXPECT_EQ(sha256Of(memory, f.offset, f.length), it->second->sha256);
    }
    // The heads, and the files' bodies (read in windows that may run past their ends).
    const std::uint64_t heads = source.size() / kUnit * 4096;
    EXPECT_LE(source.bytes, heads + fileBytes + placed.size() * (std::uint64_t{256} << 10));
    EXPECT_LT(source.bytes, source.size() / 3);
}

// Text has no signature: units whose start reads as text are walked to where
// the text ends (a zero, or bytes that are not text), and what it is comes
// from its content. Random bytes, a run of spaces and binary data with a few
// letters are not text; text that runs into the stretch's end is incomplete.
TEST(CarveText, TextFilesByContent)
{
    constexpr std::uint64_t kUnit = 4096;
    std::vector<std::byte> image;
    std::uint32_t seed = 7;
    const auto randomUnit = [&] {
        for (std::uint64_t i = 0; i < kUnit; ++i)
            image.push_back(static_cast<std::byte>((seed = seed * 1103515245u + 12345u) >> 24));
    };
    struct Expected {
        std::uint64_t offset;
        std::uint64_t length;
        std::string extension;
    };
    std::vector<Expected> expected;
    const auto text = [&](const std::string& bytes, const std::string& extension) {
        randomUnit();
        expected.push_back({image.size(), bytes.size(), extension});
        for (const char c : bytes)
            image.push_back(static_cast<std::byte>(c));
        image.resize((image.size() + kUnit - 1) / kUnit * kUnit, std::byte{0}); // the rest of the last cluster
    };
    std::string prose;
    while (prose.size() < 6000)
        prose += "The quick brown fox jumps over the lazy dog, line " + std::to_string(prose.size()) + ".\r\n";
    text(prose, "txt");
    text("\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80! "
         "Cyrillic after a byte order mark, and more words to pass the minimum.\n",
         "txt");
    std::string utf16{"\xFF\xFE"};
    for (const char c : std::string("Notes kept in UTF-16, as Windows Notepad wrote them.\r\n"))
        utf16 += std::string{c, '\0'};
    text(utf16, "txt");
    text("<!DOCTYPE html>\n<html><head><title>Trip</title></head><body><p>Photos</p></body></html>\n", "html");
    text("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx><trk><name>Walk</name></trk></gpx>\n", "xml");
    text("{\n  \"name\": \"holiday\",\n  \"photos\": [1, 2, 3],\n  \"kept\": true\n}\n", "json");
    text("date,place,amount\n2026-01-02,Lyon,12.50\n2026-01-03,Nice,8.00\n2026-01-04,Nice,3.20\n", "csv");
    randomUnit();
    image.insert(image.end(), kUnit, std::byte{' '}); // padding, not text
    std::vector<std::byte> binary(kUnit, std::byte{0x01});
    std::copy_n(reinterpret_cast<const std::byte*>("ABCDEFGH"), 8, binary.begin());
    image.insert(image.end(), binary.begin(), binary.end());
    randomUnit();
    const std::uint64_t cutAt = image.size();
    for (std::uint64_t i = 0; i < kUnit + 100; ++i)
        image.push_back(static_cast<std::byte>('a' + i % 26)); // runs into the stretch's end

    const disk::MemoryBlockSource source(std::move(image));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    carve::CarveOptions options;
    options.unitBytes = kUnit;
    const carve::Extent all{0, source.size()};
    const carve::CarveResult result = carve::Carve(source, {&all, 1}, options, quiet, control);
    ASSERT_EQ(result.files.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].extension + " at " + std::to_string(expected[i].offset));
        EXPECT_EQ(result.files[i].type, carve::FileType::Text);
        EXPECT_EQ(result.files[i].offset, expected[i].offset);
        EXPECT_EQ(result.files[i].length, expected[i].length);
        EXPECT_EQ(result.files[i].extension, expected[i].extension);
        EXPECT_TRUE(result.files[i].complete);
    }
    const carve::CarvedFile& cut = result.files.back();
    EXPECT_EQ(cut.offset, cutAt);
    EXPECT_EQ(cut.length, kUnit + 100);
    EXPECT_FALSE(cut.complete);
}

namespace {

// The quick-formatted card: the thorough scan finds the folder whose own
// cluster survived the format by its "." entry (listed as "$Lost folder N", its
// subfolder and files under their own names), carving lists the other files
// whose clusters survive as "$Carved files/TYPE/f<cluster>.<ext>", and the
// recovery of the root writes every one byte-exact; neither the file written
// after the format nor a file found in the lost folder is carved again, and
// the files the new one overwrote are not listed whole.
void checkCard(const std::string& card)
{
    const fs::path image = carveVolumes() / (card + ".img");
    if (!fs::exists(image))
        GTEST_SKIP() << "no " << card << ".img (tools/make-test-volumes.sh DIR carve)";
    const std::vector<std::byte> bytes = test::readImageFile(image);
    scan::ScanSession quick;
    ASSERT_TRUE(test::scanImage(quick, bytes, true));
    EXPECT_EQ(quick.tree.findByKey(carve::kCarvedFolderKey), nullptr) << "the quick scan reads no free space";
    EXPECT_TRUE(std::none_of(quick.catalogue.fsLists().FatFolderList.begin(),
                             quick.catalogue.fsLists().FatFolderList.end(),
                             [](const auto& f) { return f.name.starts_with("$Lost folder"); }));
    EXPECT_FALSE(quick.catalogue.DeepSearched);
    scan::ScanSession session;
    ASSERT_TRUE(test::scanImage(session, bytes, true, true));
    ASSERT_NE(session.tree.findByKey(carve::kCarvedFolderKey), nullptr);
    EXPECT_TRUE(session.catalogue.DeepSearched);

    auto [dest, report] = test::recoverRows(session, session.rows(session.tree.rootKey()));
    std::map<std::string, std::string> written; // sha256 -> path
    collectFiles(*dest, "", written);

    const std::string carvedFolder = recovery::safeComponent(carve::kCarvedFolderName, true) + "/";
    std::size_t whole = 0, byName = 0;
    for (const auto& row : test::readManifest(carveVolumes() / (card + ".manifest.tsv"))) {
        if (!row.isFile())
            continue;
        SCOPED_TRACE(row.path);
        const auto carved = std::find_if(
            session.catalogue.fsLists().FatFileList.begin(), session.catalogue.fsLists().FatFileList.end(),
            [&](const auto& e) { return e.carved != catalogue::Carved::No && e.firstCluster == row.firstCluster; });
        const bool listedCarved = carved != session.catalogue.fsLists().FatFileList.end();
        if (note(row, "carve") != "whole") {
            EXPECT_TRUE(!listedCarved || carved->carved == catalogue::Carved::Incomplete);
            continue;
        }
        const auto it = written.find(row.sha256);
        ASSERT_NE(it, written.end());
        ++whole;
        const std::string name = row.path.substr(row.path.rfind('/') + 1);
        if (row.path.starts_with("DCIM/100VLMRA/")) {
            // the lost folder's files: by their own name, and not carved as well
            EXPECT_TRUE(it->second.ends_with("/100VLMRA/" + name)) << it->second;
            EXPECT_FALSE(listedCarved);
            ++byName;
        } else {
            ASSERT_TRUE(listedCarved);
            EXPECT_EQ(carved->carved, catalogue::Carved::Whole);
            EXPECT_EQ(carved->name, "f" + std::to_string(row.firstCluster) + "." + note(row, "ext"));
            EXPECT_TRUE(it->second.starts_with(carvedFolder)) << it->second;
        }
    }
    EXPECT_GT(byName, 10u);
    EXPECT_GT(whole, 25u);
    std::printf("[ measured ] %s: %zu files byte-exact, %zu of them by name from the lost folder\n", card.c_str(),
                whole, byName);
}

} // namespace

TEST(CarveFormattedCard, ScanListsAndRecoversCarvedFiles)
{
    checkCard("card-fat32");
}

// The same on exFAT: the lost folder has no "." entry; it is found by the entry
// set its first cluster starts with.
TEST(CarveFormattedCard, ExfatScanListsAndRecoversCarvedFiles)
{
    checkCard("card-exfat");
}

namespace {

/// Scans `card` with 512 foreign bytes 16 KiB into the PNG at `cluster`, which
/// carving then lists as incomplete. False (and skipped) without the card.
bool scanCutCard(const std::string& card, std::uint32_t cluster, scan::ScanSession& session)
{
    const fs::path image = carveVolumes() / (card + ".img");
    if (!fs::exists(image))
        return false;
    std::vector<std::byte> bytes = test::readImageFile(image);
    scan::ScanSession probe;
    EXPECT_TRUE(test::scanImage(probe, bytes, true));
    const auto sector = probe.volume.geometry.clusterSector(cluster);
    EXPECT_TRUE(sector);
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(sector.value_or(0) * 512 + 16384), 512, std::byte{0xEE});
    EXPECT_TRUE(test::scanImage(session, bytes, true, true));
    return true;
}

bool listsCut(const catalogue::Catalogue& c, std::uint32_t cluster)
{
    return std::any_of(c.fsLists().FatFileList.begin(), c.fsLists().FatFileList.end(), [&](const auto& e) {
        return e.firstCluster == cluster && e.carved == catalogue::Carved::Incomplete;
    });
}

/// Copies the carved PNGs of `session`: the one at `cluster` must be reported
/// incomplete, the others written whole.
void expectCutPngIncomplete(scan::ScanSession& session, std::uint32_t cluster)
{
    auto [dest, report] = test::recoverRows(session, session.rows(carve::carvedTypeKey(carve::FileType::Png)));
    const std::string cutName = "f" + std::to_string(cluster) + ".png";
    for (const auto& f : report.files())
        EXPECT_EQ(f.outcome, f.name == cutName ? recovery::FileOutcome::Incomplete : recovery::FileOutcome::Written)
            << f.name;
    EXPECT_GE(report.files().size(), 2u);
}

} // namespace

// A carved file whose format breaks off keeps its mark through a snapshot: the
// reloaded scan lists it as incomplete and its copy is reported incomplete, not
// as a whole file. On exFAT (no snapshots) the copy of such a file says so too.
TEST(CarveFormattedCard, IncompleteMarkSurvivesASnapshot)
{
    constexpr std::uint32_t kPngCluster = 2884; // Pictures/DRAW0.PNG, 33,180 bytes
    scan::ScanSession scanned;
    if (!scanCutCard("card-fat32", kPngCluster, scanned))
        GTEST_SKIP() << "no card-fat32.img (tools/make-test-volumes.sh DIR carve)";
    ASSERT_TRUE(listsCut(scanned.catalogue, kPngCluster));

    std::vector<std::byte> saved;
    ASSERT_TRUE(snapshot::EncodeSnapshot(scanned.volume.info, scanned.volume.partition, scanned.volume.geometry,
                                         scanned.catalogue, saved)
                    .ok);
    scan::ScanSession loaded;
    const auto load = snapshot::LoadSnapshot(loaded, saved);
    ASSERT_EQ(load.status, snapshot::DecodeStatus::Loaded) << load.message;
    EXPECT_TRUE(loaded.catalogue.NamesAreUtf8) << "the names marker still ends the file";
    ASSERT_TRUE(listsCut(loaded.catalogue, kPngCluster));
    loaded.volume.reader.setDevice(loaded.volume.info.DevicePath, scanned.volume.reader.source());
    expectCutPngIncomplete(loaded, kPngCluster);
}

TEST(CarveFormattedCard, ExfatIncompleteCarvedFileIsCopiedAsIncomplete)
{
    constexpr std::uint32_t kPngCluster = 482; // Pictures/DRAW0.PNG, 36,249 bytes
    scan::ScanSession scanned;
    if (!scanCutCard("card-exfat", kPngCluster, scanned))
        GTEST_SKIP() << "no card-exfat.img (tools/make-test-volumes.sh DIR carve)";
    ASSERT_TRUE(listsCut(scanned.catalogue, kPngCluster));
    expectCutPngIncomplete(scanned, kPngCluster);
}

namespace {

/// The carved files of `c` as (first cluster, size, whole), in list order.
std::vector<std::tuple<std::uint32_t, std::uint32_t, bool>> carvedFiles(const catalogue::Catalogue& c)
{
    std::vector<std::tuple<std::uint32_t, std::uint32_t, bool>> out;
    for (const auto& e : c.fsLists().FatFileList)
        if (e.carved != catalogue::Carved::No)
            out.emplace_back(e.firstCluster, e.size, e.carved == catalogue::Carved::Whole);
    return out;
}

} // namespace

// Carving takes the signatures at the free clusters' starts from the scan's
// own read of them. With bad sectors among them (a carved file's first
// cluster, 16 KiB into a PNG, plain free space after them) it lists and counts
// exactly what a carve that reads the free clusters itself does.
TEST(CarveFormattedCard, CarvesFromTheScansReadAsFromItsOwn)
{
    constexpr std::uint32_t kPngCluster = 2884; // Pictures/DRAW0.PNG, 33,180 bytes
    const fs::path image = carveVolumes() / "card-fat32.img";
    if (!fs::exists(image))
        GTEST_SKIP() << "no card-fat32.img (tools/make-test-volumes.sh DIR carve)";
    auto source = std::make_shared<disk::MemoryBlockSource>(test::readImageFile(image));
    scan::ScanSession probe;
    ASSERT_TRUE(test::scanSource(probe, source, true, true));
    const auto before = carvedFiles(probe.catalogue);
    ASSERT_FALSE(before.empty());
    const std::uint32_t first = std::get<0>(before.front());
    ASSERT_NE(first, kPngCluster);
    const disk::VolumeGeometry& g = probe.volume.geometry;
    source->addBadRange(g.clusterSector(first).value_or(0) * 512, 512);
    source->addBadRange(g.clusterSector(kPngCluster).value_or(0) * 512 + 16384, 512);
    const auto extents = carve::UnclaimedFatExtents(probe.volume, probe.catalogue);
    ASSERT_FALSE(extents.empty());
    source->addBadRange(extents.back().offset + extents.back().length - 512, 512);

    scan::ScanSession shared;
    ASSERT_TRUE(test::scanSource(shared, source, true, true));
    scan::ScanSession own;
    ASSERT_TRUE(test::scanSource(own, source, true, true, false));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    const carve::CarveResult result = carve::CarveFatVolume(own.volume, own.catalogue, quiet, control);
    own.catalogue.Losses.UnreadableSectors += (result.unreadableBytes + 511) / 512;

    const auto after = carvedFiles(shared.catalogue);
    EXPECT_EQ(after, carvedFiles(own.catalogue));
    EXPECT_EQ(shared.catalogue.Losses.UnreadableSectors, own.catalogue.Losses.UnreadableSectors);
    EXPECT_EQ(result.unreadableBytes, 3u * g.SectorsPerCluster * 512);
    EXPECT_TRUE(std::none_of(after.begin(), after.end(), [&](const auto& f) { return std::get<0>(f) == first; }));
    EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const auto& f) {
        return std::get<0>(f) == kPngCluster && !std::get<2>(f);
    })) << "the PNG held up to its bad sector: incomplete";
}

// An image cut short: a deleted file whose free clusters run on past the cut
// claims only those the image holds, and the unclaimed stretches end with it.
TEST(CarveCutVolume, UnclaimedExtentsEndWithTheImage)
{
    const fs::path image = fs::path(SARVIK_TEST_VOLUMES) / "fat12-floppy.img";
    if (!fs::exists(image))
        GTEST_SKIP() << "no fat12-floppy.img (tools/make-test-volumes.sh DIR fat12)";
    auto bytes = test::readImageFile(image);
    bytes.resize(1072 * 512); // inside the deleted "Big picture.png"
    const std::uint64_t size = bytes.size();
    scan::ScanSession s;
    ASSERT_TRUE(test::scanImage(s, std::move(bytes), true));
    const auto extents = carve::UnclaimedFatExtents(s.volume, s.catalogue);
    ASSERT_FALSE(extents.empty());
    EXPECT_LE(extents.back().offset + extents.back().length, size);
}

// NTFS free clusters are carved by the thorough scan: a PNG written into a
// free cluster of the NTFS test volume is listed whole and comes back
// byte-exact, one cut by foreign bytes is listed and copied as incomplete, also
// after a snapshot; --no-carve lists neither, and the volume as made has none.
TEST(CarveNtfs, ScanCarvesFreeClusters)
{
    const fs::path image = fs::path(SARVIK_TEST_VOLUMES) / "ntfs.img";
    if (!fs::exists(image))
        GTEST_SKIP() << "no ntfs.img (tools/make-test-volumes.sh DIR ntfs)";
    std::vector<std::byte> bytes = test::readImageFile(image);
    const std::vector<std::byte> png = test::readImageFile(fs::path(SARVIK_SOURCE_DIR) / "tests/fuzz/corpus/carve/png");
    scan::ScanSession probe;
    ASSERT_TRUE(test::scanImage(probe, bytes, true));
    const auto carvedIn = [](const catalogue::Catalogue& c) {
        return std::count_if(c.fsLists().NtfsFileList.begin(), c.fsLists().NtfsFileList.end(),
                             [](const auto& e) { return e.carved != catalogue::Carved::No; });
    };
    ASSERT_EQ(carvedIn(probe.catalogue), 0);
    const std::uint64_t clusterBytes = std::uint64_t{probe.volume.geometry.SectorsPerCluster} * 512;
    const auto extents = carve::UnclaimedNtfsExtents(probe.volume, probe.mftRuns, probe.catalogue);
    const auto room = std::find_if(extents.begin(), extents.end(),
                                   [&](const carve::Extent& e) { return e.length >= 4 * clusterBytes; });
    ASSERT_NE(room, extents.end());
    const auto at = static_cast<std::ptrdiff_t>(room->offset);
    const auto cutAt = at + static_cast<std::ptrdiff_t>(2 * clusterBytes);
    std::fill_n(bytes.begin() + at, 4 * clusterBytes, std::byte{0});
    std::copy(png.begin(), png.end(), bytes.begin() + at);
    std::copy(png.begin(), png.begin() + 500, bytes.begin() + cutAt);
    std::fill_n(bytes.begin() + cutAt + 500, 400, std::byte{0xEE});
    const std::uint32_t whole = static_cast<std::uint32_t>(room->offset / clusterBytes);
    const std::uint32_t cut = whole + 2;

    scan::ScanSession plain;
    ASSERT_TRUE(test::scanImage(plain, bytes, true));
    EXPECT_EQ(carvedIn(plain.catalogue), 0) << "the quick scan";
    ASSERT_TRUE(test::scanImage(plain, bytes, true, true, false));
    EXPECT_EQ(carvedIn(plain.catalogue), 0) << "--deep --no-carve";
    scan::ScanSession scanned;
    ASSERT_TRUE(test::scanImage(scanned, bytes, true, true));
    ASSERT_EQ(carvedIn(scanned.catalogue), 2);
    const auto find = [](const catalogue::Catalogue& c, std::uint32_t cluster) {
        return std::find_if(c.fsLists().NtfsFileList.begin(), c.fsLists().NtfsFileList.end(), [&](const auto& e) {
            return e.carved != catalogue::Carved::No && e.recordNumber == cluster;
        });
    };
    ASSERT_NE(find(scanned.catalogue, whole), scanned.catalogue.fsLists().NtfsFileList.end());
    EXPECT_EQ(find(scanned.catalogue, whole)->carved, catalogue::Carved::Whole);
    EXPECT_EQ(find(scanned.catalogue, whole)->size, png.size());
    ASSERT_NE(find(scanned.catalogue, cut), scanned.catalogue.fsLists().NtfsFileList.end());
    EXPECT_EQ(find(scanned.catalogue, cut)->carved, catalogue::Carved::Incomplete);

    std::vector<std::byte> saved;
    ASSERT_TRUE(snapshot::EncodeSnapshot(scanned.volume.info, scanned.volume.partition, scanned.volume.geometry,
                                         scanned.catalogue, saved)
                    .ok);
    scan::ScanSession loaded;
    ASSERT_EQ(snapshot::LoadSnapshot(loaded, saved).status, snapshot::DecodeStatus::Loaded);
    loaded.volume.reader.setDevice(loaded.volume.info.DevicePath, scanned.volume.reader.source());
    for (scan::ScanSession* session : {&scanned, &loaded}) {
        recovery::RecoverySettings settings;
        catalogue::RecoveryControl control;
        recovery::RecoveryObserver observer;
        recovery::RecoveryReport report;
        auto dest = std::make_shared<recovery::MemoryOutputFolder>("/dest");
        recovery::FileRecovery copier(session->volume, session->catalogue, session->tree, session->filters, settings,
                                      control, observer, report);
        copier.RecoverListItems(session->rows(carve::carvedTypeKey(carve::FileType::Png)), recovery::RecoveryMode::All,
                                {}, {dest, "/dest"});
        ASSERT_EQ(report.files().size(), 2u);
        for (const auto& f : report.files())
            EXPECT_EQ(f.outcome, f.name == "f" + std::to_string(cut) + ".png" ? recovery::FileOutcome::Incomplete
                                                                              : recovery::FileOutcome::Written)
                << f.name;
        std::map<std::string, std::string> written;
        collectFiles(*dest, "", written);
        EXPECT_TRUE(written.contains(test::sha256Hex(png))) << "the whole PNG byte-exact";
    }
}

// Each fuzz seed (a small file of each format) cut short at several lengths:
// no walk gives a file longer than the bytes it had, and none of a cut file
// is whole. The GIF whose colour table runs past its bytes once did.
// The clusters found files claim come from the runs the thorough scan kept of
// their records where it kept them: the same extents as reading every record
// again gives, lists and extension records included.
TEST(CarveNtfs, UnclaimedExtentsFromKeptRunsAsFromTheRecords)
{
    std::size_t runsKept = 0;
    for (const char* name : {"ntfs.img", "ntfs-mft.img", "ntfs-extents.img", "ntfs-4k.img"}) {
        const fs::path image = fs::path(SARVIK_TEST_VOLUMES) / name;
        if (!fs::exists(image))
            GTEST_SKIP() << "no " << name << " (tools/make-test-volumes.sh)";
        scan::ScanSession s;
        ASSERT_TRUE(test::scanImage(s, test::readImageFile(image), true)) << name;
        catalogue::Catalogue reread = s.catalogue;
        for (auto& file : reread.fsLists().NtfsFileList) {
            runsKept += file.dataKept == catalogue::NtfsDataKept::Runs ? 1 : 0;
            file.dataKept = catalogue::NtfsDataKept::No;
        }
        const auto asKept = carve::UnclaimedNtfsExtents(s.volume, s.mftRuns, s.catalogue);
        const auto asRead = carve::UnclaimedNtfsExtents(s.volume, s.mftRuns, reread);
        ASSERT_EQ(asKept.size(), asRead.size()) << name;
        for (std::size_t i = 0; i < asKept.size(); ++i) {
            EXPECT_EQ(asKept[i].offset, asRead[i].offset) << name;
            EXPECT_EQ(asKept[i].length, asRead[i].length) << name;
        }
    }
    EXPECT_GT(runsKept, 0u) << "no volume had runs to keep";
}

TEST(CarveWalkers, CutFilesStayWithinTheirBytes)
{
    const fs::path seeds = fs::path(SARVIK_SOURCE_DIR) / "tests/fuzz/corpus/carve";
    std::size_t walked = 0;
    for (const auto& seed : fs::directory_iterator(seeds)) {
        const std::vector<std::byte> bytes = test::readImageFile(seed.path());
        for (std::size_t cut : {bytes.size(), bytes.size() * 3 / 4, bytes.size() / 2, std::size_t{40}}) {
            if (cut > bytes.size())
                continue;
            SCOPED_TRACE(seed.path().filename().string() + " cut at " + std::to_string(cut));
            const disk::MemoryBlockSource source({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)});
            const std::array<bool, carve::kFileTypeCount> all = carve::allFileTypes();
            const auto type = carve::typeAt(disk::ByteSpan(bytes).first(std::min(cut, carve::kSignatureBytes)), all);
            if (!type)
                continue;
            carve::CarveStream stream(source, 0, source.size());
            const carve::WalkResult r = carve::walkFile(*type, stream);
            EXPECT_LE(r.length, cut);
            if (r.status == carve::WalkStatus::Whole) {
                EXPECT_EQ(cut, bytes.size()) << "a cut file walked as whole";
            }
            ++walked;
        }
    }
    EXPECT_GT(walked, 20u);
}
