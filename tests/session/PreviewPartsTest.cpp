// SPDX-License-Identifier: GPL-3.0-or-later
// What a preview shows besides the bytes: the cluster strip's spans and
// texts, and how many bytes of a file's head are still its own.

#include "session/ClusterStripParts.h"
#include "session/FileHead.h"

#include <gtest/gtest.h>

#include <string>

namespace sarvik::session {
namespace {

using recovery::ClusterPart;
using recovery::ClusterState;

std::string plain(std::uint64_t n)
{
    return std::to_string(n);
}

TEST(ClusterStripParts, PartsShareTheWidthAndANarrowOneStillShows)
{
    ClusterStripParts strip;
    EXPECT_EQ(strip.emptyText(), "Clusters not known");
    strip.setParts(std::vector<ClusterPart>{});
    EXPECT_EQ(strip.emptyText(), "No clusters");
    EXPECT_EQ(strip.partAt(0, 100), nullptr);

    // 1000 clusters: 600 intact, 1 claimed, 399 unreadable, on 100 pixels.
    strip.setParts(std::vector<ClusterPart>{
        {5000, 600, ClusterState::Intact}, {5600, 1, ClusterState::Claimed}, {5601, 399, ClusterState::Unreadable}});
    EXPECT_EQ(strip.emptyText(), "");
    EXPECT_EQ(strip.total(), 1000u);
    EXPECT_EQ(strip.clusters(ClusterState::Unreadable), 399u);
    EXPECT_EQ(strip.span(0, 100).left, 0);
    EXPECT_EQ(strip.span(0, 100).right, 60);
    // The one claimed cluster is a tenth of a pixel wide: it takes one.
    EXPECT_EQ(strip.span(1, 100).left, 60);
    EXPECT_EQ(strip.span(1, 100).right, 61);
    EXPECT_EQ(strip.span(2, 100).right, 100);
    EXPECT_EQ(strip.partAt(60, 100)->state, ClusterState::Claimed);
    EXPECT_EQ(strip.partAt(99, 100)->state, ClusterState::Unreadable);
    EXPECT_EQ(strip.partAt(100, 100), nullptr);
    EXPECT_EQ(strip.partAt(-1, 100), nullptr);

    EXPECT_EQ(strip.partText(10, 100, plain), "Clusters 5000 to 5599 (600): free, still holding the file's data");
    EXPECT_EQ(strip.partText(60, 100, plain), "Cluster 5600: claimed since by another file");
    EXPECT_EQ(strip.partText(100, 100, plain), "");

    // Sparse runs and unreadable runs of no known place give no cluster numbers.
    strip.setParts(std::vector<ClusterPart>{{0, 2048, ClusterState::NoData}, {0, 3, ClusterState::Unreadable}});
    EXPECT_EQ(strip.partText(0, 1000, [](std::uint64_t n) { return "#" + std::to_string(n); }),
              "#2048 cluster(s): sparse: no data stored");
    EXPECT_EQ(strip.partText(999, 1000, plain), "3 cluster(s): unreadable");
}

TEST(FileHead, IntactBytesStopAtTheFirstClaimedClusterAndALongRunOfZeros)
{
    const ClusterParts parts = std::vector<ClusterPart>{{10, 2, ClusterState::Intact}, {12, 1, ClusterState::Claimed}};
    // Clusters of 4096 bytes: the third is another file's now.
    EXPECT_EQ(intactBytes(20000, 20000, parts, 4096, 4096), 8192u);
    // Unknown parts: only the zeros count; a short run of zeros is data.
    EXPECT_EQ(intactBytes(20000, 19000, std::nullopt, 4096, 4096), 20000u);
    EXPECT_EQ(intactBytes(20000, 10000, std::nullopt, 4096, 4096), 10000u);
    EXPECT_EQ(intactBytes(5000, 5000, parts, 0, 4096), 5000u); // no cluster size: nothing to measure
    EXPECT_EQ(intactBytes(0, 0, parts, 4096, 4096), 0u);
}

} // namespace
} // namespace sarvik::session
