// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The JSON lines of a scan listing, one per folder and file of the catalogue
// (`sarvik scan --json`), and the facts of an entry the listings share.

#include "cli/Entries.h"
#include "cli/Json.h"
#include "cli/Session.h"
#include "recovery/Condition.h"
#include "scan/ScanSession.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::cli {

/// Folders (`folders`) or files in the session's catalogue.
[[nodiscard]] std::size_t entryCount(const scan::ScanSession& s, bool folders);
/// Whether folder or file `i` is deleted.
[[nodiscard]] bool entryDeleted(const scan::ScanSession& s, bool folder, std::size_t i);

/// The paths of a session's entries, as folderEntryPath and fileEntryPath give
/// them, with each folder's path worked out once: a listing of 50,000 files
/// in a few hundred folders would otherwise walk the tree for every file.
class EntryPaths {
public:
    explicit EntryPaths(const scan::ScanSession& s) : m_session(s), m_nodePaths(s.tree.size() + 1) {}

    /// A folder's path and whether JSON escapes nothing in it (JsonLine::plainUtf8).
    struct FolderPath {
        std::string text;
        std::optional<bool> plain; ///< worked out when first asked for
        /// Every name on the way is well-formed UTF-8 and the catalogue's names
        /// are UTF-8: a subfolder's path is this one's, "/" and its name.
        bool extends = false;
    };

    /// The path of file `i`'s folder, with `plain` set; null when the tree did
    /// not place that folder.
    const FolderPath* fileFolder(std::size_t i)
    {
        const std::uint64_t parent = m_session.catalogue.parentKey(catalogue::fileEntryId(i));
        const catalogue::TreeNode* node = m_session.tree.findByKey(parent);
        if (node == nullptr)
            return nullptr;
        FolderPath& known = folderPath(*node);
        if (!known.plain)
            known.plain = JsonLine::plainUtf8(known.text);
        return &known;
    }

    /// Entry `i`'s path into `path`, given its name as entryName gives it;
    /// false when the tree did not place it (or its folder).
    bool get(bool folder, std::size_t i, std::string_view name, std::string& path)
    {
        const auto& c = m_session.catalogue;
        if (folder) {
            const auto item = static_cast<std::uint32_t>(c.listId(catalogue::folderEntryId(i)));
            const catalogue::TreeNode* node = m_session.tree.node(item);
            if (node == nullptr || node->folderIndex != static_cast<std::int64_t>(i))
                return false;
            path = nodePath(*node);
            return true;
        }
        const catalogue::TreeNode* node = m_session.tree.findByKey(c.parentKey(catalogue::fileEntryId(i)));
        if (node == nullptr)
            return false;
        path = nodePath(*node);
        if (path.size() > 1)
            path.push_back('/');
        path.append(name);
        return true;
    }

private:
    /// The path cli::nodePath gives for `node`, worked out once.
    FolderPath& folderPath(const catalogue::TreeNode& node);
    /// The same for `node` whose parent's path is known already.
    FolderPath makePath(const catalogue::TreeNode& node) const;
    const std::string& nodePath(const catalogue::TreeNode& node) { return folderPath(node).text; }

    const scan::ScanSession& m_session;
    std::vector<std::optional<FolderPath>> m_nodePaths; ///< by tree handle
};

/// The JSON line of each entry of a session's catalogue, the files' with their
/// condition. Keeps what the lines share: the folders' paths and the estimate
/// of the files' condition, which reads the volume.
class EntryLines {
public:
    EntryLines(const scan::ScanSession& s, EntryStyle style)
        : m_session(s), m_style(style), m_conditions(s.volume, s.catalogue.NamesAreUtf8), m_paths(s)
    {
        m_conditions.useOverlaps(s.catalogue); // a thorough catalogue: as its copy reads
    }

    /// Folder or file `i`'s line into `j`.
    void format(bool folder, std::size_t i, JsonLine& j);

private:
    const scan::ScanSession& m_session;
    const EntryStyle m_style;
    recovery::ConditionEstimator m_conditions;
    EntryPaths m_paths;
    std::string m_path;
    std::string m_decoded;
};

/// Files a chunk of the listing holds: the unit two threads take turns at.
inline constexpr std::size_t kChunkFiles = 1024;

namespace detail {
class OddChunks;
}

/// The lines of the session's files. With `twoThreads`, for an NTFS catalogue
/// of more than one chunk whose volume may be read from two threads at once
/// (the condition estimate reads it), every other chunk is formatted ahead on
/// a second thread with an EntryLines of its own, which starts when this is
/// made: made before the lines that come ahead of the files are written, it
/// works meanwhile. The text is the same either way.
class FileLines {
public:
    FileLines(const scan::ScanSession& s, EntryStyle style, bool twoThreads = true);
    ~FileLines();
    FileLines(const FileLines&) = delete;
    FileLines& operator=(const FileLines&) = delete;

    /// Writes the lines, each an element of the array `w` has open.
    void write(JsonStream& w, EntryLines& lines);

private:
    const scan::ScanSession& m_session;
    std::unique_ptr<detail::OddChunks> m_odd;
};

/// FileLines made and written at once.
void writeFileLines(JsonStream& w, const scan::ScanSession& s, EntryStyle style, EntryLines& lines,
                    bool twoThreads = true);

} // namespace sarvik::cli
