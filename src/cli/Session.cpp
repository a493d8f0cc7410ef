// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Session.h"

#include "scan/FreeSpaceSample.h"

#include "snapshot/SnapshotMftRuns.h"

#include "catalogue/NameDecode.h"
#include "catalogue/NameText.h"
#include "cli/ByteWords.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Progress.h"
#include "cli/Source.h"
#include "disk/PartitionTable.h"
#include "platform/Devices.h"
#include "platform/FileSystem.h"
#include "platform/PartitionSource.h"
#include "platform/RegularFile.h"
#include "recovery/OutputFolder.h"
#include "recovery/ReportRecord.h"
#include "snapshot/SnapshotFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace sarvik::cli {

SessionArgs SessionArgs::from(const ParsedArgs& args)
{
    SessionArgs sa;
    if (!args.positional.empty())
        sa.source = args.positional.front();
    sa.snapshotOut = args.value("snapshot").value_or("");
    sa.device = args.value("device").value_or("");
    sa.force = args.has("force");
    sa.thorough = args.lastOf({"classic", "thorough"}).value_or("thorough") == "thorough";
    sa.deep = args.has("deep");
    sa.carve = !args.has("no-carve");
    sa.live = args.has("live");
    sa.previous = args.value("previous");
    return sa;
}

namespace {

/// Where the first byte of `whole` that may start an escape lies (its size
/// when none does): C0, DEL, a backslash when `backslash`, the lead byte of a
/// C1 control or of a character that reorders text. Names are looked through eight bytes at a time.
std::size_t firstSpecial(std::string_view whole, bool backslash)
{
    const auto special = [backslash](unsigned char c) {
        return c < 0x20 || c == 0x7F || c == 0xC2 || c == 0xE2 || (c == '\\' && backslash);
    };
    std::size_t i = 0;
    for (; i + 8 <= whole.size(); i += 8) {
        const std::uint64_t w = words::load(whole, i);
        // A word is passed over only when no byte in it may start an escape.
        if (words::hasBelow(w, 0x20) || words::has(w, 0x7F) || words::has(w, 0xC2) || words::has(w, 0xE2) ||
            (backslash && words::has(w, '\\')))
            break;
    }
    while (i < whole.size() && !special(static_cast<unsigned char>(whole[i])))
        ++i;
    return i;
}

/// `whole` (UTF-8) with its control characters escaped, and its backslashes
/// when `backslash`.
std::string escapedUtf8(std::string_view whole, bool backslash)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t i = firstSpecial(whole, backslash);
    if (i == whole.size())
        return std::string(whole); // nothing to escape: most names
    std::string safe;
    safe.reserve(whole.size() + 8);
    safe.append(whole.substr(0, i));
    const auto hex = [&](unsigned char c) {
        safe += "\\x";
        safe.push_back(kHex[c >> 4]);
        safe.push_back(kHex[c & 0x0F]);
    };
    for (; i < whole.size(); ++i) {
        const auto c = static_cast<unsigned char>(whole[i]);
        if (c == '\n')
            safe += "\\n";
        else if (c == '\t')
            safe += "\\t";
        else if (c == '\r')
            safe += "\\r";
        else if (c < 0x20 || c == 0x7F)
            hex(c);
        else if (c == '\\' && backslash)
            safe += "\\\\";
        else if (c == 0xC2 && i + 1 < whole.size() && static_cast<unsigned char>(whole[i + 1]) >= 0x80 &&
                 static_cast<unsigned char>(whole[i + 1]) <= 0x9F) {
            hex(c); // a C1 control: some terminals act on these too
            hex(static_cast<unsigned char>(whole[++i]));
        } else if (recovery::isBidiControl(whole, i)) {
            // A character that reorders what follows would let a name show
            // as another ("txt.exe" as "exe.txt"): shown as its bytes.
            hex(c);
            hex(static_cast<unsigned char>(whole[++i]));
            hex(static_cast<unsigned char>(whole[++i]));
        } else
            safe.push_back(whole[i]);
    }
    return safe;
}

/// `text` (UTF-8, else Windows-1252) with its control characters escaped, and
/// its backslashes when `backslash`.
std::string escapedText(std::string_view text, bool utf8, bool backslash)
{
    std::string scratch;
    return escapedUtf8(catalogue::nameAsUtf8(text, utf8, scratch), backslash);
}

/// The text that escapes as escapedText writes them stand for; nothing when
/// `typed` holds none, or a backslash that starts none of them.
std::optional<std::string> unescapedText(const std::string& typed)
{
    if (typed.find('\\') == std::string::npos)
        return std::nullopt;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(typed.size());
    for (std::size_t i = 0; i < typed.size(); ++i) {
        if (typed[i] != '\\') {
            out.push_back(typed[i]);
            continue;
        }
        const char next = i + 1 < typed.size() ? typed[i + 1] : '\0';
        ++i;
        if (next == 'n')
            out.push_back('\n');
        else if (next == 't')
            out.push_back('\t');
        else if (next == 'r')
            out.push_back('\r');
        else if (next == '\\')
            out.push_back('\\');
        else if (next == 'x' && i + 2 < typed.size() && digit(typed[i + 1]) >= 0 && digit(typed[i + 2]) >= 0) {
            out.push_back(static_cast<char>(digit(typed[i + 1]) * 16 + digit(typed[i + 2])));
            i += 2;
        } else
            return std::nullopt;
    }
    return out;
}

} // namespace

std::string terminalText(std::string_view text)
{
    return escapedText(text, true, false);
}

std::string terminalText(std::string_view text, bool namesAreUtf8)
{
    return escapedText(text, namesAreUtf8, true);
}

std::string_view terminalName(std::string_view name, bool namesAreUtf8, bool wellFormed, std::string& scratch)
{
    // An 8-bit name of printable ASCII reads the same in UTF-8.
    const bool plain = namesAreUtf8 ? wellFormed || catalogue::isValidUtf8(name)
                                    : std::all_of(name.begin(), name.end(),
                                                  [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (plain && firstSpecial(name, true) == name.size())
        return name;
    scratch = wellFormed ? escapedUtf8(name, true) : terminalText(name, namesAreUtf8);
    return scratch;
}

std::vector<std::string> typedPathForms(const std::string& typed)
{
    std::vector<std::string> forms{typed};
    if (auto plain = unescapedText(typed); plain && *plain != typed)
        forms.push_back(std::move(*plain));
    return forms;
}

bool isSnapshotSource(const std::string& source)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(platform::pathOf(source), ec))
        return false; // block devices and missing paths go to openSource
    return snapshot::IsSnapshotFile(source);
}

std::optional<std::string> snapshotVolumeWarning(const scan::ScanSession& session)
{
    const std::string& path = session.volume.reader.DevicePath();
    if (!session.volume.reader.isOpen())
        return "no volume is open at " + terminalText(path) + "; file data cannot be read";
    const OpenedSource found = openSource(path);
    const auto lines = snapshot::GeometryDifferences(session.volume.geometry, found.volume.geometry, found.supported);
    if (lines.empty())
        return std::nullopt;
    std::string warning =
        "the volume at " + terminalText(path) + " does not match the snapshot; recovered files may hold other data:";
    for (const auto& line : lines)
        warning += "\n  " + line;
    return warning;
}

std::unique_ptr<scan::ScanSession> loadSnapshotSession(const std::string& path, const std::string& devicePath,
                                                       bool* complete)
{
    if (complete != nullptr)
        *complete = false;
    auto session = std::make_unique<scan::ScanSession>();
    const auto loaded = snapshot::LoadSnapshotFile(*session, path);
    if (loaded.status == snapshot::DecodeStatus::Refused) {
        std::fprintf(stderr, "sarvik: %s: %s\n", path.c_str(), terminalText(loaded.message).c_str());
        return nullptr;
    }
    if (loaded.status == snapshot::DecodeStatus::Damaged)
        std::fprintf(stderr, "sarvik: warning: %s: %s; the entries before it are kept\n", path.c_str(),
                     terminalText(loaded.message).c_str());
    const std::vector<std::string> losses = snapshot::LossNotes(*session);
    for (const std::string& note : losses)
        std::fprintf(stderr, "sarvik: warning: %s: %s\n", path.c_str(), note.c_str());
    const bool whole = loaded.status == snapshot::DecodeStatus::Loaded && losses.empty();

    // --device replaces the snapshot's device for every later read, and is what
    // a snapshot saved from this session records.
    auto& volume = session->volume;
    if (!devicePath.empty())
        volume.info.DevicePath = devicePath;
    std::string error;
    auto source = platform::openVolumeSource(volume.info.DevicePath, &error);
    if (!source) {
        std::fprintf(stderr, "sarvik: warning: cannot open the snapshot's volume %s (%s); file data cannot be read\n",
                     terminalText(volume.info.DevicePath).c_str(), terminalText(error).c_str());
        volume.reader.setDevice(volume.info.DevicePath, nullptr);
        return session;
    }
    volume.reader.setDevice(volume.info.DevicePath, std::move(source));
    if (volume.geometry.GeometryKind == disk::VolumeKind::Ntfs)
        snapshot::RebuildMftRunList(session->mftRuns, volume);
    if (const auto warning = snapshotVolumeWarning(*session))
        std::fprintf(stderr, "sarvik: warning: %s\n", warning->c_str());
    else if (complete != nullptr)
        *complete = whole;
    return session;
}

std::string snapshotFilePath(const std::string& chosenPath)
{
    return chosenPath.empty() ? std::string{} : snapshot::SnapshotPath(chosenPath, snapshot::kCaseSensitiveFileNames);
}

bool saveSnapshot(const scan::ScanSession& session, const std::string& chosenPath, bool replace)
{
    // The name rule turns "/dev/full" into "/dev/FULL.RVU": a name that is a
    // device or a pipe was not meant as a snapshot file.
    std::error_code ec;
    if (const auto chosen = std::filesystem::status(platform::pathOf(chosenPath), ec);
        std::filesystem::exists(chosen) && !std::filesystem::is_regular_file(chosen)) {
        std::fprintf(stderr, "sarvik: %s: not a plain file; a snapshot is written only as one\n", chosenPath.c_str());
        return false;
    }
    // A snapshot is read later, maybe from another folder: an image named by a
    // relative path is recorded by its absolute path so that it is found again.
    disk::VolumeInfo info = session.volume.info;
    // A partition "PATH@N" (or a stretch "PATH@OFFSET:SIZE") is recorded with PATH made absolute.
    disk::PartitionPath split{info.DevicePath, 0};
    if (!std::filesystem::exists(platform::pathOf(info.DevicePath), ec))
        split = disk::SplitPartitionPath(info.DevicePath);
    if (!split.path.empty() && platform::pathOf(split.path).is_relative() &&
        std::filesystem::exists(platform::pathOf(split.path), ec)) {
        const auto absolute = std::filesystem::absolute(platform::pathOf(split.path), ec);
        if (!ec) {
            const std::string whole = platform::pathText(absolute.lexically_normal());
            info.DevicePath = split.textFor(whole);
        }
    }
    const std::string path = snapshot::SnapshotPath(chosenPath, snapshot::kCaseSensitiveFileNames);
    std::vector<std::byte> bytes;
    const auto encoded =
        snapshot::EncodeSnapshot(info, session.volume.partition, session.volume.geometry, session.catalogue, bytes);
    if (!encoded.ok) {
        std::fprintf(stderr, "sarvik: %s (%s)\n", terminalText(encoded.error).c_str(), path.c_str());
        return false;
    }
    std::string error;
    if (!platform::writeRegularFile(path, bytes, replace, error)) {
        std::fprintf(stderr, "sarvik: snapshot not saved: %s\n", error.c_str());
        return false;
    }
    std::fprintf(stderr, "sarvik: snapshot saved to %s\n", path.c_str());
    return true;
}

scan::ScanResult scanWithInterrupt(scan::ScanSession& session, const scan::ScanOptions& options)
{
    TerminalProgress progress("Scanning");
    catalogue::ScanControl control;
    scan::ScanResult result;
    {
        const StopOnSignals signals(control);
        result = scan::RunScan(session, progress, control, options);
    }
    progress.finish();
    return result;
}

namespace {

/// Folders and files whose exFAT entry set fails its checksum.
std::size_t damagedExfatSets(const catalogue::Catalogue& c)
{
    return c.countWith(true, catalogue::EntryFlag::ChecksumBad) + c.countWith(false, catalogue::EntryFlag::ChecksumBad);
}

} // namespace

std::unique_ptr<scan::ScanSession> openSession(const SessionArgs& args, int& status)
{
    status = kExitFailed;
    if (!args.snapshotChecked &&
        refuseWritesOnSource("", args.source, args.device, {{"snapshot", snapshotFilePath(args.snapshotOut)}}))
        return nullptr;
    if (args.previous) {
        if (!args.previous->empty() && *args.previous != "all") {
            std::fprintf(stderr, "sarvik: --previous=%s: give --previous or --previous=all\n",
                         terminalText(*args.previous).c_str());
            status = kExitUsage;
            return nullptr;
        }
        if (!args.thorough) {
            std::fprintf(stderr, "sarvik: --previous goes with the thorough rules, not --classic\n");
            status = kExitUsage;
            return nullptr;
        }
        if (!args.snapshotOut.empty()) {
            // A snapshot lists the volume's own files: what a shadow copy adds is read from the copy.
            std::fprintf(stderr, "sarvik: --previous and --snapshot: a snapshot keeps no previous versions; "
                                 "save the volume's scan without --previous\n");
            status = kExitUsage;
            return nullptr;
        }
    }
    std::unique_ptr<scan::ScanSession> session;
    bool complete = true;
    if (isSnapshotSource(args.source)) {
        if (args.deep)
            std::fprintf(stderr, "sarvik: --deep: a snapshot lists what its scan found; scan the volume with --deep "
                                 "to search its free space\n");
        session = loadSnapshotSession(args.source, args.device, &complete);
        if (session && args.beforeScan && !args.beforeScan(*session))
            return nullptr;
    } else if (!args.device.empty()) {
        std::fprintf(stderr, "sarvik: --device goes with a snapshot SOURCE; %s is not one\n", args.source.c_str());
        return nullptr;
    } else {
        OpenedSource opened =
            openSource(args.source, true, args.thorough ? disk::GeometryRules::Thorough : disk::GeometryRules::Classic);
        if (!opened.supported) {
            std::fprintf(stderr, "sarvik: %s\n", opened.error.c_str());
            return nullptr;
        }
        if (!opened.note.empty())
            std::fprintf(stderr, "sarvik: %s\n", opened.note.c_str());
        // The partition read, when SOURCE named its whole disk.
        const std::string& read = opened.note.empty() ? args.source : opened.volume.reader.DevicePath();
        warnIfMountedReadWrite(read);
        for (const std::string& note : volumeNotes(opened.volume.info))
            std::fprintf(stderr, "sarvik: warning: %s: %s\n", terminalText(read).c_str(), note.c_str());
        // A container set that opened without all of its files (an E01 whose
        // last segments are gone) holds less than its media: no listing of it
        // is whole.
        if (const std::string missing = platform::containerWarning(args.source); !missing.empty()) {
            std::fprintf(stderr, "sarvik: warning: %s: %s\n", terminalText(args.source).c_str(), missing.c_str());
            complete = false;
        }
        session = std::make_unique<scan::ScanSession>();
        session->volume = std::move(opened.volume);
        if (args.beforeScan && !args.beforeScan(*session))
            return nullptr;
        if (args.deep && !args.thorough)
            std::fprintf(stderr, "sarvik: --deep goes with the thorough rules; the classic scan reads metadata only\n");
        else if (!args.deep && !args.carve)
            std::fprintf(stderr, "sarvik: --no-carve: only --deep carves; this scan reads metadata only\n");
        if (args.live && !args.thorough)
            std::fprintf(stderr,
                         "sarvik: --live goes with the thorough rules; the classic scan lists deleted files only\n");
        const scan::ScanResult result =
            scanWithInterrupt(*session, scan::ScanOptions{args.thorough, args.carve, args.deep, args.live});
        if (result.Stopped) {
            std::fprintf(stderr, "sarvik: interrupted; the scan did not end\n");
            status = interruptedStatus();
            return nullptr;
        }
        if (args.thorough && !args.deep) {
            // Whether the search of free space would find something: a small sample says.
            const scan::FreeSpaceSample sample = scan::SampleFreeSpace(*session);
            if (sample.holdsUnnamedData())
                std::fprintf(stderr, "sarvik: %s; --deep searches it: %s\n", sample.finding().c_str(),
                             sample.cost().c_str());
        }
        warnFolderClashes(*session);
        if (const auto damaged = damagedExfatSets(session->catalogue); damaged != 0)
            std::fprintf(stderr,
                         "sarvik: %zu exFAT entry set(s) fail their checksum: listed as their entries say and "
                         "marked damaged; their names, times and data may be wrong\n",
                         damaged);
        if (const std::uint32_t unlisted = session->catalogue.UnlistedFoundRecords; unlisted != 0)
            std::fprintf(stderr,
                         "sarvik: %u MFT record(s) found in free space are not listed: their attributes continue "
                         "in records of the lost MFT that can no longer be followed (carving may find their data)\n",
                         unlisted);
        // An image cut short lists what its file system records, but not all of
        // it can be read (its note was given before the scan).
        if (disk::truncationText(session->volume.info))
            complete = false;
        if (result.any()) {
            complete = false;
            std::fprintf(stderr,
                         "sarvik: warning: %llu sector(s) and %llu MFT record(s) could not be read; what they "
                         "held is missing from the result\n",
                         static_cast<unsigned long long>(result.UnreadableSectors),
                         static_cast<unsigned long long>(result.UnreadableRecords));
        }
    }
    if (!session)
        return nullptr;
    if (args.previous && !addPreviousVersions(*session, *args.previous,
                                              scan::ScanOptions{args.thorough, args.carve, args.deep,
                                                                args.live && !isSnapshotSource(args.source)},
                                              complete, status))
        return nullptr;
    if (!args.snapshotOut.empty() && !saveSnapshot(*session, args.snapshotOut, args.force))
        return nullptr;
    status = complete ? kExitDone : kExitLosses;
    return session;
}

namespace {

/// "/" for the root, else the folder's path; "?" for a folder not in the tree.
std::string fatFolderPath(const scan::ScanSession& session, std::uint32_t key)
{
    const catalogue::EntryId id = session.catalogue.folderIdByKey(key);
    if (id == catalogue::kRootEntryId)
        return "/";
    if (id == catalogue::kNoEntryId)
        return "?";
    return folderEntryPath(session, catalogue::entryIndex(id)).value_or("?");
}

/// Whether folder `key` is `ancestor` or lies below it.
bool fatFolderWithin(const catalogue::Catalogue& c, std::uint64_t key, std::uint64_t ancestor)
{
    for (std::size_t steps = 0; steps <= c.folderEntryCount(); ++steps) {
        if (key == ancestor)
            return true;
        const catalogue::EntryId folder = c.folderIdByKey(key);
        if (folder == catalogue::kRootEntryId || folder == catalogue::kNoEntryId)
            return false;
        key = c.parentKey(folder);
    }
    return false;
}

} // namespace

void warnFolderClashes(const scan::ScanSession& session)
{
    for (const catalogue::FatFolderClash& clash : session.catalogue.FatFolderClashes) {
        std::string at = fatFolderPath(session, clash.parentCluster);
        if (!at.ends_with('/'))
            at += '/';
        at += catalogue::nameToUtf8(clash.name, session.catalogue.NamesAreUtf8);
        const std::string other = fatFolderPath(session, clash.firstCluster);
        if (fatFolderWithin(session.catalogue, clash.parentCluster, clash.firstCluster))
            std::fprintf(stderr,
                         "sarvik: warning: folder %s points back at %s, a folder above it (a loop in the folder "
                         "tree); it is not followed\n",
                         terminalText(at).c_str(), terminalText(other).c_str());
        else
            std::fprintf(stderr,
                         "sarvik: warning: folder %s names the first cluster of %s (two folders cross); it is "
                         "listed once, as %s\n",
                         terminalText(at).c_str(), terminalText(other).c_str(), terminalText(other).c_str());
    }
}

void keepUntilExit(std::unique_ptr<scan::ScanSession> session)
{
    // Held through a pointer that is never freed, so it is neither destroyed
    // at exit nor taken for a leak.
    static auto* const kept = new std::vector<std::unique_ptr<scan::ScanSession>>;
    kept->push_back(std::move(session));
}

std::string nodePath(const scan::ScanSession& session, const catalogue::TreeNode& node)
{
    return "/" + catalogue::nameToUtf8(session.tree.path(node.handle), session.catalogue.NamesAreUtf8);
}

std::optional<std::string> folderEntryPath(const scan::ScanSession& session, std::size_t folderIndex)
{
    const auto item =
        static_cast<std::uint32_t>(session.catalogue.listId(catalogue::folderEntryId(folderIndex))); // tree item
    const catalogue::TreeNode* node = session.tree.node(item);
    if (node == nullptr || node->folderIndex != static_cast<std::int64_t>(folderIndex))
        return std::nullopt;
    return nodePath(session, *node);
}

std::optional<std::string> fileEntryPath(const scan::ScanSession& session, std::size_t fileIndex)
{
    return recovery::fileEntryPath(session.catalogue, session.tree, fileIndex);
}

const catalogue::TreeNode* findFolder(const scan::ScanSession& session, const std::string& path)
{
    const catalogue::TreeNode* node = &session.tree.root();
    std::size_t pos = 0;
    while (pos < path.size()) {
        const std::size_t slash = path.find('/', pos);
        const std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        pos = slash == std::string::npos ? path.size() : slash + 1;
        if (part.empty())
            continue;
        const catalogue::TreeNode* next = nullptr;
        for (const std::uint32_t child : node->children) {
            const catalogue::TreeNode* c = session.tree.node(child);
            if (c != nullptr && catalogue::nameToUtf8(c->name, session.catalogue.NamesAreUtf8) == part) {
                next = c;
                break;
            }
        }
        if (next == nullptr)
            return nullptr;
        node = next;
    }
    return node;
}

std::unique_ptr<scan::ScanSession> openSelectedSession(const CommandSpec& spec, const ParsedArgs& args,
                                                       const Selection& selection, int& status)
{
    auto session = openSession(SessionArgs::from(args), status);
    if (!session)
        return nullptr;
    if (const auto error = selection.applyFilters(*session)) {
        status = usageError(spec, *error);
        return nullptr;
    }
    if (const auto error = selection.checkSession(*session)) {
        std::fprintf(stderr, "sarvik %s: %s\n", spec.name, error->c_str());
        status = kExitFailed;
        return nullptr;
    }
    return session;
}

} // namespace sarvik::cli
