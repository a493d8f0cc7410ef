// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/ScanJob.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <string_view>
#include <system_error>

namespace sarvik::session {

namespace {

/// The least time between two copies of a scan's results: what a deep search
/// finds joins the list within about a second.
constexpr std::chrono::seconds kPartialGap{1};

} // namespace

std::optional<std::chrono::seconds> timeLeft(std::chrono::steady_clock::duration elapsed, std::uint32_t percent)
{
    if (percent == 0 || percent >= 100 || elapsed.count() <= 0)
        return std::nullopt;
    const auto left = elapsed * (100 - percent) / percent;
    return std::chrono::ceil<std::chrono::seconds>(left);
}

std::string scanStatusText(const std::string& status, bool thorough, bool ntfs, std::uint64_t recordSectors)
{
    constexpr std::string_view kReading = "Reading ";
    if (!thorough || !ntfs || !status.starts_with(kReading))
        return status;
    const std::size_t slash = status.find('\\', kReading.size());
    if (slash == std::string::npos)
        return status;
    const std::string_view done(status.data() + kReading.size(), slash - kReading.size());
    const std::string_view all(status.data() + slash + 1, status.size() - slash - 1);
    const auto number = [](std::string_view text, std::uint64_t& value) {
        if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size();
    };
    std::uint64_t sectorsDone = 0, sectorsAll = 0;
    if (!number(done, sectorsDone) || !number(all, sectorsAll))
        return status;
    const std::uint64_t perRecord = recordSectors == 0 ? 2 : recordSectors; // 1,024-byte records unless the boot
                                                                            // sector says otherwise
    return "Reading MFT records: " + std::to_string(sectorsDone / perRecord) + " of " +
           std::to_string(sectorsAll / perRecord);
}

ScanJob::~ScanJob()
{
    if (m_thread.joinable()) {
        m_control.Abandoned = true;
        m_thread.join();
    }
}

bool ScanJob::start(scan::ScanSession& session, scan::ScanOptions options, bool partialResults)
{
    if (m_thread.joinable())
        return false;
    m_progress.reset();
    {
        std::lock_guard lock(m_partialMutex);
        m_partial.reset();
    }
    m_session = &session;
    m_partialResults = partialResults;
    m_nextPartial = {}; // the first whole result is copied at once
    m_result = {};
    m_outOfMemory = false;
    m_started = std::chrono::steady_clock::now();
    m_control.reset(); // a Stop answered after the last scan ended is not this one's
    try {
        m_thread = std::thread([this, &session, options] {
            // Both are read on the front end's thread only after the join in finish().
            try {
                m_result = scan::RunScan(session, *this, m_control, options);
            } catch (const std::bad_alloc&) {
                m_outOfMemory = true;
            }
            m_observer.scanEnded();
        });
    } catch (const std::system_error&) {
        m_outOfMemory = true; // no thread to be had: as when memory runs out
        m_observer.scanEnded();
    }
    return true;
}

void ScanJob::requestStop()
{
    if (m_thread.joinable())
        m_control.requestStop();
}

void ScanJob::finish()
{
    if (m_thread.joinable())
        m_thread.join();
}

ScanProgress ScanJob::takeProgress()
{
    return m_progress.take();
}

std::optional<std::chrono::seconds> ScanJob::timeLeft() const
{
    const std::optional<std::uint32_t> percent =
        m_progress.read([](const ScanProgress& p) { return p.hasProgress ? std::optional(p.progress) : std::nullopt; });
    if (!percent)
        return std::nullopt;
    return session::timeLeft(std::chrono::steady_clock::now() - m_started, *percent);
}

std::unique_ptr<scan::ScanSession> ScanJob::takePartial()
{
    std::lock_guard lock(m_partialMutex);
    return std::move(m_partial);
}

template <typename Change> void ScanJob::record(Change change)
{
    // One call for a burst of reports: the front end shows them all at once.
    if (m_progress.record(change))
        m_observer.progressWaiting();
}

void ScanJob::settled()
{
    if (!m_partialResults)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextPartial)
        return;
    std::unique_ptr<scan::ScanSession> copy;
    try {
        copy = std::make_unique<scan::ScanSession>();
        copy->volume = m_session->volume;
        copy->catalogue = m_session->catalogue;
        copy->mftRuns = m_session->mftRuns;
        copy->buildTree();
    } catch (const std::bad_alloc&) {
        m_partialResults = false; // the scan goes on; its end shows what it found
        return;
    }
    // The copy takes the scan's time: at most a tenth of it, and one a second at most.
    const auto cost = std::chrono::steady_clock::now() - now;
    m_nextPartial = now + std::max<std::chrono::steady_clock::duration>(kPartialGap, cost * 10);
    bool tell = false;
    {
        std::lock_guard lock(m_partialMutex);
        // A copy not taken yet is replaced; the front end was told of it already.
        tell = m_partial == nullptr;
        m_partial = std::move(copy);
    }
    if (tell)
        m_observer.partialWaiting();
}

void ScanJob::foldersFound(std::uint32_t count)
{
    record([count](ScanProgress& r) { r.folders = count, r.hasFolders = true; });
}
void ScanJob::filesFound(std::uint32_t count)
{
    record([count](ScanProgress& r) { r.files = count, r.hasFiles = true; });
}
void ScanJob::currentSector(std::uint64_t sector)
{
    record([sector](ScanProgress& r) { r.sector = sector, r.hasSector = true; });
}
void ScanJob::lastItem(const std::string& name)
{
    record([&name](ScanProgress& r) { r.lastItem = name, r.hasLastItem = true; });
}
void ScanJob::status(const std::string& text)
{
    record([&text](ScanProgress& r) { r.status = text, r.statusCode.reset(), r.hasStatus = true; });
}
void ScanJob::report(const catalogue::StatusReport& what)
{
    record([&what](ScanProgress& r) {
        r.status = catalogue::statusEnglish(what), r.statusCode = what, r.hasStatus = true;
    });
}
void ScanJob::progress(std::uint32_t position)
{
    record([position](ScanProgress& r) { r.progress = position, r.hasProgress = true; });
}
void ScanJob::stopAvailable(bool available)
{
    record([available](ScanProgress& r) { r.stopAvailable = available, r.hasStop = true; });
}

} // namespace sarvik::session
