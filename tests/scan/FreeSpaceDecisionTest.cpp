// SPDX-License-Identifier: GPL-3.0-or-later
// Where the sample of free space starts pointing at the deep search: at least
// two of its clusters holding data, and at least one in a hundred.

#include "scan/FreeSpaceSample.h"

#include <gtest/gtest.h>

namespace sarvik {
namespace {

bool points(std::uint32_t holding, std::uint32_t sampled)
{
    scan::FreeSpaceSample s;
    s.holdingData = holding;
    s.sampled = sampled;
    return s.holdsUnnamedData();
}

TEST(FreeSpaceSample, DecidesExactlyAtItsMinimumAndItsShare)
{
    // The fewest clusters that count, at the largest sample they are a hundredth of.
    EXPECT_TRUE(points(2, 200));
    EXPECT_FALSE(points(1, 100)) << "one cluster of stray bytes is no reason";
    EXPECT_FALSE(points(1, 1));
    EXPECT_FALSE(points(2, 201)) << "less than one in a hundred";
    EXPECT_TRUE(points(2, 2));
    EXPECT_TRUE(points(3, 256));
    EXPECT_FALSE(points(2, scan::kSampleClusters));
    EXPECT_FALSE(points(0, 0));
    scan::FreeSpaceSample mft;
    mft.earlierMft = true;
    EXPECT_TRUE(mft.holdsUnnamedData()) << "an earlier MFT's records point at the deep search alone";
}

} // namespace
} // namespace sarvik
