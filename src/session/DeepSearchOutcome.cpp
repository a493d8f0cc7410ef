// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/DeepSearchOutcome.h"

#include "scan/ScanSession.h"
#include "session/EntryAccess.h"

#include <algorithm>

namespace sarvik::session {

namespace {

std::string countText(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " more " + (n == 1 ? one : many);
}

} // namespace

bool holdsAtLeast(const scan::ScanSession& found, const scan::ScanSession& shown, bool needMore)
{
    const ListSizes then = listSizes(found);
    const ListSizes now = listSizes(shown);
    if (then.folders < now.folders || then.files < now.files)
        return false;
    return !needMore || then.folders != now.folders || then.files != now.files;
}

std::string deepSearchOutcome(const scan::ScanSession& found, std::size_t baseFolders, std::size_t baseFiles,
                              bool stopped)
{
    const ListSizes then = listSizes(found);
    const std::size_t folders = then.folders - std::min(then.folders, baseFolders);
    const std::size_t files = then.files - std::min(then.files, baseFiles);
    const std::string counts = countText(folders, "folder", "folders") + " and " + countText(files, "file", "files");
    std::string text;
    if (folders == 0 && files == 0)
        text = stopped ? "Deep search stopped before it found anything more."
                       : "Deep search found nothing more in the free space.";
    else if (stopped)
        text = "Deep search stopped; what it found before is listed: " + counts + ".";
    else
        text = "Deep search found " + counts + ".";
    const catalogue::ScanLosses& losses = found.catalogue.Losses;
    if (losses.UnreadableSectors != 0)
        text += " " + std::to_string(losses.UnreadableSectors) + " sector(s) could not be read.";
    if (found.catalogue.UnlistedFoundRecords != 0)
        text += " " + std::to_string(found.catalogue.UnlistedFoundRecords) +
                " MFT record(s) of a lost MFT are not listed: their attributes continue in records that can no "
                "longer be followed.";
    return text;
}

std::string deepSearchFoundLess(bool stopped)
{
    return stopped ? "Deep search stopped before it reached the free space; the list is as the scan left it."
                   : "Deep search found less than the list holds (has the volume changed?); the list is as the scan "
                     "left it.";
}

} // namespace sarvik::session
