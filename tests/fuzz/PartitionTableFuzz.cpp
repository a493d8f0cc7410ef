// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the partition tables: the MBR, the chain of extended
// boot records and the GPT (primary and backup).
//
// The input is the start of a disk, seen two ways: as a disk of exactly the
// input's size, and as a disk of 1 TiB whose bytes past the input read as zeros
// (so that entries pointing far away stay inside the disk). Whatever the table
// says, the partitions must lie inside the disk, be numbered 1, 2, ... in
// order, and open as windows of their own size.

#include "disk/BlockSource.h"
#include "disk/PartitionTable.h"
#include "disk/SectorReader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace sarvik;

namespace {

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "partition table: broken rule: %s\n", why);
    std::abort();
}

// The input followed by zeros up to `size` bytes.
class ZeroTailSource final : public disk::BlockSource {
public:
    ZeroTailSource(std::vector<std::byte> head, std::uint64_t size) : m_head(std::move(head)), m_size(size) {}
    [[nodiscard]] std::uint64_t size() const override { return m_size; }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        if (offset > m_size || buffer.size() > m_size - offset)
            return disk::ReadStatus::Short;
        std::fill(buffer.begin(), buffer.end(), std::byte{0});
        if (offset < m_head.size()) {
            const std::uint64_t count = std::min<std::uint64_t>(buffer.size(), m_head.size() - offset);
            std::copy_n(m_head.begin() + static_cast<std::ptrdiff_t>(offset), count, buffer.begin());
        }
        return disk::ReadStatus::Ok;
    }

private:
    std::vector<std::byte> m_head;
    std::uint64_t m_size;
};

void check(const std::shared_ptr<const disk::BlockSource>& disk)
{
    const disk::PartitionTable table = disk::ReadPartitionTable(*disk);
    const std::uint64_t diskSectors = disk->size() / disk::kSectorSize;

    if (table.scheme == disk::PartitionScheme::None && !table.partitions.empty())
        fail("a disk without a table has no partitions");
    std::size_t logicals = 0;
    for (std::size_t i = 0; i < table.partitions.size(); ++i) {
        const disk::Partition& p = table.partitions[i];
        if (i != 0 && p.number <= table.partitions[i - 1].number)
            fail("partition numbers rise in table order");
        if (table.scheme == disk::PartitionScheme::Mbr &&
            (p.logical ? p.number < disk::kFirstLogicalNumber : p.number == 0 || p.number > 4))
            fail("MBR primaries are numbered by their slot, logical partitions from 5");
        if (p.firstSector == 0 || p.sectors == 0)
            fail("a partition neither starts at sector 0 nor is empty");
        if (p.firstSector >= diskSectors || p.sectors > diskSectors - p.firstSector)
            fail("a partition lies inside the disk");
        if (table.scheme == disk::PartitionScheme::Gpt && (p.logical || p.mbrType != 0))
            fail("a GPT entry is neither logical nor has an MBR type");
        if (p.logical) {
            ++logicals;
        } else if (logicals != 0) {
            fail("the logical partitions come after the primary ones");
        }
    }
    if (table.scheme == disk::PartitionScheme::Mbr && table.partitions.size() - logicals > 4)
        fail("an MBR holds four primary partitions at most");

    const disk::PartitionTable again = disk::ReadPartitionTable(*disk);
    if (again.partitions.size() != table.partitions.size() || again.scheme != table.scheme)
        fail("reading the table twice gives the same table");

    // Each partition opens as a window of its own size whose last sector reads.
    // Only a few are opened: each open reads the table again.
    const std::size_t opened = std::min<std::size_t>(table.partitions.size(), 4);
    for (std::size_t i = 0; i < opened; ++i) {
        const disk::Partition& p = table.partitions[i];
        const auto window = disk::OpenPartition(disk, p.number);
        if (!window || window->size() != p.sectors * disk::kSectorSize)
            fail("a listed partition opens with its own size");
        std::array<std::byte, disk::kSectorSize> sector{};
        (void)window->read((p.sectors - 1) * disk::kSectorSize, sector);
    }
    const std::uint32_t past = table.partitions.empty() ? 1 : table.partitions.back().number + 1;
    if (disk::OpenPartition(disk, past) != nullptr)
        fail("a partition past the last one does not open");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto* first = reinterpret_cast<const std::byte*>(data);
    std::vector<std::byte> bytes(first, first + size);
    check(std::make_shared<disk::MemoryBlockSource>(bytes));
    check(std::make_shared<ZeroTailSource>(std::move(bytes), std::uint64_t{1} << 40));
    return 0;
}
