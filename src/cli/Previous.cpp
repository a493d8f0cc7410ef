// SPDX-License-Identifier: GPL-3.0-or-later
// --previous: previous versions from the shadow copies of the scanned volume.

#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "cli/Source.h"
#include "container/ShadowCopies.h"
#include "platform/PartitionSource.h"
#include "session/PreviousVersions.h"

#include <cstdio>
#include <string>

namespace sarvik::cli {

bool addPreviousVersions(scan::ScanSession& session, const std::string& scope, const scan::ScanOptions& scanned,
                         bool& complete, int& status)
{
    const std::string volume = session.volume.reader.DevicePath();
    container::ShadowCopyList list;
    if (session.volume.geometry.GeometryKind == disk::VolumeKind::Ntfs &&
        platform::resolvePartitionPath(volume).shadow == 0)
        if (const auto source = platform::openVolumeSource(volume))
            list = container::listShadowCopies(source);
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
    const session::ShadowCopyOpener open = [&](std::uint32_t number, std::string& error) {
        OpenedSource opened = openSource(volume + "@vss" + std::to_string(number), false);
        std::optional<disk::SelectedVolume> copy;
        if (opened.supported)
            copy = std::move(opened.volume);
        else
            error = opened.error;
        return copy;
    };
    session::PreviousVersionsRun run;
    {
        TerminalProgress progress("Scanning shadow copies");
        catalogue::ScanControl control;
        const StopOnSignals signals(control);
        run = session::addPreviousVersions(
            session, list.copies, open, scope == "all" ? session::PreviousScope::All : session::PreviousScope::Newest,
            scanned.live, progress, control);
        progress.finish();
    }
    if (run.stopped) {
        std::fprintf(stderr, "sarvik: interrupted; the scan did not end\n");
        status = interruptedStatus();
        return false;
    }
    for (const std::string& problem : run.problems)
        std::fprintf(stderr, "sarvik: warning: %s\n", problem.c_str());
    complete = complete && run.problems.empty();
    std::fprintf(stderr, "sarvik: %zu previous version(s) added from %zu of %zu shadow copies\n", run.added,
                 run.copiesRead, list.copies.size());
    return true;
}

} // namespace sarvik::cli
