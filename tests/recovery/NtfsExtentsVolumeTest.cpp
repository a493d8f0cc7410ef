// The files of tests/ntfs/make-ntfs-extents-volume.py whose data attribute
// ntfs-3g split over extension records (manifest note extents=N), recovered in
// the thorough mode from their base records: byte-exact, nothing zero-filled.
// ntfs-3g removes the file name of such a file from its extension record when
// it deletes the file, so no scan can name them; the copy is asked for each
// base record directly. Skipped when the volume has not been made.

#include "ntfs/MftRunList.h"
#include "recovery/FileRecovery.h"
#include "recovery/MemoryOutputFolder.h"
#include "recovery/Sha256.h"
#include "scan/ScanSession.h"
#include "support/Manifest.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace sarvik;
namespace fs = std::filesystem;

TEST(NtfsExtentsVolume, SplitDataAttributesComeBackByteExact)
{
    const fs::path dir = SARVIK_TEST_VOLUMES;
    const fs::path image = dir / "ntfs-extents.img";
    const fs::path manifest = dir / "ntfs-extents.manifest.tsv";
    if (!fs::exists(image) || !fs::exists(manifest))
        GTEST_SKIP() << "no " << image << " (run tests/ntfs/make-ntfs-extents-volume.py " << dir.string() << ")";

    std::vector<std::byte> bytes(fs::file_size(image));
    std::ifstream(image, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    auto source = std::make_shared<disk::MemoryBlockSource>(std::move(bytes));
    test::MemoryDevices devices;
    devices.add("vol.img", source);
    scan::ScanSession session;
    ASSERT_TRUE(disk::SelectDrive(session.volume,
                                  {"Disk Image(vol.img)", "vol.img", disk::DriveKind::Image, source->size()}, devices));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl scanControl;
    scan::RunScan(session, quiet, scanControl, scan::ScanOptions{true});

    int checked = 0;
    for (const test::ManifestRow& row : test::readManifest(manifest)) {
        if (!row.isFile() || !row.deleted() || !row.noted("extents="))
            continue;
        const std::uint64_t size = row.size;
        const std::uint32_t record = row.mft;
        const std::uint64_t sector = ntfs::MftRecordSector(session.mftRuns, record);
        ASSERT_NE(sector, 0u) << row.path;
        recovery::RecoverySettings settings;
        settings.ThoroughScan = true;
        catalogue::RecoveryControl control;
        recovery::RecoveryObserver observer;
        recovery::RecoveryReport report;
        auto dest = std::make_shared<recovery::MemoryOutputFolder>("/dest");
        recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, settings,
                                      control, observer, report);
        EXPECT_EQ(copier.RecoverNtfsFile({dest, "/dest"}, "file", size, sector, recovery::CopyMode::Save, 1), 1);
        const auto* written = dest->find("file");
        ASSERT_NE(written, nullptr) << row.path;
        EXPECT_EQ(test::sha256Hex(written->bytes), row.sha256) << row.path;
        ASSERT_EQ(report.files().size(), 1u);
        EXPECT_EQ(report.files()[0].zeroFilledBlocks, 0u) << row.path;
        ++checked;
    }
    EXPECT_GE(checked, 3) << "the manifest lists too few split files";
}
