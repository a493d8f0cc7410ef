#pragma once
// Reading ahead of a parser: a list of sector ranges read in order on a thread
// of its own, a few ranges ahead of the one the parser is working on, so that
// copying the bytes in overlaps examining them. The results are those of
// reading each range in turn where it is used.

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

private:
    std::shared_ptr<const BlockSource> m_base;
    mutable std::mutex m_mutex;
};

/// A copy of `reader` whose reads go through a SerialBlockSource.
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

    /// The next range's bytes, in the order given; waits for them. Past the
    /// last range: Failed and no bytes.
    Block next();

private:
    void readLoop();
    ReadStatus readRange(std::size_t index);

    const SectorReader& m_reader;
    const std::vector<Range> m_ranges;
    std::vector<std::vector<std::byte>> m_slots; ///< range i lies in slot i % depth
    std::vector<ReadStatus> m_status;            ///< per slot
    std::size_t m_ready = 0;                     ///< ranges read
    std::size_t m_current = 0;                   ///< the range the parser holds (the next one before any)
    std::size_t m_taken = 0;                     ///< ranges handed out by next()
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread; ///< not running when it could not start: next() then reads itself
};

} // namespace sarvik::disk
