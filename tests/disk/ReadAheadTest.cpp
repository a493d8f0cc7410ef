// SPDX-License-Identifier: GPL-3.0-or-later
// Reading ahead with the parser reading too: every range comes back in order
// with its own bytes and status, whichever thread read it, and the range the
// parser holds is never written over while later ones are read.

#include "disk/ReadAhead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace sarvik;

namespace {

/// Sector s holds the byte s % 251 throughout; reads of a bad range fail. Each
/// read takes a while, so that both threads have ranges in hand at once.
class SlowSource final : public disk::BlockSource {
public:
    SlowSource(std::uint64_t sectors, bool parallel) : m_parallel(parallel)
    {
        std::vector<std::byte> bytes(sectors * disk::kSectorSize);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::byte>(i / disk::kSectorSize % 251);
        m_bytes = std::make_shared<disk::MemoryBlockSource>(std::move(bytes));
        m_bytes->addBadRange(40 * disk::kSectorSize + 7, 1);
    }
    [[nodiscard]] std::uint64_t size() const override { return m_bytes->size(); }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        return m_bytes->read(offset, buffer);
    }
    [[nodiscard]] bool readsInParallel() const override { return m_parallel; }

private:
    std::shared_ptr<disk::MemoryBlockSource> m_bytes;
    bool m_parallel;
};

} // namespace

TEST(ReadAhead, EveryRangeInOrderWithItsOwnBytes)
{
    for (const bool parallel : {true, false}) {
        const disk::SectorReader reader(
            disk::SerialReader(disk::SectorReader("slow", std::make_shared<SlowSource>(400, parallel))));
        // Ranges of 4 sectors, one skipped, one over the bad byte, one past the end.
        std::vector<disk::ReadAhead::Range> ranges;
        for (std::uint64_t s = 0; s < 96; s += 4)
            ranges.push_back({s, 4, s == 20});
        ranges.push_back({398, 4, false});
        disk::ReadAhead ahead(reader, ranges, 3);
        for (const auto& range : ranges) {
            const disk::ReadAhead::Block block = ahead.next();
            // Later ranges are read meanwhile; this one must stay as it was read.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const bool bad = range.sector <= 40 && 40 < range.sector + range.count;
            if (range.skip || bad || range.sector + range.count > 400) {
                EXPECT_NE(block.status, disk::ReadStatus::Ok) << range.sector;
                continue;
            }
            ASSERT_EQ(block.status, disk::ReadStatus::Ok) << range.sector;
            ASSERT_EQ(block.bytes.size(), range.count * disk::kSectorSize);
            for (std::size_t i = 0; i < block.bytes.size(); ++i)
                ASSERT_EQ(block.bytes[i], static_cast<std::byte>((range.sector + i / disk::kSectorSize) % 251))
                    << parallel << " " << range.sector << " " << i;
        }
        EXPECT_EQ(ahead.next().status, disk::ReadStatus::Failed) << "past the last range";
    }
}
