// SPDX-License-Identifier: GPL-3.0-or-later
// A list view's header clicks and its selection across a sort.

#include "session/ListSelection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarvik::session {
namespace {

catalogue::FileRow row(std::string name, std::uint64_t size, std::uint64_t key)
{
    catalogue::FileRow r;
    r.name = std::move(name);
    r.type = "Deleted ";
    r.size = size;
    r.key = key;
    r.id = std::to_string(key);
    return r;
}

FileListRows threeRows()
{
    FileListRows rows;
    rows.setRows({row("c.txt", 10, 1), row("a.txt", 30, 2), row("b.txt", 20, 3)}, true);
    return rows;
}

TEST(ListSelection, HeaderClicksSortAscendingThenTurnTheColumnRound)
{
    FileListRows rows = threeRows();
    EXPECT_EQ(orderAfterHeaderClick(rows, Name), SortOrder::Ascending); // nothing sorted yet
    rows.sort(Name, orderAfterHeaderClick(rows, Name));
    EXPECT_EQ(orderAfterHeaderClick(rows, Name), SortOrder::Descending);
    rows.sort(Name, orderAfterHeaderClick(rows, Name));
    EXPECT_EQ(rows.sortOrder(), SortOrder::Descending);
    EXPECT_EQ(orderAfterHeaderClick(rows, Name), SortOrder::Ascending);
    // Another column starts ascending whatever the order in force.
    EXPECT_EQ(orderAfterHeaderClick(rows, Size), SortOrder::Ascending);
}

TEST(ListSelection, SelectionFollowsItsRowsThroughASort)
{
    FileListRows rows = threeRows();
    // Positions 0 and 2 of the catalogue's order: c.txt and b.txt.
    const std::vector<bool> flags = rowsAtPositions(rows, {2, 0, 7, -1});
    EXPECT_EQ(flags, (std::vector<bool>{true, false, true}));

    rows.sort(Name, SortOrder::Ascending); // a, b, c
    EXPECT_EQ(positionsOfRows(rows, flags), (std::vector<int>{1, 2}));
    // Selecting by position now names the sorted rows, not the old ones.
    EXPECT_EQ(rowsAtPositions(rows, {0}), (std::vector<bool>{false, true, false}));

    rows.sort(Size, SortOrder::Descending); // a (30), b (20), c (10)
    EXPECT_EQ(positionsOfRows(rows, flags), (std::vector<int>{1, 2}));
    rows.sort(Size, SortOrder::Ascending); // c, b, a
    EXPECT_EQ(positionsOfRows(rows, flags), (std::vector<int>{0, 1}));
    // Flags from a longer list than the one shown now are passed over.
    EXPECT_EQ(positionsOfRows(rows, {false, false, false, true}), std::vector<int>{});
}

} // namespace
} // namespace sarvik::session
