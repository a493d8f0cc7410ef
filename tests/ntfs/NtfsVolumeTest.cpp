// SPDX-License-Identifier: GPL-3.0-or-later
// The NTFS scan on volumes made by mkntfs and written through ntfs-3g, checked
// against their manifests:
//   ntfs.img      tools/make-test-volumes.sh OUTDIR ntfs: files of many sizes,
//                 deleted folders, names with é and Cyrillic letters
//   ntfs-mft.img  tests/ntfs/make-ntfs-mft-volume.py OUTDIR: an MFT of hundreds
//                 of runs with an attribute list on record 0, and a deleted
//                 folder whose record now holds a file
// Skipped when the volumes have not been made.

#include "ntfs/MftScan.h"
#include "support/ImageFileSource.h"
#include "support/Manifest.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

using namespace sarvik;
using namespace sarvik::ntfs;
namespace fs = std::filesystem;

namespace {

// The NTFS manifests name each entry's MFT record; rows without one are not compared.
struct Row : test::ManifestRow {
    [[nodiscard]] bool reused() const { return noted("mft_record_reused"); }
};

std::vector<Row> readManifest(const fs::path& file)
{
    std::vector<Row> rows;
    for (auto& r : test::readManifest(file))
        if (r.hasMft)
            rows.push_back(Row{std::move(r)});
    return rows;
}

/// The 8-bit name the scan should give a UTF-8 path component: the low byte of
/// each UTF-16 unit, up to the first zero byte.
std::string lowBytes(const std::string& utf8)
{
    std::string out;
    auto push = [&](std::uint32_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        return (unit & 0xFF) != 0;
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        std::uint32_t cp = n == 1 ? c : (c & (0x7Fu >> n));
        for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        i += n;
        const bool more =
            cp < 0x10000 ? push(cp) : push(0xD800 + ((cp - 0x10000) >> 10)) && push(0xDC00 + (cp & 0x3FF));
        if (!more) {
            out.pop_back();
            break;
        }
    }
    return out;
}

std::string lastComponent(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentPath(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string{} : path.substr(0, slash);
}

struct Volume {
    std::shared_ptr<const disk::BlockSource> source;
    disk::SelectedVolume selected;
    std::vector<Row> rows;
};

/// Opens OUTDIR/NAME.img with its manifest; false (and a skip message) when absent.
bool openVolume(const std::string& name, const std::string& maker, Volume& v, std::string& why)
{
    const fs::path dir = SARVIK_TEST_VOLUMES;
    const fs::path image = dir / (name + ".img");
    const fs::path manifest = dir / (name + ".manifest.tsv");
    if (!fs::exists(image) || !fs::exists(manifest)) {
        why = "no " + image.string() + " (make it with: " + maker + " " + dir.string() + ")";
        return false;
    }
    v.source = test::ImageFileSource::open(image);
    if (!v.source) {
        why = "cannot open " + image.string();
        return false;
    }
    test::MemoryDevices devices;
    devices.add(image.string(), v.source);
    if (!disk::SelectDrive(v.selected, {"", image.string(), disk::DriveKind::Image, v.source->size()}, devices) ||
        v.selected.info.FileSystemKind != disk::VolumeKind::Ntfs) {
        why = image.string() + " is not an NTFS volume";
        return false;
    }
    v.rows = readManifest(manifest);
    return true;
}

struct Scan {
    catalogue::Catalogue catalogue;
    MftRunList runs;
    catalogue::ScanControl control;
    std::uint64_t positions = 0;
};

struct CountingObserver : catalogue::ScanObserver {
    std::uint64_t* positions = nullptr;
    void currentSector(std::uint64_t) override { ++*positions; }
};

void scanVolume(const disk::SelectedVolume& volume, Scan& s)
{
    CountingObserver observer;
    observer.positions = &s.positions;
    ScanMft(volume, s.catalogue, s.runs, observer, s.control);
}

/// Compares the catalogue with the manifest: every folder that still has its
/// record, every deleted file whose record was not taken again, with its name,
/// parent, size and the sector of its record; nothing else beyond the system
/// folder $Extend and the substitutes for lost parents.
void expectCatalogueMatches(const Volume& v, const Scan& s)
{
    const catalogue::Catalogue& c = s.catalogue;
    std::map<std::string, const Row*> byPath;
    for (const Row& r : v.rows)
        byPath[r.path] = &r;
    auto parentOf = [&](const Row& r) -> std::uint32_t {
        const std::string p = parentPath(r.path);
        return p.empty() ? catalogue::kNtfsRootRecord : byPath.at(p)->mft;
    };
    std::map<std::uint32_t, const catalogue::NtfsFileEntry*> files;
    for (const auto& f : c.fsLists().NtfsFileList)
        EXPECT_TRUE(files.emplace(f.recordNumber, &f).second) << "record " << f.recordNumber << " listed twice";
    std::set<std::uint64_t> expectedFiles;
    std::set<std::uint64_t> expectedFolders;

    for (const Row& r : v.rows) {
        SCOPED_TRACE(r.path);
        if (r.type == "dir") {
            const catalogue::NtfsFolderEntry* f = c.findNtfsFolder(r.mft);
            ASSERT_NE(f, nullptr);
            expectedFolders.insert(r.mft);
            if (r.reused()) {
                // Its record now holds a file: the folder's children get a substitute.
                EXPECT_EQ(f->name.rfind("Dir", 0), 0u) << f->name;
                EXPECT_EQ(f->parentRecord, catalogue::kNtfsRootRecord);
                EXPECT_EQ(f->deleted, 0u);
                continue;
            }
            EXPECT_EQ(f->name, lowBytes(lastComponent(r.path)));
            EXPECT_EQ(f->parentRecord, parentOf(r));
            EXPECT_EQ(f->deleted, r.deleted() ? 1u : 0u);
            EXPECT_NE(f->created, 0u);
            continue;
        }
        const auto it = files.find(r.mft);
        if (!r.deleted() || r.reused()) {
            // A file in use is never listed; a deleted one whose record was taken
            // again is not listed under its own name.
            if (it != files.end()) {
                EXPECT_NE(it->second->name, lowBytes(lastComponent(r.path)));
            }
            continue;
        }
        ASSERT_NE(it, files.end());
        expectedFiles.insert(r.mft);
        const catalogue::NtfsFileEntry& f = *it->second;
        EXPECT_EQ(f.name, lowBytes(lastComponent(r.path)));
        EXPECT_EQ(f.parentRecord, parentOf(r));
        EXPECT_EQ(f.size, r.size);
        EXPECT_EQ(f.deleted, 1u);
        EXPECT_NE(f.created, 0u);
        EXPECT_NE(f.modified, 0u);
        // The sector holds this file's record: "FILE" and its own number at 0x2C.
        MftRecord record{};
        ASSERT_TRUE(ReadMftRecord(v.selected.reader, f.recordSector, record));
        const disk::ByteReader b(record);
        EXPECT_TRUE(b.equals(0, "FILE"));
        EXPECT_EQ(b.u32or0(0x2C), r.mft);
        EXPECT_EQ(f.recordSector, MftRecordSector(s.runs, r.mft));
    }

    for (const auto& f : c.fsLists().NtfsFileList)
        EXPECT_TRUE(expectedFiles.contains(f.recordNumber)) << "unexpected file " << f.name;
    for (const auto& f : c.fsLists().NtfsFolderList) {
        if (expectedFolders.contains(f.recordNumber))
            continue;
        const bool extend = f.name == "$Extend" && f.recordNumber == 11;
        const bool substitute = f.name.rfind("Dir", 0) == 0 && f.parentRecord == catalogue::kNtfsRootRecord;
        EXPECT_TRUE(extend || substitute) << "unexpected folder " << f.name << " " << f.recordNumber;
    }
    EXPECT_EQ(c.fileCount(), c.fsLists().NtfsFileList.size());
    EXPECT_EQ(c.folderCount(), c.fsLists().NtfsFolderList.size());
    // Every item has a folder to sit in.
    for (const auto& f : c.fsLists().NtfsFileList)
        EXPECT_TRUE(f.parentRecord == catalogue::kNtfsRootRecord || c.findNtfsFolder(f.parentRecord)) << f.name;
    for (const auto& f : c.fsLists().NtfsFolderList)
        EXPECT_TRUE(f.parentRecord == catalogue::kNtfsRootRecord || c.findNtfsFolder(f.parentRecord)) << f.name;
    // Two sectors a position over the whole MFT.
    EXPECT_EQ(s.positions, (s.runs.totalSectors() + 1) / 2);
    EXPECT_EQ(s.control.ScanStopFlag.load(), 0);
}

} // namespace

TEST(NtfsRealVolume, ToolsVolumeMatchesItsManifest)
{
    Volume v;
    std::string why;
    if (!openVolume("ntfs", "tools/make-test-volumes.sh", v, why))
        GTEST_SKIP() << why << " ntfs";
    Scan s;
    scanVolume(v.selected, s);
    expectCatalogueMatches(v, s);

    // What the volume is there for: deleted files of many sizes, resident and
    // not, deleted folders with their files, names outside ASCII.
    std::set<std::uint64_t> sizes;
    std::size_t inDeletedFolders = 0;
    for (const Row& r : v.rows) {
        if (r.type != "file" || !r.deleted() || r.reused())
            continue;
        sizes.insert(r.size);
        const std::string parent = parentPath(r.path);
        for (const Row& d : v.rows)
            if (d.path == parent && d.deleted())
                ++inDeletedFolders;
    }
    EXPECT_TRUE(sizes.contains(0) && sizes.contains(1) && *sizes.rbegin() > 1000000) << sizes.size() << " sizes";
    EXPECT_GT(inDeletedFolders, 2u);
    std::set<std::string> names;
    for (const auto& f : s.catalogue.fsLists().NtfsFileList)
        names.insert(f.name);
    EXPECT_TRUE(names.contains("Caf\xE9 menu.txt"));
    // U+041E U+0442 U+0447 U+0451 U+0442 ... keep 1E 42 47 51 42.
    EXPECT_TRUE(names.contains("\x1E"
                               "BGQB 70 <09.txt"));
}

TEST(NtfsRealVolume, ManyRunMftMatchesItsManifest)
{
    Volume v;
    std::string why;
    if (!openVolume("ntfs-mft", "tests/ntfs/make-ntfs-mft-volume.py", v, why))
        GTEST_SKIP() << why;
    Scan s;
    scanVolume(v.selected, s);
    expectCatalogueMatches(v, s);

    // The MFT lies in many runs, and record 0 needs its attribute list to say so.
    EXPECT_GT(s.runs.RunCount(), 10u);
    MftRecord record0{};
    ASSERT_TRUE(ReadMftRecord(v.selected.reader, v.selected.geometry.MftStartSector, record0));
    const disk::VolumeGeometry& g = v.selected.geometry;
    const std::vector<std::uint32_t> pieces = ListMftDataRecords(record0, v.selected.reader, g.ClusterBaseSector,
                                                                 g.SectorsPerCluster, {v.selected.info.VolumeSectors});
    EXPECT_GT(pieces.size(), 1u);
    // Every record lies where the runs say: it carries its own number at 0x2C
    // (mkntfs leaves that field 0 in the reserved records below 24).
    std::size_t checked = 0;
    for (std::uint64_t n = 24; n < s.runs.totalSectors() / 2; ++n) {
        MftRecord record{};
        ASSERT_TRUE(ReadMftRecord(v.selected.reader, MftRecordSector(s.runs, n), record));
        const disk::ByteReader b(record);
        if (!b.equals(0, "FILE"))
            continue;
        ASSERT_EQ(b.u32or0(0x2C), n);
        ++checked;
    }
    EXPECT_GT(checked, 50000u);

    // The folder "Gone" lost its record to a file: its deleted files sit in a substitute folder under the root.
    const Row* gone = nullptr;
    for (const Row& r : v.rows)
        if (r.path == "Gone")
            gone = &r;
    ASSERT_NE(gone, nullptr);
    ASSERT_TRUE(gone->reused());
    const catalogue::NtfsFolderEntry* substitute = s.catalogue.findNtfsFolder(gone->mft);
    ASSERT_NE(substitute, nullptr);
    EXPECT_EQ(substitute->name.rfind("Dir", 0), 0u);
    std::size_t children = 0;
    for (const auto& f : s.catalogue.fsLists().NtfsFileList)
        children += f.parentRecord == gone->mft ? 1u : 0u;
    EXPECT_EQ(children, 2u);
}
