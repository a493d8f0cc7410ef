// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Manifest.h"

#include "recovery/FileRecovery.h"
#include "scan/ScanSession.h"
#include "support/VolumeBuilder.h"

#include <fstream>
#include <sstream>

namespace sarvik::test {

std::vector<ManifestRow> readManifest(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line); // header
    std::vector<ManifestRow> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, '\t');)
            f.push_back(cell);
        if (f.size() < 9)
            continue;
        ManifestRow r{f[0], f[1], f[3], f[4], f[5], f[6], f[8]};
        if (f[2] != "-")
            r.size = std::stoull(f[2]);
        if (f[7] != "-")
            r.firstCluster = static_cast<std::uint32_t>(std::stoul(f[7]));
        if (const auto at = r.notes.find("mft="); at != std::string::npos) {
            r.mft = static_cast<std::uint32_t>(std::stoul(r.notes.substr(at + 4)));
            r.hasMft = true;
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<std::byte> readImageFile(const std::filesystem::path& file)
{
    std::vector<std::byte> bytes(std::filesystem::file_size(file));
    std::ifstream(file, std::ios::binary)
        .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

bool scanImage(scan::ScanSession& session, std::vector<std::byte> bytes, bool thorough, bool deep, bool carve)
{
    return scanSource(session, std::make_shared<disk::MemoryBlockSource>(std::move(bytes)), thorough, deep, carve);
}

bool scanSource(scan::ScanSession& session, const std::shared_ptr<disk::MemoryBlockSource>& source, bool thorough,
                bool deep, bool carve)
{
    MemoryDevices devices;
    devices.add("vol.img", source);
    if (!scan::SelectVolume(session.volume, {"Disk Image(vol.img)", "vol.img", disk::DriveKind::Image, source->size()},
                            devices, thorough ? disk::GeometryRules::Thorough : disk::GeometryRules::Classic))
        return false;
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    scan::RunScan(session, quiet, control, scan::ScanOptions{thorough, carve, deep});
    return true;
}

MemoryCopy recoverRows(const scan::ScanSession& session, const std::vector<catalogue::FileRow>& rows,
                       const recovery::RecoverySettings& settings)
{
    MemoryCopy copy{std::make_shared<recovery::MemoryOutputFolder>("/dest"), {}};
    catalogue::RecoveryControl control;
    recovery::RecoveryObserver observer;
    recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, settings, control,
                                  observer, copy.report);
    copier.RecoverListItems(rows, recovery::RecoveryMode::All, {}, {copy.dest, "/dest"});
    return copy;
}

} // namespace sarvik::test
