// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of the file list for one folder, without any toolkit: folders first,
// then the deleted files that pass the filter, each in catalogue order.

#include "catalogue/FolderTree.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sarvik::catalogue {

/// "dd-mm-yyyy " from a packed FAT date (day bits 0-4, month 5-8, year-1980 9-15).
[[nodiscard]] std::string fatDateText(std::uint16_t packed);
/// "d-m-yyyy h:m:s" from a FILETIME (100 ns since 1601-01-01 UTC), no leading zeros.
[[nodiscard]] std::string fileTimeText(std::uint64_t fileTime);
/// Seconds since 1970-01-01 UTC of a FILETIME (may be negative).
[[nodiscard]] std::int64_t fileTimeToUnix(std::uint64_t fileTime);

/// The type name of a file from its name; the GUI asks the desktop's MIME
/// database, the CLI uses `defaultTypeName`.
using TypeNameProvider = std::function<std::string(const std::string& name)>;
/// "<EXT> File" from the extension, or "File" without one.
[[nodiscard]] std::string defaultTypeName(const std::string& name);

struct FileRow {
    bool folder = false;
    bool deleted = false;
    EntryId entry = kNoEntryId; ///< the catalogue's entry
    std::string name;           ///< as read from disk (8-bit)
    std::string type;           ///< "Folder", "Deleted Folder", or "Deleted " + type name
    std::uint64_t size = 0;     ///< bytes; 0 for folders
    std::string created;
    std::string modified;
    std::string id;        ///< treeItem, ordinal or recordSector, in decimal
    std::uint64_t key = 0; ///< the same key as a number
    /// The seventh column: "Good", "Partly overwritten" or "Overwritten" for a
    /// deleted file whose condition was estimated (recovery/Condition.h), else empty.
    std::string condition;
    std::uint64_t conditionClusters = 0;      ///< clusters the copy would read
    std::uint64_t conditionClustersInUse = 0; ///< of those, now in use by something else

    /// The index of its entry in the catalogue's folders or files.
    [[nodiscard]] std::size_t entryIndex() const noexcept { return catalogue::entryIndex(entry); }
};

/// Whether a deleted file of this name (as the catalogue holds it) is listed.
using NamePredicate = std::function<bool(const std::string& name)>;

/// The rows of folder `key`. `filter` may be empty (no filtering).
[[nodiscard]] std::vector<FileRow> FillFileList(const Catalogue& catalogue, const CatalogueIndex& index,
                                                CatalogueKind kind, std::uint64_t key, const NamePredicate& filter,
                                                const TypeNameProvider& typeName = defaultTypeName);

} // namespace sarvik::catalogue
