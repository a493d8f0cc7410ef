// SPDX-License-Identifier: GPL-3.0-or-later
#include "snapshot/SnapshotFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace sarvik::snapshot {

SaveOutcome SaveSnapshot(const scan::ScanSession& session, std::string_view chosenPath, bool caseSensitiveFileSystem)
{
    return SaveSnapshot(session.volume.info, session.volume.partition, session.volume.geometry, session.catalogue,
                        chosenPath, caseSensitiveFileSystem);
}

SaveOutcome SaveSnapshot(const disk::VolumeInfo& info, const disk::PartitionBlock& partition,
                         const disk::VolumeGeometry& geometry, const catalogue::Catalogue& catalogue,
                         std::string_view chosenPath, bool caseSensitiveFileSystem)
{
    SaveOutcome outcome;
    outcome.path = SnapshotPath(chosenPath, caseSensitiveFileSystem);
    std::vector<std::byte> bytes;
    const EncodeResult encoded = EncodeSnapshot(info, partition, geometry, catalogue, bytes);
    if (!encoded.ok) {
        outcome.message = encoded.error;
        return outcome;
    }
    // Written whole beside its name first, so that a failed or killed save
    // leaves no cut file under the name (and an earlier snapshot there intact).
    const std::string temporary = outcome.path + ".part";
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) {
        outcome.message = std::string(kCannotOpenMessage);
        return outcome;
    }
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    std::error_code ec;
    if (file)
        std::filesystem::rename(temporary, outcome.path, ec);
    if (!file || ec) {
        std::filesystem::remove(temporary, ec);
        outcome.message = "Unable to write the file " + outcome.path;
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

LoadOutcome LoadSnapshot(scan::ScanSession& session, disk::ByteSpan bytes)
{
    SnapshotContent content;
    const DecodeResult decoded = DecodeSnapshot(bytes, content);
    if (decoded.status == DecodeStatus::Refused)
        return {decoded.status, decoded.message, decoded.damage};

    auto& volume = session.volume;
    const std::uint32_t rootDirStart = volume.geometry.RootDirStart; // not in the file
    volume.info = std::move(content.info);
    volume.partition = content.partition;
    volume.geometry = content.geometry;
    volume.geometry.RootDirStart = rootDirStart;
    volume.reader.setDevice(volume.info.DevicePath, nullptr);
    session.catalogue = std::move(content.catalogue);
    session.buildTree();
    return {decoded.status, decoded.message, decoded.damage};
}

std::vector<std::string> LossNotes(const scan::ScanSession& session)
{
    std::vector<std::string> notes;
    const catalogue::ScanLosses& losses = session.catalogue.Losses;
    if (losses.any())
        notes.push_back("the scan that made it could not read " + std::to_string(losses.UnreadableSectors) +
                        " sector(s) and " + std::to_string(losses.UnreadableRecords) +
                        " MFT record(s); what they held is missing from it");
    if (const auto cut = disk::truncationText(session.volume.info))
        notes.push_back("its scan read an image cut short: " + *cut);
    return notes;
}

bool ReadSnapshotFile(const std::string& path, std::vector<std::byte>& bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::vector<char> chars((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return false;
    bytes.resize(chars.size());
    for (std::size_t i = 0; i < chars.size(); ++i)
        bytes[i] = static_cast<std::byte>(chars[i]);
    return true;
}

LoadOutcome LoadSnapshotFile(scan::ScanSession& session, const std::string& path)
{
    std::vector<std::byte> bytes;
    if (!ReadSnapshotFile(path, bytes))
        return {DecodeStatus::Refused, std::string(kCannotOpenMessage), {}};
    return LoadSnapshot(session, bytes);
}

std::optional<std::string> ReadSnapshotDevicePath(const std::string& path)
{
    // Tag, version, kind, path length and the longest path a snapshot may hold.
    constexpr std::size_t kHead = kTag.size() + kVersion.size() + 4 + kMaxDevicePathLength;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::vector<char> head(kHead);
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(file.gcount()));
    return DecodeSnapshotDevicePath(std::as_bytes(std::span<const char>(head)));
}

bool IsSnapshotFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    char start[kTag.size()] = {};
    file.read(start, static_cast<std::streamsize>(kTag.size()));
    if (file.gcount() != static_cast<std::streamsize>(kTag.size()))
        return false;
    return HasSnapshotTag(std::as_bytes(std::span<const char>(start)));
}

} // namespace sarvik::snapshot
