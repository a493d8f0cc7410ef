// SPDX-License-Identifier: GPL-3.0-or-later
// sarvik scan, sarvik ls

#include "catalogue/NameText.h"
#include "cli/Commands.h"
#include "cli/Entries.h"
#include "cli/EntryLines.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "cli/Selection.h"
#include "cli/Session.h"
#include "cli/Source.h"
#include "cli/TextWidth.h"
#include "cli/TimeText.h"
#include "recovery/Condition.h"
#include "recovery/FileSources.h"
#include "recovery/OriginalTimes.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace sarvik::cli {

namespace {

using catalogue::toUtf8;

/// After an entry whose exFAT entry set fails its checksum.
constexpr const char* kDamagedSetNote = "  (damaged entry set: its checksum fails)";

Json volumeJson(const scan::ScanSession& s)
{
    const auto& info = s.volume.info;
    const auto& g = s.volume.geometry;
    Json j = Json::object();
    j["volumeKind"] = disk::fileSystemKeyword(info.FileSystemKind);
    j["devicePath"] = info.DevicePath;
    j["volumeClusterSectors"] = info.VolumeClusterSectors;
    j["volumeSectors"] = info.VolumeSectors;
    j["volumeLabel"] = toUtf8(info.VolumeLabel);
    j["geometryKind"] = disk::fileSystemKeyword(g.GeometryKind);
    j["sectorsPerCluster"] = g.SectorsPerCluster;
    j["clusterBaseSector"] = g.ClusterBaseSector;
    j["folderCount"] = s.catalogue.folderCount();
    j["fileCount"] = s.catalogue.fileCount();
    return j;
}

/// The rules that made the catalogue: a thorough scan (or a snapshot of one)
/// keeps its names in UTF-8, a classic one in 8 bits.
const char* rulesName(const catalogue::Catalogue& c)
{
    return c.NamesAreUtf8 ? "thorough" : "classic";
}

std::optional<std::string> entryPath(const scan::ScanSession& s, bool folder, std::size_t i)
{
    return folder ? folderEntryPath(s, i) : fileEntryPath(s, i);
}

/// The whole catalogue as one JSON document, written entry by entry.
void scanJson(const scan::ScanSession& s, EntryStyle style)
{
    const auto& c = s.catalogue;
    // The second thread of the files' lines starts now, and works while the
    // folders' lines are written.
    FileLines fileLines(s, style);
    JsonStream w(stdout);
    w.beginDocument().value("rules", rulesName(c)).value("deepSearch", c.DeepSearched).value("volume", volumeJson(s));
    EntryLines lines(s, style);
    w.beginArray("folders");
    JsonLine j;
    for (std::size_t i = 0; i < entryCount(s, true); ++i) {
        lines.format(true, i, j);
        w.element(j);
    }
    w.endArray().beginArray("files");
    fileLines.write(w, lines);
    w.endArray().endObject();
}

/// The fields of a body-format line after the name and mode.
struct BodyFields {
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t atime = 0;
    std::int64_t mtime = 0;
    std::int64_t ctime = 0;
    std::int64_t crtime = 0;
};

/// The times of a body line, in seconds since 1970 (0: not kept). FAT's
/// creation time has hundredths of a second (whole seconds here), its access
/// time a date alone; exFAT keeps times of day and UTC offsets. A time before
/// 1970 is written as 0, as one not kept: timeline tools read the fields as
/// unsigned. Where an NTFS record had no standard information, the file name's
/// creation and change times stand in for crtime and mtime.
BodyFields bodyTimes(const catalogue::EntryTimes& t)
{
    const auto unixOf = [](const catalogue::EntryTime& time) -> std::int64_t {
        const auto seconds = recovery::entryTimeToUnix(time);
        if (!seconds)
            return 0;
        const bool fat = time.source == catalogue::TimeSource::FatTime;
        return std::max<std::int64_t>(0, *seconds + (fat ? time.hundredths / 100 : 0));
    };
    BodyFields b;
    b.atime = unixOf(t.accessed);
    b.mtime = unixOf(t.modified);
    b.ctime = unixOf(t.changed);
    b.crtime = unixOf(t.created);
    return b;
}

/// One line of the body format of timeline tools:
/// MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime. The inode is the
/// MFT record number (NTFS) or the entry's address (FAT, exFAT); deleted
/// entries carry " (deleted)" after their name, and times not kept are 0.
void bodyLine(const scan::ScanSession& s, bool folder, std::size_t i)
{
    const auto path = entryPath(s, folder, i);
    if (!path)
        return; // not placed in the tree: no path to name it by
    std::string name = terminalText(*path, true);
    for (char& ch : name)
        if (ch == '|')
            ch = '?'; // the field separator
    const bool deleted = entryDeleted(s, folder, i);
    if (deleted)
        name += " (deleted)";
    const catalogue::EntryId id = folder ? catalogue::folderEntryId(i) : catalogue::fileEntryId(i);
    const catalogue::Entry e = s.catalogue.entry(id);
    BodyFields b = bodyTimes(s.catalogue.recordedTimes(id));
    b.size = folder ? 0 : e.size;
    std::string mode;
    if (s.kind() == catalogue::CatalogueKind::Fat) {
        // The inode is the entry's address; a FAT entry keeps its type when deleted.
        b.inode = e.entryAddress;
        mode = folder ? "d/drwxrwxrwx" : "r/rrwxrwxrwx";
    } else {
        // The inode is the MFT record number; the name's own type is gone with
        // a deleted NTFS index entry.
        b.inode = e.number;
        mode = std::string(deleted ? "-" : folder ? "d" : "r") + (folder ? "/drwxrwxrwx" : "/rrwxrwxrwx");
    }
    std::printf("0|%s|%llu|%s|0|0|%llu|%lld|%lld|%lld|%lld\n", name.c_str(), static_cast<unsigned long long>(b.inode),
                mode.c_str(), static_cast<unsigned long long>(b.size), static_cast<long long>(b.atime),
                static_cast<long long>(b.mtime), static_cast<long long>(b.ctime), static_cast<long long>(b.crtime));
}

/// The folder tree as `scan` prints it: each folder's folders (each followed
/// by what it holds, indented) and then its files, with their size and time.
/// The lines are made from the catalogue's entries, in the order of the file
/// list's rows, without what the listing does not show of a row (its type,
/// the condition estimate). The tree is first cut into pieces in the order
/// they are printed (a folder's line, the lines of a folder's files), and
/// those into parts, which two threads make by turns; they are written in
/// order.
class TreeText {
public:
    TreeText(const scan::ScanSession& s, EntryStyle style)
        : m_session(s), m_style(style), m_utf8(s.catalogue.NamesAreUtf8)
    {
    }

    void print(const catalogue::TreeNode& root)
    {
        collect(root, 1);
        // Parts of about kPartLines lines each: pieces are not split.
        std::vector<std::size_t> partEnds;
        std::size_t lines = 0;
        for (std::size_t k = 0; k < m_pieces.size(); ++k) {
            lines += m_pieces[k].lines;
            if (lines >= kPartLines || k + 1 == m_pieces.size()) {
                partEnds.push_back(k + 1);
                lines = 0;
            }
        }
        std::vector<std::string> parts(partEnds.size());
        const auto make = [&](std::size_t part) {
            for (std::size_t k = part == 0 ? 0 : partEnds[part - 1]; k < partEnds[part]; ++k)
                append(m_pieces[k], parts[part]);
        };
        // The odd parts on a thread of their own, each marked when made.
        std::vector<std::atomic<bool>> made(parts.size());
        std::exception_ptr failure;
        std::jthread odd;
        if (parts.size() > 1) {
            try {
                odd = std::jthread([&] {
                    for (std::size_t part = 1; part < parts.size(); part += 2) {
                        try {
                            if (!failure)
                                make(part);
                        } catch (...) {
                            failure = std::current_exception();
                        }
                        made[part].store(true);
                        made[part].notify_one();
                    }
                });
            } catch (const std::system_error&) {
                // No thread to be had: this one makes every part.
            }
        }
        for (std::size_t part = 0; part < parts.size(); ++part) {
            if (part % 2 == 0 || !odd.joinable()) {
                make(part);
            } else {
                made[part].wait(false);
                if (failure) // what went wrong on the thread
                    std::rethrow_exception(failure);
            }
            std::fwrite(parts[part].data(), 1, parts[part].size(), stdout);
            std::string().swap(parts[part]);
        }
    }

private:
    static constexpr std::size_t kPartLines = 4096;
    /// A folder's line (`files` false: `index` into the folder list), or the
    /// lines of the files of the folder whose key is `key`.
    struct Piece {
        bool files = false;
        std::size_t index = 0;
        std::uint64_t key = 0;
        int depth = 0;
        std::size_t lines = 1;
    };

    void collect(const catalogue::TreeNode& node, int depth)
    {
        const auto& c = m_session.catalogue;
        const auto& index = m_session.index();
        for (const std::size_t i : index.foldersIn(node.key)) {
            m_pieces.push_back({false, i, 0, depth, 1});
            const auto item = static_cast<std::uint32_t>(c.listId(catalogue::folderEntryId(i)));
            if (const auto* child = m_session.tree.node(item))
                collect(*child, depth + 1);
        }
        if (const std::size_t files = index.filesIn(node.key).size(); files != 0)
            m_pieces.push_back({true, 0, node.key, depth, files});
    }

    void append(const Piece& piece, std::string& out) const
    {
        const auto& c = m_session.catalogue;
        const std::string indent(static_cast<std::size_t>(piece.depth) * 2, ' ');
        std::string scratch;
        if (!piece.files) {
            const catalogue::EntrySummary folder = c.summary(catalogue::folderEntryId(piece.index));
            out += indent;
            out += terminalName(folder.name, m_utf8, false, scratch);
            if (folder.is(catalogue::EntryFlag::Moved)) {
                const auto now = movedFolderPath(m_session, piece.index);
                out += "/  (deleted; moved: now ";
                out += now ? terminalName(*now, m_utf8, false, scratch) : std::string_view("?");
                out += ")\n";
                return;
            }
            out += folder.deleted() ? "/  (deleted)" : "/";
            if (folder.is(catalogue::EntryFlag::ChecksumBad))
                out += kDamagedSetNote;
            out += '\n';
            return;
        }
        const auto& files = m_session.index().filesIn(piece.key);
        for (std::size_t n = 0; n < files.size(); ++n) {
            const catalogue::EntrySummary e = c.summary(catalogue::fileEntryId(files[n]));
            if (!m_session.filters.empty() && !m_session.filters.passes(std::string(e.name), m_utf8))
                continue;
            const std::uint64_t size = e.size;
            const std::string_view name = e.name;
            const bool decoded = e.is(catalogue::EntryFlag::NameDecoded);
            out += indent;
            appendFitted(out, terminalName(name, m_utf8, decoded, scratch), 40);
            out += ' ';
            char digits[24];
            const char* end = std::to_chars(std::begin(digits), std::end(digits), size).ptr;
            const auto width = static_cast<std::size_t>(end - digits);
            out.append(width < 12 ? 12 - width : 0, ' ');
            out.append(digits, width);
            out += "  ";
            out += entryTimeChars(e.modified).view();
            if (e.is(catalogue::EntryFlag::ChecksumBad))
                out += kDamagedSetNote;
            if (m_session.fileSources) {
                if (const std::string from = m_session.fileSources->originText(files[n]); !from.empty()) {
                    out += "  (";
                    out += from;
                    out += ')';
                }
            }
            out += '\n';
        }
    }

    const scan::ScanSession& m_session;
    const EntryStyle m_style;
    const bool m_utf8;
    std::vector<Piece> m_pieces;
};

/// The session's style: a snapshot may have kept no FAT time of day.
EntryStyle styleFor(const scan::ScanSession& s)
{
    return EntryStyle{s.catalogue.FatTimesOfDay};
}

} // namespace

int runScan(const CommandSpec& spec, const ParsedArgs& parsed)
{
    const SessionArgs sa = SessionArgs::from(parsed);
    if (parsed.positional.size() != 1)
        return usageError(spec, parsed.positional.empty() ? "SOURCE is missing" : "one SOURCE only");
    if (parsed.has("json") && parsed.has("bodyfile"))
        return usageError(spec, "--json and --bodyfile write different formats; choose one");
    int status = kExitDone;
    auto session = openSession(sa, status);
    if (!session)
        return status;
    const auto& s = *session;
    keepUntilExit(std::move(session));
    if (parsed.has("json")) {
        scanJson(s, styleFor(s));
        return status;
    }
    if (parsed.has("bodyfile")) {
        for (const bool folders : {true, false})
            for (std::size_t i = 0; i < entryCount(s, folders); ++i)
                bodyLine(s, folders, i);
        return status;
    }
    // The volume read: the partition chosen when SOURCE is a disk with one volume.
    const std::string& device = s.volume.reader.DevicePath();
    const bool chosen = !isSnapshotSource(sa.source) && device.starts_with(sa.source + "@");
    const std::string& read = chosen ? device : sa.source;
    std::printf("%s volume %s, %s\n", disk::fileSystemName(s.volume.geometry.GeometryKind).c_str(), read.c_str(),
                iecSize(s.volume.info.VolumeSectors * disk::kSectorSize).c_str());
    std::puts(!s.catalogue.NamesAreUtf8  ? "Classic scan"
              : s.catalogue.DeepSearched ? "Thorough scan, free space searched (--deep)"
                                         : "Thorough scan");
    std::puts("/");
    TreeText(s, styleFor(s)).print(s.tree.root());
    // With --live the files in use are counted apart.
    const auto& c = s.catalogue;
    const std::size_t existing = c.fileEntryCount() - c.countWith(false, catalogue::EntryFlag::Deleted);
    if (existing == 0)
        std::printf("%u folder(s), %u deleted file(s) found\n", c.folderCount(), c.fileCount());
    else
        std::printf("%u folder(s), %zu deleted file(s) and %zu existing file(s) found\n", c.folderCount(),
                    c.fileCount() - existing, existing);
    return status;
}

namespace {

/// The file rows of folder `node` that the selection takes (folders are kept).
std::vector<catalogue::FileRow> selectedRows(const scan::ScanSession& s, const catalogue::TreeNode& node,
                                             const Selection& selection)
{
    std::vector<catalogue::FileRow> rows = s.rows(node.key);
    std::erase_if(rows,
                  [&](const catalogue::FileRow& r) { return !r.folder && !selection.passesLimits(s, r.entryIndex()); });
    return rows;
}

void lsJson(const scan::ScanSession& s, const catalogue::TreeNode& node, const std::vector<catalogue::FileRow>& rows,
            EntryStyle style)
{
    const bool utf8 = s.catalogue.NamesAreUtf8;
    const std::string folder = nodePath(s, node);
    JsonStream w(stdout);
    w.beginDocument().value("folder", folder).beginArray("rows");
    for (const auto& r : rows) {
        Json j = Json::object();
        const std::string name = catalogue::nameToUtf8(r.name, utf8);
        j["name"] = name;
        std::string path = folder.size() > 1 ? folder + "/" : folder;
        j["path"] = path.append(name);
        j["type"] = catalogue::nameToUtf8(r.type, utf8);
        j["size"] = r.folder ? 0 : fileFacts(s, r.entryIndex()).size;
        j["created"] = rowTimeJson(s, r, false, style);
        j["modified"] = rowTimeJson(s, r, true, style);
        j["id"] = r.key;
        j[numberField(s)] = rowNumber(s, r);
        if (s.kind() == catalogue::CatalogueKind::Fat)
            j["entryAddress"] = rowEntryAddressJson(s, r);
        j["deleted"] = r.deleted;
        if (const char* carved = r.folder ? nullptr : carvedText(s, r.entryIndex()))
            j["carved"] = carved;
        if (const recovery::OtherSource* from =
                s.fileSources && !r.folder ? s.fileSources->sourceOf(r.entryIndex()) : nullptr) {
            j["shadowCopy"] = from->shadowCopy;
            j["shadowCopyCreated"] = from->created == 0 ? Json(nullptr) : Json(fileTimeIso(from->created));
        }
        if (!r.condition.empty()) {
            // The share of the file's clusters now in use by something else.
            j["condition"] = r.condition;
            j["overwrittenShare"] = r.conditionClusters == 0 ? 0.0
                                                             : static_cast<double>(r.conditionClustersInUse) /
                                                                   static_cast<double>(r.conditionClusters);
            j["clusters"] = r.conditionClusters;
            j["clustersInUse"] = r.conditionClustersInUse;
        }
        w.value({}, j);
    }
    w.endArray().endObject();
}

void lsText(const scan::ScanSession& s, const std::vector<catalogue::FileRow>& rows, EntryStyle style)
{
    const bool utf8 = s.catalogue.NamesAreUtf8;
    const bool fat = s.kind() == catalogue::CatalogueKind::Fat;
    // The number --id takes: the MFT record, or the FAT entry's address when the
    // scan kept addresses (a classic snapshot keeps none: its first cluster then).
    const bool entries = fat && s.catalogue.FatEntryOrigins;
    std::printf("%s %s %s  %s %s %s %s\n", fitted("Name", 40).c_str(), fitted("Type", 24).c_str(),
                rightAligned("Size", 12).c_str(), fitted("Created", 19).c_str(), fitted("Modified", 19).c_str(),
                fitted(entries ? "Entry"
                       : fat   ? "Cluster"
                               : "Record",
                       10)
                    .c_str(),
                "Condition");
    for (const auto& r : rows) {
        const RowTimes times = rowTimes(s, r, style);
        std::string number = std::to_string(rowNumber(s, r));
        if (entries) {
            const Json address = rowEntryAddressJson(s, r);
            number = address.is_null() ? std::string{} : std::to_string(address.get<std::uint64_t>());
        }
        std::printf("%s %s %s  %s %s %s %s\n", fitted(terminalText(r.name, utf8), 40).c_str(),
                    fitted(terminalText(r.type, utf8), 24).c_str(), rightAligned(std::to_string(r.size), 12).c_str(),
                    fitted(times.created, 19).c_str(), fitted(times.modified, 19).c_str(), fitted(number, 10).c_str(),
                    r.condition.c_str());
    }
}

} // namespace

int runLs(const CommandSpec& spec, const ParsedArgs& parsed)
{
    if (parsed.positional.empty() || parsed.positional.size() > 2)
        return usageError(spec, parsed.positional.empty() ? "SOURCE is missing" : "one SOURCE and one FOLDER only");
    Selection selection;
    if (const auto error = selection.read(parsed))
        return usageError(spec, *error);
    const std::string folder = parsed.positional.size() > 1 ? parsed.positional[1] : std::string();
    int status = kExitDone;
    auto session = openSelectedSession(spec, parsed, selection, status);
    if (!session)
        return status;
    const catalogue::TreeNode* node = nullptr;
    for (const std::string& form : typedPathForms(folder))
        if (node == nullptr)
            node = findFolder(*session, form);
    if (node == nullptr) {
        std::fprintf(stderr, "sarvik ls: no folder '%s' in the scan\n", terminalText(folder).c_str());
        return kExitFailed;
    }
    const auto rows = selectedRows(*session, *node, selection);
    if (parsed.has("json"))
        lsJson(*session, *node, rows, styleFor(*session));
    else
        lsText(*session, rows, styleFor(*session));
    return status;
}

} // namespace sarvik::cli
