// SPDX-License-Identifier: GPL-3.0-or-later
// Where a folder's cluster ends inside an entry set: the set whose last
// secondary entry lies exactly one entry past the cluster's end is cut, the
// one that ends on its last entry is not.

#include "exfat/ExfatDirectory.h"

#include <gtest/gtest.h>

#include <vector>

namespace sarvik {
namespace {

constexpr std::size_t kClusterEntries = 16; // a 512-byte cluster

/// A cluster of deleted entries (0x05 file, 0x40 stream, 0x41 name), with the
/// set of `secondaries` starting at entry `start` and plain entries of one
/// whole set each before it.
std::vector<std::byte> clusterWithSetAt(std::size_t start, std::uint8_t secondaries)
{
    std::vector<std::byte> bytes(kClusterEntries * exfat::kEntryBytes);
    const auto put = [&](std::size_t entry, std::uint8_t type, std::uint8_t count) {
        bytes[entry * exfat::kEntryBytes] = std::byte{type};
        bytes[entry * exfat::kEntryBytes + 1] = std::byte{count};
    };
    // Whole two-secondary sets up to `start`, then stray names to fill.
    std::size_t e = 0;
    for (; e + 3 <= start; e += 3) {
        put(e, 0x05, 2);
        put(e + 1, 0x40, 0);
        put(e + 2, 0x41, 0);
    }
    for (; e < start; ++e)
        put(e, 0x41, 0);
    put(start, 0x05, secondaries);
    for (std::size_t s = 1; s <= secondaries && start + s < kClusterEntries; ++s)
        put(start + s, s == 1 ? 0x40 : 0x41, 0);
    return bytes;
}

TEST(ExfatCutSet, ASetOneEntryPastTheClusterEndIsCutOneThatFitsIsNot)
{
    for (std::uint8_t secondaries = 2; secondaries <= 4; ++secondaries) {
        // Its last secondary would be entry kClusterEntries: one past the end.
        const std::size_t past = kClusterEntries - secondaries;
        const auto cut = exfat::cutSetStart(clusterWithSetAt(past, secondaries));
        ASSERT_TRUE(cut.has_value()) << int{secondaries} << " secondaries from entry " << past;
        EXPECT_EQ(*cut, past * exfat::kEntryBytes);
        // One entry earlier, its last secondary is the cluster's last entry.
        EXPECT_FALSE(exfat::cutSetStart(clusterWithSetAt(past - 1, secondaries)).has_value())
            << int{secondaries} << " secondaries from entry " << past - 1;
        // Far past the end is cut too.
        EXPECT_TRUE(exfat::cutSetStart(clusterWithSetAt(kClusterEntries - 1, secondaries)).has_value());
    }
}

} // namespace
} // namespace sarvik
