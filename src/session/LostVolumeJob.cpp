// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/LostVolumeJob.h"

#include <algorithm>
#include <utility>

namespace sarvik::session {

LostVolumeJob::~LostVolumeJob()
{
    m_control.Abandoned.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

bool LostVolumeJob::start(Opener open)
{
    if (m_thread.joinable())
        return false;
    m_findings = {};
    m_stopAsked = false;
    {
        std::lock_guard lock(m_mutex);
        m_progress = {};
        m_told = false;
    }
    m_control.reset();
    m_thread = std::thread([this, open = std::move(open)] {
        std::string error;
        if (const std::shared_ptr<const disk::BlockSource> disk = open(error))
            m_findings.found = disk::FindLostVolumes(*disk, disk::LostVolumeSearch::Deep, *this, m_control,
                                                     &m_findings.unreadableSectors);
        else
            m_findings.error = error;
        m_observer.searchEnded();
    });
    return true;
}

void LostVolumeJob::requestStop()
{
    if (!m_thread.joinable())
        return;
    m_control.requestStop();
    m_stopAsked = true;
}

void LostVolumeJob::finish()
{
    if (m_thread.joinable())
        m_thread.join();
    m_findings.stopped = m_stopAsked;
}

LostVolumeProgress LostVolumeJob::takeProgress()
{
    std::lock_guard lock(m_mutex);
    m_told = false;
    return m_progress;
}

void LostVolumeJob::tell()
{
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        first = !m_told;
        m_told = true;
    }
    if (first)
        m_observer.progressWaiting();
}

void LostVolumeJob::status(const std::string& text)
{
    {
        std::lock_guard lock(m_mutex);
        m_progress.status = text;
        m_progress.statusCode.reset();
    }
    tell();
}

void LostVolumeJob::report(const catalogue::StatusReport& what)
{
    {
        std::lock_guard lock(m_mutex);
        m_progress.status = catalogue::statusEnglish(what);
        m_progress.statusCode = what;
    }
    tell();
}

void LostVolumeJob::progress(std::uint32_t position)
{
    const int percent = static_cast<int>(std::min<std::uint32_t>(position, 100));
    {
        std::lock_guard lock(m_mutex);
        if (percent == m_progress.percent)
            return; // one report per change of the percentage
        m_progress.percent = percent;
    }
    tell();
}

namespace {

/// "Disk Image" and "disk.img" of "Disk Image(disk.img) 2: NTFS"; a text
/// without them is a disk's own name.
std::pair<std::string, std::string> prefixAndName(const std::string& text)
{
    const std::size_t open = text.find('(');
    const std::size_t close = text.find(')', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos)
        return {"Disk", text};
    return {text.substr(0, open), text.substr(open + 1, close - open - 1)};
}

} // namespace

LostVolumeReport lostVolumeReport(const LostVolumeFindings& findings, const disk::DriveItem& drive,
                                  const std::string& wholePath, const std::vector<disk::DriveItem>& listed)
{
    const auto [prefix, name] = prefixAndName(drive.text);
    LostVolumeReport report;
    for (std::size_t i = 0; i < findings.found.size(); ++i) {
        const disk::LostVolume& volume = findings.found[i];
        report.found.push_back(disk::lostVolumeDriveItem(
            drive.kind, wholePath, prefix, name, static_cast<std::uint32_t>(i + 1), volume.kind, volume.sectors));
        // Listed once: a volume the list already holds keeps its place.
        const std::string& path = report.found.back().devicePath;
        if (std::none_of(listed.begin(), listed.end(),
                         [&path](const disk::DriveItem& d) { return d.devicePath == path; }))
            report.added.push_back(report.found.back());
    }
    return report;
}

std::string lostVolumeSummary(const LostVolumeFindings& findings, const LostVolumeReport& report,
                              const std::string& wholePath)
{
    std::string text;
    if (report.found.empty())
        text = "No lost volume was found on " + wholePath + ".";
    else
        text = std::to_string(report.found.size()) + " lost volume(s) found; they are listed with the drives:";
    for (std::size_t i = 0; i < report.found.size() && i < findings.found.size(); ++i)
        text += "\n" + report.found[i].text + " (found by its " + findings.found[i].foundBy + ")";
    if (findings.stopped)
        text += "\nThe search was stopped: the rest of the disk was not read.";
    if (findings.unreadableSectors > 0)
        text += "\n" + std::to_string(findings.unreadableSectors) + " sectors could not be read.";
    return text;
}

} // namespace sarvik::session
