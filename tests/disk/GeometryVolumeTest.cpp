// SPDX-License-Identifier: GPL-3.0-or-later
// Volumes whose geometry is not the usual one: 4,096-byte sectors and one FAT.
// The volumes made by real tools come from tests/disk/make-geometry-volumes.py
// (skipped when it has not been run); the FAT volume with 4,096-byte sectors,
// which no tool here writes, is built by hand.

#include "recovery/FileRecovery.h"
#include "recovery/Sha256.h"
#include "scan/ScanSession.h"
#include "support/Manifest.h"
#include "support/MemoryOutputFolder.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace sarvik;
namespace fs = std::filesystem;

namespace {

/// Scans `bytes` under the thorough rules and recovers every row of the root
/// (deleted folders with what they hold); gives "path<TAB>sha256" of each file written.
std::set<std::string> recoverAll(std::vector<std::byte> bytes)
{
    scan::ScanSession session;
    EXPECT_TRUE(test::scanImage(session, std::move(bytes), true));
    auto settings = recovery::RecoverySettings::startup('N'); // as the programs start
    settings.ThoroughScan = true;
    const auto rows = session.rows(session.tree.rootKey());
    auto [dest, report] = test::recoverRows(session, rows, settings);
    std::set<std::string> written;
    for (const std::string& path : dest->paths())
        if (const auto* entry = dest->find(path); entry->kind == recovery::MemoryOutputFolder::Kind::File)
            written.insert(path + "\t" + test::sha256Hex(entry->bytes));
    return written;
}

} // namespace

class RealGeometryVolume : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

// Every deleted file comes back byte-exact at its path under the thorough
// rules; the classic rules refuse the volume and name the field.
TEST_P(RealGeometryVolume, ThoroughRulesRecoverEveryDeletedFileClassicRulesRefuse)
{
    const fs::path dir = SARVIK_TEST_VOLUMES;
    const std::string name = GetParam().first;
    const fs::path image = dir / (name + ".img");
    if (!fs::exists(image))
        GTEST_SKIP() << "no " << image << " (run tests/disk/make-geometry-volumes.py " << dir.string() << ")";

    auto bytes = test::readImageFile(image);
    test::MemoryDevices devices;
    devices.add("vol.img", std::make_shared<disk::MemoryBlockSource>(bytes));
    disk::SelectedVolume classic;
    const auto refused =
        disk::SelectDrive(classic, {"", "vol.img", disk::DriveKind::Image, 0}, devices, disk::GeometryRules::Classic);
    EXPECT_EQ(refused.status, disk::SelectStatus::UnsupportedGeometry);
    EXPECT_EQ(refused.detail.rfind(GetParam().second, 0), 0u) << refused.detail;

    const std::set<std::string> written = recoverAll(std::move(bytes));
    std::size_t deleted = 0, exact = 0;
    for (const auto& m : test::readManifest(dir / (name + ".manifest.tsv"))) {
        if (!m.isFile() || !m.deleted())
            continue;
        ++deleted;
        const bool found = written.contains(m.path + "\t" + m.sha256);
        EXPECT_TRUE(found) << m.path;
        exact += found ? 1 : 0;
    }
    EXPECT_GT(deleted, 0u);
    std::printf("[ measured ] %s: %zu of %zu deleted files byte-exact (thorough rules)\n", name.c_str(), exact,
                deleted);
}

INSTANTIATE_TEST_SUITE_P(Images, RealGeometryVolume,
                         ::testing::Values(std::pair{"ntfs-4k", "bytes per sector 4096"},
                                           std::pair{"fat16-1fat", "number of FATs 1"}));

// FAT16 with 4,096-byte sectors and clusters, two FATs: a deleted file of two
// clusters (its FAT entries cleared) and a live one.
TEST(GeometryVolume, FatWithFourKilobyteSectorsRecoversItsDeletedFile)
{
    constexpr std::size_t kSector = 4096;
    test::ImageBuilder image(64 * kSector / 512);
    image.putText(3, "mkfs.fat");
    image.put(11, 2, kSector);
    image.put(13, 1, 1);   // sectors per cluster
    image.put(14, 2, 1);   // reserved sectors
    image.put(16, 1, 2);   // FATs
    image.put(17, 2, 128); // root entries: one sector
    image.put(19, 2, 64);  // sectors of the volume
    image.put(22, 2, 1);   // sectors per FAT
    image.putText(54, "FAT16   ");
    image.signature();
    // FATs at sectors 1 and 2, the root at 3, cluster 2 at sector 4.
    for (const std::size_t fat : {1u, 2u}) {
        image.put(fat * kSector, 2, 0xFFF8);
        image.put(fat * kSector + 2, 2, 0xFFFF);
        image.put(fat * kSector + 4, 2, 0xFFFF); // cluster 2: the live file
    }
    auto entry = [&](unsigned index, std::string_view name11, std::uint16_t cluster, std::uint32_t size) {
        const std::size_t at = 3 * kSector + index * 32;
        image.putText(at, name11);
        image.put(at + 11, 1, 0x20);
        image.put(at + 26, 2, cluster);
        image.put(at + 28, 4, size);
    };
    const auto content = [](std::size_t size, unsigned seed) {
        std::vector<std::byte> out(size);
        for (std::size_t i = 0; i < size; ++i)
            out[i] = static_cast<std::byte>((i * 131 + seed * 7 + i / 251) & 0xFF);
        return out;
    };
    const auto live = content(100, 1);
    const auto gone = content(6000, 2);
    entry(0, "LIVE    TXT", 2, 100);
    entry(1, "\xE5ONE    BIN", 3, 6000);
    std::copy(live.begin(), live.end(), image.bytes().begin() + 4 * kSector);
    std::copy(gone.begin(), gone.end(), image.bytes().begin() + 5 * kSector);

    const std::set<std::string> written = recoverAll(image.bytes());
    EXPECT_EQ(written, std::set<std::string>{"_ONE.BIN\t" + test::sha256Hex(gone)});
}
