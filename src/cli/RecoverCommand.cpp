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
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace sarvik::cli {

namespace {

constexpr const char* kUsage = "usage: sarvik recover SOURCE --to DIR [--all | PATH...] [--filter PATTERN]... "
                               "[--duplicates rename|overwrite|skip] [--classic] [--no-times]\n";

std::atomic<catalogue::RecoveryControl*> g_interruptTarget{nullptr};

extern "C" void onInterrupt(int)
{
    // Ctrl-C: the file being written is cut short and nothing more starts.
    if (auto* control = g_interruptTarget.load())
        control->StopRecovery.store(1, std::memory_order_relaxed);
}

/// Draws the progress of the current file and keeps the failures for the end.
class CliRecoveryObserver final : public recovery::RecoveryObserver {
  public:
    CliRecoveryObserver() : m_progress("Recovering") {}
    void fileName(const std::string& name) override { m_name = name; }
    void totalFiles(std::uint32_t count) override { m_progress.status(std::to_string(count) + " done  " + m_name); }
    void fileProgress(std::uint32_t position) override { m_progress.progress(position); }
    bool continueAfterError(const std::string&) override { return true; } // go on; reported at the end
    void finish() { m_progress.finish(); }

  private:
    TerminalProgress m_progress;
    std::string m_name;
};

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

    if (::mkdir(to.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "sarvik recover: cannot create %s: %s\n", to.c_str(), std::strerror(errno));
        return 1;
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
        std::fprintf(stderr, "sarvik recover: %s\n", error.c_str());
        return 1;
    }

    auto session = openSession(sa);
    if (!session)
        return 1;
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
    int status = 0;
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
            status = 1;
        }
    }
    if (status != 0)
        return status;

    const auto settings = [&] {
        auto s = recovery::RecoverySettings::startup('N');
        s.DuplicatePolicy = policy;
        s.KeepOriginalTimes = keepTimes;
        s.ThoroughScan = sa.thorough || session->catalogue.NamesAreUtf8;
        return s;
    }();
    catalogue::RecoveryControl control;
    CliRecoveryObserver observer;
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
    }
    std::signal(SIGINT, previous);
    g_interruptTarget.store(nullptr);
    observer.finish();

    for (const auto& f : report.files())
        if (f.outcome == recovery::FileOutcome::CreateFailed || f.outcome == recovery::FileOutcome::WriteFailed ||
            f.outcome == recovery::FileOutcome::Unreadable)
            std::fprintf(stderr, "sarvik recover: %s: %s\n", f.path.c_str(), recovery::outcomeText(f.outcome));
    for (const auto& f : report.failedFolders())
        std::fprintf(stderr, "sarvik recover: %s: folder could not be created\n", f.c_str());
    const auto& t = report.totals();
    std::printf("%u written, %u cut short, %u incomplete, %u skipped (exists), %u filtered out, %u not written "
                "(no data), %u failed; %u zero-filled block(s) in %u file(s); %llu bytes\n",
                t.written, t.cutShort, t.incomplete, t.duplicatesSkipped, t.filtered, t.nothingToWrite, t.failed,
                t.zeroFilledBlocks, t.filesWithZeroFill, static_cast<unsigned long long>(t.bytesWritten));
    if (t.writtenFromUsedClusters != 0)
        std::printf("%u file%s written from clusters that are now in use\n", t.writtenFromUsedClusters,
                    t.writtenFromUsedClusters == 1 ? "" : "s");
    return report.anyFailed() ? 1 : 0;
}

} // namespace sarvik::cli
