// SPDX-License-Identifier: GPL-3.0-or-later
// `sarvik volumes DISK`: the volumes on a disk or disk image whether or not a
// partition table names them, each a SOURCE of its own as DISK@lostN.

#include "catalogue/ReadProgress.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "cli/Progress.h"
#include "cli/Source.h"
#include "cli/TextWidth.h"
#include "disk/LostVolumes.h"
#include "disk/PartitionTable.h"
#include "disk/Volume.h"
#include "platform/Devices.h"

#include <cstdio>

namespace sarvik::cli {

int runVolumes(const CommandSpec& spec, const ParsedArgs& parsed)
{
    if (parsed.positional.size() != 1)
        return usageError(spec, parsed.positional.empty() ? "DISK is missing" : "one DISK only");
    const std::string& path = parsed.positional.front();
    std::string error;
    const auto disk = platform::openWholeSource(path, &error);
    if (!disk) {
        std::fprintf(stderr, "sarvik: cannot open %s\n", openFailureText(path, error).c_str());
        return kExitFailed;
    }
    const bool deep = parsed.has("deep");
    catalogue::ScanControl control;
    TerminalProgress progress("Searching");
    std::uint64_t unreadable = 0;
    std::vector<disk::LostVolume> found;
    {
        const StopOnSignals signals(control);
        found = disk::FindLostVolumes(*disk, deep ? disk::LostVolumeSearch::Deep : disk::LostVolumeSearch::Quick,
                                      progress, control, &unreadable);
    }
    progress.finish();

    if (parsed.has("json")) {
        JsonStream w(stdout);
        w.beginDocument().value("source", path).value("search", deep ? "deep" : "quick").beginArray("volumes");
        for (std::size_t i = 0; i < found.size(); ++i) {
            const disk::LostVolume& v = found[i];
            w.value({}, Json{{"source", disk::lostVolumePathText(path, static_cast<std::uint32_t>(i + 1))},
                             {"fileSystem", disk::fileSystemName(v.kind)},
                             {"firstSector", v.firstSector},
                             {"sectors", v.sectors},
                             {"foundBy", v.foundBy}});
        }
        w.endArray().endObject();
    } else {
        std::printf("Disk                : %s\n", path.c_str());
        std::printf("Volumes found       : %zu (%s)\n", found.size(),
                    deep ? "every sector read" : "quick search; --deep reads every sector");
        for (std::size_t i = 0; i < found.size(); ++i) {
            const disk::LostVolume& v = found[i];
            std::printf("  %-8s %-6s start %-10llu %10llu sectors (%s)  %s  %s\n",
                        ("lost" + std::to_string(i + 1)).c_str(), disk::fileSystemName(v.kind).c_str(),
                        static_cast<unsigned long long>(v.firstSector), static_cast<unsigned long long>(v.sectors),
                        iecSize(v.sectors * disk::kSectorSize).c_str(), v.foundBy.c_str(),
                        disk::lostVolumePathText(path, static_cast<std::uint32_t>(i + 1)).c_str());
        }
    }
    if (control.stopRequested()) {
        std::fprintf(stderr, "sarvik: interrupted; the search did not end\n");
        return interruptedStatus();
    }
    if (unreadable != 0) {
        std::fprintf(stderr, "sarvik: %llu sector(s) could not be read; a volume starting there is not found\n",
                     static_cast<unsigned long long>(unreadable));
        return kExitLosses;
    }
    return kExitDone;
}

} // namespace sarvik::cli
