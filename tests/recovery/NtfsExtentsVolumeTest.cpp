// SPDX-License-Identifier: GPL-3.0-or-later
// The files of tests/ntfs/make-ntfs-extents-volume.py whose data attribute
// ntfs-3g split over extension records (manifest note extents=N), recovered in
// the thorough mode: byte-exact, nothing zero-filled. ntfs-3g removes the file
// name of such a file from its extension record when it deletes the file, so
// the thorough scan lists it by its base record as "$Nameless files/record N",
// with the size of its data; each is copied from that entry. No other record
// of the volume is listed there. Skipped when the volume has not been made.

#include "recovery/FileRecovery.h"
#include "recovery/Sha256.h"
#include "scan/ScanSession.h"
#include "support/Manifest.h"
#include "support/MemoryOutputFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

using namespace sarvik;
namespace fs = std::filesystem;

TEST(NtfsExtentsVolume, SplitDataAttributesComeBackByteExact)
{
    const fs::path dir = SARVIK_TEST_VOLUMES;
    const fs::path image = dir / "ntfs-extents.img";
    const fs::path manifest = dir / "ntfs-extents.manifest.tsv";
    if (!fs::exists(image) || !fs::exists(manifest))
        GTEST_SKIP() << "no " << image << " (run tests/ntfs/make-ntfs-extents-volume.py " << dir.string() << ")";

    scan::ScanSession session;
    ASSERT_TRUE(test::scanImage(session, test::readImageFile(image), true));

    // The nameless folder and the records listed in it.
    const catalogue::NtfsFolderEntry* folder = nullptr;
    for (const auto& f : session.catalogue.fsLists().NtfsFolderList)
        if (f.name == "$Nameless files" && f.parentRecord == catalogue::kNtfsRootRecord)
            folder = &f;
    ASSERT_NE(folder, nullptr) << "no nameless folder at the root";
    std::map<std::uint64_t, const catalogue::NtfsFileEntry*> nameless;
    for (const auto& f : session.catalogue.fsLists().NtfsFileList)
        if (f.parentRecord == folder->recordNumber) {
            EXPECT_EQ(f.name, "record " + std::to_string(f.recordNumber));
            nameless[f.recordNumber] = &f;
        }

    std::set<std::uint64_t> split;
    for (const test::ManifestRow& row : test::readManifest(manifest)) {
        if (!row.isFile() || !row.deleted() || !row.noted("extents="))
            continue;
        split.insert(row.mft);
        const auto found = nameless.find(row.mft);
        ASSERT_NE(found, nameless.end()) << row.path << " (record " << row.mft << ") is not listed";
        const catalogue::NtfsFileEntry& entry = *found->second;
        EXPECT_EQ(entry.size, row.size) << row.path;
        EXPECT_NE(entry.created, 0u) << row.path;
        recovery::RecoverySettings settings;
        settings.ThoroughScan = true;
        catalogue::RecoveryControl control;
        recovery::RecoveryObserver observer;
        recovery::RecoveryReport report;
        auto dest = std::make_shared<recovery::MemoryOutputFolder>("/dest");
        recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, settings,
                                      control, observer, report);
        EXPECT_EQ(copier.RecoverNtfsFile({dest, "/dest"}, entry.name, entry.size, entry.recordSector,
                                         recovery::CopyMode::Save, entry.deleted),
                  1);
        const auto* written = dest->find(entry.name);
        ASSERT_NE(written, nullptr) << row.path;
        EXPECT_EQ(test::sha256Hex(written->bytes), row.sha256) << row.path;
        ASSERT_EQ(report.files().size(), 1u);
        EXPECT_EQ(report.files()[0].zeroFilledBlocks, 0u) << row.path;
    }
    EXPECT_GE(split.size(), 3u) << "the manifest lists too few split files";
    for (const auto& [record, entry] : nameless)
        EXPECT_TRUE(split.contains(record)) << "record " << record << " is listed but is no split deleted file";
}
