// SPDX-License-Identifier: GPL-3.0-or-later
// The word-at-a-time cluster bits against one bool per cluster: random
// bitmaps of lengths around word edges, random claims (empty, reversed, past
// the end), and the walk for unclaimed stretches.

#include "carve/ClusterBits.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

using sarvik::carve::ClusterBits;

namespace {

/// The stretches [start, end) of unclaimed clusters, one cluster at a time.
std::vector<std::pair<std::uint64_t, std::uint64_t>> freeStretches(const std::vector<bool>& claimed)
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    for (std::size_t c = 0; c < claimed.size();) {
        if (claimed[c]) {
            ++c;
            continue;
        }
        std::size_t end = c;
        while (end < claimed.size() && !claimed[end])
            ++end;
        out.emplace_back(c, end);
        c = end;
    }
    return out;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> freeStretches(const ClusterBits& bits)
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    for (std::uint64_t c = bits.nextFree(0); c < bits.size();) {
        const std::uint64_t end = bits.nextClaimed(c);
        out.emplace_back(c, end);
        c = bits.nextFree(end);
    }
    return out;
}

} // namespace

TEST(ClusterBits, AgreesWithOneBoolPerCluster)
{
    std::mt19937_64 random(7);
    for (const std::uint64_t clusters : std::initializer_list<std::uint64_t>{0, 1, 63, 64, 65, 127, 128, 1000, 4099}) {
        for (const unsigned density : {0u, 1u, 50u, 99u, 100u}) { // percent of clusters set in the bitmap
            // The bitmap may be a byte shorter than the clusters (its missing bits read as free).
            std::vector<std::byte> bitmap(static_cast<std::size_t>(clusters / 8));
            std::vector<bool> naive(static_cast<std::size_t>(clusters));
            for (std::size_t c = 0; c < bitmap.size() * 8; ++c)
                if (random() % 100 < density) {
                    bitmap[c / 8] |= static_cast<std::byte>(1u << (c % 8));
                    naive[c] = true;
                }
            ClusterBits bits(bitmap, clusters);
            for (int k = 0; k < 20; ++k) {
                const std::uint64_t from = random() % (clusters + 80);
                const std::uint64_t to = k % 5 == 0 ? from / 2 : from + random() % 200; // some empty or reversed
                bits.claim(from, to);
                for (std::uint64_t c = from; c < std::min(to, clusters); ++c)
                    naive[static_cast<std::size_t>(c)] = true;
            }
            for (std::uint64_t c = 0; c < clusters + 3; ++c)
                ASSERT_EQ(bits.claimed(c), c >= clusters || naive[static_cast<std::size_t>(c)]) << clusters << " " << c;
            EXPECT_EQ(freeStretches(bits), freeStretches(naive)) << clusters << " " << density;
        }
    }
}
