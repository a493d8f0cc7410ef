// SPDX-License-Identifier: GPL-3.0-or-later
// sarvik cat: one found file's bytes to standard output, read as a copy reads them.

#include "catalogue/NameText.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Options.h"
#include "cli/Selection.h"
#include "cli/Session.h"
#include "platform/Console.h"
#include "recovery/FileRecovery.h"
#include "recovery/SaveWorker.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::cli {

namespace {

/// The part of the file to write: `length` bytes from `from` (all when nothing).
struct ByteWindow {
    std::uint64_t from = 0;
    std::optional<std::uint64_t> length;
};

/// The one file of a copy, written to standard output as its bytes come; the
/// bytes before the window's start and after its end are passed over.
class StandardOutputFile final : public recovery::OutputFile {
public:
    explicit StandardOutputFile(ByteWindow window) : m_window(window) {}

    bool write(disk::ByteSpan bytes) override
    {
        const std::uint64_t start = m_position;
        m_position += bytes.size();
        const std::uint64_t end = m_window.length ? std::min(m_position, m_window.from + *m_window.length) : m_position;
        const std::uint64_t first = std::max(start, m_window.from);
        if (first >= end)
            return true;
        const auto count = static_cast<std::size_t>(end - first);
        errno = 0;
        if (std::fwrite(bytes.data() + (first - start), 1, count, stdout) != count) {
            m_failed = true;
            m_errno = errno;
            return false;
        }
        m_written += count;
        return true;
    }
    bool close() override
    {
        errno = 0;
        if (!m_failed && std::fflush(stdout) != 0) {
            m_failed = true;
            m_errno = errno;
        }
        return !m_failed;
    }
    /// The system's reason too, a full device's in words of its own.
    [[nodiscard]] std::string error() const override
    {
        if (m_errno == ENOSPC)
            return "standard output could not be written: no space left on the device";
        return m_errno != 0 ? "standard output could not be written: " + std::string(std::strerror(m_errno))
                            : "standard output could not be written";
    }
    [[nodiscard]] std::optional<std::uint64_t> length() const override { return m_written; }

private:
    ByteWindow m_window;
    std::uint64_t m_position = 0; ///< bytes of the file handed over so far
    std::uint64_t m_written = 0;  ///< of those, written out
    bool m_failed = false;
    int m_errno = 0; ///< why the write failed, when the system said
};

/// A destination of one file: standard output. Names mean nothing here, so
/// every name is free and every rename succeeds.
class StandardOutputFolder final : public recovery::OutputFolder {
public:
    explicit StandardOutputFolder(ByteWindow window) : m_window(window) {}

    [[nodiscard]] std::string displayPath() const override { return "-"; }
    [[nodiscard]] bool exists(std::string_view) const override { return false; }
    [[nodiscard]] std::shared_ptr<recovery::OutputFolder> makeFolder(std::string_view) override { return nullptr; }
    [[nodiscard]] std::unique_ptr<recovery::OutputFile> createFile(std::string_view, bool) override
    {
        if (m_created)
            return nullptr; // one file only
        m_created = true;
        return std::make_unique<StandardOutputFile>(m_window);
    }
    [[nodiscard]] std::string rename(std::string_view, std::string_view, bool) override { return {}; }

private:
    ByteWindow m_window;
    bool m_created = false;
};

/// Nothing to draw: standard error carries only the outcome.
class QuietObserver final : public recovery::RecoveryObserver {
public:
    bool continueAfterError(const std::string&) override { return false; }
};

/// The file rows of the folder that holds `path` whose name is its last part.
std::vector<catalogue::FileRow> rowsAt(const scan::ScanSession& s, const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string parent = slash == std::string::npos ? std::string("/") : path.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    std::vector<catalogue::FileRow> found;
    if (const catalogue::TreeNode* node = findFolder(s, parent))
        for (auto& row : catalogue::FillFileList(s.catalogue, s.index(), s.kind(), node->key, nullptr))
            if (!row.folder && catalogue::nameToUtf8(row.name, s.catalogue.NamesAreUtf8) == leaf)
                found.push_back(std::move(row));
    return found;
}

/// The rows of the files whose --id is `id`.
std::vector<catalogue::FileRow> rowsWithId(const scan::ScanSession& s, std::uint64_t id)
{
    const std::size_t count = s.catalogue.fileEntryCount();
    std::vector<catalogue::FileRow> found;
    for (std::size_t i = 0; i < count; ++i) {
        if (fileFacts(s, i).id != id)
            continue;
        const auto path = fileEntryPath(s, i);
        if (!path)
            continue;
        for (auto& row : rowsAt(s, *path))
            if (row.entryIndex() == i)
                found.push_back(std::move(row));
    }
    return found;
}

/// What `sarvik cat` was asked.
struct CatRequest {
    SessionArgs session;
    std::string path;
    std::optional<std::uint64_t> id;
    ByteWindow window;
    bool force = false;
};

std::optional<int> parseCat(const CommandSpec& spec, const ParsedArgs& parsed, CatRequest& r)
{
    r.session = SessionArgs::from(parsed);
    r.force = parsed.has("force");
    if (r.session.source.empty())
        return usageError(spec, "SOURCE is missing");
    if (parsed.positional.size() > 2)
        return usageError(spec, "one PATH only");
    if (parsed.positional.size() == 2)
        r.path = parsed.positional[1];
    const auto ids = parsed.values("id");
    if (ids.size() > 1)
        return usageError(spec, "one --id only");
    if (r.path.empty() == ids.empty())
        return usageError(spec, "give either PATH as 'sarvik scan' prints it or --id N");
    const auto number = [&](const std::string& name, std::uint64_t& into) -> std::optional<int> {
        const auto text = parsed.value(name);
        if (!text)
            return std::nullopt;
        const auto bytes = parseSize(*text);
        if (!bytes)
            return usageError(spec, "--" + name + " takes a number of bytes (K, M, G allowed), not '" + *text + "'");
        into = *bytes;
        return std::nullopt;
    };
    if (!ids.empty()) {
        std::uint64_t id = 0;
        const auto error = number("id", id);
        if (error || ids.front().find_first_not_of("0123456789") != std::string::npos)
            return usageError(spec, "--id takes a record number or entry address, not '" + ids.front() + "'");
        r.id = id;
    }
    if (const auto error = number("from", r.window.from))
        return error;
    if (parsed.has("length")) {
        std::uint64_t length = 0;
        if (const auto error = number("length", length))
            return error;
        r.window.length = length;
    }
    return std::nullopt;
}

/// The one file asked for; nothing, with the reason said, when it is not one.
std::optional<catalogue::FileRow> chooseRow(const scan::ScanSession& s, const CatRequest& r)
{
    const std::string asked = r.id ? "--id " + std::to_string(*r.id) : "'" + r.path + "'";
    std::vector<catalogue::FileRow> rows;
    if (r.id)
        rows = rowsWithId(s, *r.id);
    else
        for (const std::string& form : typedPathForms(r.path))
            if (rows.empty())
                rows = rowsAt(s, form);
    if (rows.empty()) {
        std::fprintf(stderr, "sarvik cat: no file %s in the scan\n", terminalText(asked).c_str());
        return std::nullopt;
    }
    if (rows.size() > 1) {
        std::string numbers;
        for (const auto& row : rows)
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(fileFacts(s, row.entryIndex()).id);
        std::fprintf(stderr, "sarvik cat: %zu files are %s; choose one with --id (%s)\n", rows.size(),
                     terminalText(asked).c_str(), numbers.c_str());
        return std::nullopt;
    }
    return std::move(rows.front());
}

} // namespace

int runCat(const CommandSpec& spec, const ParsedArgs& parsed)
{
    CatRequest r;
    if (const auto exit = parseCat(spec, parsed, r))
        return *exit;
    if (!r.force && platform::standardOutputIsTerminal()) {
        std::fprintf(stderr, "sarvik cat: standard output is a terminal; send it to a file or a pipe "
                             "(sarvik cat SOURCE PATH > FILE), or give --force\n");
        return kExitUsage;
    }
    int status = kExitDone;
    auto session = openSession(r.session, status);
    if (!session)
        return status;
    if (!session->volume.reader.isOpen()) {
        std::fprintf(stderr, "sarvik cat: no volume to read file data from; nothing was written\n");
        return kExitFailed;
    }
    const auto row = chooseRow(*session, r);
    if (!row)
        return kExitFailed;

    platform::setStandardOutputBinary();
    recovery::RecoverySettings settings = recovery::RecoverySettings::startup('N');
    settings.KeepOriginalTimes = false;
    settings.ThoroughScan = r.session.thorough || session->catalogue.NamesAreUtf8;
    catalogue::RecoveryControl control;
    QuietObserver observer;
    recovery::RecoveryReport report;
    recovery::FileRecovery copier(session->volume, session->catalogue, session->tree, session->filters, settings,
                                  control, observer, report);
    copier.setFileSources(session->fileSources.get());
    const recovery::TargetFolder target{std::make_shared<StandardOutputFolder>(r.window), "-"};
    const StopOnSignals signals(control);
    recovery::SaveWorker worker(control);
    worker.start(copier, [&](recovery::FileRecovery& c) { c.RecoverRow(*row, target); });
    worker.wait();
    if (worker.outOfMemory()) {
        std::fprintf(stderr, "sarvik: %s\n", catalogue::kOutOfMemoryMessage);
        return kExitFailed;
    }
    if (stoppedBySignal())
        return interruptedStatus();
    const std::string name = terminalText(fileEntryPath(*session, row->entryIndex()).value_or(r.path), true);
    for (const auto& f : report.files()) {
        if (const std::string loss = recovery::lossText(f); !loss.empty()) {
            std::fprintf(stderr, "sarvik cat: %s: %s\n", name.c_str(), loss.c_str());
            status = worseStatus(status, f.outcome == recovery::FileOutcome::WriteFailed ? kExitFailed : kExitLosses);
        }
    }
    return status;
}

} // namespace sarvik::cli
