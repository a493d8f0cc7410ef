// SPDX-License-Identifier: GPL-3.0-or-later
// --previous: previous versions from the shadow copies of the scanned volume.

#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Session.h"
#include "cli/Source.h"
#include "container/ShadowCopies.h"
#include "platform/PartitionSource.h"
#include "recovery/FileSources.h"
#include "session/PreviousVersions.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace sarvik::cli {

namespace {

/// "shadow copy 2 (2021-03-10 22:44 UTC)"
std::string copyName(const container::ShadowCopy& copy)
{
    return "shadow copy " + std::to_string(copy.number) + " (" + recovery::copyTimeText(copy.creationTime) + ")";
}

/// The scan of `source`, a shadow copy, with its files in use listed; null,
/// after saying why, when it cannot be opened or was stopped (`stopped`).
std::unique_ptr<scan::ScanSession> scanCopy(const std::string& source, const container::ShadowCopy& copy,
                                            bool& complete, bool& stopped)
{
    OpenedSource opened = openSource(source, false, disk::GeometryRules::Thorough);
    if (!opened.supported) {
        std::fprintf(stderr, "sarvik: warning: %s cannot be read: %s; its previous versions are not listed\n",
                     copyName(copy).c_str(), opened.error.c_str());
        complete = false;
        return nullptr;
    }
    auto scanned = std::make_unique<scan::ScanSession>();
    scanned->volume = std::move(opened.volume);
    const scan::ScanResult result = scanWithInterrupt(*scanned, scan::ScanOptions{true, false, false, true});
    if (result.Stopped) {
        stopped = true;
        return nullptr;
    }
    if (result.any()) {
        std::fprintf(stderr,
                     "sarvik: warning: %s: %llu sector(s) and %llu MFT record(s) could not be read; its previous "
                     "versions there are missing\n",
                     copyName(copy).c_str(), static_cast<unsigned long long>(result.UnreadableSectors),
                     static_cast<unsigned long long>(result.UnreadableRecords));
        complete = false;
    }
    return scanned;
}

} // namespace

bool addPreviousVersions(scan::ScanSession& session, const std::string& scope, const scan::ScanOptions& scanned,
                         bool& complete, int& status)
{
    const std::string volume = session.volume.reader.DevicePath();
    if (session.volume.geometry.GeometryKind != disk::VolumeKind::Ntfs ||
        platform::resolvePartitionPath(volume).shadow != 0) {
        std::fprintf(stderr, "sarvik: --previous: %s has no shadow copies; nothing added\n", volume.c_str());
        return true;
    }
    const auto source = platform::openVolumeSource(volume);
    container::ShadowCopyList list = source ? container::listShadowCopies(source) : container::ShadowCopyList{};
    if (!list.error.empty()) {
        std::fprintf(stderr, "sarvik: warning: %s: its shadow copies cannot be read: %s; no previous versions listed\n",
                     volume.c_str(), list.error.c_str());
        complete = false;
        return true;
    }
    if (list.copies.empty()) {
        std::fprintf(stderr, "sarvik: --previous: %s has no shadow copies; nothing added\n", volume.c_str());
        return true;
    }
    // The volume's files in use, to lay each copy's beside: the scan's own
    // list when it listed them, else a scan that does.
    std::unique_ptr<scan::ScanSession> liveScan;
    if (!scanned.live) {
        liveScan = std::make_unique<scan::ScanSession>();
        liveScan->volume = session.volume;
        if (scanWithInterrupt(*liveScan, scan::ScanOptions{true, false, false, true}).Stopped) {
            std::fprintf(stderr, "sarvik: interrupted; the scan did not end\n");
            status = interruptedStatus();
            return false;
        }
    }
    session::PreviousVersions versions(session, liveScan ? *liveScan : session,
                                       scope == "all" ? session::PreviousScope::All : session::PreviousScope::Newest);
    // Newest first: each path's newest version that differs comes first.
    std::stable_sort(list.copies.begin(), list.copies.end(), [](const auto& a, const auto& b) {
        return a.creationTime != b.creationTime ? a.creationTime > b.creationTime : a.number > b.number;
    });
    std::size_t read = 0;
    for (const container::ShadowCopy& copy : list.copies) {
        if (!copy.error.empty()) {
            std::fprintf(stderr, "sarvik: warning: %s cannot be read: %s; its previous versions are not listed\n",
                         copyName(copy).c_str(), copy.error.c_str());
            complete = false;
            continue;
        }
        bool stopped = false;
        auto copyScan = scanCopy(volume + "@vss" + std::to_string(copy.number), copy, complete, stopped);
        if (stopped) {
            std::fprintf(stderr, "sarvik: interrupted; the scan did not end\n");
            status = interruptedStatus();
            return false;
        }
        if (copyScan) {
            versions.addCopy(copy.number, copy.creationTime, *copyScan);
            ++read;
        }
    }
    versions.finish();
    std::fprintf(stderr, "sarvik: %zu previous version(s) added from %zu of %zu shadow copies\n", versions.added(),
                 read, list.copies.size());
    return true;
}

} // namespace sarvik::cli
