// SPDX-License-Identifier: GPL-3.0-or-later
// sarvik recover: copy found files and folders out of SOURCE into a folder.

#include "catalogue/NameText.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Options.h"
#include "cli/Progress.h"
#include "cli/Selection.h"
#include "cli/Session.h"
#include "cli/Source.h"
#include "cli/TextWidth.h"
#include "platform/FileSystem.h"
#include "platform/HashingOutputFolder.h"
#include "recovery/FileRecovery.h"
#include "recovery/ReportRecord.h"
#include "recovery/SaveWorker.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace sarvik::cli {

namespace {

/// One bar for the whole copy: the bytes of the files done and of the current
/// file so far, of the bytes planned; the files done of those planned, and the
/// current file's path in the copy beside it. The bar never goes back: a file
/// that ends short counts as done at its full size.
class CliRecoveryObserver final : public recovery::RecoveryObserver {
public:
    using FileDone = std::function<void(const recovery::FileReport&)>;
    CliRecoveryObserver(std::uint64_t plannedFiles, std::uint64_t plannedBytes, std::string to, bool ntfs,
                        FileDone done)
        : m_progress("Recovering"), m_plannedFiles(plannedFiles), m_plannedBytes(plannedBytes), m_to(std::move(to)),
          m_pathIsWhole(ntfs), m_done(std::move(done))
    {
        show();
    }
    void path(const std::string& text) override { m_path = text; }
    void fileName(const std::string& name) override
    {
        // FAT and exFAT give the folder, NTFS the whole path; either way the
        // line shows the file's path below the destination.
        std::string shown = m_path;
        if (!m_pathIsWhole)
            shown += (shown.empty() || shown.back() == '/' ? "" : "/") + name;
        if (shown.size() > m_to.size() && shown.compare(0, m_to.size(), m_to) == 0 && shown[m_to.size()] == '/')
            shown.erase(0, m_to.size() + 1);
        m_progress.status(shown);
        m_currentSize = 0;
        m_currentPosition = 0;
    }
    void fileSize(std::uint64_t bytes) override { m_currentSize = bytes; }
    void fileProgress(std::uint32_t position) override
    {
        m_currentPosition = std::min<std::uint32_t>(position, 100);
        show();
    }
    void fileDone(const recovery::FileReport& report) override
    {
        if (report.outcome != recovery::FileOutcome::Filtered) {
            ++m_filesDone;
            m_bytesDone += report.size;
        }
        m_currentSize = 0;
        m_currentPosition = 0;
        show();
        if (m_done)
            m_done(report);
    }
    bool continueAfterError(const std::string&) override { return true; } // go on; reported at the end
    void finish() { m_progress.finish(); }

private:
    void show()
    {
        const std::uint64_t done =
            m_bytesDone + m_currentSize / 100 * m_currentPosition + m_currentSize % 100 * m_currentPosition / 100;
        // Files the plan did not count (an NTFS file's named streams) may take
        // the bytes past the total: the total grows with them.
        const std::uint64_t total = std::max(m_plannedBytes, done);
        const auto position = static_cast<std::uint32_t>(total == 0 ? (m_filesDone == 0 ? 0 : 100)
                                                                    : std::min<std::uint64_t>(100, done * 100 / total));
        m_shownPosition = std::max(m_shownPosition, position);
        m_shownBytes = std::max(m_shownBytes, done);
        const std::uint64_t files = std::max(m_plannedFiles, m_filesDone);
        m_progress.update(m_shownPosition, iecSize(m_shownBytes) + " of " + iecSize(total) + "  file " +
                                               std::to_string(std::min(m_filesDone + 1, files)) + " of " +
                                               std::to_string(files));
    }
    TerminalProgress m_progress;
    std::uint64_t m_plannedFiles;
    std::uint64_t m_plannedBytes;
    std::string m_to;
    bool m_pathIsWhole; ///< path() gives the file's whole path (NTFS), not its folder
    FileDone m_done;
    std::string m_path;
    std::uint64_t m_filesDone = 0;
    std::uint64_t m_bytesDone = 0;
    std::uint64_t m_currentSize = 0;
    std::uint32_t m_currentPosition = 0;
    std::uint32_t m_shownPosition = 0;
    std::uint64_t m_shownBytes = 0;
};

/// What `sarvik recover` was asked.
struct RecoverRequest {
    SessionArgs session;
    std::string to;
    bool all = false;
    std::vector<std::string> paths;
    std::uint16_t policy = recovery::DuplicatePolicy::Rename;
    bool keepTimes = true;
    bool dryRun = false;
    std::string reportPath;
    Selection selection;
};

std::optional<int> parseRecover(const CommandSpec& spec, const ParsedArgs& parsed, RecoverRequest& r)
{
    r.session = SessionArgs::from(parsed);
    r.paths.assign(parsed.positional.begin() + (parsed.positional.empty() ? 0 : 1), parsed.positional.end());
    r.to = parsed.value("to").value_or("");
    r.all = parsed.has("all");
    r.keepTimes = !parsed.has("no-times");
    r.dryRun = parsed.has("dry-run");
    r.reportPath = parsed.value("report").value_or("");
    if (const auto policy = parsed.value("duplicates")) {
        if (*policy == "rename")
            r.policy = recovery::DuplicatePolicy::Rename;
        else if (*policy == "overwrite")
            r.policy = recovery::DuplicatePolicy::Overwrite;
        else if (*policy == "skip")
            r.policy = recovery::DuplicatePolicy::Skip;
        else
            return usageError(spec, "--duplicates takes rename, overwrite or skip, not '" + *policy + "'");
    }
    if (const auto error = r.selection.read(parsed))
        return usageError(spec, *error);
    if (r.session.source.empty())
        return usageError(spec, "SOURCE is missing");
    if (r.to.empty())
        return usageError(spec, "--to DIR is missing");
    if (r.to == "-")
        return usageError(spec, "--to takes a folder; for one file's bytes on standard output use 'sarvik cat'");
    if (r.all == !r.paths.empty())
        return usageError(spec, "give either --all or one or more PATHs as 'sarvik scan' prints them");
    return std::nullopt;
}

/// Every path the command will write.
std::vector<PathToWrite> writtenPaths(const RecoverRequest& r)
{
    std::vector<PathToWrite> paths{{"snapshot", snapshotFilePath(r.session.snapshotOut)}};
    if (!r.dryRun) {
        paths.push_back({"destination", r.to});
        paths.push_back({"report", r.reportPath});
    }
    return paths;
}

/// Checks the destination before the scan, which may take hours: it can be
/// made, it is a folder, and it can be written to.
std::optional<int> openDestination(const RecoverRequest& r, std::shared_ptr<recovery::OutputFolder>& destination)
{
    if (const std::string why = platform::createFolder(r.to); !why.empty()) {
        std::fprintf(stderr, "sarvik recover: cannot create %s: %s\n", r.to.c_str(), why.c_str());
        return kExitFailed;
    }
    std::string error;
    destination = platform::openOutputFolder(r.to, error);
    if (!destination) {
        std::fprintf(stderr, "sarvik recover: cannot write to %s\n", error.c_str());
        return kExitFailed;
    }
    // --duplicates overwrite never replaces the image, or a file of its set,
    // that lies in the destination.
    destination->keepOff(filesOfSource(r.session.source, r.session.device));
    return std::nullopt;
}

/// A destination that cannot become a folder (it, or the nearest part of it
/// that exists, is something else), told before SOURCE is read and without
/// making anything.
std::optional<int> refuseUnusableDestination(const std::string& to)
{
    std::error_code ec;
    std::filesystem::path at = platform::pathOf(to);
    while (!at.empty() && !std::filesystem::exists(at, ec) && at != at.parent_path())
        at = at.parent_path();
    if (at.empty() || std::filesystem::is_directory(at, ec))
        return std::nullopt;
    std::fprintf(stderr, "sarvik recover: cannot create %s: %s\n", to.c_str(), std::strerror(ENOTDIR));
    return kExitFailed;
}

/// A PATH of the command line: a folder of the tree, or a file row.
struct Item {
    const catalogue::TreeNode* folder = nullptr;
    catalogue::FileRow row;
};

/// Adds what `path` names (a folder, or the files of that name in their
/// folder) to `items`; false when it names nothing.
bool resolvePath(const scan::ScanSession& session, const std::string& path, std::vector<Item>& items)
{
    if (const catalogue::TreeNode* node = findFolder(session, path)) {
        items.push_back({node, {}});
        return true;
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string parent = slash == std::string::npos ? std::string("/") : path.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    const catalogue::TreeNode* node = findFolder(session, parent);
    if (node == nullptr)
        return false;
    bool found = false;
    // Unfiltered rows: a file named on the command line is wanted even when
    // --filter would hide it from a listing (the copy still applies it).
    const auto rows = catalogue::FillFileList(session.catalogue, session.index(), session.kind(), node->key, nullptr);
    for (const auto& row : rows)
        if (!row.folder && catalogue::nameToUtf8(row.name, session.catalogue.NamesAreUtf8) == leaf) {
            items.push_back({nullptr, row});
            found = true;
        }
    return found;
}

/// Resolves every PATH before anything is written; nothing when one is not found.
std::optional<std::vector<Item>> resolvePaths(const scan::ScanSession& session, const std::vector<std::string>& paths)
{
    std::vector<Item> items;
    bool missing = false;
    for (const std::string& path : paths) {
        bool found = false;
        for (const std::string& form : typedPathForms(path))
            found = found || resolvePath(session, form, items);
        if (!found) {
            std::fprintf(stderr, "sarvik recover: no folder or file '%s' in the scan\n", terminalText(path).c_str());
            missing = true;
        }
    }
    if (missing)
        return std::nullopt;
    return items;
}

/// One file the copy will take, and where it will go (before any renaming of
/// a name that exists).
struct PlannedFile {
    std::size_t fileIndex = 0;
    std::string destination;
};

/// The files a copy of `items` (or of everything) takes, in the order of the
/// tree: each folder's files, then its subfolders. Files the size, time or
/// number limits leave out are not planned; name patterns are applied by the
/// copy, which reports them as filtered out.
std::vector<PlannedFile> planFiles(const scan::ScanSession& s, const std::vector<Item>& items, bool all,
                                   const Selection& selection, const std::string& to)
{
    const bool utf8 = s.catalogue.NamesAreUtf8;
    const auto join = [](const std::string& folder, const std::string& name) {
        return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
    };
    std::vector<PlannedFile> plan;
    std::vector<std::pair<const catalogue::TreeNode*, std::string>> pending; // folder, where it goes
    const auto planFolder = [&](const catalogue::TreeNode* start, const std::string& target) {
        pending.emplace_back(start, target);
        while (!pending.empty()) {
            auto [node, where] = pending.back();
            pending.pop_back();
            for (const std::size_t i : s.index().filesIn(node->key))
                if (selection.passesLimits(s, i)) {
                    const std::string_view name = s.catalogue.entry(catalogue::fileEntryId(i)).name;
                    plan.push_back({i, join(where, recovery::safeComponent(name, utf8))});
                }
            for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
                if (const catalogue::TreeNode* child = s.tree.node(*it); child != nullptr && child->folderIndex >= 0)
                    pending.emplace_back(child, join(where, recovery::safeComponent(child->name, utf8)));
        }
    };
    if (all)
        planFolder(&s.tree.root(), to);
    for (const Item& item : items) {
        if (item.folder == nullptr) {
            if (selection.passesLimits(s, item.row.entryIndex()))
                plan.push_back({item.row.entryIndex(), join(to, recovery::safeComponent(item.row.name, utf8))});
        } else {
            planFolder(item.folder,
                       item.folder->folderIndex < 0 ? to : join(to, recovery::safeComponent(item.folder->name, utf8)));
        }
    }
    return plan;
}

/// --dry-run: what a copy would write, one file a line, and the totals.
void printDryRun(const scan::ScanSession& s, const std::vector<PlannedFile>& plan)
{
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    const auto& c = s.catalogue;
    for (const PlannedFile& p : plan) {
        const std::string name(c.entry(catalogue::fileEntryId(p.fileIndex)).name);
        if (!s.filters.empty() && !s.filters.passes(name, c.NamesAreUtf8))
            continue;
        const std::uint64_t size = fileFacts(s, p.fileIndex).size;
        std::printf("%s -> %s  (%llu bytes)\n", terminalText(fileEntryPath(s, p.fileIndex).value_or("?"), true).c_str(),
                    terminalText(p.destination).c_str(), static_cast<unsigned long long>(size));
        ++files;
        bytes += size;
    }
    std::printf("dry run: %llu file(s), %llu bytes would be written; nothing was written\n",
                static_cast<unsigned long long>(files), static_cast<unsigned long long>(bytes));
}

/// Runs the copy of `items` (or of everything) on a worker, with Ctrl-C
/// cutting it short. False when it ran out of memory.
bool runCopy(scan::ScanSession& session, const RecoverRequest& r, const std::vector<Item>& items,
             const recovery::TargetFolder& target, CliRecoveryObserver& observer, recovery::RecoveryReport& report)
{
    recovery::RecoverySettings settings = recovery::RecoverySettings::startup('N');
    settings.DuplicatePolicy = r.policy;
    settings.KeepOriginalTimes = r.keepTimes;
    settings.ThoroughScan = r.session.thorough || session.catalogue.NamesAreUtf8;
    catalogue::RecoveryControl control;
    recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, settings, control,
                                  observer, report);
    copier.setFileSources(session.fileSources.get());
    if (r.selection.limits())
        copier.setFileSelection([&](std::size_t i) { return r.selection.passesLimits(session, i); });
    const bool fat = session.kind() == catalogue::CatalogueKind::Fat;
    const auto copyRoot = [&](recovery::FileRecovery& c) {
        // The root: its rows, so the whole tree.
        const auto rows = session.rows(session.tree.rootKey());
        c.RecoverListItems(rows, recovery::RecoveryMode::All, {}, target);
    };
    // Ctrl-C, SIGTERM and SIGHUP: the file being written is cut short and
    // nothing more starts; the summary and the report still come.
    const StopOnSignals signals(control);
    recovery::SaveWorker worker(control);
    worker.start(copier, [&](recovery::FileRecovery& c) {
        if (r.all) {
            copyRoot(c);
            return;
        }
        for (const Item& item : items) {
            if (item.folder == nullptr)
                c.RecoverRow(item.row, target);
            else if (item.folder->folderIndex < 0)
                copyRoot(c);
            else if (fat)
                c.RecoverFatFolder(item.folder->handle, static_cast<std::uint32_t>(item.folder->key), target,
                                   item.folder->name); // a FAT key is a cluster
            else
                c.RecoverNtfsFolder(item.folder->handle, item.folder->key, target, item.folder->name);
        }
    });
    worker.wait();
    if (worker.noThread())
        std::fprintf(stderr, "sarvik: %s\n", noThreadText());
    else if (worker.outOfMemory())
        std::fprintf(stderr, "sarvik: %s\n", catalogue::kOutOfMemoryMessage);
    return !worker.outOfMemory();
}

/// Names every file that did not come back whole, prints the summary, and
/// gives the exit status.
int finishRecovery(const recovery::RecoveryReport& report, int status)
{
    for (const auto& f : report.files())
        if (const std::string loss = recovery::lossText(f); !loss.empty())
            std::fprintf(stderr, "sarvik recover: %s: %s\n", terminalText(f.path).c_str(), loss.c_str());
    for (const auto& f : report.files())
        if (!f.refusedName.empty() && f.renamedBecause.empty())
            std::fprintf(stderr, "sarvik recover: %s: written under this name: the destination refuses '%s'\n",
                         terminalText(f.path).c_str(), terminalText(f.refusedName, true).c_str());
        else if (!f.refusedName.empty())
            std::fprintf(stderr, "sarvik recover: %s: written under this name for '%s': %s\n",
                         terminalText(f.path).c_str(), terminalText(f.refusedName, true).c_str(),
                         f.renamedBecause.c_str());
    for (std::size_t i = 0; i < report.failedFolders().size(); ++i) {
        const std::string& why = report.failedFolderReasons()[i];
        std::fprintf(stderr, "sarvik recover: %s: folder could not be created%s%s\n",
                     terminalText(report.failedFolders()[i]).c_str(), why.empty() ? "" : ": ", why.c_str());
    }
    const auto& t = report.totals();
    const bool interrupted = stoppedBySignal();
    std::printf("%s%u written, %u cut short, %u incomplete, %u skipped (exists), %u filtered out, %u not written "
                "(no data), %u failed; %u zero-filled block(s) in %u file(s); %llu bytes\n",
                interrupted ? "interrupted: " : "", t.written, t.cutShort, t.incomplete, t.duplicatesSkipped,
                t.filtered, t.nothingToWrite, t.failed, t.zeroFilledBlocks, t.filesWithZeroFill,
                static_cast<unsigned long long>(t.bytesWritten));
    if (t.writtenFromUsedClusters != 0)
        std::printf("%u file%s written from clusters that are now in use\n", t.writtenFromUsedClusters,
                    t.writtenFromUsedClusters == 1 ? "" : "s");
    if (interrupted)
        return interruptedStatus();
    if (const std::size_t losses = report.lossCount(); losses != 0) {
        std::fprintf(stderr, "sarvik recover: %zu file(s) or folder(s) did not come back whole\n", losses);
        status = worseStatus(status, kExitLosses);
    }
    return status;
}

/// The --report file, opened before the scan so that a path that cannot be
/// written fails at once.
struct ReportFile {
    std::FILE* file = nullptr;
    bool failed = false;
    ~ReportFile()
    {
        if (file != nullptr)
            std::fclose(file);
    }
};

} // namespace

int runRecover(const CommandSpec& spec, const ParsedArgs& parsed)
{
    RecoverRequest r;
    if (const auto exit = parseRecover(spec, parsed, r))
        return *exit;
    // Before anything is created: nothing may land on the volume being read.
    if (const auto exit = refuseWritesOnSource("recover", r.session.source, r.session.device, writtenPaths(r)))
        return *exit;
    r.session.snapshotChecked = true;
    // The copy runs on a thread of its own: a process that may start none is
    // told so before anything is created.
    if (const auto exit = refuseWithoutThreads())
        return *exit;
    if (!r.dryRun)
        if (const auto exit = refuseUnusableDestination(r.to))
            return *exit;
    std::shared_ptr<recovery::OutputFolder> destination;
    ReportFile reportFile;
    // Made once SOURCE has opened, before the scan (which may take hours): a
    // SOURCE that cannot be read leaves nothing behind, and a destination
    // that cannot be written fails at once.
    r.session.beforeScan = [&](const scan::ScanSession& opened) {
        if (r.dryRun)
            return true;
        if (!opened.volume.reader.isOpen()) {
            std::fprintf(stderr, "sarvik recover: no volume to read file data from; nothing was written\n");
            return false;
        }
        if (openDestination(r, destination))
            return false;
        if (!r.reportPath.empty()) {
            std::string why;
            reportFile.file = platform::openOutputText(r.reportPath, why);
            if (reportFile.file == nullptr) {
                std::fprintf(stderr, "sarvik recover: cannot write the report %s: %s\n", r.reportPath.c_str(),
                             why.c_str());
                return false;
            }
        }
        return true;
    };

    int status = kExitDone;
    auto session = openSession(r.session, status);
    if (!session)
        return status;
    if (const auto error = r.selection.applyFilters(*session))
        return usageError(spec, *error);
    if (const auto error = r.selection.checkSession(*session)) {
        std::fprintf(stderr, "sarvik recover: %s\n", error->c_str());
        return kExitFailed;
    }
    const auto items = resolvePaths(*session, r.paths);
    if (!items)
        return kExitFailed;
    const auto plan = planFiles(*session, *items, r.all, r.selection, r.to);
    if (r.dryRun) {
        printDryRun(*session, plan);
        return status;
    }

    // What the bar counts: the planned files that the name patterns pass, as
    // --dry-run lists them.
    std::uint64_t plannedBytes = 0;
    std::uint64_t plannedFiles = 0;
    for (const PlannedFile& p : plan) {
        const auto& c = session->catalogue;
        const std::string_view name = c.entry(catalogue::fileEntryId(p.fileIndex)).name;
        if (!session->filters.empty() && !session->filters.passes(name, c.NamesAreUtf8))
            continue;
        plannedBytes += fileFacts(*session, p.fileIndex).size;
        ++plannedFiles;
    }
    if (reportFile.file != nullptr)
        destination = std::make_shared<platform::HashingOutputFolder>(destination);
    const recovery::ReportVolume reportVolume{session->catalogue, session->tree,
                                              session->volume.geometry.SectorsPerCluster};
    const bool ntfs = session->kind() == catalogue::CatalogueKind::Ntfs;
    CliRecoveryObserver observer(plannedFiles, plannedBytes, r.to, ntfs, [&](const recovery::FileReport& f) {
        if (reportFile.file == nullptr)
            return;
        // Each line goes out as its file is done: a report of a copy that is
        // killed still names every file written before.
        const std::string line = recovery::reportRecord(reportVolume, f) + "\n";
        reportFile.failed |= std::fputs(line.c_str(), reportFile.file) == EOF || std::fflush(reportFile.file) != 0;
    });
    recovery::RecoveryReport report;
    const bool finished = runCopy(*session, r, *items, recovery::TargetFolder{destination, r.to}, observer, report);
    observer.finish();
    if (!finished)
        return kExitFailed;
    status = finishRecovery(report, status);
    if (reportFile.file != nullptr && (reportFile.failed || std::fflush(reportFile.file) != 0)) {
        std::fprintf(stderr, "sarvik recover: the report %s could not be written in full\n", r.reportPath.c_str());
        status = worseStatus(status, kExitFailed);
    }
    return status;
}

} // namespace sarvik::cli
