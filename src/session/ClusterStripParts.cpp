// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/ClusterStripParts.h"

#include <algorithm>

namespace sarvik::session {

using recovery::ClusterState;

void ClusterStripParts::setParts(std::optional<std::vector<recovery::ClusterPart>> parts)
{
    m_known = parts.has_value();
    m_parts = parts ? std::move(*parts) : std::vector<recovery::ClusterPart>{};
    m_before.clear();
    m_total = 0;
    for (const auto& p : m_parts) {
        m_before.push_back(m_total);
        m_total += p.count;
    }
}

std::uint64_t ClusterStripParts::clusters(ClusterState state) const
{
    std::uint64_t n = 0;
    for (const auto& p : m_parts)
        n += p.state == state ? p.count : 0;
    return n;
}

int ClusterStripParts::edge(std::uint64_t before, int width) const
{
    if (m_total == 0)
        return 0;
    // Exact enough: cluster counts stay far below 2^53.
    return static_cast<int>(static_cast<double>(before) * width / static_cast<double>(m_total));
}

ClusterStripParts::Span ClusterStripParts::span(std::size_t index, int width) const
{
    if (index >= m_parts.size())
        return {};
    const int left = edge(m_before[index], width);
    // A part narrower than a pixel still takes one.
    return {left, std::max(edge(m_before[index] + m_parts[index].count, width), left + 1)};
}

const recovery::ClusterPart* ClusterStripParts::partAt(int x, int width) const
{
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
        const Span s = span(i, width);
        if (x >= s.left && x < s.right)
            return &m_parts[i];
    }
    return nullptr;
}

std::string ClusterStripParts::stateText(ClusterState state)
{
    switch (state) {
    case ClusterState::Intact:
        return "free, still holding the file's data";
    case ClusterState::Claimed:
        return "claimed since by another file";
    case ClusterState::Unreadable:
        return "unreadable";
    case ClusterState::NoData:
        return "sparse: no data stored";
    }
    return {};
}

std::string ClusterStripParts::partText(int x, int width, const std::function<std::string(std::uint64_t)>& count) const
{
    const recovery::ClusterPart* p = partAt(x, width);
    if (p == nullptr)
        return {};
    const std::string what = stateText(p->state);
    // Sparse runs and unreadable runs of no known place have no cluster numbers.
    if (p->state == ClusterState::NoData || (p->state == ClusterState::Unreadable && p->first == 0))
        return count(p->count) + " cluster(s): " + what;
    if (p->count == 1)
        return "Cluster " + count(p->first) + ": " + what;
    return "Clusters " + count(p->first) + " to " + count(p->first + p->count - 1) + " (" + count(p->count) +
           "): " + what;
}

std::string ClusterStripParts::emptyText() const
{
    if (!m_known)
        return "Clusters not known";
    return m_total == 0 ? "No clusters" : "";
}

} // namespace sarvik::session
