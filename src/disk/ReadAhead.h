// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading ahead of a parser: a list of sector ranges read in order on a thread
// of its own, a few ranges ahead of the one the parser is working on, so that
// copying the bytes in overlaps examining them. When the source takes reads
// from two threads at once, a parser that would wait reads the next unread
// range itself meanwhile. The results are those of reading each range in turn
// where it is used.

#include "disk/BlockSource.h"
#include "disk/SectorReader.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sarvik::disk {

/// A source whose reads take turns: the thread of a ReadAhead and the parser
/// (which reads a few sectors of its own) may share a source that was not made
/// for two threads at once.
class SerialBlockSource final : public BlockSource {
public:
    explicit SerialBlockSource(std::shared_ptr<const BlockSource> base) : m_base(std::move(base)) {}
    [[nodiscard]] std::uint64_t size() const override { return m_base ? m_base->size() : 0; }
    [[nodiscard]] ReadStatus read(std::uint64_t offset, MutableByteSpan buffer) const override;
    /// What the source knows to read as zeros, asked in turn with the reads.
    [[nodiscard]] std::uint64_t knownZeros(std::uint64_t offset) const override;

private:
    std::shared_ptr<const BlockSource> m_base;
    mutable std::mutex m_mutex;
};

/// A copy of `reader` that two threads may read through at once: the reader
/// itself when its source reads in parallel, else one whose reads go through a
/// SerialBlockSource.
[[nodiscard]] SectorReader SerialReader(const SectorReader& reader);

class ReadAhead {
public:
    struct Range {
        std::uint64_t sector = 0;
        std::uint32_t count = 0; ///< sectors
        bool skip = false;       ///< not read: next() gives Failed and no bytes
    };
    struct Block {
        ReadStatus status = ReadStatus::Failed;
        MutableByteSpan bytes; ///< count sectors; valid until the next call of next()
    };

    /// Starts reading `ranges` with `reader` (which must allow reads from two
    /// threads, see SerialReader), at most `depth` of them ahead.
    ReadAhead(const SectorReader& reader, std::vector<Range> ranges, std::size_t depth);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    /// The next range's bytes, in the order given; waits for them (reading a
    /// later range meanwhile when the source reads in parallel). Past the last
    /// range: Failed and no bytes.
    Block next();

private:
    static constexpr std::size_t kNone = ~std::size_t{0};
    void readLoop();
    ReadStatus readRange(std::size_t index);
    /// Under the lock: the next range no thread has taken when its slot is
    /// free, taken now; kNone when there is none.
    std::size_t claim();
    /// Reads range `index`, taken by claim(), with the lock released meanwhile.
    void readClaimed(std::size_t index, std::unique_lock<std::mutex>& lock);

    const SectorReader& m_reader;
    const std::vector<Range> m_ranges;
    const bool m_parallel;                       ///< the parser may read ranges too
    std::vector<std::vector<std::byte>> m_slots; ///< range i lies in slot i % depth
    std::vector<ReadStatus> m_status;            ///< per slot
    std::vector<std::size_t> m_holds;            ///< per slot: the range read into it, kNone before
    std::size_t m_claimed = 0;                   ///< ranges taken by a reading thread
    std::size_t m_current = 0;                   ///< the range the parser holds (the next one before any)
    std::size_t m_taken = 0;                     ///< ranges handed out by next()
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread; ///< not running when it could not start: next() then reads itself
};

} // namespace sarvik::disk
