// SPDX-License-Identifier: GPL-3.0-or-later
#include "carve/CarveStream.h"

#include <algorithm>
#include <cstring>

namespace sarvik::carve {

CarveStream::CarveStream(const disk::BlockSource& source, std::uint64_t start, std::uint64_t limit,
                         const catalogue::ScanControl* control)
    : m_source(source), m_start(start), m_limit(limit), m_control(control)
{
    const std::uint64_t size = source.size();
    m_limit = start >= size ? 0 : std::min(limit, size - start);
}

void CarveStream::useRead(disk::ByteSpan bytes, std::uint64_t at)
{
    if (at > m_start || m_start - at >= bytes.size()) {
        m_read = {};
        return;
    }
    m_read = bytes.subspan(static_cast<std::size_t>(m_start - at));
    m_readAt = 0;
}

void CarveStream::readBefore(std::uint64_t length)
{
    m_readBefore = std::min(length, m_limit);
}

bool CarveStream::cover(std::uint64_t offset, std::size_t length)
{
    if (offset > m_limit || length > m_limit - offset || length > kMaxSpan)
        return false;
    if (offset >= m_windowAt && offset - m_windowAt + length <= m_windowLength)
        return true;
    if (offset >= m_readAt && offset - m_readAt + length <= m_read.size()) {
        // Served from the bytes already read, as far as they go (and the limit allows).
        m_data = m_read.data();
        m_windowAt = m_readAt;
        m_windowLength = static_cast<std::size_t>(std::min<std::uint64_t>(m_read.size(), m_limit));
        return offset - m_windowAt + length <= m_windowLength;
    }
    if (offset < m_readBefore && length <= m_readBefore - offset) {
        // Bytes read whole before: served whatever failed since, and without a
        // stop (as bytes handed to useRead are), in windows grown as the walk goes.
        const std::size_t want = std::max<std::size_t>(
            length, static_cast<std::size_t>(std::min<std::uint64_t>(m_readBeforeWindow, m_readBefore - offset)));
        m_readBeforeWindow = std::min(kWindowBytes, m_readBeforeWindow * 2);
        return readWindow(offset, want);
    }
    if (m_failed)
        return false;
    if (m_control != nullptr && m_control->stopRequested()) {
        m_failed = true;
        return false;
    }
    // Sized by what the candidate can hold (a small stretch keeps a small
    // window) and grown as the walk goes: a small file's walk, whose start
    // only its head read, reads little past its end.
    const std::size_t want = std::max<std::size_t>(
        length, static_cast<std::size_t>(std::min<std::uint64_t>(m_readBeforeWindow, m_limit - offset)));
    m_readBeforeWindow = std::min(kWindowBytes, m_readBeforeWindow * 2);
    return readWindow(offset, want);
}

bool CarveStream::readWindow(std::uint64_t offset, std::size_t want)
{
    if (m_window.size() < want)
        m_window.resize(want);
    const auto span = std::span(m_window).first(want);
    if (m_source.read(m_start + offset, span) != disk::ReadStatus::Ok) {
        // A failed read ends the candidate's readable bytes here.
        m_failed = true;
        m_windowLength = 0;
        return false;
    }
    m_data = m_window.data();
    m_windowAt = offset;
    m_windowLength = want;
    return true;
}

std::optional<disk::ByteReader> CarveStream::bytes(std::uint64_t offset, std::size_t length)
{
    if (!cover(offset, length))
        return std::nullopt;
    return disk::ByteReader(disk::ByteSpan(m_data + (offset - m_windowAt), length));
}

std::optional<std::uint64_t> CarveStream::le(std::uint64_t offset, unsigned width)
{
    const auto b = bytes(offset, width);
    return b ? b->uint(0, width) : std::nullopt;
}

std::optional<std::uint64_t> CarveStream::be(std::uint64_t offset, unsigned width)
{
    const auto b = bytes(offset, width);
    if (!b || width == 0 || width > 8)
        return std::nullopt;
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i)
        value = (value << 8) | b->u8or0(i);
    return value;
}

std::optional<std::uint8_t> CarveStream::u8(std::uint64_t offset)
{
    const auto b = bytes(offset, 1);
    return b ? b->u8(0) : std::nullopt;
}

bool CarveStream::matches(std::uint64_t offset, std::string_view text)
{
    const auto b = bytes(offset, text.size());
    return b && b->equals(0, text);
}

std::optional<std::uint64_t> CarveStream::find(std::uint64_t from, std::uint64_t to, std::byte value)
{
    to = std::min(to, m_limit);
    while (from < to) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(kMaxSpan, to - from));
        if (!cover(from, chunk))
            return std::nullopt;
        const std::byte* base = m_data + (from - m_windowAt);
        if (const void* hit = std::memchr(base, std::to_integer<int>(value), chunk))
            return from + static_cast<std::uint64_t>(static_cast<const std::byte*>(hit) - base);
        from += chunk;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> CarveStream::find(std::uint64_t from, std::uint64_t to, std::string_view text)
{
    if (text.empty() || text.size() > 64)
        return std::nullopt;
    to = std::min(to, m_limit);
    const auto first = static_cast<std::byte>(text.front());
    while (from < to && to - from >= text.size()) {
        const auto hit = find(from, to - text.size() + 1, first);
        if (!hit)
            return std::nullopt;
        if (matches(*hit, text))
            return hit;
        from = *hit + 1;
    }
    return std::nullopt;
}

} // namespace sarvik::carve
