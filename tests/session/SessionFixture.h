// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small FAT session built in memory for the presentation layer's tests: the
// root holds "Docs" (cluster 10) and the deleted "old" (cluster 11, holding
// "deep" at cluster 12); files are spread over them with sizes and dates that
// sort differently by name, by size and by date.

#include "disk/Volume.h"
#include "scan/ScanSession.h"

#include <cstdint>
#include <string>

namespace sarvik::sessiontest {

struct FatSession {
    scan::ScanSession session;

    FatSession()
    {
        session.volume.geometry.GeometryKind = disk::VolumeKind::Fat32;
        catalogue::Catalogue& c = session.catalogue;
        c.AddFatFolder("Docs", 10, 0, 0, 0, 0, 0);
        c.AddFatFolder("old", 11, 0, 0, 0, 0, 1);
        c.AddFatFolder("deep", 12, 11, 0, 0, 0, 1);
        // Packed FAT dates: (year - 1980) << 9 | month << 5 | day.
        addFile("file10.txt", 0, 300, date(2019, 12, 31));
        addFile("File2.txt", 0, 5'000'000, date(2020, 1, 2));
        addFile("file1.doc", 0, 20, date(2018, 6, 15));
        addFile("report.doc", 10, 2'000'000, date(2021, 3, 1));
        addFile("deep.bin", 12, 1'500'000, date(2021, 3, 1));
        c.NamesAreUtf8 = true;
        session.buildTree();
    }

    static std::uint16_t date(int year, int month, int day)
    {
        return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    }

    void addFile(const std::string& name, std::uint32_t parent, std::uint32_t size, std::uint16_t written)
    {
        catalogue::Catalogue& c = session.catalogue;
        c.AddFatFile(name, 100 + c.fileCount(), parent, written, written, size, 1);
    }
};

} // namespace sarvik::sessiontest
