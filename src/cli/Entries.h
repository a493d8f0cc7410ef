// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One catalogue entry as the command line shows it: its JSON object, its times
// as text, and the numbers a user names it by.

#include "cli/Json.h"
#include "scan/ScanSession.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sarvik::cli {

/// How the listings of one session show times. A classic snapshot keeps FAT
/// write dates but not their time of day, so a session loaded from one shows
/// dates alone rather than a midnight that never was.
struct EntryStyle {
    bool fatTimesOfDay = true;
};

/// The fields of file `index` of the session's file list after "path" and
/// "name" (numbers as numbers, times in ISO 8601), as `scan --json` writes them.
[[nodiscard]] Json fileJson(const scan::ScanSession& session, std::size_t index, EntryStyle style);
/// "whole" or "incomplete" for file `index` when carving found it by its
/// content (the JSON field "carved"); nullptr for a file found by its entry.
[[nodiscard]] const char* carvedText(const scan::ScanSession& session, std::size_t index);
[[nodiscard]] const char* carvedText(const catalogue::Entry& e);
/// The path of the folder that a moved folder's deleted entry (folder
/// `standIn`) stands in for, or nothing when that folder is not in the tree.
[[nodiscard]] std::optional<std::string> movedFolderPath(const scan::ScanSession& session, std::size_t standIn);
/// The same for folder `index` of the folder list.
[[nodiscard]] Json folderJson(const scan::ScanSession& session, std::size_t index, EntryStyle style);

/// The same members added to `line` (the same text as the Json values give).
/// A file's members from its entry, read once by the caller.
void addFileMembers(JsonLine& line, const scan::ScanSession& session, const catalogue::Entry& e, EntryStyle style);
void addFolderMembers(JsonLine& line, const scan::ScanSession& session, const catalogue::Entry& e, EntryStyle style);

/// Created and modified times of a file-list row as text ("YYYY-MM-DD HH:MM:SS";
/// `created` is empty on FAT when the scan did not keep the entry's creation
/// time: a classic scan, exFAT, or an entry that records none).
struct RowTimes {
    std::string created;
    std::string modified;
};
[[nodiscard]] RowTimes rowTimes(const scan::ScanSession& session, const catalogue::FileRow& row, EntryStyle style);
/// The modified time of rowTimes alone.
[[nodiscard]] std::string rowModifiedText(const scan::ScanSession& session, const catalogue::FileRow& row,
                                          EntryStyle style);
/// The same as ISO 8601 (null when unknown), for JSON.
[[nodiscard]] Json rowTimeJson(const scan::ScanSession& session, const catalogue::FileRow& row, bool modified,
                               EntryStyle style);

/// The MFT record number (NTFS) or first cluster (FAT) of a row's entry, as
/// the listings show it (on FAT --id selects by the entry address instead).
[[nodiscard]] std::uint64_t rowNumber(const scan::ScanSession& session, const catalogue::FileRow& row);
/// "recordNumber" or "firstCluster", the JSON name of that number.
[[nodiscard]] const char* numberField(const scan::ScanSession& session);

/// The JSON "entryAddress" of the entry behind a row (FAT and exFAT): its
/// address, or null when the session kept none (a classic snapshot), no
/// entry stands for it, or the volume is NTFS.
[[nodiscard]] Json rowEntryAddressJson(const scan::ScanSession& session, const catalogue::FileRow& row);

} // namespace sarvik::cli
