// SPDX-License-Identifier: GPL-3.0-or-later
#include "snapshot/SnapshotMftRuns.h"
#include "scan/ScanSession.h"
#include "snapshot/RecoverySnapshot.h"
#include "snapshot/SnapshotFile.h"
#include "support/NtfsBuilder.h"

#include <gtest/gtest.h>

using namespace sarvik;

TEST(SnapshotMftRuns, NtfsLoadRebuildsTheRunsFromTheVolumeOnceItIsOpen)
{
    // 8 sectors per cluster, MFT at cluster 4 with 64 records: one run of 128 sectors at 32.
    test::NtfsImage image(16384, 8, 4, 64);
    disk::SelectedVolume scanned;
    ASSERT_TRUE(image.select(scanned));
    std::vector<std::byte> bytes;
    ASSERT_TRUE(
        snapshot::EncodeSnapshot(scanned.info, scanned.partition, scanned.geometry, catalogue::Catalogue{}, bytes).ok);

    scan::ScanSession session;
    ASSERT_EQ(snapshot::LoadSnapshot(session, bytes).status, snapshot::DecodeStatus::Loaded);
    ntfs::MftRunList runs;
    runs.append(1, 1); // what an earlier volume left
    snapshot::RebuildMftRunList(runs, session.volume);
    EXPECT_EQ(runs.RunCount(), 0u) << "no device open yet: nothing is read and nothing stale stays";

    session.volume.reader.setDevice(session.volume.info.DevicePath, scanned.reader.source());
    snapshot::RebuildMftRunList(runs, session.volume);
    ASSERT_EQ(runs.RunCount(), 1u);
    EXPECT_EQ(runs.RunStarts()[0], 32u);
    EXPECT_EQ(runs.RunLengths()[0], 128u);

    // A FAT snapshot has no MFT: the list is emptied, the volume not read.
    session.volume.geometry.GeometryKind = disk::VolumeKind::Fat32;
    snapshot::RebuildMftRunList(runs, session.volume);
    EXPECT_EQ(runs.RunCount(), 0u);
}
