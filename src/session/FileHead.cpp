// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/FileHead.h"

#include "disk/ReadAhead.h"
#include "recovery/OutputFolder.h"
#include "session/EntryAccess.h"

#include <algorithm>

namespace sarvik::session {

namespace {

/// What ends a preview's copy early: a newer selection (`latest` has moved on
/// from `generation`) or enough bytes.
struct Stop {
    catalogue::RecoveryControl& control;
    const std::atomic<std::uint64_t>& latest;
    std::uint64_t generation;
};

/// The one file a preview copy writes: its first `limit` bytes go to the
/// sink; once they are there, or the preview is no longer wanted, the copy
/// is asked to stop (it looks at each chunk).
class HeadFile final : public recovery::OutputFile {
public:
    HeadFile(const ByteSink& sink, std::uint64_t& taken, std::uint64_t limit, Stop stop)
        : m_sink(sink), m_taken(taken), m_limit(limit), m_stop(stop)
    {
    }
    [[nodiscard]] bool write(disk::ByteSpan bytes) override
    {
        const std::uint64_t take = std::min<std::uint64_t>(bytes.size(), m_limit - std::min(m_limit, m_taken));
        if (take != 0)
            m_sink(bytes.data(), static_cast<std::size_t>(take));
        m_taken += take;
        if (m_taken >= m_limit || m_stop.latest.load() != m_stop.generation)
            m_stop.control.StopRecovery = 1;
        return true;
    }
    [[nodiscard]] bool close() override { return true; }

private:
    const ByteSink& m_sink;
    std::uint64_t& m_taken;
    std::uint64_t m_limit;
    Stop m_stop;
};

/// A destination that holds one file, whatever its name.
class HeadFolder final : public recovery::OutputFolder {
public:
    HeadFolder(const ByteSink& sink, std::uint64_t& taken, std::uint64_t limit, Stop stop)
        : m_sink(sink), m_taken(taken), m_limit(limit), m_stop(stop)
    {
    }
    [[nodiscard]] std::string displayPath() const override { return "preview"; }
    [[nodiscard]] bool exists(std::string_view /*name*/) const override { return false; }
    [[nodiscard]] std::shared_ptr<OutputFolder> makeFolder(std::string_view /*name*/) override { return nullptr; }
    [[nodiscard]] std::unique_ptr<recovery::OutputFile> createFile(std::string_view /*name*/, bool /*replace*/) override
    {
        return std::make_unique<HeadFile>(m_sink, m_taken, m_limit, m_stop);
    }
    [[nodiscard]] std::string rename(std::string_view /*from*/, std::string_view /*to*/, bool /*replace*/) override
    {
        return {};
    }

private:
    const ByteSink& m_sink;
    std::uint64_t& m_taken;
    std::uint64_t m_limit;
    Stop m_stop;
};

} // namespace

FileHeadReader::FileHeadReader(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue,
                               const catalogue::FolderTree& tree, const recovery::RecoverySettings& settings)
    : m_volume(volume), m_catalogue(catalogue), m_tree(tree), m_settings(settings)
{
    // The front end's thread may read the source too while a preview is made.
    m_volume.reader = disk::SerialReader(volume.reader);
}

FileHeadReader::~FileHeadReader() = default;

std::uint64_t FileHeadReader::clusterBytes() const
{
    return std::uint64_t{m_volume.geometry.SectorsPerCluster} * disk::kSectorSize;
}

std::uint64_t FileHeadReader::readHead(const catalogue::FileRow& row, std::uint64_t limit, const ByteSink& sink,
                                       const std::atomic<std::uint64_t>& latest, std::uint64_t generation)
{
    std::uint64_t taken = 0;
    m_control.StopRecovery = 0;
    m_control.SkipFile = 0;
    const recovery::TargetFolder target{
        std::make_shared<HeadFolder>(sink, taken, limit, Stop{m_control, latest, generation}), "preview"};
    m_report.clear();
    if (!m_copy) // indexes the catalogue: made on the worker, once
        m_copy = std::make_unique<recovery::FileRecovery>(m_volume, m_catalogue, m_tree, m_noFilters, m_settings,
                                                          m_control, m_observer, m_report);
    m_copy->setFileSources(m_sources.get());
    (void)copyFileHead(*m_copy, m_volume.geometry.GeometryKind, m_catalogue, row, target);
    return taken;
}

ClusterParts FileHeadReader::parts(const catalogue::FileRow& row)
{
    if (m_sources && !row.folder && m_sources->sourceOf(row.entryIndex()) != nullptr)
        return std::nullopt;
    if (!m_conditions) {
        // As the file list's Condition column estimates (scan::ScanSession::rows).
        m_conditions = std::make_unique<recovery::ConditionEstimator>(m_volume, m_catalogue.NamesAreUtf8);
        m_conditions->useOverlaps(m_catalogue);
    }
    return clusterParts(*m_conditions, m_volume.geometry.GeometryKind, m_catalogue, row);
}

std::uint64_t intactBytes(std::uint64_t size, std::uint64_t lastNonZero, const ClusterParts& parts,
                          std::uint64_t clusterBytes, std::uint64_t zeroTail)
{
    std::uint64_t intact = size;
    if (parts && clusterBytes != 0) {
        std::uint64_t offset = 0;
        for (const recovery::ClusterPart& p : *parts) {
            if (p.state != recovery::ClusterState::Intact) {
                intact = std::min(intact, offset);
                break;
            }
            offset += p.count * clusterBytes;
        }
    }
    if (size - std::min(size, lastNonZero) >= zeroTail)
        intact = std::min(intact, lastNonZero);
    return intact;
}

} // namespace sarvik::session
