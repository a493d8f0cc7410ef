// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/FileSources.h"

#include "catalogue/FileList.h"

#include <chrono>
#include <cstdio>

namespace sarvik::recovery {

std::size_t FileSources::addSource(OtherSource source)
{
    m_sources.push_back(std::move(source));
    return m_sources.size() - 1;
}

void FileSources::assign(std::size_t fileIndex, std::size_t source, std::uint64_t clusters)
{
    if (source < m_sources.size())
        m_sourceOf[fileIndex] = Assigned{source, clusters};
}

std::uint64_t FileSources::clustersOf(std::size_t fileIndex) const
{
    const auto it = m_sourceOf.find(fileIndex);
    return it == m_sourceOf.end() ? 0 : it->second.clusters;
}

const OtherSource* FileSources::sourceOf(std::size_t fileIndex) const
{
    const auto it = m_sourceOf.find(fileIndex);
    return it == m_sourceOf.end() ? nullptr : &m_sources[it->second.source];
}

const disk::SelectedVolume* FileSources::volumeOf(std::size_t fileIndex) const
{
    const OtherSource* source = sourceOf(fileIndex);
    return source == nullptr ? nullptr : source->volume.get();
}

std::string FileSources::originText(std::size_t fileIndex) const
{
    const OtherSource* source = sourceOf(fileIndex);
    return source == nullptr ? std::string{} : "from the shadow copy of " + copyTimeText(source->created);
}

std::string FileSources::conditionText(std::size_t fileIndex) const
{
    const OtherSource* source = sourceOf(fileIndex);
    return source == nullptr ? std::string{} : "Whole in the shadow copy of " + copyTimeText(source->created);
}

std::string copyTimeText(std::uint64_t fileTime)
{
    if (fileTime == 0)
        return "an unknown time";
    using namespace std::chrono;
    const sys_seconds at{seconds{catalogue::fileTimeToUnix(fileTime)}};
    const auto day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d UTC", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()));
    return text;
}

} // namespace sarvik::recovery
