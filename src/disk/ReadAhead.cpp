// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/ReadAhead.h"

#include <algorithm>
#include <system_error>

namespace sarvik::disk {

ReadStatus SerialBlockSource::read(std::uint64_t offset, MutableByteSpan buffer) const
{
    if (!m_base)
        return ReadStatus::NoDevice;
    const std::lock_guard lock(m_mutex);
    return m_base->read(offset, buffer);
}

std::uint64_t SerialBlockSource::knownZeros(std::uint64_t offset) const
{
    const std::lock_guard lock(m_mutex);
    return m_base ? m_base->knownZeros(offset) : 0;
}

SectorReader SerialReader(const SectorReader& reader)
{
    SectorReader serial = reader;
    if (reader.isOpen() && !reader.source()->readsInParallel())
        serial.setDevice(reader.DevicePath(), std::make_shared<SerialBlockSource>(reader.source()));
    return serial;
}

ReadAhead::ReadAhead(const SectorReader& reader, std::vector<Range> ranges, std::size_t depth)
    : m_reader(reader), m_ranges(std::move(ranges)), m_parallel(reader.isOpen() && reader.source()->readsInParallel())
{
    std::uint32_t most = 0;
    for (const Range& r : m_ranges)
        most = std::max(most, r.count);
    m_slots.resize(std::clamp<std::size_t>(depth, 1, std::max<std::size_t>(m_ranges.size(), 1)));
    for (auto& slot : m_slots)
        slot.resize(std::size_t{most} * kSectorSize);
    m_status.resize(m_slots.size(), ReadStatus::Failed);
    m_holds.resize(m_slots.size(), kNone);
    if (m_ranges.size() < 2)
        return; // nothing to overlap
    try {
        m_thread = std::thread([this] { readLoop(); });
    } catch (const std::system_error&) {
        // No thread to be had: next() reads each range when it is asked for.
    }
}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

ReadStatus ReadAhead::readRange(std::size_t index)
{
    const Range& r = m_ranges[index];
    if (r.skip)
        return ReadStatus::Failed;
    auto& slot = m_slots[index % m_slots.size()];
    return m_reader.read(r.sector, r.count, MutableByteSpan(slot).first(std::size_t{r.count} * kSectorSize));
}

std::size_t ReadAhead::claim()
{
    // Slot i % depth is free once the parser holds range i - depth + 1 or a later one.
    if (m_claimed >= m_ranges.size() || m_claimed >= m_current + m_slots.size())
        return kNone;
    return m_claimed++;
}

void ReadAhead::readClaimed(std::size_t index, std::unique_lock<std::mutex>& lock)
{
    lock.unlock();
    const ReadStatus status = readRange(index);
    lock.lock();
    m_status[index % m_slots.size()] = status;
    m_holds[index % m_slots.size()] = index;
    m_changed.notify_all();
}

void ReadAhead::readLoop()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop && m_claimed < m_ranges.size()) {
        const std::size_t index = claim();
        if (index == kNone)
            m_changed.wait(lock); // every slot is taken: until the parser moves on
        else
            readClaimed(index, lock);
    }
}

ReadAhead::Block ReadAhead::next()
{
    if (m_taken >= m_ranges.size())
        return {};
    const std::size_t index = m_taken++;
    const Range& r = m_ranges[index];
    auto& slot = m_slots[index % m_slots.size()];
    const MutableByteSpan bytes = MutableByteSpan(slot).first(std::size_t{r.count} * kSectorSize);
    if (!m_thread.joinable())
        return {readRange(index), bytes};
    std::unique_lock lock(m_mutex);
    m_current = index; // the slot of the range before is free again
    m_changed.notify_all();
    while (m_holds[index % m_slots.size()] != index) {
        // Rather than wait, read a range the thread has not taken yet.
        const std::size_t later = m_parallel ? claim() : kNone;
        if (later != kNone)
            readClaimed(later, lock);
        else
            m_changed.wait(lock);
    }
    return {m_status[index % m_slots.size()], bytes};
}

} // namespace sarvik::disk
