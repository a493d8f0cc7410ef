// sarvik recover: copy found files and folders out of SOURCE into a folder.

#include "catalogue/NameText.h"
#include "cli/Commands.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "platform/PosixOutputFolder.h"
#include "recovery/FileRecovery.h"
#include "recovery/SaveWorker.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unordered_set>

namespace sarvik::cli {

namespace {

constexpr const char* kUsage = "usage: sarvik recover SOURCE --to DIR [--all | PATH...] [--filter PATTERN]... "
                               "[--duplicates rename|overwrite|skip] [--classic] [--no-times]\n";

std::atomic<catalogue::RecoveryControl*> g_interruptTarget{nullptr};
std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int)
{
    // Ctrl-C: the file being written is cut short and nothing more starts; a
    // second Ctrl-C ends the program at once.
    g_interrupted.store(true);
    if (auto* control = g_interruptTarget.load())
        control->StopRecovery.store(1, std::memory_order_relaxed);
    std::signal(SIGINT, SIG_DFL);
}

/// "12.3 MB" and the like, for the progress line.
std::string byteText(std::uint64_t bytes)
{
    char text[32];
    if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>((bytes + 1023) / 1024));
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

/// Draws files done of the planned total, bytes written and the current file.
class CliRecoveryObserver final : public recovery::RecoveryObserver {
  public:
    CliRecoveryObserver(std::uint32_t plannedFiles, std::uint64_t plannedBytes)
        : m_progress("Recovering"), m_plannedFiles(plannedFiles), m_plannedBytes(plannedBytes)
    {
        showCounts();
    }
    void path(const std::string& text) override { m_progress.status(text); }
    void fileProgress(std::uint32_t position) override { m_progress.progress(position); }
    void fileDone(const recovery::FileReport& report) override
    {
        ++m_filesDone;
        m_bytesDone += report.bytesWritten;
        showCounts();
    }
    bool continueAfterError(const std::string&) override { return true; } // go on; reported at the end
    void finish() { m_progress.finish(); }

  private:
    void showCounts()
    {
        m_progress.counts("files " + std::to_string(m_filesDone) + " of " + std::to_string(m_plannedFiles) + "  " +
                          byteText(m_bytesDone) + " of " + byteText(m_plannedBytes));
    }
    TerminalProgress m_progress;
    std::uint32_t m_plannedFiles;
    std::uint64_t m_plannedBytes;
    std::uint32_t m_filesDone = 0;
    std::uint64_t m_bytesDone = 0;
};

/// Files and bytes of what a copy is asked for: the deleted files of the chosen
/// folders' subtrees, and the chosen files. Only the progress line uses it.
struct Planned {
    std::uint32_t files = 0;
    std::uint64_t bytes = 0;
};

Planned planCopy(const scan::ScanSession& session, const std::vector<const catalogue::TreeNode*>& folders,
                 const std::vector<catalogue::FileRow>& files)
{
    Planned planned;
    std::unordered_set<std::uint32_t> keys;
    std::vector<const catalogue::TreeNode*> pending(folders);
    while (!pending.empty()) {
        const catalogue::TreeNode* node = pending.back();
        pending.pop_back();
        if (node == nullptr || !keys.insert(node->key).second)
            continue;
        for (const std::uint32_t child : node->children)
            pending.push_back(session.tree.node(child));
    }
    const auto count = [&](const auto& list, auto parentOf) {
        for (const auto& e : list)
            if (keys.contains(parentOf(e))) {
                ++planned.files;
                planned.bytes += e.size;
            }
    };
    const auto& c = session.catalogue;
    if (session.kind() == catalogue::CatalogueKind::Fat)
        count(c.FatFileList, [](const catalogue::FatFileEntry& e) { return e.parentCluster; });
    else
        count(c.NtfsFileList, [](const catalogue::NtfsFileEntry& e) { return e.parentRecord; });
    for (const catalogue::FileRow& row : files) {
        ++planned.files;
        std::uint64_t size = 0;
        std::from_chars(row.size.data(), row.size.data() + row.size.size(), size);
        planned.bytes += size;
    }
    return planned;
}

bool isUnder(const struct stat& dir, const std::string& source)
{
    // Writing into a file system that lives on the scanned device would
    // overwrite the very clusters being recovered.
    struct stat src {};
    return ::stat(source.c_str(), &src) == 0 && S_ISBLK(src.st_mode) && dir.st_dev == src.st_rdev;
}

} // namespace

int runRecover(const std::vector<std::string>& args)
{
    SessionArgs sa;
    std::string to;
    bool all = false;
    std::vector<std::string> filters;
    std::vector<std::string> paths;
    std::uint16_t policy = recovery::DuplicatePolicy::Rename;
    bool keepTimes = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--to" && i + 1 < args.size()) {
            to = args[++i];
        } else if (a == "--all") {
            all = true;
        } else if (a == "--no-times") {
            keepTimes = false;
        } else if (a == "--filter" && i + 1 < args.size()) {
            filters.push_back(args[++i]);
        } else if (a == "--duplicates" && i + 1 < args.size()) {
            const std::string& p = args[++i];
            if (p == "rename")
                policy = recovery::DuplicatePolicy::Rename;
            else if (p == "overwrite")
                policy = recovery::DuplicatePolicy::Overwrite;
            else if (p == "skip")
                policy = recovery::DuplicatePolicy::Skip;
            else {
                std::fprintf(stderr, "sarvik recover: --duplicates takes rename, overwrite or skip, not '%s'\n",
                             p.c_str());
                return 2;
            }
        } else if (sa.consume(args, i)) {
        } else if (!a.starts_with("--")) {
            paths.push_back(a);
        } else {
            std::fprintf(stderr, "sarvik recover: unexpected argument '%s'\n", a.c_str());
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (sa.source.empty() || to.empty() || (all == !paths.empty())) {
        std::fputs(kUsage, stderr);
        std::fputs("  give either --all or one or more PATHs as 'sarvik scan' prints them\n", stderr);
        return 2;
    }

    // The destination is checked before the scan, which may take hours: it can
    // be made, it is a folder, and it can be written to.
    if (::mkdir(to.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "sarvik recover: cannot create %s: %s\n", to.c_str(), std::strerror(errno));
        return kExitFailed;
    }
    struct stat dirStat {};
    if (::stat(to.c_str(), &dirStat) == 0 && isUnder(dirStat, sa.source)) {
        std::fprintf(stderr, "sarvik recover: %s lies on %s itself; choose a folder on another volume\n", to.c_str(),
                     sa.source.c_str());
        return 1;
    }
    std::string error;
    auto destination = platform::PosixOutputFolder::open(to, error);
    if (!destination) {
        std::fprintf(stderr, "sarvik recover: cannot write to %s\n", error.c_str());
        return kExitFailed;
    }

    int status = kExitDone;
    auto session = openSession(sa, status);
    if (!session)
        return status;
    if (!session->volume.reader.isOpen()) {
        std::fprintf(stderr, "sarvik recover: no volume to read file data from; nothing was written\n");
        return kExitFailed;
    }
    for (const auto& f : filters) {
        if (const auto r = session->filters.add(catalogue::nameFromUtf8(f, session->catalogue.NamesAreUtf8));
            r != search::AddPatternResult::Added) {
            std::fprintf(stderr, "sarvik recover: filter '%s': %s\n", f.c_str(), search::addPatternMessage(r));
            return 2;
        }
    }

    // Resolve every PATH before anything is written.
    struct Item {
        const catalogue::TreeNode* folder = nullptr;
        catalogue::FileRow row;
    };
    std::vector<Item> items;
    bool missing = false;
    for (const std::string& path : paths) {
        if (const catalogue::TreeNode* node = findFolder(*session, path)) {
            items.push_back({node, {}});
            continue;
        }
        const std::size_t slash = path.find_last_of('/');
        const std::string parent = slash == std::string::npos ? std::string("/") : path.substr(0, slash);
        const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
        const catalogue::TreeNode* node = findFolder(*session, parent);
        bool found = false;
        if (node != nullptr) {
            // Unfiltered rows: a file named on the command line is wanted even
            // when --filter would hide it from a listing (the copy still applies it).
            const auto rows =
                catalogue::FillFileList(session->catalogue, session->index(), session->kind(), node->key, nullptr);
            for (const auto& row : rows)
                if (!row.folder && catalogue::nameToUtf8(row.name, session->catalogue.NamesAreUtf8) == leaf) {
                    items.push_back({nullptr, row});
                    found = true;
                }
        }
        if (!found) {
            std::fprintf(stderr, "sarvik recover: no folder or file '%s' in the scan\n", path.c_str());
            missing = true;
        }
    }
    if (missing)
        return kExitFailed;

    const auto settings = [&] {
        auto s = recovery::RecoverySettings::startup('N');
        s.DuplicatePolicy = policy;
        s.KeepOriginalTimes = keepTimes;
        s.ThoroughScan = sa.thorough || session->catalogue.NamesAreUtf8;
        return s;
    }();
    std::vector<const catalogue::TreeNode*> plannedFolders;
    std::vector<catalogue::FileRow> plannedFiles;
    if (all)
        plannedFolders.push_back(&session->tree.root());
    for (const Item& item : items) {
        if (item.folder != nullptr)
            plannedFolders.push_back(item.folder);
        else
            plannedFiles.push_back(item.row);
    }
    const Planned planned = planCopy(*session, plannedFolders, plannedFiles);

    catalogue::RecoveryControl control;
    CliRecoveryObserver observer(planned.files, planned.bytes);
    recovery::RecoveryReport report;
    recovery::FileRecovery copier(session->volume, session->catalogue, session->tree, session->filters, settings,
                                  control, observer, report);
    const recovery::TargetFolder target{destination, to};
    const bool fat = session->kind() == catalogue::CatalogueKind::Fat;

    g_interruptTarget.store(&control);
    auto previous = std::signal(SIGINT, onInterrupt);
    {
        recovery::SaveWorker worker(control);
        worker.start(copier, [&](recovery::FileRecovery& r) {
            if (all) {
                const auto rows = session->rows(session->tree.rootKey());
                r.RecoverListItems(rows, recovery::RecoveryMode::All, {}, target);
                return;
            }
            for (const Item& item : items) {
                if (item.folder == nullptr) {
                    r.RecoverRow(item.row, target);
                } else if (item.folder->folderIndex < 0) {
                    // The root: its rows, so the whole tree.
                    const auto rows = session->rows(session->tree.rootKey());
                    r.RecoverListItems(rows, recovery::RecoveryMode::All, {}, target);
                } else if (fat) {
                    r.RecoverFatFolder(item.folder->handle, item.folder->key, target, item.folder->name);
                } else {
                    r.RecoverNtfsFolder(item.folder->handle, item.folder->key, target, item.folder->name);
                }
            }
        });
        worker.wait();
        if (worker.outOfMemory()) {
            observer.finish();
            std::fprintf(stderr, "sarvik: %s\n", catalogue::kOutOfMemoryMessage);
            return kExitFailed;
        }
    }
    std::signal(SIGINT, previous);
    g_interruptTarget.store(nullptr);
    observer.finish();

    // Every file that did not come back whole, by name, with what happened to it.
    for (const auto& f : report.files())
        if (const std::string loss = recovery::lossText(f); !loss.empty())
            std::fprintf(stderr, "sarvik recover: %s: %s\n", terminalText(f.path, true).c_str(), loss.c_str());
    for (const auto& f : report.failedFolders())
        std::fprintf(stderr, "sarvik recover: %s: folder could not be created\n", terminalText(f, true).c_str());
    const auto& t = report.totals();
    const bool interrupted = g_interrupted.exchange(false);
    std::printf("%s%u written, %u cut short, %u incomplete, %u skipped (exists), %u filtered out, %u not written "
                "(no data), %u failed; %u zero-filled block(s) in %u file(s); %llu bytes\n",
                interrupted ? "interrupted: " : "", t.written, t.cutShort, t.incomplete, t.duplicatesSkipped,
                t.filtered, t.nothingToWrite, t.failed, t.zeroFilledBlocks, t.filesWithZeroFill,
                static_cast<unsigned long long>(t.bytesWritten));
    if (t.writtenFromUsedClusters != 0)
        std::printf("%u file%s written from clusters that are now in use\n", t.writtenFromUsedClusters,
                    t.writtenFromUsedClusters == 1 ? "" : "s");
    if (interrupted)
        return kExitInterrupted;
    if (const std::size_t losses = report.lossCount(); losses != 0) {
        std::fprintf(stderr, "sarvik recover: %zu file(s) or folder(s) did not come back whole\n", losses);
        status = worseStatus(status, kExitLosses);
    }
    return status;
}

} // namespace sarvik::cli
