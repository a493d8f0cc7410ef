// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/FreeSpaceJob.h"

#include "scan/ScanSession.h"

#include <new>
#include <system_error>

namespace sarvik::session {

FreeSpaceJob::~FreeSpaceJob()
{
    if (m_thread.joinable()) {
        m_control.Abandoned = true;
        m_thread.join();
    }
}

void FreeSpaceJob::start(const scan::ScanSession& session)
{
    cancel();
    m_sample = {};
    m_control.reset();
    const std::uint64_t generation = ++m_generation;
    try {
        m_thread = std::thread([this, &session, generation] {
            // Read on the front end's thread only after the join in ended().
            try {
                m_sample = scan::SampleFreeSpace(session, &m_control);
            } catch (const std::bad_alloc&) {
                m_sample = {}; // a sample is a hint: without memory for it, no hint
            }
            m_observer.sampleEnded(generation);
        });
    } catch (const std::system_error&) {
        // No thread to be had: no hint, as when memory runs out.
        m_observer.sampleEnded(generation);
    }
}

void FreeSpaceJob::cancel()
{
    if (!m_thread.joinable())
        return;
    m_control.requestStop();
    m_thread.join();
    ++m_generation; // its end report is stale now
}

bool FreeSpaceJob::ended(std::uint64_t generation)
{
    if (generation != m_generation)
        return false;
    if (m_thread.joinable())
        m_thread.join();
    return true;
}

bool deepSearchPossible(const scan::ScanSession& s)
{
    const std::uint16_t kind = s.volume.geometry.GeometryKind;
    const bool engine = disk::isFatKind(kind) || kind == disk::VolumeKind::Exfat || kind == disk::VolumeKind::Ntfs;
    // The passes over free space are the thorough rules' own; a thorough
    // catalogue keeps its names in UTF-8.
    return engine && s.catalogue.NamesAreUtf8 && s.volume.reader.isOpen() && !s.catalogue.DeepSearched;
}

std::string deepSearchOffer(const scan::FreeSpaceSample& sample)
{
    if (!sample.holdsUnnamedData())
        return {};
    return sample.finding() + ". Deep Search reads it: " + sample.cost() + ".";
}

} // namespace sarvik::session
