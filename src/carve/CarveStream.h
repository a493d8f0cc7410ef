// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bytes of one carving candidate, from its first byte up to a limit (the end
// of the unclaimed stretch it starts in), read from the source through a window
// of bounded size. Format walkers ask for small spans at offsets relative to the
// candidate and parse them with the bounds-checked reader; a span that reaches
// past the limit or cannot be read is simply not there.

#include "catalogue/ScanObserver.h"
#include "disk/BlockSource.h"
#include "disk/ByteReader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sarvik::carve {

class CarveStream {
public:
    /// Bytes held at once: the window slides forward as the walk goes.
    static constexpr std::size_t kWindowBytes = std::size_t{1} << 20;
    /// The most one call of bytes() may ask for.
    static constexpr std::size_t kMaxSpan = std::size_t{128} << 10;
    /// The first read of bytes given by readBefore().
    static constexpr std::size_t kFirstReadBeforeBytes = std::size_t{64} << 10;

    /// The candidate starting at byte `start` of `source`, whose bytes end at
    /// `limit` bytes from there at most. `control`, when given, stops reads
    /// once a stop is requested (the walk then sees the end of its bytes).
    CarveStream(const disk::BlockSource& source, std::uint64_t start, std::uint64_t limit,
                const catalogue::ScanControl* control = nullptr);

    /// Bytes of the source already read (from byte `at` of the source on), served
    /// from there while the walk stays within them instead of being read again.
    void useRead(disk::ByteSpan bytes, std::uint64_t at);
    /// The candidate's first `length` bytes were read whole before (their bytes
    /// not kept): they are read again as the walk asks for them, and served as
    /// useRead would serve them, whatever failed past them.
    void readBefore(std::uint64_t length);

    /// Where other files may start: every `unit` bytes from the candidate's
    /// start, with the signatures of the types `wanted` holds (by type).
    void setStarts(std::uint64_t unit, std::span<const bool> wanted)
    {
        m_unit = unit;
        m_wanted = wanted;
    }
    [[nodiscard]] std::uint64_t unit() const noexcept { return m_unit; }
    [[nodiscard]] std::span<const bool> wanted() const noexcept { return m_wanted; }

    [[nodiscard]] std::uint64_t limit() const noexcept { return m_limit; }
    /// A read failed (as opposed to the limit being reached), or a stop was requested.
    [[nodiscard]] bool failed() const noexcept { return m_failed; }

    /// `length` (at most kMaxSpan) bytes at `offset`, or nothing past the limit or unreadable.
    [[nodiscard]] std::optional<disk::ByteReader> bytes(std::uint64_t offset, std::size_t length);
    /// An unsigned integer of `width` bytes (1..8), little- or big-endian.
    [[nodiscard]] std::optional<std::uint64_t> le(std::uint64_t offset, unsigned width);
    [[nodiscard]] std::optional<std::uint64_t> be(std::uint64_t offset, unsigned width);
    [[nodiscard]] std::optional<std::uint8_t> u8(std::uint64_t offset);
    /// True when the bytes at `offset` are `text`.
    [[nodiscard]] bool matches(std::uint64_t offset, std::string_view text);

    /// The first offset in [from, to) holding `value`; nothing when none does
    /// (or the bytes there cannot be read: see failed()).
    [[nodiscard]] std::optional<std::uint64_t> find(std::uint64_t from, std::uint64_t to, std::byte value);
    /// The first offset in [from, to) where `text` starts (text no longer than 64 bytes).
    [[nodiscard]] std::optional<std::uint64_t> find(std::uint64_t from, std::uint64_t to, std::string_view text);

private:
    /// Makes the window cover [offset, offset + length); false past the limit or on a failed read.
    bool cover(std::uint64_t offset, std::size_t length);
    /// Reads `want` bytes at `offset` into the window; false (and failed) when they cannot be read.
    bool readWindow(std::uint64_t offset, std::size_t want);

    const disk::BlockSource& m_source;
    std::uint64_t m_start = 0;
    std::uint64_t m_limit = 0;
    const catalogue::ScanControl* m_control = nullptr;
    std::vector<std::byte> m_window;
    /// The bytes served now: the window, or part of the bytes given to useRead.
    const std::byte* m_data = nullptr;
    std::uint64_t m_windowAt = 0;
    std::size_t m_windowLength = 0;
    disk::ByteSpan m_read;
    std::uint64_t m_readAt = 0;     ///< candidate offset of m_read's first byte
    std::uint64_t m_readBefore = 0; ///< see readBefore()
    /// Bytes read at once where the bytes given by useRead end: grown from
    /// small, as a walk of a small file needs only its own bytes.
    std::size_t m_readBeforeWindow = kFirstReadBeforeBytes;
    bool m_failed = false;
    std::uint64_t m_unit = 0; ///< 0: no other file's start is looked for
    std::span<const bool> m_wanted;
};

} // namespace sarvik::carve
