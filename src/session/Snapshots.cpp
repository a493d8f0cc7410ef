// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/Snapshots.h"

#include "scan/ScanSession.h"
#include "snapshot/RecoverySnapshot.h"
#include "snapshot/SnapshotFile.h"
#include "snapshot/SnapshotMftRuns.h"

#include <optional>

namespace sarvik::session {

std::string typedSnapshotPath(std::string_view chosen)
{
    std::string path(chosen);
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    const auto endsWith = [&name](std::string_view extension) {
        if (name.size() <= extension.size())
            return false;
        const std::string_view tail = name.substr(name.size() - extension.size());
        for (std::size_t i = 0; i < tail.size(); ++i) {
            const char c = tail[i];
            if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != extension[i])
                return false;
        }
        return true;
    };
    if (!endsWith(".rvu") && !endsWith(".rvsx"))
        path += ".rvu";
    return path;
}

SnapshotBytes encodeSnapshot(const scan::ScanSession& session)
{
    SnapshotBytes out;
    const snapshot::EncodeResult encoded = snapshot::EncodeSnapshot(
        session.volume.info, session.volume.partition, session.volume.geometry, session.catalogue, out.bytes);
    out.ok = encoded.ok;
    out.error = encoded.error;
    return out;
}

namespace {

/// The refusal's kind, told by the fixed words each kind of message begins with.
void classifyRefusal(SnapshotLoad& out)
{
    const std::string& message = out.refusal;
    const auto after = [&message](std::string_view head) -> std::optional<std::string> {
        if (message.compare(0, head.size(), head) != 0)
            return std::nullopt;
        return message.substr(head.size());
    };
    if (message == snapshot::kCannotOpenMessage) {
        out.reason = SnapshotRefusal::CannotOpen;
    } else if (message == snapshot::kBadVersionMessage) {
        out.reason = SnapshotRefusal::OtherVersion;
    } else if (const auto tag = after(snapshot::kBadTagMessage)) {
        out.reason = SnapshotRefusal::NotASnapshot;
        out.detail = *tag;
    } else if (const auto damage = after(snapshot::kDamagedMessage)) {
        out.reason = SnapshotRefusal::Damaged;
        out.detail = *damage;
    } else {
        out.reason = SnapshotRefusal::Other;
        out.detail = message;
    }
}

} // namespace

SnapshotLoad loadSnapshot(scan::ScanSession& session, const std::string& path)
{
    SnapshotLoad out;
    const snapshot::LoadOutcome loaded = snapshot::LoadSnapshotFile(session, path);
    if (loaded.status == snapshot::DecodeStatus::Refused) {
        out.refused = true;
        out.refusal = loaded.message;
        out.damage = loaded.damage;
        classifyRefusal(out);
        return out;
    }
    if (!loaded.message.empty())
        out.partial.push_back(loaded.message);
    out.damage = loaded.damage;
    for (const std::string& note : snapshot::LossNotes(session))
        out.partial.push_back("This snapshot is incomplete: " + note + ".");
    session.filters.clear();
    return out;
}

bool reopenSnapshotVolume(scan::ScanSession& session, disk::DeviceProvider& devices)
{
    disk::SelectedVolume& volume = session.volume;
    disk::OpenResult source = devices.open(volume.info.DevicePath);
    const bool opened = source.source != nullptr;
    volume.reader.setDevice(volume.info.DevicePath, std::move(source.source));
    if (opened && volume.geometry.GeometryKind == disk::VolumeKind::Ntfs)
        snapshot::RebuildMftRunList(session.mftRuns, volume);
    return opened;
}

std::vector<std::string> snapshotVolumeDifferences(const scan::ScanSession& session, disk::DeviceProvider& devices)
{
    const disk::SelectedVolume& volume = session.volume;
    disk::SelectedVolume found;
    disk::DriveItem item;
    item.devicePath = volume.info.DevicePath;
    const disk::SelectResult selection = scan::SelectVolume(found, item, devices, disk::GeometryRules::Thorough);
    return snapshot::GeometryDifferences(volume.geometry, found.geometry, static_cast<bool>(selection));
}

} // namespace sarvik::session
